#include "canvas/AnnotationCanvas.h"

#include "annotation/AnnotationTextLayout.h"
#include "canvas/AnnotationTextView.h"
#include "canvas/PreferencesStyleStore.h"
#include "editor/CoreAppearance.h"
#include "geometry/SelectionHandle.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>

#include <cmath>

namespace kelpie {

namespace {

const QColor systemBlue(0, 122, 255);

CanvasKey canvasKey(const QKeyEvent& event)
{
    const Qt::KeyboardModifiers m = event.modifiers();
    return {event.key(), bool(m & Qt::ShiftModifier), bool(m & Qt::ControlModifier),
            bool(m & Qt::MetaModifier), bool(m & Qt::AltModifier)};
}

// A 1-point line lies on whole device pixels: centred on a pixel boundary
// when it is an even number of device pixels wide, on a pixel centre when odd.
double crisp(double v, double ratio)
{
    const long width = std::lround(ratio);
    const double device = std::round(v * ratio) + (width % 2 == 1 ? 0.5 : 0.0);
    return device / ratio;
}

} // namespace

AnnotationCanvas::AnnotationCanvas(AnnotationDocument& document, CanvasStyleStore& styles,
                                   bool compactStyles, QWidget* parent)
    : AnnotationCanvas(document, &styles, nullptr, compactStyles, parent)
{
}

AnnotationCanvas::AnnotationCanvas(AnnotationDocument& document,
                                   std::shared_ptr<AppPreferences> preferences, bool compactStyles,
                                   QWidget* parent)
    : AnnotationCanvas(document, nullptr,
                       std::make_unique<PreferencesStyleStore>(std::move(preferences)),
                       compactStyles, parent)
{
}

AnnotationCanvas::AnnotationCanvas(AnnotationDocument& document, CanvasStyleStore* styles,
                                   std::unique_ptr<CanvasStyleStore> owned, bool compactStyles,
                                   QWidget* parent)
    : QWidget(parent), m_ownedStyles(std::move(owned)),
      m_model(document, styles ? *styles : *m_ownedStyles, compactStyles,
              AnnotationTextLayout::measurer())
{
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(QStringLiteral("截图"));
    m_model.setTextEditor(this);
    m_model.onRedraw = [this] { update(); };
}

AnnotationCanvas::~AnnotationCanvas()
{
    m_model.setTextEditor(nullptr);
    m_model.onRedraw = nullptr;
    // The editor's callbacks reach into the model, which goes before the
    // children do.
    if (m_textView != nullptr) {
        m_textView->onCommit = nullptr;
        m_textView->onCancel = nullptr;
        m_textView->onChange = nullptr;
        delete m_textView;
        m_textView = nullptr;
    }
}

Point AnnotationCanvas::viewPoint(QPointF widgetPoint) const
{
    return {widgetPoint.x(), height() - widgetPoint.y()};
}

QRectF AnnotationCanvas::widgetRect(const Rect& viewRect) const
{
    return {viewRect.minX(), height() - viewRect.maxY(), viewRect.width(), viewRect.height()};
}

bool AnnotationCanvas::handleKey(const QKeyEvent& event)
{
    return m_model.handleKey(canvasKey(event));
}

// --- events ------------------------------------------------------------------

void AnnotationCanvas::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_model.setViewSize({double(width()), double(height())});
}

void AnnotationCanvas::press(QMouseEvent* event, int clickCount)
{
    if (event->button() != Qt::LeftButton)
        return;
    if (m_model.editingEnabled() && !m_model.textEditing())
        setFocus(Qt::MouseFocusReason);
    if (!m_model.pointerDown(viewPoint(event->position()), clickCount) && onBackgroundDrag)
        onBackgroundDrag(event);
}

void AnnotationCanvas::mousePressEvent(QMouseEvent* event) { press(event, 1); }

void AnnotationCanvas::mouseDoubleClickEvent(QMouseEvent* event) { press(event, 2); }

void AnnotationCanvas::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_model.editingEnabled()) {
        if (onBackgroundDrag)
            onBackgroundDrag(event);
        return;
    }
    if (event->buttons() & Qt::LeftButton)
        m_model.pointerDragged(viewPoint(event->position()),
                               event->modifiers() & Qt::ShiftModifier);
}

void AnnotationCanvas::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    if (!m_model.pointerUp() && onBackgroundDrag)
        onBackgroundDrag(event);
}

// Nothing drawn depends on focus; the toolkit's default would repaint the
// whole canvas each time focus moves to a control and back.
void AnnotationCanvas::focusInEvent(QFocusEvent*) {}
void AnnotationCanvas::focusOutEvent(QFocusEvent*) {}

void AnnotationCanvas::wheelEvent(QWheelEvent* event)
{
    if (m_model.textEditing() || event->angleDelta().y() == 0) {
        QWidget::wheelEvent(event);
        return;
    }
    m_model.scroll(event->angleDelta().y());
}

void AnnotationCanvas::keyPressEvent(QKeyEvent* event)
{
    if (handleKey(*event))
        return;
    QWidget::keyPressEvent(event);
}

// --- the text editor -----------------------------------------------------------

void AnnotationCanvas::open(const QString& text)
{
    close();
    auto* view = new AnnotationTextView(this);
    m_textView = view;
    view->setText(text);
    // The view is the canvas's child and loses these when it closes.
    view->onCommit = [this] { m_model.finishTextEditing(); };
    view->onCancel = [this] { m_model.cancelTextEditing(); };
    view->onChange = [this] {
        if (m_model.onSelectionChanged)
            m_model.onSelectionChanged();
    };
    view->setAccessibleName(QStringLiteral("文字标注"));
    view->show();
    view->setFocus(Qt::OtherFocusReason);
    view->selectAll();
}

