#pragma once

#include "editor/ImageEncoding.h"

#include <QPointer>
#include <QString>
#include <QWidget>

class QComboBox;
class QDateTime;
class QFileDialog;
class QLabel;

namespace kelpie {

// The format choice shown inside the save dialog: "格式", a PNG/JPG picker
// and, for JPG, the hint that transparent areas become white. Changing the
// format rewrites the extension of the name in the dialog and restricts the
// dialog to that type. Holds the dialog weakly.
class SaveFormatAccessory : public QWidget {
    Q_OBJECT

public:
    static constexpr int width = 320;
    static constexpr int height = 72;

    // Builds the view for the dialog (which may be null) and applies the
    // initial format, PNG.
    explicit SaveFormatAccessory(QFileDialog* panel, QWidget* parent = nullptr);

    // JPEG when the picker's second item ("JPG") is selected, PNG otherwise.
    ImageType type() const;
    // The picker's action: rewrites the dialog's file name, restricts its
    // file types to the chosen one and shows the hint only for JPEG.
    void changeFormat();

    QComboBox* picker() const { return m_picker; }
    QLabel* hint() const { return m_hint; }

    // "Kelpie-" + whole seconds since 1970 (truncated toward zero) + ".png".
    static QString proposedFileName(const QDateTime& now);
    // The name with a png/jpg/jpeg extension (any case) replaced by the
    // type's, or the type's appended when it has none of them:
    // "shot.JPEG" → "shot.png", "report.v2" → "report.v2.png".
    static QString rewrittenFileName(const QString& name, ImageType type);
    // True when the name already ends in an extension of the type
    // ("png" for PNG; "jpg" or "jpeg" for JPEG, any case).
    static bool hasExtensionOf(const QString& name, ImageType type);
    // The dialog's only name filter for the type.
    static QString nameFilter(ImageType type);

private:
    QPointer<QFileDialog> m_panel;
    QLabel* m_label = nullptr;
    QComboBox* m_picker = nullptr;
    QLabel* m_hint = nullptr;
};

} // namespace kelpie
