#pragma once

#include "geometry/Rect.h"

#include <QWidget>

#include <optional>

namespace kelpie {

// The overlay of the screenshot view that draws the crop's rounded outline,
// its eight handles while the crop can be adjusted, and the badge with the
// crop's size in pixels. It only draws: pointer input passes through it.
// Rectangles are in the view's y-up space.
class ScreenshotBorder : public QWidget {
    Q_OBJECT

public:
    explicit ScreenshotBorder(QWidget* parent = nullptr);

    struct State {
        // The crop outline; nothing is drawn while it is empty.
        Rect selection;
        bool handles = false;
        // The tool bar's frame, which the badge keeps clear of.
        std::optional<Rect> toolbar;
        // The size shown in the badge.
        Size pixels;

        friend bool operator==(const State&, const State&) = default;
    };

    const State& state() const { return m_state; }
    // Stores the state and repaints what changed.
    void setState(const State& state);

    // "1280 × 720 px", from the integer parts of the size.
    static QString badgeText(Size pixels);
    // The badge of `badge` size: above the crop's top-left corner, inside
    // `bounds`; beside the crop on its left when it would cover the tool bar.
    static Rect badgeRect(Size badge, const Rect& selection, const Rect& bounds,
                          const std::optional<Rect>& toolbar);
    // The badge's text size plus its padding.
    static Size badgeSize(const QString& text);
    static QFont badgeFont();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The widget area the state paints, outline, handles and badge together.
    QRegion paintedArea(const State& state) const;
    std::optional<Rect> badgeFor(const State& state) const;

    State m_state;
};

} // namespace kelpie
