#include "overlay/SelectionView.h"

#include "capture/CaptureGeometry.h"
#include "editor/ControlImage.h"
#include "editor/CoreAppearance.h"
#include "editor/FloatingControls.h"
#include "editor/ToolbarButton.h"
#include "overlay/Magnifier.h"
#include "overlay/OverlaySpace.h"
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
#include <QPointer>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace kelpie {
namespace {

constexpr double handleSize = 6;
constexpr double dimAlpha = 0.48;
// The action bar's gaps and button sides, and the narrower ones it falls
// back to on a small view.
constexpr int buttonSpacing = 8;
constexpr int narrowButtonSpacing = 4;
constexpr double buttonSides = 11;
constexpr double narrowButtonSides = 6;
// Border, handles and their strokes reach this far outside the focus.
constexpr int focusMargin = 5;

// Whole device pixels, even so that the stroke stays centred on the edge:
// 2 points wide at 1× and 2×, the nearest even count between.
int borderPixels(double ratio) { return 2 * std::max(1, static_cast<int>(std::ceil(ratio - 0.5))); }

struct HandleShape {
    // The rectangle the outline is stroked along, half a line inside the
    // handle's box so the stroke fills whole device pixels.
    QRectF strokeRect;
    double lineWidth;
};

// A 6-point square centred on the handle point, its box and its one-point
// outline snapped to whole device pixels.
HandleShape handleShape(QPointF centre, double ratio)
{
    const double size = std::max(1.0, std::round(handleSize * ratio));
    const double line = std::max(1.0, std::round(ratio));
    const double left = std::round(centre.x() * ratio - size / 2);
    const double top = std::round(centre.y() * ratio - size / 2);
    const QRectF box(left / ratio, top / ratio, size / ratio, size / ratio);
    const double inset = line / ratio / 2;
    return {box.adjusted(inset, inset, -inset, -inset), line / ratio};
}

// One button of the action bar: a tool button confirms that tool, the
// others run their responder action.
struct ActionButton {
    QString title;
    ControlSymbol symbol;
    std::optional<AnnotationTool> tool;
    void (SelectionView::*action)();
};

std::vector<ActionButton> actionButtons()
{
    // The rectangle tool is called "画框" here: in the overlay it frames.
    auto toolButton = [](AnnotationTool tool, ControlSymbol symbol) {
        const QString name
            = tool == AnnotationTool::rectangle ? QStringLiteral("画框") : title(tool);
        return ActionButton{name, symbol, tool, nullptr};
    };
    return {
        toolButton(AnnotationTool::select, ControlSymbol::cursorArrow),
        toolButton(AnnotationTool::arrow, ControlSymbol::arrowUpRight),
        toolButton(AnnotationTool::rectangle, ControlSymbol::rectangle),
        toolButton(AnnotationTool::text, ControlSymbol::textFormat),
        toolButton(AnnotationTool::pen, ControlSymbol::pencil),
        toolButton(AnnotationTool::mask, ControlSymbol::rectangleFill),
        toolButton(AnnotationTool::highlight, ControlSymbol::highlighter),
        toolButton(AnnotationTool::number, ControlSymbol::numberCircle),
        {QStringLiteral("复制"), ControlSymbol::docOnDoc, std::nullopt, &SelectionView::copy},
        {QStringLiteral("保存"), ControlSymbol::squareAndArrowDown, std::nullopt,
         &SelectionView::saveDocument},
        {QStringLiteral("钉住"), ControlSymbol::pin, std::nullopt, &SelectionView::pinSelection},
        {QStringLiteral("重新选择"), ControlSymbol::arrowCounterclockwise, std::nullopt,
         &SelectionView::reset},
        {QStringLiteral("取消"), ControlSymbol::xmark, std::nullopt, &SelectionView::cancel},
    };
}

QImage drawableImage(const QImage& image)
{
    switch (image.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32_Premultiplied: return image;
    default: return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
}

QFont labelFont() { return CoreAppearance::monospacedDigitSystemFont(12, QFont::Medium); }
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
    : QWidget(parent), m_model(image, size), m_drawImage(drawableImage(image))
{
    resize(static_cast<int>(std::round(size.width)), static_cast<int>(std::round(size.height)));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::CrossCursor);
    CoreAppearance::followAppearance(this);

    m_model.onConfirm
        = [this](const QImage& crop, const Rect& rect, const SelectionAction& action) {
              if (!onConfirm)
                  return;
              Rect desktop = rect;
              if (const auto* host = qobject_cast<const SelectionWindow*>(window())) {
                  const Rect frame = host->frameInDesktop();
                  desktop = rect.offsetBy(frame.minX(), frame.minY());
              }
              // The callback may close and release the overlay; nothing follows it.
              const ConfirmCallback callback = onConfirm;
              callback(crop, desktop, action);
          };
    m_model.onCancel = [this] {
        if (onCancel) {
            const auto callback = onCancel;
            callback();
        }
    };
    m_model.onWindowPick = [this](const WindowTarget& target) {
        if (onWindowPick) {
            const auto callback = onWindowPick;
            callback(target);
        }
    };
    m_model.onCopyText = [](const QString& text) {
        QClipboard* clipboard = QGuiApplication::clipboard();
        clipboard->clear();
        clipboard->setText(text);
    };
    m_model.beep = [] { QApplication::beep(); };

    m_actions = new QWidget;
    auto* row = new QHBoxLayout(m_actions);
    row->setSpacing(buttonSpacing);
    row->setContentsMargins(8, 8, 8, 8);
    for (const ActionButton& entry : actionButtons()) {
        auto* button = new ToolbarButton(entry.title, ControlImage::symbol(entry.symbol));
        button->setFocusPolicy(Qt::NoFocus);
        button->setCursor(Qt::ArrowCursor);
        button->setBezeled(true);
        if (entry.tool) {
            const int tag = SelectionModel::toolTag(*entry.tool);
            connect(button, &QAbstractButton::clicked, this, [this, tag] { editTool(tag); });
        } else {
            connect(button, &QAbstractButton::clicked, this, entry.action);
        }
        row->addWidget(button);
    }
    m_actionPanel = new FloatingControls({m_actions}, FloatingControls::Kind::panel, this);
    m_actionPanel->setSurfaceCornerRadius(8);
    m_actionPanel->hide();
    m_actionPanel->installEventFilter(this);
}

SelectionView::~SelectionView() = default;

QStringList SelectionView::actionTitles()
{
    QStringList titles;
    for (const ActionButton& entry : actionButtons())
        titles.append(entry.title);
    return titles;
}

QColor SelectionView::dimming() { return QColor(0, 0, 0, qRound(dimAlpha * 255)); }

QRect SelectionView::undimmed() const
{
    const std::optional<Rect> focus = m_model.focusRect();
    if (!focus)
        return {};
    return OverlaySpace::widgetRect(*focus, m_model.viewSize().height).toAlignedRect();
}

template<typename Change> void SelectionView::change(Change&& change)
{
    const QPointer<SelectionView> alive(this);
    m_model.setDevicePixelRatio(devicePixelRatioF());
    change();
    if (alive)
        refresh();
}

void SelectionView::syncActionPanel()
{
    if (!m_model.actionPanelShown()) {
        m_actionPanel->hide();
        return;
    }
    if (m_actionPanel->isVisible() && m_placedPanelRevision == m_model.actionPanelRevision())
        return;
    m_placedPanelRevision = m_model.actionPanelRevision();
    const Size view = m_model.viewSize();
    fitActionButtons(m_model.actionPanelMaxWidth());
    const QSizeF size = m_actionPanel->panelSize(m_model.actionPanelMaxWidth());
    const Rect placed = m_model.actionPanelRect({size.width(), size.height()});
    m_actionPanel->place(OverlaySpace::widgetRect(placed, view.height));
    m_actionPanel->show();
    m_actionPanel->raise();
    m_actionPanel->fitContent();
}

// The bar keeps its icons where it fits with them; on a narrow view it drops
// them, then narrows the buttons' sides and the gaps between them, and only
// then scrolls.
void SelectionView::fitActionButtons(double maxWidth)
{
    const auto buttons = m_actions->findChildren<ToolbarButton*>();
    auto* row = static_cast<QHBoxLayout*>(m_actions->layout());
    auto apply = [&](bool icons, bool narrow) {
        for (ToolbarButton* button : buttons) {
            button->setIconHidden(!icons);
            button->setSidePadding(narrow ? narrowButtonSides : buttonSides);
        }
        row->setSpacing(narrow ? narrowButtonSpacing : buttonSpacing);
        row->invalidate();
        m_actionPanel->stack()->layout()->invalidate();
        return m_actionPanel->panelSize(std::numeric_limits<double>::max()).width() <= maxWidth;
    };
    if (apply(true, false) || apply(false, false))
        return;
    apply(false, true);
}

void SelectionView::showWindowStatus(const std::optional<QString>& status)
{
    change([&] { m_model.showWindowStatus(status); });
}

void SelectionView::selectRegion(const Rect& rect)
{
    change([&] { m_model.selectRegion(rect); });
}

// MARK: responder actions

void SelectionView::selectAll()
{
    change([this] { m_model.selectAll(); });
}

void SelectionView::copy()
{
    change([this] { m_model.confirm(SelectionAction::copy()); });
}

void SelectionView::saveDocument()
{
    change([this] { m_model.confirm(SelectionAction::save()); });
}

void SelectionView::pinSelection()
{
    change([this] { m_model.confirm(SelectionAction::pin()); });
}

void SelectionView::confirm()
{
    change([this] { m_model.confirm(SelectionAction::edit()); });
}

void SelectionView::editTool(int tag)
{
    change([this, tag] { m_model.editTool(tag); });
}

void SelectionView::reset()
{
    change([this] { m_model.reset(); });
}

void SelectionView::cancel()
{
    change([this] { m_model.cancel(); });
}

void SelectionView::cancelOperation()
{
    change([this] { m_model.cancelOperation(); });
}

// MARK: events

Point SelectionView::eventPoint(const QMouseEvent& event) const
{
    return OverlaySpace::viewPoint(event.position(), height());
}

void SelectionView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    setFocus(Qt::MouseFocusReason);
    change([&] { m_model.press(eventPoint(*event), 1); });
}

