#pragma once

#include "capture/WindowTarget.h"
#include "geometry/Rect.h"
#include "geometry/SelectionHandle.h"
#include "overlay/SampledColor.h"
#include "overlay/SelectionAction.h"
#include "overlay/ViewPixelMapping.h"

#include <QImage>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace kelpie {

// What the selection overlay knows and does, without any widget: the region
// being chosen over a frozen image, the press in progress (new region, move
// or resize by a handle), window picks, the Escape ladder and the keys. All
// geometry is in the overlay's view space (points, origin bottom-left, y up).
// A view paints this state and feeds it pointer and key input; the outcome
// leaves through the callbacks, each called last, so a callback may destroy
// the model.
class SelectionModel {
public:
    // The keys the overlay acts on, named apart from any toolkit.
    enum class Key {
        escape,
        returnKey,
        keypadEnter,
        c,
        a,
        left,
        right,
        down,
        up,
        other,
    };
    // In-window modifiers as the desktop names them; `command` is the key
    // that copies and selects all.
    struct Modifiers {
        bool shift = false;
        bool control = false;
        bool option = false;
        bool command = false;
    };

    // The crop, the region in view space, and the action.
    using ConfirmCallback
        = std::function<void(const QImage& crop, const Rect& rect, const SelectionAction& action)>;

    static constexpr double clickThreshold = 3;
    static constexpr double handleReach = 7;

    SelectionModel(const QImage& image, Size view);

    // Set by the owner before input arrives.
    bool automaticallyEdit = false;
    std::vector<WindowTarget> windowTargets;
    // False where the window system cannot capture a single window: clicks
    // never pick, and the status line says that a region is dragged.
    bool windowPicking = true;
    ConfirmCallback onConfirm;
    std::function<void()> onCancel;
    std::function<void(const WindowTarget&)> onWindowPick;
    // The colour copy's text for the clipboard, and the beep when there is none.
    std::function<void(const QString&)> onCopyText;
    std::function<void()> beep;

    const QImage& image() const { return m_image; }
    Size viewSize() const { return m_view; }
    // Device pixels per point of the display the view is on: the pointer
    // samples the device pixel under its hot spot.
    void setDevicePixelRatio(double ratio) { m_devicePixelRatio = ratio > 0 ? ratio : 1; }
    double devicePixelRatio() const { return m_devicePixelRatio; }

    // Empty when nothing is selected; otherwise exactly on image pixels.
    const Rect& selection() const { return m_selection; }
    const std::optional<Rect>& selectionPixels() const { return m_selectionPixels; }
    const std::optional<WindowTarget>& hoveredWindow() const { return m_hoveredWindow; }
    const std::optional<QString>& windowStatus() const { return m_windowStatus; }
    const std::optional<Point>& pointer() const { return m_pointer; }
    const std::optional<SampledColor>& pointerColor() const { return m_pointerColor; }
    bool pressing() const { return m_anchor.has_value(); }

    // Whether the action panel is shown, and a count that grows each time it
    // is shown again, so a view knows when to lay it out anew.
    bool actionPanelShown() const { return m_actionPanelShown; }
    int actionPanelRevision() const { return m_actionPanelRevision; }
    // Under the selection, right-aligned with it, at least 12 points inside
    // the view; `panel` is the panel's size for a width of at most
    // actionPanelMaxWidth().
    Rect actionPanelRect(Size panel) const;
    double actionPanelMaxWidth() const;

    // The focus: the selection, else the hovered window, else none.
    std::optional<Rect> focusRect() const;
    // The status line: the window status, else the pick hint over a window
    // (or, without window picking, the drag hint while nothing is selected).
    std::optional<QString> statusText() const;
    // "640 × 480 px": the selection's size in image pixels; empty without one.
    QString sizeLabel() const;
    // The image pixel under a view point (maximum edges excluded).
    std::optional<ViewPixelMapping::PixelPosition> pixel(Point point) const;
    // The image pixel under the pointer's hot spot.
    std::optional<ViewPixelMapping::PixelPosition> pointerPixel() const;

    // Pointer input, in view space.
    void press(Point point, int clickCount = 1);
    void drag(Point point);
    void release(Point point);
    void hover(Point point);
    void leave();

    // True when the key is one of the overlay's (and so was acted on).
    bool keyPress(Key key, Modifiers modifiers);
    static bool isOverlayKey(Key key, Modifiers modifiers);

    // Sets or clears the status line (window capture progress or failure).
    void showWindowStatus(const std::optional<QString>& status);
    // Selects a view rectangle and shows the action panel.
    void selectRegion(const Rect& rect);

    // The responder actions of the overlay.
    void selectAll();
    void confirm(const SelectionAction& action);
    // `tag` is the tool's index in the list of all tools; others are ignored.
    void editTool(int tag);
    void reset();
    void cancel();
    void cancelOperation();

    // The tag of a tool button: the tool's index in the list of all tools.
    static int toolTag(AnnotationTool tool);

private:
    void select(const Rect& rect);
    void showActionPanel();
    void moveSelection(double dx, double dy);
    Rect clampedToView(Rect rect) const;
    void copyPointerColor(bool rgb);

    QImage m_image;
    Size m_view;
    double m_devicePixelRatio = 1;

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
    bool m_actionPanelShown = false;
    int m_actionPanelRevision = 0;
    // The press was finished by a double click or abandoned with Escape;
    // its release must not confirm anything.
    bool m_pressSettled = false;
};

} // namespace kelpie
