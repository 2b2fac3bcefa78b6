#include "editor/ScreenshotAdjustment.h"

#include "capture/CaptureGeometry.h"

#include <algorithm>
#include <cmath>

namespace kelpie {
namespace {

template<typename Callback> void call(const Callback& callback)
{
    if (callback) {
        const Callback copy = callback;
        copy();
    }
}

double clamped(double v, double lo, double hi) { return std::max(lo, std::min(hi, v)); }

} // namespace

ScreenshotAdjustment::ScreenshotAdjustment(Size captureSize, Size backgroundPixels,
                                           const Rect& region)
    // Until a gesture starts, the region of before is the region itself, so
    // a cancel with no gesture leaves the crop where it is.
    : m_capture(captureSize), m_backgroundPixels(backgroundPixels), m_region(region),
      m_previous(region)
{
}

bool ScreenshotAdjustment::takesPoint(Point p, Size bounds) const
{
    if (!Rect(0, 0, bounds.width, bounds.height).contains(p))
        return false;
    if (!canAdjust || !m_placement)
        return false;
    const Rect& crop = m_placement->image;
    // The part of the crop further than `reach` from every edge belongs to
    // the canvas; a crop 14 points or less across has no such part.
    const Rect inner = crop.insetBy(reach, reach);
    return inner.isNull() || inner.isEmpty() || !inner.contains(p);
}

std::optional<Point> ScreenshotAdjustment::capturePoint(Point p) const
{
    if (!m_placement)
        return std::nullopt;
    const Rect& background = m_placement->background;
    if (background.width() <= 0 || background.height() <= 0)
        return std::nullopt;
    const double x = (p.x - background.minX()) / background.width() * m_capture.width;
    const double y = (p.y - background.minY()) / background.height() * m_capture.height;
    if (!std::isfinite(x) || !std::isfinite(y))
        return std::nullopt;
    return Point{clamped(x, 0, m_capture.width), clamped(y, 0, m_capture.height)};
}

Size ScreenshotAdjustment::badgePixels(Size imagePixels) const
{
    if (!m_adjusting || m_capture.width <= 0 || m_capture.height <= 0)
        return imagePixels;
    return {m_region.width() / m_capture.width * m_backgroundPixels.width,
            m_region.height() / m_capture.height * m_backgroundPixels.height};
}

bool ScreenshotAdjustment::press(Point viewPoint)
{
    if (!canAdjust || !sourceGeometryAvailable)
        return false;
    const std::optional<Point> p = capturePoint(viewPoint);
    if (!p)
        return false;
    m_anchor = p;
    m_previous = m_region;
    const double k = std::max(m_placement->background.width() / m_capture.width, 0.001);
    const double tolerance = reach / k;
    m_handle.reset();
    for (const SelectionHandle handle : SelectionHandle::allCases()) {
        const Point h = handle.point(m_region);
        if (std::abs(h.x - p->x) <= tolerance && std::abs(h.y - p->y) <= tolerance) {
            m_handle = handle;
            break;
        }
    }
    // Off the handles: on or near the crop moves it, elsewhere draws anew.
    m_moving = false;
    if (!m_handle) {
        const Rect grown = m_region.insetBy(-tolerance, -tolerance);
        m_moving = grown.contains(*p);
    }
    m_adjusting = true;
    call(onBegin);
    return true;
}

void ScreenshotAdjustment::drag(Point viewPoint)
{
    if (!m_adjusting || !m_anchor)
        return;
    const std::optional<Point> p = capturePoint(viewPoint);
    if (!p)
        return;
    if (m_handle) {
        // At least one background pixel on each axis.
        const Size minimum{m_capture.width / m_backgroundPixels.width,
                           m_capture.height / m_backgroundPixels.height};
        m_region = m_handle->resize(m_previous, *p, m_capture, minimum);
    } else if (m_moving) {
        const Rect moved = m_previous.offsetBy(p->x - m_anchor->x, p->y - m_anchor->y);
        const double x = clamped(moved.minX(), 0, m_capture.width - moved.width());
        const double y = clamped(moved.minY(), 0, m_capture.height - moved.height());
        m_region = Rect(x, y, moved.width(), moved.height());
    } else {
        m_region = Rect(*m_anchor, Size{p->x - m_anchor->x, p->y - m_anchor->y}).standardized();
    }
    if (const auto pixels = CaptureGeometry::pixelRect(m_region, m_capture, m_backgroundPixels))
        m_region = CaptureGeometry::viewRect(*pixels, m_capture, m_backgroundPixels);
    changed();
}

void ScreenshotAdjustment::release()
{
    if (!m_adjusting)
        return;
    m_adjusting = false;
    m_anchor.reset();
    m_handle.reset();
    m_moving = false;
    const bool usable = m_region.width() > 0 && m_region.height() > 0;
    if (usable && m_region != m_previous && onRegionChange) {
        const auto callback = onRegionChange;
        // Taken: the owner replaces the editor, and this model with it.
        if (callback(m_region))
            return;
    }
    cancel();
}

void ScreenshotAdjustment::cancel()
{
    m_region = m_previous;
    m_adjusting = false;
    m_anchor.reset();
    m_handle.reset();
    m_moving = false;
    call(onCancel);
    changed();
}

bool ScreenshotAdjustment::cancelKey()
{
    if (!m_adjusting)
        return false;
    cancel();
    return true;
}

void ScreenshotAdjustment::changed() { call(onChange); }

} // namespace kelpie