void AnnotationCanvas::close()
{
    if (!m_textView)
        return;
    AnnotationTextView* view = m_textView;
    m_textView = nullptr;
    view->discardComposition();
    view->onCommit = nullptr;
    view->onCancel = nullptr;
    view->onChange = nullptr;
    setFocus(Qt::OtherFocusReason);
    view->hide();
    view->deleteLater();
    update();
}

QString AnnotationCanvas::text() const { return m_textView ? m_textView->text() : QString(); }

bool AnnotationCanvas::composing() const { return m_textView && m_textView->composing(); }

void AnnotationCanvas::relayout()
{
    const std::optional<CanvasModel::TextEditorLayout> layout = m_model.textEditorLayout();
    if (!m_textView || !layout)
        return;
    m_textView->setGeometry(widgetRect(layout->frame).toAlignedRect());
    m_textView->setLayout(layout->style, m_model.textMaximumWidth(), layout->scale);
    update();
}

// --- painting ------------------------------------------------------------------

void AnnotationCanvas::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRectF target = widgetRect(m_model.contentRect());
    const double ratio = painter.device()->devicePixelRatioF();
    const QImage& scaled = scaledPreview(target, ratio);
    if (!scaled.isNull())
        painter.drawImage(target, scaled);
    paintChrome(painter);
}

const QImage& AnnotationCanvas::scaledPreview(const QRectF& target, double ratio)
{
    const QImage& image = m_model.previewImage();
    QRect changes = m_model.takePreviewChanges();
    if (image.isNull() || target.isEmpty()) {
        m_scaled = QImage();
        return m_scaled;
    }
    const QSize size = (target.size() * ratio).toSize();
    if (m_scaled.size() != size || m_scaledFrom != image.cacheKey()) {
        m_scaled = QImage(size, QImage::Format_ARGB32_Premultiplied);
        changes = image.rect();
    }
    m_scaledFrom = image.cacheKey();
    if (changes.isEmpty() || size.isEmpty())
        return m_scaled;
    // The changed pixels, grown by what smooth scaling reads around a pixel,
    // in the scaled copy's pixels.
    const double sx = double(size.width()) / image.width();
    const double sy = double(size.height()) / image.height();
    const QRectF grown = QRectF(changes).adjusted(-2, -2, 2, 2);
    const QRect area
        = QRectF(grown.x() * sx, grown.y() * sy, grown.width() * sx, grown.height() * sy)
              .toAlignedRect()
        & m_scaled.rect();
    // Drawn from a slightly larger piece of the preview, so that filtering at
    // the piece's edges stays outside the area redone.
    const QRectF piece = QRectF(area).adjusted(-2, -2, 2, 2);
    QPainter painter(&m_scaled);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setClipRect(area);
    painter.drawImage(
        piece, image,
        QRectF(piece.x() / sx, piece.y() / sy, piece.width() / sx, piece.height() / sy));
    return m_scaled;
}

void AnnotationCanvas::paintChrome(QPainter& painter)
{
    const double ratio = painter.device()->devicePixelRatioF();
    const bool compact = m_model.compactStyles();
    const QColor chrome = compact
        ? CoreAppearance::captureBorder.resolved(CoreAppearance::appearance(this))
        : systemBlue;
    painter.setRenderHint(QPainter::Antialiasing);

    if (m_textView) {
        // The editor's border, 1.5 points outside its frame.
        painter.setPen(QPen(chrome, 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(m_textView->geometry()).adjusted(-0.75, -0.75, 0.75, 0.75));
        return;
    }
    if (!m_model.editingEnabled())
        return;
    const std::optional<AnnotationObject> object
        = m_model.draft() ? m_model.draft() : m_model.selected();
    if (!object)
        return;
    const bool line
        = object->tool() == AnnotationTool::line || object->tool() == AnnotationTool::arrow;
    if (compact && object->tool() == AnnotationTool::arrow
        && (m_model.tool() != AnnotationTool::select || (m_model.drag() && !m_model.selectedID())))
        return;

    const auto widgetPoint = [&](Point annotation) {
        const Point v = m_model.viewPoint(annotation);
        return QPointF(crisp(v.x, ratio), crisp(height() - v.y, ratio));
    };
    const auto handle = [&](Point annotation) {
        const QPointF c = widgetPoint(annotation);
        painter.setPen(QPen(chrome, 1));
        painter.setBrush(Qt::white);
        painter.drawRoundedRect(QRectF(c.x() - 3, c.y() - 3, 6, 6), 1.5, 1.5);
    };

    if (!line) {
        const Rect bounds = object->bounds();
        const QPointF a = widgetPoint({bounds.minX(), bounds.minY()});
        const QPointF b = widgetPoint({bounds.maxX(), bounds.maxY()});
        const QRectF outline = QRectF(a, b).normalized();
        const double radius = std::min({outline.width() / 2, 4.0, outline.height() / 2});
        QPen dashed(chrome, 1);
        dashed.setDashPattern({4, 3});
        dashed.setDashOffset(0);
        painter.setPen(dashed);
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(outline, radius, radius);
        for (SelectionHandle h : SelectionHandle::allCases())
            handle(h.point(bounds));
        return;
    }
    handle(object->start);
    handle(object->end);
    if (object->tool() == AnnotationTool::arrow) {
        const QPointF c = widgetPoint(object->arrowMidpoint());
        painter.setPen(QPen(chrome, 1));
        painter.setBrush(Qt::white);
        painter.drawEllipse(c, 4, 4);
    }
}

QImage AnnotationCanvas::grabAt(double devicePixelRatio)
{
    QImage image((size() * devicePixelRatio), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::transparent);
    render(&image);
    return image;
}

} // namespace kelpie
