#include "overlay/SelectionView.h"

#include "capture/CaptureGeometry.h"
#include "editor/ControlImage.h"
#include "editor/CoreAppearance.h"
#include "editor/FloatingControls.h"
#include "editor/ToolbarButton.h"
#include "overlay/Magnifier.h"
#include "overlay/OverlaySpace.h"
#include "overlay/PixelSampler.h"
#include "overlay/SelectionWindow.h"

#include <QApplication>
#include <QClipboard>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace kelpie {
namespace {

constexpr double clickThreshold = 3;
constexpr double handleReach = 7;
constexpr double handleSize = 6;
constexpr double dimAlpha = 0.48;
// Border, handles and their strokes reach this far outside the focus.
constexpr int focusMargin = 5;
const QString windowHint = QStringLiteral("单击截取窗口，拖动选择区域");

double distance(Point a, Point b) { return std::hypot(b.x - a.x, b.y - a.y); }

struct ActionButton {
    QString title;
    const char* symbol;
    std::optional<AnnotationTool> tool;
    void (SelectionView::*action)();
};

std::vector<ActionButton> actionButtons()
{
    // The rectangle tool is called "画框" here: in the overlay it frames.
    auto toolButton = [](AnnotationTool tool, const char* symbol) {
        const QString name
            = tool == AnnotationTool::rectangle ? QStringLiteral("画框") : title(tool);
        return ActionButton{name, symbol, tool, nullptr};
    };
    return {
        toolButton(AnnotationTool::select, "cursorarrow"),
        toolButton(AnnotationTool::arrow, "arrow.up.right"),
        toolButton(AnnotationTool::rectangle, "rectangle"),
        toolButton(AnnotationTool::text, "textformat"),
        toolButton(AnnotationTool::pen, "pencil"),
        toolButton(AnnotationTool::mask, "rectangle.fill"),
        toolButton(AnnotationTool::highlight, "highlighter"),
        toolButton(AnnotationTool::number, "number.circle"),
        {QStringLiteral("复制"), "doc.on.doc", std::nullopt, &SelectionView::copy},
        {QStringLiteral("保存"), "square.and.arrow.down", std::nullopt,
         &SelectionView::saveDocument},
        {QStringLiteral("钉住"), "pin", std::nullopt, &SelectionView::pinSelection},
        {QStringLiteral("重新选择"), "arrow.counterclockwise", std::nullopt, &SelectionView::reset},
        {QStringLiteral("取消"), "xmark", std::nullopt, &SelectionView::cancel},
    };
}

int toolTag(AnnotationTool tool)
{
    const auto found = std::find(allAnnotationTools.begin(), allAnnotationTools.end(), tool);
    return static_cast<int>(found - allAnnotationTools.begin());
}

QImage drawableImage(const QImage& image)
{
    switch (image.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32_Premultiplied: return image;
    default: return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
}

QFont labelFont() { return CoreAppearance::systemFont(12, QFont::Medium); }
QFont statusFont() { return CoreAppearance::systemFont(13); }

// A text box whose bottom-left corner sits at a view-space point.
QRectF textBox(const QString& text, const QFont& font, Point bottomLeft, QSizeF padding,
               double viewHeight)
{
    const QFontMetricsF metrics(font);
    const QSizeF size(std::ceil(metrics.horizontalAdvance(text)) + 2 * padding.width(),
                      std::ceil(metrics.height()) + 2 * padding.height());
    const QPointF corner = OverlaySpace::widgetPoint(bottomLeft, viewHeight);
    return {QPointF(corner.x(), corner.y() - size.height()), size};
}

constexpr QSizeF labelPadding(6, 3);
constexpr QSizeF statusPadding(9, 5);

} // namespace

SelectionView::SelectionView(const QImage& image, Size size, QWidget* parent)
    : QWidget(parent), beep([] { QApplication::beep(); }), m_image(image),
      m_drawImage(drawableImage(image))
{
    resize(static_cast<int>(std::round(size.width)), static_cast<int>(std::round(size.height)));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::CrossCursor);
    CoreAppearance::watchApplicationAppearance();

    m_actions = new QWidget;
    auto* row = new QHBoxLayout(m_actions);
    row->setSpacing(8);
    row->setContentsMargins(8, 8, 8, 8);
    for (const ActionButton& entry : actionButtons()) {
        auto* button = new ToolbarButton(entry.title,
                                         ControlImage::symbol(QString::fromLatin1(entry.symbol)));
        button->setFocusPolicy(Qt::NoFocus);
        button->setCursor(Qt::ArrowCursor);
        if (entry.tool) {
            const int tag = toolTag(*entry.tool);
            button->setProperty("tag", tag);
            connect(button, &QAbstractButton::clicked, this, [this, tag] { editTool(tag); });
        } else {
            connect(button, &QAbstractButton::clicked, this, entry.action);
        }
        row->addWidget(button);
    }
    m_actionPanel = new FloatingControls({m_actions}, false, this);
    m_actionPanel->setSurfaceCornerRadius(8);
    m_actionPanel->hide();
}