void SelectionView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mouseDoubleClickEvent(event);
    change([&] { m_model.press(eventPoint(*event), 2); });
}

void SelectionView::mouseMoveEvent(QMouseEvent* event)
{
    const Point point = eventPoint(*event);
    if (event->buttons() & Qt::LeftButton)
        change([&] { m_model.drag(point); });
    else if (overActionPanel(event->position()))
        change([this] { m_model.leave(); });
    else
        change([&] { m_model.hover(point); });
}

void SelectionView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mouseReleaseEvent(event);
    change([&] { m_model.release(eventPoint(*event)); });
}

// Over the panel the pointer works its buttons and picks no pixels: the
// magnifier, which the panel would cover, goes until it is back.
bool SelectionView::overActionPanel(QPointF widgetPoint) const
{
    return m_actionPanel->isVisible() && m_actionPanel->geometry().contains(widgetPoint.toPoint());
}

bool SelectionView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_actionPanel && event->type() == QEvent::Enter)
        change([this] { m_model.leave(); });
    return QWidget::eventFilter(watched, event);
}

void SelectionView::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    change([this] { m_model.leave(); });
}

// Nothing drawn depends on focus. The toolkit's default repaints the whole
// view when focus comes or goes: a second whole-screen frame just after the
// first, since the overlay takes focus as it appears.
void SelectionView::focusInEvent(QFocusEvent*) {}
void SelectionView::focusOutEvent(QFocusEvent*) {}

