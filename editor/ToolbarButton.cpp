#include "editor/ToolbarButton.h"

#include "editor/CoreAppearance.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionButton>

#include <algorithm>
#include <cmath>

namespace kelpie {
namespace {

using CoreAppearance::Appearance;

QColor withAlpha(QColor color, double alpha)
{
    color.setAlphaF(static_cast<float>(color.alphaF() * alpha));
    return color;
}

const CoreAppearance::NamedColor onBackground{"toolbarOnBackground",
                                              QColor::fromRgbF(0.90f, 0.94f, 0.92f),
                                              QColor::fromRgbF(0.19f, 0.29f, 0.25f)};
const CoreAppearance::NamedColor onContent{"toolbarOnContent", CoreAppearance::accent.light,
                                           QColor::fromRgbF(0.68f, 0.86f, 0.78f)};

} // namespace

ToolbarButton::ToolbarButton(const QString& title, QWidget* parent)
    : ToolbarButton(title, ControlImage(), parent)
{
}

ToolbarButton::ToolbarButton(const QString& title, const ControlImage& image, QWidget* parent)
    : QAbstractButton(parent), m_image(image)
{
    setText(title);
    setFont(CoreAppearance::systemFont(14));
    setFocusPolicy(Qt::TabFocus);
    setAttribute(Qt::WA_Hover, false);
    CoreAppearance::followAppearance(this, [this] { refreshAppearance(); });
    connect(this, &QAbstractButton::toggled, this, &ToolbarButton::refreshAppearance);
    refreshAppearance();
}

void ToolbarButton::setPrimary(bool primary)
{
    m_primary = primary;
    refreshAppearance();
}

void ToolbarButton::setCompact(bool compact)
{
    m_compact = compact;
    updateGeometry();
    update();
}

void ToolbarButton::setSample(bool sample)
{
    m_sample = sample;
    updateGeometry();
    update();
}

void ToolbarButton::setSidePadding(double padding)
{
    m_sidePadding = padding;
    updateGeometry();
    update();
}

void ToolbarButton::setBezeled(bool bezeled)
{
    m_bezeled = bezeled;
    // Only a bezeled button has a hover look, so only it repaints on hover.
    setAttribute(Qt::WA_Hover, bezeled);
    update();
}

void ToolbarButton::setIconHidden(bool hidden)
{
    if (m_iconHidden == hidden)
        return;
    m_iconHidden = hidden;
    updateGeometry();
    update();
}

void ToolbarButton::setMinimumTitle(const QString& title)
{
    m_minimumTitle = title;
    updateGeometry();
}

void ToolbarButton::setImage(const ControlImage& image)
{
    m_image = image;
    updateGeometry();
    update();
}

void ToolbarButton::configureToolbarStyle()
{
    setFont(CoreAppearance::systemFont(16, QFont::Medium));
    if (!m_image.isNull()) {
        if (auto configured = m_image.withSymbolConfiguration(18, QFont::Medium))
            m_image = *configured;
    }
    updateGeometry();
    refreshAppearance();
}

void ToolbarButton::refreshAppearance()
{
    const Appearance appearance = CoreAppearance::appearance(this);
    if (m_primary) {
        m_background = CoreAppearance::accent.resolved(appearance);
        m_contentTint = QColor(Qt::white);
    } else if (isChecked()) {
        m_background = onBackground.resolved(appearance);
        m_contentTint = onContent.resolved(appearance);
    } else {
        m_background = Qt::transparent;
        m_contentTint = CoreAppearance::label.resolved(appearance);
    }
    update();
}

QSizeF ToolbarButton::iconBox() const
{
    return (m_compact || m_sample) ? QSizeF(32, 22) : QSizeF(19, 19);
}

QSizeF ToolbarButton::fittedIconSize() const
{
    if (!showsImage())
        return {};
    const QSizeF size = m_image.size();
    const QSizeF box = iconBox();
    const double scale = std::min({1.0, box.width() / size.width(), box.height() / size.height()});
    return size * scale;
}

int ToolbarButton::intrinsicWidth() const
{
    if (text().isEmpty())
        return m_compact ? 44 : iconButtonWidth;
    const QFontMetricsF metrics(CoreAppearance::systemFont(14));
    const double titleWidth
        = std::max(metrics.horizontalAdvance(text()), metrics.horizontalAdvance(m_minimumTitle));
    const double iconWidth = fittedIconSize().width();
    const double width
        = titleWidth + iconWidth + (showsImage() ? m_iconGap : 0) + 2 * m_sidePadding;
    return static_cast<int>(width);
}

QSize ToolbarButton::sizeHint() const { return {intrinsicWidth(), intrinsicHeight}; }

QSize ToolbarButton::minimumSizeHint() const { return sizeHint(); }

ToolbarButton::ContentFrames ToolbarButton::contentFrames(const QRectF& bounds) const
{
    const QSizeF iconSize = fittedIconSize();
    QSizeF titleSize;
    if (!text().isEmpty()) {
        const QFontMetricsF metrics(font());
        titleSize
            = QSizeF(std::ceil(metrics.horizontalAdvance(text())), std::ceil(metrics.height()));
    }
    const bool both = !iconSize.isEmpty() && !titleSize.isEmpty();
    const double total = iconSize.width() + (both ? m_iconGap : 0) + titleSize.width();
    // Whole points keep one-point strokes of the symbols on pixel rows.
    const double left = std::round(bounds.center().x() - total / 2);
    ContentFrames frames;
    if (!iconSize.isEmpty())
        frames.icon = QRectF(QPointF(left, std::round(bounds.center().y() - iconSize.height() / 2)),
                             iconSize);
    if (!titleSize.isEmpty()) {
        const double x = left + iconSize.width() + (both ? m_iconGap : 0);
        frames.title = QRectF(QPointF(x, std::round(bounds.center().y() - titleSize.height() / 2)),
                              titleSize);
    }
    return frames;
}

void ToolbarButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = rect();