SelectionView::~SelectionView() = default;

QStringList SelectionView::actionTitles()
{
    QStringList titles;
    for (const ActionButton& entry : actionButtons())
        titles.append(entry.title);
    return titles;
}

Size SelectionView::viewSize() const
{
    return {static_cast<double>(width()), static_cast<double>(height())};
}

QString SelectionView::sizeLabel() const
{
    if (!m_selectionPixels)
        return {};
    return QStringLiteral("%1 × %2 px")
        .arg(static_cast<qint64>(m_selectionPixels->width()))
        .arg(static_cast<qint64>(m_selectionPixels->height()));
}

std::optional<ViewPixelMapping::PixelPosition> SelectionView::pixel(Point point) const
{
    return ViewPixelMapping::pixel(point, viewSize(), m_image.width(), m_image.height());
}

// MARK: selection and confirmation

void SelectionView::select(const Rect& rect)
{
    const Size image{static_cast<double>(m_image.width()), static_cast<double>(m_image.height())};
    const auto pixels = CaptureGeometry::pixelRect(rect, viewSize(), image);
    if (!pixels) {
        m_selection = Rect();
        m_selectionPixels.reset();
    } else {
        m_selectionPixels = *pixels;
        m_selection = CaptureGeometry::viewRect(*pixels, viewSize(), image);
    }
    refresh();
}

void SelectionView::selectRegion(const Rect& rect)
{
    select(rect);
    showActionPanel();
}

void SelectionView::confirmWith(const SelectionAction& action)
{
    if (!m_selectionPixels)
        return;
    const Rect& p = *m_selectionPixels;
    const QImage crop
        = m_image.copy(QRect(static_cast<int>(p.minX()), static_cast<int>(p.minY()),
                             static_cast<int>(p.width()), static_cast<int>(p.height())));
    if (crop.isNull())
        return;
    if (!onConfirm)
        return;
    Rect rect = m_selection;
    if (const auto* host = qobject_cast<const SelectionWindow*>(window())) {
        const Rect frame = host->frameInDesktop();
        rect = rect.offsetBy(frame.minX(), frame.minY());
    }
    // The callback may close and release the overlay; nothing follows it.
    const ConfirmCallback callback = onConfirm;
    callback(crop, rect, action);
}

void SelectionView::showActionPanel()
{
    if (m_selection.isEmpty()) {
        hideActionPanel();
        return;
    }
    const Size view = viewSize();
    const QSizeF size = m_actionPanel->panelSize(std::max(view.width - 24, 0.0));
    const double x = std::max(
        std::min(view.width - size.width() - 12, m_selection.maxX() - size.width()), 12.0);
    const double y = std::max(m_selection.minY() - size.height() - 12, 12.0);
    m_actionPanel->place(
        OverlaySpace::widgetRect(Rect(x, y, size.width(), size.height()), view.height));
    m_actionPanel->show();
    m_actionPanel->raise();
    m_actionPanel->fitContent();
}

void SelectionView::hideActionPanel() { m_actionPanel->hide(); }

void SelectionView::showWindowStatus(const std::optional<QString>& status)
{
    m_windowStatus = status;
    refresh();
}

// MARK: responder actions

void SelectionView::selectAll()
{
    select(Rect(0, 0, viewSize().width, viewSize().height));
    showActionPanel();
    if (automaticallyEdit)
        confirmWith(SelectionAction::edit());
}

void SelectionView::copy() { confirmWith(SelectionAction::copy()); }
void SelectionView::saveDocument() { confirmWith(SelectionAction::save()); }
void SelectionView::pinSelection() { confirmWith(SelectionAction::pin()); }
void SelectionView::confirm() { confirmWith(SelectionAction::edit()); }

void SelectionView::editTool(int tag)
{
    if (tag < 0 || tag >= static_cast<int>(allAnnotationTools.size()))
        return;
    confirmWith(SelectionAction::annotate(allAnnotationTools[static_cast<std::size_t>(tag)]));
}

void SelectionView::reset()
{
    m_selection = Rect();
    m_selectionPixels.reset();
    hideActionPanel();
    refresh();
}