namespace {

SelectionModel::Key overlayKey(int key)
{
    using Key = SelectionModel::Key;
    switch (key) {
    case Qt::Key_Escape: return Key::escape;
    case Qt::Key_Return: return Key::returnKey;
    case Qt::Key_Enter: return Key::keypadEnter;
    case Qt::Key_C: return Key::c;
    case Qt::Key_A: return Key::a;
    case Qt::Key_Left: return Key::left;
    case Qt::Key_Right: return Key::right;
    case Qt::Key_Down: return Key::down;
    case Qt::Key_Up: return Key::up;
    default: return Key::other;
    }
}

// In-window modifiers: Ctrl stands for Command, Meta for Control.
SelectionModel::Modifiers overlayModifiers(Qt::KeyboardModifiers modifiers)
{
    return {modifiers.testFlag(Qt::ShiftModifier), modifiers.testFlag(Qt::MetaModifier),
            modifiers.testFlag(Qt::AltModifier), modifiers.testFlag(Qt::ControlModifier)};
}

} // namespace

void SelectionView::keyPressEvent(QKeyEvent* event)
{
    const auto key = overlayKey(event->key());
    const auto modifiers = overlayModifiers(event->modifiers());
    if (!SelectionModel::isOverlayKey(key, modifiers))
        return QWidget::keyPressEvent(event);
    event->accept();
    change([&] { m_model.keyPress(key, modifiers); });
}

