#include "editor/CanvasLayer.h"

#include <QEvent>

namespace kelpie {

CanvasLayer::CanvasLayer(QWidget* canvas) : QWidget(canvas)
{
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_NoSystemBackground);
    if (canvas) {
        setGeometry(canvas->rect());
        canvas->installEventFilter(this);
    }
}

bool CanvasLayer::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize) {
        setGeometry(parentWidget()->rect());
        canvasResized();
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace kelpie
