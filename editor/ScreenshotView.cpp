#include "editor/ScreenshotView.h"

#include "editor/CoreAppearance.h"
#include "editor/ScreenshotBorder.h"
#include "editor/ScreenshotSpace.h"

#include <QChildEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace kelpie {
namespace {

constexpr double dimAlpha = 0.24;
// The dimming's rounded edge is antialiased over this much on either side.
constexpr int cropMargin = 2;

QImage drawableImage(const QImage& image)
{
    switch (image.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32_Premultiplied: return image;
    default: return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
}

bool isLeft(Qt::MouseButton button) { return button == Qt::LeftButton; }

} // namespace

ScreenshotView::ScreenshotView(const ScreenshotPresentation& presentation, Size imagePixels,
                               QWidget* parent)
    : QWidget(parent), m_presentation(presentation), m_imagePixels(imagePixels),
      m_adjustment(presentation.captureSize(), presentation.backgroundPixels(),
                   presentation.region),
      m_drawImage(drawableImage(presentation.background)), m_border(new ScreenshotBorder)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    const Size capture = presentation.captureSize();
    resize(static_cast<int>(std::round(capture.width)),
           static_cast<int>(std::round(capture.height)));

    m_adjustment.onBegin = [this] {
        if (onAdjustmentBegin) {
            const auto callback = onAdjustmentBegin;
            callback();
        }
        if (m_imageView)
            m_imageView->hide();
        // The panels, the status and the handles go at once, not at the
        // first movement.
        relayout();
    };
    m_adjustment.onCancel = [this] {
        releasePointer();
        if (m_imageView)
            m_imageView->show();
        if (onAdjustmentCancel) {
            const auto callback = onAdjustmentCancel;
            callback();
        }
    };
    m_adjustment.onChange = [this] { relayout(); };
    m_adjustment.onRegionChange = [this](const Rect& region) {
        if (!onRegionChange)
            return false;
        const auto callback = onRegionChange;
        return callback(region);
    };
}

ScreenshotView::~ScreenshotView()
{
    releasePointer();
    // The border is a child unless it was never installed.
    if (!m_border->parent())
        delete m_border;
}

void ScreenshotView::setPlacement(const std::optional<ScreenshotPlacement>& placement)
{
    if (placement == m_adjustment.placement())
        return;
    const std::optional<ScreenshotPlacement> before = m_adjustment.placement();
    m_adjustment.setPlacement(placement);
    repaintCrop(before);
}

void ScreenshotView::repaintCrop(const std::optional<ScreenshotPlacement>& before)
{
    const auto& now = m_adjustment.placement();
    if (!before || !now || before->background != now->background) {
        update();
        return;
    }
    const double h = height();
    // Inside both crops the screen shows undimmed before and after, outside
    // both it is dimmed before and after; everything else may change.
    const QRegion bounds = QRegion(ScreenshotSpace::outlineBounds(before->image, h, cropMargin))
        + ScreenshotSpace::outlineBounds(now->image, h, cropMargin);
    update(bounds
           - (ScreenshotSpace::outlineInterior(before->image, h, cropMargin)
              & ScreenshotSpace::outlineInterior(now->image, h, cropMargin)));
}

void ScreenshotView::setCanAdjust(bool canAdjust) { m_adjustment.canAdjust = canAdjust; }

void ScreenshotView::setSourceGeometryAvailable(bool available)
{
    m_adjustment.sourceGeometryAvailable = available;
}

void ScreenshotView::setImageView(QWidget* view)
{
    if (m_imageView == view)
        return;
    if (m_imageView) {
        m_imageView->removeEventFilter(this);
        for (QWidget* child : m_imageView->findChildren<QWidget*>())
            child->removeEventFilter(this);
    }
    m_imageView = view;
    if (view)
        watchContent(view);
}

// The canvas and whatever it holds (the text editor, the live-text
// overlay) pass their presses by here first, so that the crop's border band
// reaches the view even where the canvas lies over it.
void ScreenshotView::watchContent(QObject* object)
{
    object->installEventFilter(this);
    for (QObject* child : object->children())
        if (child->isWidgetType())
            watchContent(child);
}

void ScreenshotView::setChrome(const std::vector<QWidget*>& chrome)
{
    m_chrome.assign(chrome.begin(), chrome.end());
}

std::vector<QWidget*> ScreenshotView::chrome() const
{
    std::vector<QWidget*> views;
    for (const QPointer<QWidget>& view : m_chrome)
        if (view)
            views.push_back(view);
    return views;
}

void ScreenshotView::installBorder()
{
    m_border->setParent(this);
    m_border->setGeometry(rect());
    m_border->show();
    m_border->raise();
    // The chrome stays over the border.
    for (QWidget* view : chrome())
        if (view->parentWidget() == this)
            view->raise();
}

void ScreenshotView::refreshBorder()
{
    m_border->setGeometry(rect());
    const auto& placement = m_adjustment.placement();
    const bool adjusting = m_adjustment.isAdjusting();
    ScreenshotBorder::State state;
    state.selection = placement ? placement->image : Rect();
    if (placement && !adjusting)
        state.toolbar = placement->toolbar;
    state.handles = m_adjustment.canAdjust && !adjusting;
    state.pixels = m_adjustment.badgePixels(m_imagePixels);
    m_border->setState(state);
}

std::optional<Point> ScreenshotView::capturePoint(Point viewPoint) const
{
    return m_adjustment.capturePoint(viewPoint);
}