bool SelectionView::event(QEvent* event)
{
    // Showing a widget also asks, once, for it to be painted whole a little
    // later, after the paint its window's first exposure brings: for the
    // overlay a second whole-screen frame of the same pixels, just as the
    // user starts. Whatever changes meanwhile asks for its own repaint. Only
    // that one request is dropped, and only after a whole paint.
    if (event->type() == QEvent::Show) {
        m_paintedWhole = false;
        m_showRepaintAsked = true;
    }
    if (event->type() == QEvent::UpdateLater && std::exchange(m_showRepaintAsked, false)
        && m_paintedWhole)
        return true;
    // The overlay's own keys win over application-wide shortcuts.
    if (event->type() == QEvent::ShortcutOverride) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (SelectionModel::isOverlayKey(overlayKey(key->key()),
                                         overlayModifiers(key->modifiers()))) {
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

// MARK: drawing

SelectionView::Decorations SelectionView::decorations() const
{
    const Size view = m_model.viewSize();
    const Rect& selection = m_model.selection();
    Decorations d;
    d.focus = m_model.focusRect();
    d.handles = !selection.isEmpty();
    if (d.focus)
        d.focusArea = OverlaySpace::widgetRect(*d.focus, view.height)
                          .toAlignedRect()
                          .adjusted(-focusMargin, -focusMargin, focusMargin, focusMargin);

    if (m_model.selectionPixels()) {
        d.label = m_model.sizeLabel();
        const Point at{std::min(view.width - 150, std::max(selection.minX(), 8.0)),
                       std::min(selection.maxY() + 6, view.height - 25)};
        d.labelArea = textBox(d.label, labelFont(), at, labelPadding, view.height).toAlignedRect();
    }

    if (m_model.pointer() && m_model.pointerColor()) {
        d.magnifierPixel = m_model.pointerPixel();
        if (d.magnifierPixel)
            d.magnifierArea = OverlaySpace::widgetRect(
                                  Magnifier::panelRect(*m_model.pointer(), view), view.height)
                                  .toAlignedRect()
                                  .adjusted(-1, -1, 1, 1);
    }

    if (const auto status = m_model.statusText()) {
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
    if (!dirty.isEmpty()) {
        // Whole device pixels, or the toolkit's rounding of the area at a
        // fractional scale would leave a line of the old picture behind.
        const double ratio = devicePixelRatioF();
        QRegion aligned;
        for (const QRect& r : dirty)
            aligned += OverlaySpace::deviceAlignedArea(r, ratio);
        update(aligned);
    }
    syncActionPanel();
}

void SelectionView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const QRegion& region = event->region();
    if ((QRegion(rect()) - region).isEmpty())
        m_paintedWhole = true;
    const Size view = m_model.viewSize();
    const auto appearance = CoreAppearance::appearance(this);

    if (m_drawImage.isNull()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    // 1. The frozen image, copied rectangle by rectangle of what changed,
    // and 2. the dimming over it, with the focus cut out by the even-odd
    // rule. Each rectangle is painted out to whole device pixels, so at
    // fractional scales no pixel at its edge is left half repainted; the
    // next rectangle paints its overlap afresh, image first.
    const double sx = m_drawImage.width() / view.width;
    const double sy = m_drawImage.height() / view.height;
    const double ratio = painter.device()->devicePixelRatioF();
    const bool exact = std::abs(sx - ratio) < 1e-9 && std::abs(sy - ratio) < 1e-9;
    const std::optional<Rect> focus = m_model.focusRect();
    const QColor dim = dimming();
    QPainterPath outline;
    QRectF focusBox;
    if (focus) {
        focusBox = OverlaySpace::widgetRect(*focus, view.height);
        outline = CoreAppearance::captureOutline(focusBox);
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform, !exact);
    painter.setRenderHint(QPainter::Antialiasing);
    for (const QRect& r : region) {
        const QRectF cover = OverlaySpace::devicePixelCover(r, ratio);
        painter.save();
        painter.setClipRect(cover, Qt::IntersectClip);
        painter.drawImage(
            cover, m_drawImage,
            QRectF(cover.x() * sx, cover.y() * sy, cover.width() * sx, cover.height() * sy));
        if (!focus || !focusBox.intersects(cover)) {
            painter.fillRect(cover, dim);
        } else {
            QPainterPath cut;
            cut.setFillRule(Qt::OddEvenFill);
            cut.addRect(cover);
            cut.addPath(outline);
            painter.fillPath(cut, dim);
        }
        painter.restore();
    }

    const QColor border = CoreAppearance::captureBorder.resolved(appearance);
    // 3. The border of the focus, centred on its edges, which lie on image
    // and so on device pixel edges: an even number of device pixels wide.
    if (focus)
        painter.strokePath(outline, QPen(border, borderPixels(ratio) / ratio));

    // 4. The eight handles of a selection.
    if (!m_model.selection().isEmpty()) {
        painter.setBrush(Qt::white);
        for (const SelectionHandle handle : SelectionHandle::allCases()) {
            const QPointF centre
                = OverlaySpace::widgetPoint(handle.point(m_model.selection()), view.height);
            const HandleShape shape = handleShape(centre, ratio);
            painter.setPen(QPen(border, shape.lineWidth));
            painter.drawRoundedRect(shape.strokeRect, 1.5, 1.5);
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
    if (m_model.pointer() && m_model.pointerColor() && m_drawn.magnifierPixel
        && region.intersects(m_drawn.magnifierArea))
        Magnifier::draw(painter, m_model.image(), *m_model.pointer(), *m_drawn.magnifierPixel,
                        *m_model.pointerColor(), view, appearance);

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