    QPainterPath shape;
    shape.addRoundedRect(bounds, cornerRadius, cornerRadius);
    if (m_background.alpha() > 0)
        painter.fillPath(shape, m_background);

    if (m_bezeled)
        drawBezel(painter, bounds);

    if (m_compact) {
        QStyleOptionButton option;
        option.initFrom(this);
        option.features = QStyleOptionButton::None;
        if (isDown())
            option.state |= QStyle::State_Sunken;
        if (isChecked())
            option.state |= QStyle::State_On;
        style()->drawControl(QStyle::CE_PushButtonBevel, &option, &painter, this);
    }

    const ContentFrames frames = contentFrames(bounds);
    const QColor tint
        = m_contentTint.value_or(CoreAppearance::label.resolved(CoreAppearance::appearance(this)));
    const double alpha = isEnabled() ? 1.0 : 0.42;

    if (isEnabled() && isDown())
        painter.fillPath(shape, withAlpha(tint, 0.12));

    if (showsImage() && !frames.icon.isEmpty())
        drawIcon(painter, frames.icon, tint, alpha);

    if (!frames.title.isEmpty()) {
        painter.setFont(font());
        painter.setPen(withAlpha(tint, alpha));
        painter.drawText(frames.title, Qt::AlignCenter | Qt::TextSingleLine, text());
    }

    if (hasFocus()) {
        QPen ring(withAlpha(CoreAppearance::accent.resolved(CoreAppearance::appearance(this)), 0.7),
                  2);
        painter.setPen(ring);
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(bounds.adjusted(1, 1, -1, -1), cornerRadius - 1, cornerRadius - 1);
    }
}

// A faint fill and a one-point separator outline on whole device pixels; the
// pointer over an enabled button deepens both.
void ToolbarButton::drawBezel(QPainter& painter, const QRectF& bounds) const
{
    const auto appearance = CoreAppearance::appearance(this);
    const bool hovered = isEnabled() && underMouse();
    const QColor content = CoreAppearance::label.resolved(appearance);
    const double ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const double line = std::max(1.0, std::round(ratio)) / ratio;
    const QRectF outline = bounds.adjusted(line / 2, line / 2, -line / 2, -line / 2);
    QPainterPath shape;
    shape.addRoundedRect(outline, cornerRadius, cornerRadius);
    painter.fillPath(shape, withAlpha(content, hovered ? 0.10 : 0.04));
    painter.strokePath(shape, QPen(withAlpha(content, hovered ? 0.32 : 0.16), line));
}

void ToolbarButton::drawIcon(QPainter& painter, const QRectF& frame, const QColor& tint,
                             double alpha) const
{
    painter.save();
    painter.setClipRect(frame, Qt::IntersectClip);
    painter.setOpacity(painter.opacity() * alpha);
    if (m_image.isTemplate()) {
        // The template supplies only coverage; the tint is laid over it in a
        // layer of its own so nothing underneath is coloured.
        const double ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
        const QSize pixels(static_cast<int>(std::ceil(frame.width() * ratio)),
                           static_cast<int>(std::ceil(frame.height() * ratio)));
        QImage layer(pixels, QImage::Format_ARGB32_Premultiplied);
        layer.setDevicePixelRatio(ratio);
        layer.fill(Qt::transparent);
        {
            QPainter layerPainter(&layer);
            m_image.draw(layerPainter, QRectF(QPointF(0, 0), frame.size()));
            layerPainter.setCompositionMode(QPainter::CompositionMode_SourceAtop);
            layerPainter.fillRect(QRectF(QPointF(0, 0), frame.size()), tint);
        }
        painter.drawImage(frame.topLeft(), layer);
    } else {
        m_image.draw(painter, frame);
    }
    painter.restore();
}

void ToolbarButton::changeEvent(QEvent* event)
{
    QAbstractButton::changeEvent(event);
    if (event->type() == QEvent::EnabledChange)
        update();
}

} // namespace kelpie
