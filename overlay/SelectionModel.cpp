#include "overlay/SelectionModel.h"

#include "capture/CaptureGeometry.h"
#include "overlay/OverlaySpace.h"
#include "overlay/PixelSampler.h"

#include <algorithm>
#include <cmath>

namespace kelpie {
namespace {

const QString windowHint = QStringLiteral("单击截取窗口，拖动选择区域");
const QString dragHint = QStringLiteral("拖动选择区域");

double distance(Point a, Point b) { return std::hypot(b.x - a.x, b.y - a.y); }

} // namespace

SelectionModel::SelectionModel(const QImage& image, Size view) : m_image(image), m_view(view) { }

int SelectionModel::toolTag(AnnotationTool tool)
{
    const auto found = std::find(allAnnotationTools.begin(), allAnnotationTools.end(), tool);
    return static_cast<int>(found - allAnnotationTools.begin());
}

// MARK: derived state

std::optional<Rect> SelectionModel::focusRect() const
{
    if (!m_selection.isEmpty())
        return m_selection;
    if (m_hoveredWindow)
        return m_hoveredWindow->rect;
    return std::nullopt;
}

std::optional<QString> SelectionModel::statusText() const
{
    if (m_windowStatus)
        return m_windowStatus;
    if (!windowPicking && m_selection.isEmpty() && !m_anchor)
        return dragHint;
    if (m_hoveredWindow && m_selection.isEmpty())
        return windowHint;
    return std::nullopt;
}

QString SelectionModel::sizeLabel() const
{
    if (!m_selectionPixels)
        return {};
    return QStringLiteral("%1 × %2 px")
        .arg(static_cast<qint64>(m_selectionPixels->width()))
        .arg(static_cast<qint64>(m_selectionPixels->height()));
}

std::optional<ViewPixelMapping::PixelPosition> SelectionModel::pixel(Point point) const
{
    return ViewPixelMapping::pixel(point, m_view, m_image.width(), m_image.height());
}

std::optional<ViewPixelMapping::PixelPosition> SelectionModel::pointerPixel() const
{
    if (!m_pointer)
        return std::nullopt;
    return pixel(OverlaySpace::pointerPixelPoint(*m_pointer, m_devicePixelRatio));
}

double SelectionModel::actionPanelMaxWidth() const { return std::max(m_view.width - 24, 0.0); }

Rect SelectionModel::actionPanelRect(Size panel) const
{
    const double x = std::max(
        std::min(m_view.width - panel.width - 12, m_selection.maxX() - panel.width), 12.0);
    const double y = std::max(m_selection.minY() - panel.height - 12, 12.0);
    return {x, y, panel.width, panel.height};
}

// MARK: selection and confirmation

void SelectionModel::select(const Rect& rect)
{
    const Size image{static_cast<double>(m_image.width()), static_cast<double>(m_image.height())};
    const auto pixels = CaptureGeometry::pixelRect(rect, m_view, image);
    if (!pixels) {
        m_selection = Rect();
        m_selectionPixels.reset();
    } else {
        m_selectionPixels = *pixels;
        m_selection = CaptureGeometry::viewRect(*pixels, m_view, image);
    }
}

void SelectionModel::showActionPanel()
{
    m_actionPanelShown = !m_selection.isEmpty();
    if (m_actionPanelShown)
        ++m_actionPanelRevision;
}

void SelectionModel::selectRegion(const Rect& rect)
{
    select(rect);
    showActionPanel();
}

void SelectionModel::showWindowStatus(const std::optional<QString>& status)
{
    m_windowStatus = status;
}

void SelectionModel::confirm(const SelectionAction& action)
{
    if (!m_selectionPixels)
        return;
    const Rect& p = *m_selectionPixels;
    const QRect pixels(static_cast<int>(p.minX()), static_cast<int>(p.minY()),
                       static_cast<int>(p.width()), static_cast<int>(p.height()));
    // A copy of the whole screen is encoded at once and dropped, so it
    // shares the frozen image instead of copying it into fresh memory; a
    // crop kept by a window gets pixels of its own, so that the frozen
    // image's memory goes back when the overlay does.
    const QImage crop = action.kind() == SelectionAction::Kind::copy && pixels == m_image.rect()
        ? m_image
        : m_image.copy(pixels);
    if (crop.isNull() || !onConfirm)
        return;
    // The callback may close and release the overlay; nothing follows it.
    const ConfirmCallback callback = onConfirm;
    callback(crop, m_selection, action);
}

void SelectionModel::selectAll()
{
    select(Rect(0, 0, m_view.width, m_view.height));
    showActionPanel();
    if (automaticallyEdit)
        confirm(SelectionAction::edit());
}

void SelectionModel::editTool(int tag)
{
    if (tag < 0 || tag >= static_cast<int>(allAnnotationTools.size()))
        return;
    confirm(SelectionAction::annotate(allAnnotationTools[static_cast<std::size_t>(tag)]));
}

void SelectionModel::reset()
{
    m_selection = Rect();
    m_selectionPixels.reset();
    m_actionPanelShown = false;
}

void SelectionModel::cancel()
{
    if (onCancel) {
        const auto callback = onCancel;
        callback();
    }
}

void SelectionModel::cancelOperation()
{
    m_pendingWindow.reset();
    if (m_anchor) {
        m_anchor.reset();
        m_resizing.reset();
        m_moving = false;
        m_pressSettled = true;
        select(m_previous);
        showActionPanel();
    } else if (!m_selection.isEmpty()) {
        reset();
    } else {
        cancel();
    }
}

// MARK: pointer

void SelectionModel::hover(Point point)
{
    m_pointer = point;
    if (m_selection.isEmpty() && windowPicking)
        m_hoveredWindow = WindowTarget::hit(point, windowTargets);
    else
        m_hoveredWindow.reset();
    m_pointerColor.reset();
    if (const auto position = pointerPixel())
        m_pointerColor = PixelSampler::color(m_image, position->x, position->y);
}

void SelectionModel::leave()
{
    m_pointer.reset();
    m_pointerColor.reset();
    m_hoveredWindow.reset();
}

void SelectionModel::press(Point p, int clickCount)
{
    m_anchor = p;
    m_previous = m_selection;
    m_windowStatus.reset();
    m_dragged = false;
    m_pressSettled = false;
    m_pendingWindow.reset();
    if (m_selection.isEmpty() && windowPicking)
        m_pendingWindow = WindowTarget::hit(p, windowTargets);

    m_resizing.reset();
    if (!m_selection.isEmpty()) {
        for (const SelectionHandle handle : SelectionHandle::allCases()) {
            const Point h = handle.point(m_selection);
            if (std::abs(h.x - p.x) <= handleReach && std::abs(h.y - p.y) <= handleReach) {
                m_resizing = handle;
                break;
            }
        }
    }
    m_moving = !m_resizing && !m_selection.isEmpty() && m_selection.contains(p);

    if (clickCount == 2 && m_moving) {
        m_pressSettled = true;
        confirm(SelectionAction::copy());
        return;
    }
    hover(p);
    m_actionPanelShown = false;
}

Rect SelectionModel::clampedToView(Rect rect) const
{
    rect.origin.x = std::min(m_view.width - rect.width(), std::max(rect.origin.x, 0.0));
    rect.origin.y = std::min(m_view.height - rect.height(), std::max(rect.origin.y, 0.0));
    return rect;
}

void SelectionModel::drag(Point q)
{
    if (!m_anchor)
        return;
    const Point anchor = *m_anchor;
    if (distance(anchor, q) > clickThreshold) {
        m_dragged = true;
        m_pendingWindow.reset();
    }
    hover(q);
    if (m_resizing) {
        const Size minimum{m_view.width / m_image.width(), m_view.height / m_image.height()};
        select(m_resizing->resize(m_previous, q, m_view, minimum));
    } else if (m_moving) {
        select(clampedToView(m_previous.offsetBy(q.x - anchor.x, q.y - anchor.y).standardized()));
    } else if (m_dragged) {
        // Until the press travels past the click threshold it is a click,
        // which keeps the region it found instead of a sliver of a pixel.
        select(Rect(std::min(anchor.x, q.x), std::min(anchor.y, q.y), std::abs(q.x - anchor.x),
                    std::abs(q.y - anchor.y)));
    }
}

void SelectionModel::release(Point q)
{
    if (m_pressSettled) {
        m_pressSettled = false;
        m_anchor.reset();
        m_resizing.reset();
        return;
    }
    if (m_anchor && distance(*m_anchor, q) > clickThreshold) {
        m_dragged = true;
        m_pendingWindow.reset();
    }
    m_anchor.reset();
    m_resizing.reset();

    if (m_dragged || !m_pendingWindow) {
        m_pendingWindow.reset();
        if (automaticallyEdit && !m_selection.isEmpty())
            confirm(SelectionAction::edit());
        else
            showActionPanel();
        return;
    }

    const WindowTarget target = *m_pendingWindow;
    m_pendingWindow.reset();
    if (onWindowPick) {
        const auto callback = onWindowPick;
        callback(target);
    }
}

// MARK: keys

void SelectionModel::moveSelection(double dx, double dy)
{
    if (m_selection.isEmpty())
        return;
    select(clampedToView(m_selection.offsetBy(dx, dy)));
    showActionPanel();
}

void SelectionModel::copyPointerColor(bool rgb)
{
    if (!m_pointerColor) {
        if (beep)
            beep();
        return;
    }
    if (onCopyText)
        onCopyText(rgb ? m_pointerColor->rgb() : m_pointerColor->hex());
}

bool SelectionModel::isOverlayKey(Key key, Modifiers m)
{
    switch (key) {
    case Key::escape: return true;
    case Key::returnKey:
    case Key::keypadEnter: return !m.shift && !m.control && !m.option && !m.command;
    case Key::c: return !m.control && !m.option && !m.command;
    case Key::a: return m.command;
    case Key::left:
    case Key::right:
    case Key::down:
    case Key::up: return true;
    case Key::other: return false;
    }
    return false;
}

bool SelectionModel::keyPress(Key key, Modifiers modifiers)
{
    if (!isOverlayKey(key, modifiers))
        return false;
    const double step = modifiers.shift ? 10 : 1;
    const double dx = step * m_view.width / m_image.width();
    const double dy = step * m_view.height / m_image.height();
    switch (key) {
    case Key::escape: cancelOperation(); break;
    case Key::returnKey:
    case Key::keypadEnter: confirm(SelectionAction::copy()); break;
    case Key::c: copyPointerColor(modifiers.shift); break;
    // From the keyboard, select-all never confirms by itself.
    case Key::a:
        select(Rect(0, 0, m_view.width, m_view.height));
        showActionPanel();
        break;
    case Key::left: moveSelection(-dx, 0); break;
    case Key::right: moveSelection(dx, 0); break;
    case Key::down: moveSelection(0, -dy); break;
    case Key::up: moveSelection(0, dy); break;
    case Key::other: break;
    }
    return true;
}

} // namespace kelpie