void SelectionView::cancel()
{
    if (onCancel) {
        const auto callback = onCancel;
        callback();
    }
}

void SelectionView::cancelOperation()
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
        m_selection = Rect();
        m_selectionPixels.reset();
        hideActionPanel();
        refresh();
    } else {
        cancel();
    }
}

// MARK: pointer

Point SelectionView::eventPoint(const QMouseEvent& event) const
{
    return OverlaySpace::viewPoint(event.position(), height());
}

void SelectionView::updatePointer(Point point)
{
    m_pointer = point;
    if (m_selection.isEmpty())
        m_hoveredWindow = WindowTarget::hit(point, windowTargets);
    else
        m_hoveredWindow.reset();
    m_pointerColor.reset();
    if (const auto position = pixel(OverlaySpace::pointerPixelPoint(point, devicePixelRatioF())))
        m_pointerColor = PixelSampler::color(m_image, position->x, position->y);
    refresh();
}

void SelectionView::clearPointer()
{
    m_pointer.reset();
    m_pointerColor.reset();
    m_hoveredWindow.reset();
    refresh();
}

void SelectionView::mouseDown(Point p, int clickCount)
{
    m_anchor = p;
    m_previous = m_selection;
    m_windowStatus.reset();
    m_dragged = false;
    m_pressSettled = false;
    m_pendingWindow.reset();
    if (m_selection.isEmpty())
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
        confirmWith(SelectionAction::copy());
        return;
    }
    updatePointer(p);
    hideActionPanel();
}

void SelectionView::mouseDragged(Point q)
{
    if (!m_anchor)
        return;
    const Point anchor = *m_anchor;
    if (distance(anchor, q) > clickThreshold) {
        m_dragged = true;
        m_pendingWindow.reset();
    }
    updatePointer(q);
    const Size view = viewSize();
    if (m_resizing) {
        const Size minimum{view.width / m_image.width(), view.height / m_image.height()};
        select(m_resizing->resize(m_previous, q, view, minimum));
    } else if (m_moving) {
        Rect moved = m_previous.offsetBy(q.x - anchor.x, q.y - anchor.y).standardized();
        moved.origin.x = std::min(view.width - moved.width(), std::max(moved.origin.x, 0.0));
        moved.origin.y = std::min(view.height - moved.height(), std::max(moved.origin.y, 0.0));
        select(moved);
    } else {
        select(Rect(std::min(anchor.x, q.x), std::min(anchor.y, q.y), std::abs(q.x - anchor.x),
                    std::abs(q.y - anchor.y)));
    }
}

void SelectionView::mouseUp(Point q)
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
            confirmWith(SelectionAction::edit());
        else
            showActionPanel();
        return;
    }

    const WindowTarget target = *m_pendingWindow;
    m_pendingWindow.reset();
    // A click jitters: the few points it travelled must not leave a sliver of
    // a region behind the picked window.
    if (!m_selection.isEmpty()) {
        select(m_previous);
        updatePointer(q);
    }
    if (onWindowPick) {
        const auto callback = onWindowPick;
        callback(target);
    }
}

void SelectionView::moveSelection(double dx, double dy)
{
    if (m_selection.isEmpty())
        return;
    const Size view = viewSize();
    Rect moved = m_selection.offsetBy(dx, dy);
    moved.origin.x = std::min(view.width - moved.width(), std::max(moved.origin.x, 0.0));
    moved.origin.y = std::min(view.height - moved.height(), std::max(moved.origin.y, 0.0));
    select(moved);
    showActionPanel();
}

void SelectionView::copyPointerColor(bool rgb)
{
    if (!m_pointerColor) {
        if (beep)
            beep();
        return;
    }
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(rgb ? m_pointerColor->rgb() : m_pointerColor->hex());
}

// MARK: events

void SelectionView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    setFocus(Qt::MouseFocusReason);
    mouseDown(eventPoint(*event), 1);
}

void SelectionView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mouseDoubleClickEvent(event);
    mouseDown(eventPoint(*event), 2);
}

void SelectionView::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() & Qt::LeftButton)
        mouseDragged(eventPoint(*event));
    else
        updatePointer(eventPoint(*event));
}

void SelectionView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mouseReleaseEvent(event);
    mouseUp(eventPoint(*event));
}

void SelectionView::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    clearPointer();
}

