#pragma once

#include <QWidget>

#include <functional>

namespace kelpie {

// The content view of a pin window and of its chrome panels: it reports
// every layout pass and the pointer entering and leaving it, and paints the
// shared surface colour only when asked to, so that otherwise the pin's own
// content shows through.
class PinSurface : public QWidget {
    Q_OBJECT

public:
    explicit PinSurface(QWidget* parent = nullptr);

    // After every layout pass: a resize, or a layout the children asked for.
    std::function<void()> onLayout;
    // True when the pointer enters, false when it leaves.
    std::function<void(bool)> onHover;

    bool paintsBackground() const { return m_paintsBackground; }
    void setPaintsBackground(bool paints);
    // A painted background is rounded by this radius and, when bordered,
    // outlined by a one-point separator line: the look of a chrome panel.
    double cornerRadius() const { return m_cornerRadius; }
    void setCornerRadius(double radius);
    bool bordered() const { return m_bordered; }
    void setBordered(bool bordered);

    // Whether the pointer is over the surface, as last reported.
    bool hovered() const { return m_hovered; }

protected:
    bool event(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void layoutPass();
    void hover(bool inside);

    bool m_paintsBackground = false;
    double m_cornerRadius = 0;
    bool m_bordered = false;
    bool m_hovered = false;
};

} // namespace kelpie
