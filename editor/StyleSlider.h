#pragma once

#include <QSlider>

#include <functional>

namespace kelpie {

// A horizontal slider that reports the start and the end of each pointer
// drag, so that a whole drag can become a single undo step.
class StyleSlider : public QSlider {
    Q_OBJECT

public:
    explicit StyleSlider(QWidget* parent = nullptr);

    std::function<void()> beginTracking;
    std::function<void()> endTracking;

    bool isTracking() const { return m_tracking; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void finishTracking();

    bool m_tracking = false;
};

} // namespace kelpie