std::optional<SelectionView::KeyCommand> SelectionView::keyCommand(const QKeyEvent& event) const
{
    // In-window modifiers: Ctrl stands for Command, Meta for Control.
    const Qt::KeyboardModifiers modifiers = event.modifiers();
    const bool shift = modifiers & Qt::ShiftModifier;
    const bool command = modifiers & Qt::ControlModifier;
    const bool control = modifiers & Qt::MetaModifier;
    const bool option = modifiers & Qt::AltModifier;
    const int key = event.key();

    if (key == Qt::Key_Escape)
        return KeyCommand::escape;
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && !shift && !command && !control
        && !option)
        return KeyCommand::copyRegion;
    if (key == Qt::Key_C && !command && !control && !option)
        return KeyCommand::copyColor;
    if (key == Qt::Key_A && command)
        return KeyCommand::selectAll;
    if (key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down)
        return KeyCommand::arrow;
    return std::nullopt;
}

void SelectionView::runKeyCommand(KeyCommand command, const QKeyEvent& event)
{
    const bool shift = event.modifiers() & Qt::ShiftModifier;
    switch (command) {
    case KeyCommand::escape: cancelOperation(); break;
    case KeyCommand::copyRegion: confirmWith(SelectionAction::copy()); break;
    case KeyCommand::copyColor: copyPointerColor(shift); break;
    case KeyCommand::selectAll:
        select(Rect(0, 0, viewSize().width, viewSize().height));
        showActionPanel();
        break;
    case KeyCommand::arrow: {
        const double step = shift ? 10 : 1;
        const double dx = step * width() / m_image.width();
        const double dy = step * height() / m_image.height();
        switch (event.key()) {
        case Qt::Key_Left: moveSelection(-dx, 0); break;
        case Qt::Key_Right: moveSelection(dx, 0); break;
        case Qt::Key_Down: moveSelection(0, -dy); break;
        default: moveSelection(0, dy); break;
        }
        break;
    }
    }
}

void SelectionView::keyPressEvent(QKeyEvent* event)
{
    if (const auto command = keyCommand(*event)) {
        event->accept();
        runKeyCommand(*command, *event);
        return;
    }
    QWidget::keyPressEvent(event);
}

bool SelectionView::event(QEvent* event)
{
    if (event->type() == CoreAppearance::appearanceChangeEventType())
        update();
    // The overlay's own keys win over application-wide shortcuts.
    if (event->type() == QEvent::ShortcutOverride) {
        if (keyCommand(*static_cast<QKeyEvent*>(event))) {
            event->accept();
            return true;
        }
    }
    return QWidget::event(event);
}

void SelectionView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_drawn = decorations();
    update();
}

void SelectionView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (CoreAppearance::isAppearanceChange(event->type()))
        update();
}

// MARK: drawing

std::optional<Rect> SelectionView::focusRect() const
{
    if (!m_selection.isEmpty())
        return m_selection;
    if (m_hoveredWindow)
        return m_hoveredWindow->rect;
    return std::nullopt;
}

std::optional<QString> SelectionView::statusText() const
{
    if (m_windowStatus)
        return m_windowStatus;
    if (m_hoveredWindow && m_selection.isEmpty())
        return windowHint;
    return std::nullopt;
}

SelectionView::Decorations SelectionView::decorations() const
{
    const Size view = viewSize();
    Decorations d;
    d.focus = focusRect();
    d.handles = !m_selection.isEmpty();
    if (d.focus)
        d.focusArea = OverlaySpace::widgetRect(*d.focus, view.height)
                          .toAlignedRect()
                          .adjusted(-focusMargin, -focusMargin, focusMargin, focusMargin);

    if (m_selectionPixels) {
        d.label = sizeLabel();
        const Point at{std::min(view.width - 150, std::max(m_selection.minX(), 8.0)),
                       std::min(m_selection.maxY() + 6, view.height - 25)};
        d.labelArea = textBox(d.label, labelFont(), at, labelPadding, view.height).toAlignedRect();
    }

    if (m_pointer && m_pointerColor) {
        d.magnifierPixel = pixel(OverlaySpace::pointerPixelPoint(*m_pointer, devicePixelRatioF()));
        if (d.magnifierPixel)
            d.magnifierArea
                = OverlaySpace::widgetRect(Magnifier::panelRect(*m_pointer, view), view.height)
                      .toAlignedRect()
                      .adjusted(-1, -1, 1, 1);
    }

    if (const auto status = statusText()) {
        d.status = *status;
        d.statusArea
            = textBox(d.status, statusFont(), {12, 12}, statusPadding, view.height).toAlignedRect();
    }
    return d;
}

