#include "editor/ScreenshotStatus.h"

#include "editor/CoreAppearance.h"

#include <QPainter>
#include <QPainterPath>

namespace kelpie {

ScreenshotStatus::ScreenshotStatus(QWidget* parent)
    : QLabel(QStringLiteral("正在识别文字…"), parent)
{
    setFont(CoreAppearance::systemFont(13));
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
    setContentsMargins(8, 3, 8, 3);
    refreshColor();
    CoreAppearance::followAppearance(this, [this] { refreshColor(); });
}

void ScreenshotStatus::setText(const QString& text)
{
    QLabel::setText(text);
    if (onChange) {
        const auto callback = onChange;
        callback();
    }
}

void ScreenshotStatus::clear() { setText(QString()); }

void ScreenshotStatus::paintEvent(QPaintEvent* event)
{
    if (!text().isEmpty()) {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath patch;
        patch.addRoundedRect(QRectF(rect()), 6, 6);
        QColor surface = CoreAppearance::surface.resolved(CoreAppearance::appearance(this));
        surface.setAlphaF(0.92f);
        painter.fillPath(patch, surface);
    }
    QLabel::paintEvent(event);
}

void ScreenshotStatus::refreshColor()
{
    const QColor color = CoreAppearance::label.resolved(CoreAppearance::appearance(this));
    // Setting a palette announces a palette change, which lands here again.
    if (testAttribute(Qt::WA_SetPalette) && palette().color(QPalette::WindowText) == color)
        return;
    // Only the text colour is set here; every other role still comes from
    // the window, so the label keeps following its light or dark theme.
    QPalette own;
    own.setColor(QPalette::WindowText, color);
    setPalette(own);
}

} // namespace kelpie
