#pragma once

#include <QSizeF>
#include <QWidget>

#include <optional>
#include <vector>

class QScrollArea;

namespace kelpie {

// The content of a floating control panel: rows of controls stacked
// vertically inside a borderless scroll view that scrolls sideways when the
// panel is narrower than its rows.
class FloatingControls : public QWidget {
    Q_OBJECT

public:
    // The primary tool bar sits closer to its rows than other panels.
    enum class Kind {
        primaryToolbar,
        panel,
    };

    FloatingControls(const std::vector<QWidget*>& rows, Kind kind, QWidget* parent = nullptr);

    double horizontalPadding() const { return m_horizontalPadding; }
    double verticalPadding() const { return m_verticalPadding; }
    QWidget* stack() const { return m_stack; }
    QScrollArea* scroll() const { return m_scroll; }

    // The panel size for the rows, no wider than maxWidth; a capped panel
    // grows by the height of the horizontal scroller.
    QSizeF panelSize(double maxWidth) const;
    // Occupies `rect` of the parent and lays the rows out inside it.
    void place(const QRectF& rect);
    // Lays the rows out inside the panel's own bounds.
    void fitContent();

    // Panels that have no surface view behind them paint the shared surface
    // colour themselves, rounded by this radius and outlined by a one-point
    // separator line.
    void setSurfaceCornerRadius(std::optional<double> radius);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QSizeF stackFittingSize() const;
    double scrollerHeight() const;

    double m_horizontalPadding;
    double m_verticalPadding;
    QWidget* m_stack;
    QScrollArea* m_scroll;
    std::optional<double> m_surfaceCornerRadius;
};

} // namespace kelpie
