#pragma once

#include "editor/ControlImage.h"

#include <QAbstractButton>
#include <QColor>

#include <optional>

namespace kelpie {

// The one custom-drawn button of the floating control panels: an icon and
// a title side by side on a rounded, tinted background. Its colours follow
// the effective appearance and are refreshed in place when it changes.
class ToolbarButton : public QAbstractButton {
    Q_OBJECT

public:
    static constexpr int iconButtonWidth = 36;
    static constexpr double cornerRadius = 12;
    // Not given by the width rule; tall enough for a 22-point icon and a
    // 16-pixel title with room around them.
    static constexpr int intrinsicHeight = 32;

    explicit ToolbarButton(const QString& title = QString(), QWidget* parent = nullptr);
    ToolbarButton(const QString& title, const ControlImage& image, QWidget* parent = nullptr);

    bool primary() const { return m_primary; }
    void setPrimary(bool primary);
    bool compact() const { return m_compact; }
    void setCompact(bool compact);
    bool sample() const { return m_sample; }
    void setSample(bool sample);
    // The title whose width the button reserves, so the title can change
    // without the button resizing.
    QString minimumTitle() const { return m_minimumTitle; }
    void setMinimumTitle(const QString& title);
    double sidePadding() const { return m_sidePadding; }
    // Narrower sides where a whole row must fit a small screen.
    void setSidePadding(double padding);
    double iconGap() const { return m_iconGap; }

    // A bezeled button shows its outline and a hover look, for rows of
    // push buttons (the overlay's action bar) that must read as buttons
    // over any picture; toolbar buttons have neither.
    bool bezeled() const { return m_bezeled; }
    void setBezeled(bool bezeled);
    // A button whose icon is hidden lays out and draws as if it had none,
    // so a row can drop its icons to fit and take them back later.
    bool iconHidden() const { return m_iconHidden; }
    void setIconHidden(bool hidden);

    ControlImage image() const { return m_image; }
    void setImage(const ControlImage& image);

    // The toolbar look: medium 16-pixel titles and 18-point symbols.
    void configureToolbarStyle();
    // Re-tints background and content for the current state and appearance.
    void refreshAppearance();

    // Absent until refreshAppearance has run; drawing then uses the label colour.
    std::optional<QColor> contentTintColor() const { return m_contentTint; }
    // Transparent when the button has no background of its own.
    QColor backgroundColor() const { return m_background; }

    struct ContentFrames {
        QRectF icon;
        QRectF title;
    };
    ContentFrames contentFrames(const QRectF& bounds) const;
    // The icon box the image is scaled down into: 32 × 22 for compact and
    // sample buttons, 19 × 19 otherwise.
    QSizeF iconBox() const;
    // The image's size scaled down (never up) to fit the icon box.
    QSizeF fittedIconSize() const;
    int intrinsicWidth() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void drawIcon(QPainter& painter, const QRectF& frame, const QColor& tint, double alpha) const;
    void drawBezel(QPainter& painter, const QRectF& bounds) const;
    bool showsImage() const { return !m_image.isNull() && !m_iconHidden; }

    bool m_primary = false;
    bool m_compact = false;
    bool m_sample = false;
    bool m_bezeled = false;
    bool m_iconHidden = false;
    QString m_minimumTitle;
    double m_sidePadding = 11;
    double m_iconGap = 7;
    ControlImage m_image;
    std::optional<QColor> m_contentTint;
    QColor m_background = Qt::transparent;
};

} // namespace kelpie
