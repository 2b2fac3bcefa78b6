#include "editor/ScreenshotBorder.h"

#include "editor/CoreAppearance.h"
#include "editor/ScreenshotSpace.h"
#include "geometry/SelectionHandle.h"

#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace kelpie {
namespace {

constexpr double handleSide = 5;
constexpr double handleRadius = 1.5;
constexpr double badgeRadius = 4;
constexpr Size badgePadding{12, 8};
// Between the badge and the crop or the view's edges.
constexpr double badgeGap = 8;
// Outline and handles reach this far outside the selection.
constexpr int outlineMargin = 5;

QString integerText(double v)
{
    if (!std::isfinite(v))
        return QStringLiteral("0");
    return QString::number(std::trunc(v), 'f', 0);
}

} // namespace

ScreenshotBorder::ScreenshotBorder(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    CoreAppearance::followAppearance(this);
}

QString ScreenshotBorder::badgeText(Size pixels)
{
    return integerText(pixels.width) + QStringLiteral(" × ") + integerText(pixels.height)
        + QStringLiteral(" px");
}

QFont ScreenshotBorder::badgeFont()
{
    return CoreAppearance::monospacedDigitSystemFont(11, QFont::DemiBold);
}

Size ScreenshotBorder::badgeSize(const QString& text)
{
    const QFontMetricsF metrics(badgeFont());
    return {std::ceil(metrics.horizontalAdvance(text)) + badgePadding.width,
            std::ceil(metrics.height()) + badgePadding.height};
}

Rect ScreenshotBorder::badgeRect(Size badge, const Rect& selection, const Rect& bounds,
                                 const std::optional<Rect>& toolbar)
{
    const double w = badge.width;
    const double h = badge.height;
    double x = std::max(std::min(selection.minX(), bounds.maxX() - w - badgeGap), badgeGap);
    double y = std::min(selection.maxY() + 10, bounds.maxY() - h - badgeGap);
    if (toolbar && toolbar->intersects(Rect(x, y, w, h))) {
        double beside = selection.minX() - w - badgeGap;
        if (beside < badgeGap)
            beside = x + badgeGap;
        x = std::min(beside, bounds.maxX() - w - badgeGap);
        y = std::max(std::min(selection.maxY() - h - badgeGap, bounds.maxY() - h - badgeGap),
                     badgeGap);
    }
    return Rect(x, y, w, h);
}

std::optional<Rect> ScreenshotBorder::badgeFor(const State& state) const
{
    if (state.selection.isEmpty())
        return std::nullopt;
    return badgeRect(badgeSize(badgeText(state.pixels)), state.selection,
                     Rect(0, 0, width(), height()), state.toolbar);
}

QRegion ScreenshotBorder::paintedArea(const State& state) const
{
    QRegion area;
    if (state.selection.isEmpty())
        return area;
    const QRect outline = ScreenshotSpace::widgetRect(state.selection, height()).toAlignedRect();
    area += outline.adjusted(-outlineMargin, -outlineMargin, outlineMargin, outlineMargin);
    if (const auto badge = badgeFor(state))
        area
            += ScreenshotSpace::widgetRect(*badge, height()).toAlignedRect().adjusted(-1, -1, 1, 1);
    return area;
}

void ScreenshotBorder::setState(const State& state)
{
    if (state == m_state)
        return;
    update(paintedArea(m_state) + paintedArea(state));
    m_state = state;
}

void ScreenshotBorder::paintEvent(QPaintEvent*)
{
    if (m_state.selection.isEmpty())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const auto appearance = CoreAppearance::appearance(this);
    const QColor border = CoreAppearance::captureBorder.resolved(appearance);
    const double viewHeight = height();

    const QRectF selection = ScreenshotSpace::widgetRect(m_state.selection, viewHeight);
    painter.strokePath(CoreAppearance::captureOutline(selection),
                       QPen(border, CoreAppearance::captureBorderWidth));

    if (m_state.handles) {
        painter.setPen(QPen(border, 1));
        painter.setBrush(CoreAppearance::surface.resolved(appearance));
        for (const SelectionHandle handle : SelectionHandle::allCases()) {
            const QPointF centre
                = ScreenshotSpace::widgetPoint(handle.point(m_state.selection), viewHeight);
            painter.drawRoundedRect(QRectF(centre.x() - handleSide / 2, centre.y() - handleSide / 2,
                                           handleSide, handleSide),
                                    handleRadius, handleRadius);
        }
    }

    if (const auto badge = badgeFor(m_state)) {
        const QRectF box = ScreenshotSpace::widgetRect(*badge, viewHeight);
        QPainterPath background;
        background.addRoundedRect(box, badgeRadius, badgeRadius);
        painter.fillPath(background, QColor::fromRgbF(0.12f, 0.12f, 0.12f, 0.88f));
        painter.setFont(badgeFont());
        painter.setPen(Qt::white);
        const QRectF text = box.adjusted(badgePadding.width / 2, badgePadding.height / 2,
                                         -badgePadding.width / 2, -badgePadding.height / 2);
        painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter, badgeText(m_state.pixels));
    }
}

} // namespace kelpie
