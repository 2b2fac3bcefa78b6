#include "editor/ScreenshotChromeLayout.h"

#include "editor/CoreAppearance.h"
#include "editor/CoreSurfaceView.h"
#include "editor/FloatingControls.h"
#include "editor/ScreenshotLayout.h"
#include "editor/ScreenshotSpace.h"
#include "editor/ScreenshotStatus.h"
#include "editor/ScreenshotView.h"

#include <QPainterPath>
#include <QRegion>

#include <algorithm>
#include <cmath>

namespace kelpie {
namespace {

// Between the status and the panels, and the status and the view's edges.
constexpr double statusGap = 8;

Size sizeOf(QSizeF s) { return {s.width(), s.height()}; }

void setVisible(QWidget* widget, bool visible)
{
    if (widget && widget->isVisibleTo(widget->parentWidget()) != visible)
        widget->setVisible(visible);
}

// The canvas is cut to the crop's rounded outline, as its border draws it.
void roundCanvas(QWidget& canvas)
{
    const QRectF bounds(QPointF(0, 0), QSizeF(canvas.size()));
    if (bounds.isEmpty()) {
        canvas.clearMask();
        return;
    }
    const QPainterPath outline = CoreAppearance::captureOutline(bounds);
    const QRegion shape(outline.toFillPolygon().toPolygon());
    if (canvas.mask() != shape)
        canvas.setMask(shape);
}

void placePanel(CoreSurfaceView* panel, FloatingControls* content, const Rect& frame,
                double viewHeight)
{
    if (!panel)
        return;
    const QRectF rect = ScreenshotSpace::widgetRect(frame, viewHeight);
    panel->setGeometry(rect.toAlignedRect());
    if (content)
        content->place(QRectF(QPointF(0, 0), rect.size()));
}

// Under the panels when the tool bar lies below the crop's top and there is
// room, else over them, else as low as the view allows.
void placeStatus(ScreenshotStatus& status, const ScreenshotPlacement& placement, const Size& bounds,
                 double viewHeight)
{
    status.adjustSize();
    const double h = status.height();
    Rect panels = placement.toolbar;
    if (placement.parameters)
        panels = panels.united(*placement.parameters);
    const double below = panels.minY() - h - statusGap;
    double y;
    if (placement.toolbar.minY() < placement.image.maxY() && below >= statusGap)
        y = below;
    else if (panels.maxY() + statusGap + h <= bounds.height - statusGap)
        y = panels.maxY() + statusGap;
    else
        y = std::max(below, statusGap);
    const double x = placement.toolbar.minX() + statusGap;
    const QPointF topLeft = ScreenshotSpace::widgetPoint(Point{x, y + h}, viewHeight);
    status.move(static_cast<int>(std::round(topLeft.x())),
                static_cast<int>(std::round(topLeft.y())));
}

} // namespace

void layoutScreenshot(ScreenshotView& view, const ScreenshotChromeParts& parts)
{
    const Size bounds{static_cast<double>(view.width()), static_cast<double>(view.height())};
    const double maxWidth = std::max(0.0, bounds.width - 24);
    const Size toolbar
        = parts.toolbarContent ? sizeOf(parts.toolbarContent->panelSize(maxWidth)) : Size{};
    const Size parameters = parts.markupRowVisible && parts.parametersContent
        ? sizeOf(parts.parametersContent->panelSize(maxWidth))
        : Size{};
    const ScreenshotPresentation& presentation = view.presentation();
    const std::optional<ScreenshotPlacement> placement
        = ScreenshotLayout::make(presentation.captureSize(), view.region(), bounds, toolbar,
                                 parameters, !presentation.allowsAdjustment);

    view.setCanAdjust(presentation.allowsAdjustment && view.sourceGeometryAvailable()
                      && !parts.documentHasObjects && !parts.canvasHasDraft);
    view.setPlacement(placement);
    if (!placement) {
        // Hidden rather than drawn at a wrong place.
        setVisible(parts.canvas, false);
        setVisible(parts.toolbarPanel, false);
        setVisible(parts.parametersPanel, false);
        view.refreshBorder();
        return;
    }

    const double h = bounds.height;
    if (parts.canvas) {
        parts.canvas->setGeometry(ScreenshotSpace::widgetRect(placement->image, h).toAlignedRect());
        roundCanvas(*parts.canvas);
        if (parts.overlay) {
            parts.overlay->setGeometry(parts.canvas->rect());
            parts.overlay->update();
        }
    }

    const bool adjusting = view.isAdjusting();
    setVisible(parts.canvas, !adjusting);
    setVisible(parts.toolbarPanel, !adjusting);
    setVisible(parts.parametersPanel, !adjusting && placement->parameters.has_value());

    placePanel(parts.toolbarPanel, parts.toolbarContent, placement->toolbar, h);
    if (placement->parameters)
        placePanel(parts.parametersPanel, parts.parametersContent, *placement->parameters, h);

    if (parts.status) {
        setVisible(parts.status, !adjusting && !parts.hidesRoutineStatus);
        placeStatus(*parts.status, *placement, bounds, h);
    }
    view.refreshBorder();
}

} // namespace kelpie
