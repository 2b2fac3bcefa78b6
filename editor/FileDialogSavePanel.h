#pragma once

#include "editor/SavePanel.h"

#include <QFileDialog>

namespace kelpie {

class SaveFormatAccessory;

// The save dialog of the editor and pinned windows: Qt's own (not the
// desktop's) file dialog, so that the format accessory can sit in its
// layout, shown window-modal on the window.
class FileDialogSavePanel : public SavePanel {
public:
    bool hasAttachedSheet(QWidget* window) const override;
    void present(QWidget* window, const Request& request, Completion completion) override;

    // Builds the dialog without showing it (the tests look at it).
    static QFileDialog* makeDialog(QWidget* window, const Request& request);
    static SaveFormatAccessory* accessory(QFileDialog* dialog);
};

// The dialog itself: on accept, a name whose extension does not belong to
// the chosen format gets that format's extension before the dialog checks
// for an existing file, so the bytes always match the name.
class SaveDialog : public QFileDialog {
    Q_OBJECT

public:
    explicit SaveDialog(QWidget* parent);
    SaveFormatAccessory* accessory() const { return m_accessory; }

    void accept() override;

private:
    SaveFormatAccessory* m_accessory = nullptr;
};

} // namespace kelpie
