#pragma once

#include <QWidget>

namespace kelpie {

class PinSurface;

// A small floating panel of a pin: frameless, above ordinary windows like
// the pin, kept above the pin by the window manager (it is the pin's
// transient), off the task bar, and shown without taking the keyboard.
// It takes the keyboard on a click only when `acceptsKey` is set.
class PinPanel final : public QWidget {
    Q_OBJECT

public:
    // The initial size, before the chrome lays the panel out.
    static constexpr int initialWidth = 200;
    static constexpr int initialHeight = 56;
    static constexpr double cornerRadius = 20;

    explicit PinPanel(QWidget* pinWindow);

    bool acceptsKey() const { return m_acceptsKey; }
    void setAcceptsKey(bool accepts);

    // The rounded, outlined surface that fills the panel.
    PinSurface* surface() const { return m_surface; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    PinSurface* m_surface;
    bool m_acceptsKey = false;
};

} // namespace kelpie
