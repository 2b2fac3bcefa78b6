#pragma once

#include "editor/ScreenshotPlacement.h"
#include "geometry/Rect.h"
#include "geometry/SelectionHandle.h"

#include <functional>
#include <optional>

namespace kelpie {

// The in-place re-crop of the screenshot editor, without any widget: the
// crop's region in capture space (the screen's own points, origin
// bottom-left, y up), the gesture that moves it, resizes it by one of its
// eight handles or draws it anew, and which view points the gesture may
// start on. The view feeds it view points (its own y-up space) and keys;
// the results leave through the callbacks. onRegionChange is called last,
// so accepting the region may destroy the model.
class ScreenshotAdjustment {
public:
    // How far from the crop's edge, in view points, the border can be grabbed.
    static constexpr double reach = 7;

    // `backgroundPixels` is the frozen screen's size in device pixels; every
    // region the gesture makes lies on whole pixels of it.
    ScreenshotAdjustment(Size captureSize, Size backgroundPixels, const Rect& region);

    // The gesture began: the owner hides the canvas and stops recognition.
    std::function<void()> onBegin;
    // The gesture was abandoned and the region restored: the canvas returns.
    std::function<void()> onCancel;
    // The region changed or was restored: lay out and redraw.
    std::function<void()> onChange;
    // Asked on release with the new region; true when the owner takes it.
    std::function<bool(const Rect&)> onRegionChange;

    bool canAdjust = true;
    bool sourceGeometryAvailable = true;

    Size captureSize() const { return m_capture; }
    Size backgroundPixels() const { return m_backgroundPixels; }
    const Rect& region() const { return m_region; }
    const Rect& previous() const { return m_previous; }
    const std::optional<ScreenshotPlacement>& placement() const { return m_placement; }
    void setPlacement(const std::optional<ScreenshotPlacement>& placement)
    {
        m_placement = placement;
    }

    bool isAdjusting() const { return m_adjusting; }
    const std::optional<SelectionHandle>& handle() const { return m_handle; }
    bool moving() const { return m_moving; }

    // Whether a press at this view point starts (or would start) a re-crop
    // rather than reaching the canvas: anywhere outside the crop, and inside
    // it within `reach` of its edge, while re-crop is offered and laid out.
    // Points outside `bounds` hit nothing.
    bool takesPoint(Point viewPoint, Size bounds) const;

    // The view point mapped through the placed background onto capture
    // space, clamped to the capture; absent without a placement.
    std::optional<Point> capturePoint(Point viewPoint) const;

    // The size the badge shows: the crop's pixels while idle, the live
    // region in background pixels while adjusting.
    Size badgePixels(Size imagePixels) const;

    // Pointer input in view space. press() answers whether a re-crop began.
    bool press(Point viewPoint);
    void drag(Point viewPoint);
    void release();
    // Back to the region of before the gesture.
    void cancel();
    // Escape or the cancel action: true when it cancelled a re-crop.
    bool cancelKey();

private:
    void changed();

    Size m_capture;
    Size m_backgroundPixels;
    Rect m_region;
    Rect m_previous;
    std::optional<ScreenshotPlacement> m_placement;
    std::optional<Point> m_anchor;
    std::optional<SelectionHandle> m_handle;
    bool m_moving = false;
    bool m_adjusting = false;
};

} // namespace kelpie