void ScreenshotView::cancelAdjustment() { m_adjustment.cancel(); }

void ScreenshotView::releasePointer()
{
    if (mouseGrabber() == this)
        releaseMouse();
}

bool ScreenshotView::cancelOperation() { return m_adjustment.cancelKey(); }

Point ScreenshotView::viewPoint(QPointF widgetPoint) const
{
    return ScreenshotSpace::viewPoint(widgetPoint, height());
}

Size ScreenshotView::bounds() const
{
    return {static_cast<double>(width()), static_cast<double>(height())};
}

ScreenshotView::Hit ScreenshotView::hitTest(QPointF widgetPoint) const
{
    if (!QRectF(rect()).contains(widgetPoint))
        return Hit::nothing;
    for (QWidget* view : chrome())
        if (view->isVisible()
            && QRectF(view->rect()).contains(view->mapFromGlobal(mapToGlobal(widgetPoint))))
            return Hit::chrome;
    if (m_adjustment.takesPoint(viewPoint(widgetPoint), bounds()))
        return Hit::view;
    return Hit::content;
}

void ScreenshotView::relayout()
{
    if (onLayout) {
        const auto callback = onLayout;
        callback();
    }
    refreshBorder();
}

// MARK: events

bool ScreenshotView::pointer(QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons,
                             QPointF widgetPoint)
{
    const Point p = viewPoint(widgetPoint);
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        if (!isLeft(button) || m_adjustment.isAdjusting() || hitTest(widgetPoint) != Hit::view)
            return false;
        if (!m_adjustment.capturePoint(p) || !m_adjustment.sourceGeometryAvailable)
            return false;
        setFocus(Qt::MouseFocusReason);
        if (!m_adjustment.press(p))
            return false;
        // The press may have landed on the canvas, which the re-crop hides;
        // the toolkit then drops the rest of the gesture unless someone
        // holds the pointer.
        if (m_adjustment.isAdjusting() && mouseGrabber() != this)
            grabMouse();
        return true;
    case QEvent::MouseMove:
        if (!m_adjustment.isAdjusting())
            return false;
        if (buttons & Qt::LeftButton)
            m_adjustment.drag(p);
        return true;
    case QEvent::MouseButtonRelease:
        if (!m_adjustment.isAdjusting())
            return false;
        if (isLeft(button)) {
            releasePointer();
            // May close the editor and release this view: nothing follows.
            m_adjustment.release();
        }
        return true;
    default: return false;
    }
}

void ScreenshotView::mousePressEvent(QMouseEvent* event)
{
    if (!pointer(event->type(), event->button(), event->buttons(), event->position()))
        QWidget::mousePressEvent(event);
}

void ScreenshotView::mouseMoveEvent(QMouseEvent* event)
{
    if (!pointer(event->type(), event->button(), event->buttons(), event->position()))
        QWidget::mouseMoveEvent(event);
}

void ScreenshotView::mouseReleaseEvent(QMouseEvent* event)
{
    if (!pointer(event->type(), event->button(), event->buttons(), event->position()))
        QWidget::mouseReleaseEvent(event);
}

bool ScreenshotView::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::ChildAdded: {
        QObject* child = static_cast<QChildEvent*>(event)->child();
        if (child->isWidgetType())
            watchContent(child);
        break;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::MouseButtonRelease: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const auto* widget = static_cast<QWidget*>(watched);
        const QPointF at = mapFromGlobal(widget->mapToGlobal(mouse->position()));
        if (pointer(event->type(), mouse->button(), mouse->buttons(), at))
            return true;
        break;
    }
    default: break;
    }
    return QWidget::eventFilter(watched, event);
}

// Nothing drawn depends on focus; the toolkit's default would repaint the
// whole view each time focus moves to a control and back.
void ScreenshotView::focusInEvent(QFocusEvent*) {}
void ScreenshotView::focusOutEvent(QFocusEvent*) {}

void ScreenshotView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && m_adjustment.cancelKey())
        return event->accept();
    // Up to the editor, whose cancel action closes it.
    QWidget::keyPressEvent(event);
}

bool ScreenshotView::event(QEvent* event)
{
    // While re-cropping, Escape is the view's before any shortcut's.
    if (event->type() == QEvent::ShortcutOverride && m_adjustment.isAdjusting()
        && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        event->accept();
        return true;
    }
    return QWidget::event(event);
}

void ScreenshotView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    relayout();
}

// MARK: drawing

void ScreenshotView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), Qt::black);
    const auto& placement = m_adjustment.placement();
    if (!placement || m_drawImage.isNull())
        return;
    const double h = height();
    const QRectF target = ScreenshotSpace::widgetRect(placement->background, h);
    const double ratio = painter.device()->devicePixelRatioF();
    const bool exact = std::abs(target.width() * ratio - m_drawImage.width()) < 0.5
        && std::abs(target.height() * ratio - m_drawImage.height()) < 0.5;
    painter.setRenderHint(QPainter::SmoothPixmapTransform, !exact);
    painter.drawImage(target, m_drawImage);

    // Everything outside the rounded crop is dimmed, by the even-odd rule.
    QPainterPath dim;
    dim.setFillRule(Qt::OddEvenFill);
    dim.addRect(QRectF(rect()));
    dim.addPath(CoreAppearance::captureOutline(ScreenshotSpace::widgetRect(placement->image, h)));
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(dim, QColor(0, 0, 0, qRound(dimAlpha * 255)));
}

} // namespace kelpie
