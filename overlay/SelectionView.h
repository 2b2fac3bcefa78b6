#pragma once

#include "capture/WindowTarget.h"
#include "geometry/Rect.h"
#include "overlay/SampledColor.h"
#include "overlay/SelectionAction.h"
#include "geometry/SelectionHandle.h"
#include "overlay/ViewPixelMapping.h"

#include <QImage>
#include <QRect>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

namespace kelpie {

class FloatingControls;

// The content of the selection overlay: the frozen display, dimmed outside
// the region being chosen, with handles, a size label, the magnifier and an
// action panel. It holds every piece of selection state, in the overlay's
// view space (points, origin bottom-left, y up), and reports the outcome
// through its callbacks; it never closes its window.
class SelectionView : public QWidget {
    Q_OBJECT

public:
    // The crop, the region in global desktop coordinates, and the action.
    using ConfirmCallback
        = std::function<void(const QImage& crop, const Rect& rect, const SelectionAction& action)>;

    // `size` is the view's size in points; the image may have more pixels.
    SelectionView(const QImage& image, Size size, QWidget* parent = nullptr);
    ~SelectionView() override;

    const QImage& image() const { return m_image; }

    // Set by the owner before the view is shown.
    bool automaticallyEdit = false;
    std::vector<WindowTarget> windowTargets;
    ConfirmCallback onConfirm;
    std::function<void()> onCancel;
    std::function<void(const WindowTarget&)> onWindowPick;
    // Sounded when a colour copy finds no colour; the desktop's bell by default.
    std::function<void()> beep;

    const std::optional<WindowTarget>& hoveredWindow() const { return m_hoveredWindow; }
    const std::optional<WindowTarget>& pendingWindow() const { return m_pendingWindow; }
    bool dragged() const { return m_dragged; }
    const std::optional<QString>& windowStatus() const { return m_windowStatus; }
    const std::optional<Point>& anchor() const { return m_anchor; }
    // Empty when nothing is selected; otherwise exactly on image pixels.
    const Rect& selection() const { return m_selection; }
    const std::optional<Rect>& selectionPixels() const { return m_selectionPixels; }
    const Rect& previous() const { return m_previous; }
    bool moving() const { return m_moving; }
    const std::optional<SelectionHandle>& resizing() const { return m_resizing; }
    const std::optional<Point>& pointer() const { return m_pointer; }
    const std::optional<SampledColor>& pointerColor() const { return m_pointerColor; }
    QWidget* actions() const { return m_actions; }
    FloatingControls* actionPanel() const { return m_actionPanel; }

    Size viewSize() const;
    // "640 × 480 px": the selection's size in image pixels; empty without one.
    QString sizeLabel() const;

    // Sets or clears the status line (window capture progress or failure).
    void showWindowStatus(const std::optional<QString>& status);
    // Selects a view rectangle and shows the action panel.
    void selectRegion(const Rect& rect);

    // The image pixel under a view point (maximum edges excluded).
    std::optional<ViewPixelMapping::PixelPosition> pixel(Point point) const;

    // The title of each action button, in panel order.
    static QStringList actionTitles();

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
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    enum class KeyCommand {
        escape,
        copyRegion,
        copyColor,
        selectAll,
        arrow,
    };
    std::optional<KeyCommand> keyCommand(const QKeyEvent& event) const;
    void runKeyCommand(KeyCommand command, const QKeyEvent& event);

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
    // Schedules a repaint of only what differs from the last state drawn.
    void refresh();

    void select(const Rect& rect);
    void confirmWith(const SelectionAction& action);
    void showActionPanel();
    void hideActionPanel();
    void updatePointer(Point point);
    void clearPointer();
    void mouseDown(Point point, int clickCount);
    void mouseDragged(Point point);
    void mouseUp(Point point);
    void moveSelection(double dx, double dy);
    void copyPointerColor(bool rgb);
    std::optional<Rect> focusRect() const;
    std::optional<QString> statusText() const;
    Point eventPoint(const QMouseEvent& event) const;

    QImage m_image;
    // The image in a format the painter copies without conversion; shares
    // the frozen image's pixels when it already is in one.
    QImage m_drawImage;

    std::optional<WindowTarget> m_hoveredWindow;
    std::optional<WindowTarget> m_pendingWindow;
    bool m_dragged = false;
    std::optional<QString> m_windowStatus;
    std::optional<Point> m_anchor;
    Rect m_selection;
    std::optional<Rect> m_selectionPixels;
    Rect m_previous;
    bool m_moving = false;
    std::optional<SelectionHandle> m_resizing;
    std::optional<Point> m_pointer;
    std::optional<SampledColor> m_pointerColor;
    QWidget* m_actions = nullptr;
    FloatingControls* m_actionPanel = nullptr;

    // The press was finished by a double click or abandoned with Escape;
    // its release must not confirm anything.
    bool m_pressSettled = false;
    Decorations m_drawn;
};

} // namespace kelpie