void SelectionView::refresh()
{
    const Decorations now = decorations();
    QRegion dirty;
    auto change = [&dirty](const QRect& before, const QRect& after) {
        dirty += before;
        dirty += after;
    };
    if (now.focus != m_drawn.focus || now.handles != m_drawn.handles)
        change(m_drawn.focusArea, now.focusArea);
    if (now.label != m_drawn.label || now.labelArea != m_drawn.labelArea)
        change(m_drawn.labelArea, now.labelArea);
    if (now.magnifierPixel != m_drawn.magnifierPixel || now.magnifierArea != m_drawn.magnifierArea)
        change(m_drawn.magnifierArea, now.magnifierArea);
    if (now.status != m_drawn.status || now.statusArea != m_drawn.statusArea)
        change(m_drawn.statusArea, now.statusArea);
    m_drawn = now;
    if (!dirty.isEmpty())
        update(dirty);
}

void SelectionView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const QRegion& region = event->region();
    const Size view = viewSize();
    const auto appearance = CoreAppearance::appearance(this);

    if (m_drawImage.isNull()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    // 1. The frozen image, copied rectangle by rectangle of what changed.
    const double sx = m_drawImage.width() / view.width;
    const double sy = m_drawImage.height() / view.height;
    const double ratio = painter.device()->devicePixelRatioF();
    const bool exact = std::abs(sx - ratio) < 1e-9 && std::abs(sy - ratio) < 1e-9;
    painter.setRenderHint(QPainter::SmoothPixmapTransform, !exact);
    for (const QRect& r : region)
        painter.drawImage(QRectF(r), m_drawImage,
                          QRectF(r.x() * sx, r.y() * sy, r.width() * sx, r.height() * sy));

    // 2. The dimming, with the focus cut out of it by the even-odd rule.
    const std::optional<Rect> focus = focusRect();
    const QColor dim(0, 0, 0, qRound(dimAlpha * 255));
    QPainterPath outline;
    QRectF focusBox;
    if (focus) {
        focusBox = OverlaySpace::widgetRect(*focus, view.height);
        outline = CoreAppearance::captureOutline(focusBox);
    }
    painter.setRenderHint(QPainter::Antialiasing);
    for (const QRect& r : region) {
        if (!focus || !focusBox.intersects(QRectF(r))) {
            painter.fillRect(r, dim);
            continue;
        }
        QPainterPath cut;
        cut.setFillRule(Qt::OddEvenFill);
        cut.addRect(QRectF(r));
        cut.addPath(outline);
        painter.save();
        painter.setClipRect(r, Qt::IntersectClip);
        painter.fillPath(cut, dim);
        painter.restore();
    }

    const QColor border = CoreAppearance::captureBorder.resolved(appearance);
    // 3. The border of the focus.
    if (focus)
        painter.strokePath(outline, QPen(border, CoreAppearance::captureBorderWidth));

    // 4. The eight handles of a selection.
    if (!m_selection.isEmpty()) {
        painter.setPen(QPen(border, 1));
        painter.setBrush(Qt::white);
        for (const SelectionHandle handle : SelectionHandle::allCases()) {
            const QPointF centre
                = OverlaySpace::widgetPoint(handle.point(m_selection), view.height);
            painter.drawRoundedRect(QRectF(centre.x() - handleSize / 2, centre.y() - handleSize / 2,
                                           handleSize, handleSize),
                                    1.5, 1.5);
        }
    }

    // 5. The size label, in image pixels.
    if (!m_drawn.label.isEmpty() && region.intersects(m_drawn.labelArea)) {
        const QRectF box = m_drawn.labelArea;
        QPainterPath background;
        background.addRoundedRect(box, 4, 4);
        painter.fillPath(background, QColor(0, 0, 0, qRound(0.7 * 255)));
        painter.setFont(labelFont());
        painter.setPen(Qt::white);
        painter.drawText(box, Qt::AlignCenter, m_drawn.label);
    }

    // 6. The magnifier.
    if (m_pointer && m_pointerColor && m_drawn.magnifierPixel
        && region.intersects(m_drawn.magnifierArea))
        Magnifier::draw(painter, m_image, *m_pointer, *m_drawn.magnifierPixel, *m_pointerColor,
                        view, appearance);

    // 7. The status line.
    if (!m_drawn.status.isEmpty() && region.intersects(m_drawn.statusArea)) {
        const QRectF box = m_drawn.statusArea;
        QPainterPath background;
        background.addRoundedRect(box, 6, 6);
        painter.fillPath(background, CoreAppearance::windowBackground.resolved(appearance));
        painter.setFont(statusFont());
        painter.setPen(CoreAppearance::label.resolved(appearance));
        painter.drawText(box, Qt::AlignCenter, m_drawn.status);
    }
}

} // namespace kelpie
