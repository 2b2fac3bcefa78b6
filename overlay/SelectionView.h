#pragma once

#include "capture/WindowTarget.h"
#include "geometry/Rect.h"
#include "geometry/SelectionHandle.h"
#include "overlay/SampledColor.h"
#include "overlay/SelectionAction.h"
#include "overlay/SelectionModel.h"
#include "overlay/ViewPixelMapping.h"

#include <QImage>
#include <QColor>
#include <QRect>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

namespace kelpie {

class FloatingControls;

// The content of the selection overlay: paints the frozen display, dimmed
// outside the region being chosen, with handles, a size label, the
// magnifier and an action panel, and feeds pointer and key input to its
// selection model, which holds every piece of selection state. It reports
// the outcome through its callbacks and never closes its window.
class SelectionView : public QWidget {
    Q_OBJECT

public:
    // The crop, the region in global desktop coordinates, and the action.
    using ConfirmCallback
        = std::function<void(const QImage& crop, const Rect& rect, const SelectionAction& action)>;

    // `size` is the view's size in points; the image may have more pixels.
    SelectionView(const QImage& image, Size size, QWidget* parent = nullptr);
    ~SelectionView() override;

    // The state and gestures; the owner sets `automaticallyEdit` and
    // `windowTargets` on it before the view is shown.
    SelectionModel& model() { return m_model; }
    const SelectionModel& model() const { return m_model; }
    const QImage& image() const { return m_model.image(); }

    // Set by the owner before the view is shown.
    ConfirmCallback onConfirm;
    std::function<void()> onCancel;
    std::function<void(const WindowTarget&)> onWindowPick;

    QWidget* actions() const { return m_actions; }
    FloatingControls* actionPanel() const { return m_actionPanel; }

    // Sets or clears the status line (window capture progress or failure).
    void showWindowStatus(const std::optional<QString>& status);
    // Selects a view rectangle and shows the action panel.
    void selectRegion(const Rect& rect);

    // The title of each action button, in panel order.
    static QStringList actionTitles();
    // The dimming over the frozen screen outside the focus.
    static QColor dimming();
    // What the focus leaves undimmed, in the view's coordinates, out to
    // whole pixels; empty without a focus.
    QRect undimmed() const;

public Q_SLOTS:
    void selectAll();
    void copy();
    void saveDocument();
    void pinSelection();
    void confirm();
    // `tag` is the tool's index in the list of all tools; others are ignored.
    void editTool(int tag);
    void reset();
    void cancel();
    void cancelOperation();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool overActionPanel(QPointF widgetPoint) const;
    // Everything drawn on top of the image whose position or content can
    // change with a pointer move, and the widget area it occupies.
    struct Decorations {
        std::optional<Rect> focus;
        bool handles = false;
        QRect focusArea;
        QString label;
        QRect labelArea;
        std::optional<ViewPixelMapping::PixelPosition> magnifierPixel;
        QRect magnifierArea;
        QString status;
        QRect statusArea;
    };
    Decorations decorations() const;
    // Runs a change of the model, then brings the picture and the action
    // panel up to date, unless a callback released the view meanwhile.
    template<typename Change> void change(Change&& change);
    // Schedules a repaint of only what differs from the last state drawn,
    // and shows, places or hides the action panel as the model says.
    void refresh();
    void syncActionPanel();
    void fitActionButtons(double maxWidth);
    Point eventPoint(const QMouseEvent& event) const;

    SelectionModel m_model;
    // The image in a format the painter copies without conversion; shares
    // the frozen image's pixels when it already is in one.
    QImage m_drawImage;
    QWidget* m_actions = nullptr;
    FloatingControls* m_actionPanel = nullptr;
    int m_placedPanelRevision = -1;
    Decorations m_drawn;
    // Every pixel painted since the view was last shown.
    bool m_paintedWhole = false;
    // The later whole repaint that showing asks for has not come yet.
    bool m_showRepaintAsked = false;
};

} // namespace kelpie
