#include "canvas/CanvasModel.h"

#include "canvas/CanvasGeometry.h"

#include <Qt>

#include <algorithm>
#include <cmath>
#include <utility>

namespace kelpie {

namespace {

constexpr double hitToleranceInPoints = 6;
// Text needs at least this much image.
constexpr double minimumTextImageWidth = 40;
constexpr double minimumTextImageHeight = 32;
constexpr double newTextLayoutWidth = 440;
constexpr double newTextRoom = 100;
constexpr double textBoxHeight = 180;
constexpr double minimumTextBoxHeight = 120;

const QString textTooLargeMessage = QStringLiteral("文字超出截图，请调小字号");
const QString textDoesNotFitMessage = QStringLiteral("文字超出截图，请缩短内容或调小字号");
const QString composingMessage = QStringLiteral("请先确认当前中文候选");
const QString imageTooSmallMessage = QStringLiteral("截图太小，无法放入文字");

bool isBox(AnnotationTool tool)
{
    return tool != AnnotationTool::line && tool != AnnotationTool::arrow;
}

double distance(Point a, Point b) { return std::hypot(b.x - a.x, b.y - a.y); }

long nearest(double v) { return std::lround(v); }

// Whether a finished draft is worth keeping: boxes drawn by a drag need some
// width and height, everything else a path or some length.
bool hasSize(const AnnotationObject& object)
{
    const bool box = object.tool() == AnnotationTool::rectangle
        || object.tool() == AnnotationTool::ellipse
        || (object.tool() == AnnotationTool::mask && !object.style.maskBrush);
    const double dx = std::abs(object.end.x - object.start.x);
    const double dy = std::abs(object.end.y - object.start.y);
    if (box)
        return dx >= 1 && dy >= 1;
    return !object.points.isEmpty() || distance(object.start, object.end) >= 1;
}

std::optional<AnnotationTool> toolForLetter(int key)
{
    if (key < Qt::Key_A || key > Qt::Key_Z)
        return std::nullopt;
    const QString letter(QChar(u'a' + (key - Qt::Key_A)));
    for (AnnotationTool tool : allAnnotationTools) {
        if (kelpie::key(tool) == letter)
            return tool;
    }
    return std::nullopt;
}

} // namespace

CanvasModel::CanvasModel(AnnotationDocument& document, CanvasStyleStore& styles, bool compactStyles,
                         const AnnotationTextMeasurer& measurer)
    : m_document(document), m_styles(styles), m_measurer(measurer), m_compactStyles(compactStyles)
{
    m_document.onChange = [this] { documentChanged(); };
    refreshPreview();
}

CanvasModel::~CanvasModel() { m_document.onChange = nullptr; }

// --- state -------------------------------------------------------------------

std::optional<AnnotationObject> CanvasModel::selected() const
{
    if (!m_selectedID)
        return std::nullopt;
    const AnnotationObjectList& objects = m_document.state().objects;
    const qsizetype i = objects.indexOf(*m_selectedID);
    if (i < 0)
        return std::nullopt;
    return objects[i];
}

Size CanvasModel::imageSize() const
{
    const QImage& image = m_document.baseImage();
    return {double(image.width()), double(image.height())};
}

void CanvasModel::notify(const std::function<void()>& callback) const
{
    if (callback)
        callback();
}

void CanvasModel::redraw() const { notify(onRedraw); }

void CanvasModel::documentChanged()
{
    if (m_selectedID && m_document.state().objects.indexOf(*m_selectedID) < 0)
        m_selectedID.reset();
    refreshPreview();
    notify(onDocumentChanged);
}

// --- preview -----------------------------------------------------------------

void CanvasModel::refreshPreview()
{
    const AnnotationObjectList& objects = m_document.state().objects;
    AnnotationObjectList below = objects;
    m_following.clear();
    if (m_draft) {
        const qsizetype i = objects.indexOf(m_draft->id());
        if (i >= 0) {
            below = objects.mid(0, i);
            m_following = objects.mid(i + 1);
        }
    }
    const auto isMask = [](const AnnotationObject& o) { return o.tool() == AnnotationTool::mask; };
    m_fullDraftPreview = m_draft
        && (isMask(*m_draft) || std::any_of(m_following.begin(), m_following.end(), isMask));
    if (m_draft)
        m_preview.showDraft(m_document.baseImage(), below, *m_draft, m_following);
    else
        m_preview.show(m_document.baseImage(), objects);
    redraw();
}

// --- view geometry -----------------------------------------------------------

void CanvasModel::setViewSize(Size size)
{
    m_viewSize = size;
    updateTextEditorLayout();
}

Rect CanvasModel::contentRect() const
{
    return CanvasGeometry::contentRect(m_viewSize, imageSize());
}

double CanvasModel::defaultStyleScale() const
{
    return AnnotationStyle::defaultScale(imageSize(), contentRect().width());
}

double CanvasModel::hitTolerance() const
{
    return hitToleranceInPoints * imageSize().width / std::max(contentRect().width(), 1.0);
}

std::optional<Point> CanvasModel::canonical(Point view, bool clamp) const
{
    return CanvasGeometry::canonical(view, contentRect(), imageSize(), clamp);
}

Point CanvasModel::viewPoint(Point annotation) const
{
    return CanvasGeometry::viewPoint(annotation, contentRect(), imageSize());
}

// --- queries -----------------------------------------------------------------

std::optional<AnnotationObject> CanvasModel::objectAt(Point point) const
{
    const AnnotationObjectList& objects = m_document.state().objects;
    const double tolerance = hitTolerance();
    for (qsizetype i = objects.size() - 1; i >= 0; --i) {
        if (objects[i].hit(point, tolerance))
            return objects[i];
    }
    return std::nullopt;
}

bool CanvasModel::canSelectText(Point view) const
{
    if (m_drag || m_textEditing || m_tool != AnnotationTool::select)
        return false;
    const std::optional<Point> p = canonical(view, false);
    if (!p)
        return false;
    return !m_editingEnabled || !objectAt(*p);
}

bool CanvasModel::takesPointer(Point view) const
{
    if (m_tool == AnnotationTool::select && !m_selectedID) {
        const std::optional<Point> p = canonical(view, false);
        return p && objectAt(*p);
    }
    return true;
}

// --- pointer -----------------------------------------------------------------

bool CanvasModel::pointerDown(Point view, int clickCount)
{
    if (!m_editingEnabled)
        return false;
    const std::optional<Point> p = canonical(view, false);
    if (!p)
        return true;
    if (m_textEditing) {
        finishTextEditing();
        return true;
    }
    if (const std::optional<AnnotationObject> object = selected();
        object && handlesStartGesture(*object, *p))
        return true;
    m_gestureTool = CanvasTool::make(m_tool);
    m_gestureTool->press(*this, *p, clickCount);
    return true;
}

bool CanvasModel::handlesStartGesture(const AnnotationObject& object, Point p)
{
    const double tolerance = hitTolerance();
    const auto near = [&](Point handle) { return distance(p, handle) <= tolerance; };
    if (isBox(object.tool())) {
        const Rect bounds = object.bounds();
        for (SelectionHandle handle : SelectionHandle::allCases()) {
            if (near(handle.point(bounds))) {
                begin({CanvasDrag::Kind::resize, object, handle, false}, p, object);
                return true;
            }
        }
        return false;
    }
    if (m_compactStyles && m_tool != AnnotationTool::select)
        return false;
    if (near(object.start) || near(object.end)) {
        begin({CanvasDrag::Kind::endpoint, object, SelectionHandle::bottomLeft, near(object.start)},
              p, object);
        return true;
    }
    if (object.tool() == AnnotationTool::arrow && near(object.arrowMidpoint())) {
        begin({CanvasDrag::Kind::bend, object, SelectionHandle::bottomLeft, false}, p, object);
        return true;
    }
    return false;
}

void CanvasModel::pointerDragged(Point view, bool shift)
{
    if (!m_anchor || !m_drag || !m_draft)
        return;
    const std::optional<Point> p = canonical(view, true);
    if (!p)
        return;
    dragTo(*p, shift);
    m_preview.moveDraft(*m_draft);
    redraw();
}

void CanvasModel::dragTo(Point p, bool shift)
{
    const Size image = imageSize();
    const CanvasDrag& drag = *m_drag;
    const AnnotationObject& old = *drag.object;
    switch (drag.kind) {
    case CanvasDrag::Kind::move: {
        const Point delta = CanvasGeometry::containedDelta(old.bounds(), p.x - m_anchor->x,
                                                           p.y - m_anchor->y, image);
        m_draft = old.moved(delta.x, delta.y);
        break;
    }
    case CanvasDrag::Kind::resize: {
        const Rect rect = drag.handle.resize(old.bounds(), p, image, Size{1, 1});
        AnnotationObject candidate = old.resized(rect, m_measurer);
        if (old.tool() == AnnotationTool::text) {
            const Rect b = candidate.bounds();
            if (b.width() > image.width || b.height() > image.height) {
                if (onError)
                    onError(textTooLargeMessage);
                return;
            }
            const double x = std::clamp(b.minX(), 0.0, image.width - b.width());
            const double y = std::clamp(b.minY(), 0.0, image.height - b.height());
            candidate = candidate.moved(x - b.minX(), y - b.minY());
        }
        m_draft = candidate;
        break;
    }
    case CanvasDrag::Kind::endpoint: {
        AnnotationObject candidate = old;
        if (drag.startPoint)
            candidate.start = CanvasGeometry::snapped(p, old.end, shift, image);
        else
            candidate.end = CanvasGeometry::snapped(p, old.start, shift, image);
        if (old.curveControl) {
            const Point c = *old.curveControl;
            candidate.curveControl
                = Point{c.x + (candidate.start.x + candidate.end.x - old.start.x - old.end.x) / 2,
                        c.y + (candidate.start.y + candidate.end.y - old.start.y - old.end.y) / 2};
        }
        m_draft = CanvasGeometry::boundedArrow(candidate, old, image);
        break;
    }
    case CanvasDrag::Kind::bend: {
        const Point middle = old.arrowMidpoint();
        const Point target{middle.x + p.x - m_anchor->x, middle.y + p.y - m_anchor->y};
        AnnotationObject candidate = old;
        candidate.curveControl = Point{2 * target.x - (old.start.x + old.end.x) / 2,
                                       2 * target.y - (old.start.y + old.end.y) / 2};
        m_draft = CanvasGeometry::boundedArrow(candidate, old, image);
        break;
    }
    case CanvasDrag::Kind::draw:
        if (m_gestureTool)
            m_gestureTool->drawTo(*this, *m_draft, p, shift);
        break;
    }
}

bool CanvasModel::pointerUp()
{
    if (!m_editingEnabled)
        return false;
    if (m_textEditing || !m_draft)
        return true;
    const AnnotationObject draft = *m_draft;
    const bool keep = hasSize(draft);
    clearGesture();
    if (keep) {
        AnnotationState state = m_document.state();
        const qsizetype i = state.objects.indexOf(draft.id());
        if (i >= 0)
            state.objects.replace(i, draft);
        else
            state.objects.append(draft);
        m_selectedID = draft.id();
        commitOrRefresh(std::move(state));
    } else {
        refreshPreview();
        notify(onDocumentChanged);
    }
    notify(onSelectionChanged);
    return true;
}

void CanvasModel::scroll(double delta)
{
    if (m_textEditing)
        return;
    if (!m_editingEnabled || (m_tool == AnnotationTool::select && !m_selectedID)) {
        if (onZoom)
            onZoom(delta >= 0 ? 1.05 : 0.95);
        return;
    }
    if (onStyleKey)
        onStyleKey(delta >= 0 ? 1.0 : -1.0, std::nullopt);
}

// --- gestures ----------------------------------------------------------------

void CanvasModel::begin(CanvasDrag drag, Point at, const AnnotationObject& object)
{
    m_drag = std::move(drag);
    m_anchor = at;
    m_draft = object;
    notify(onPreviewBegin);
    refreshPreview();
}

void CanvasModel::beginMove(const AnnotationObject& object, Point at)
{
    begin({CanvasDrag::Kind::move, object, SelectionHandle::bottomLeft, false}, at, object);
}

void CanvasModel::beginDrawing(AnnotationTool tool, Point point)
{
    const AnnotationStyle style = newStyle(tool);
    QList<Point> points;
    if (tool == AnnotationTool::pen || tool == AnnotationTool::highlight
        || (tool == AnnotationTool::mask && style.maskBrush))
        points.append(point);
    const AnnotationObject draft(tool, style, point, point, points);
    begin({CanvasDrag::Kind::draw, std::nullopt, SelectionHandle::bottomLeft, false}, point, draft);
}

void CanvasModel::select(const QUuid& id)
{
    m_selectedID = id;
    notify(onSelectionChanged);
}

void CanvasModel::clearGesture()
{
    m_draft.reset();
    m_drag.reset();
    m_anchor.reset();
    m_following.clear();
    m_gestureTool.reset();
}

void CanvasModel::cancelGesture()
{
    if (m_textEditing) {
        cancelTextEditing();
        return;
    }
    if (!m_drag)
        return;
    clearGesture();
    refreshPreview();
    notify(onDocumentChanged);
}

void CanvasModel::deselect()
{
    m_selectedID.reset();
    redraw();
    notify(onSelectionChanged);
}

void CanvasModel::commitOrRefresh(AnnotationState state)
{
    if (!m_document.commit(std::move(state))) {
        refreshPreview();
        notify(onDocumentChanged);
    }
}

// --- commands and styles -----------------------------------------------------

AnnotationTool CanvasModel::currentTool() const
{
    if (m_textEditing)
        return AnnotationTool::text;
    if (const std::optional<AnnotationObject> object = selected())
        return object->tool();
    return m_tool;
}

AnnotationStyle CanvasModel::currentStyle() const
{
    if (m_textEditing && m_draft)
        return m_draft->style;
    if (const std::optional<AnnotationObject> object = selected())
        return object->style;
    return newStyle(m_tool);
}

AnnotationStyle CanvasModel::newStyle(AnnotationTool tool) const
{
    const double scale = defaultStyleScale();
    if (!m_compactStyles) {
        if (const auto pending = m_pendingStyles.find(tool); pending != m_pendingStyles.end())
            return pending->second;
        return m_styles.annotationStyle(tool, scale);
    }
    AnnotationStyle style = AnnotationStyle::initial(tool, scale);
    const auto markup = [&](AnnotationTool t) {
        const auto chosen = m_markupColors.find(t);
        return chosen != m_markupColors.end() ? chosen->second : AnnotationColor::markupPalette[0];
    };
    switch (tool) {
    case AnnotationTool::rectangle:
        style.color = markup(tool);
        style.cornerRadius = double(nearest(13 * scale));
        break;
    case AnnotationTool::arrow:
        style.color = markup(tool);
        style.width = double(std::max(nearest(5 * scale), 1L));
        style.curvedArrow = m_curvedArrow;
        break;
    case AnnotationTool::mask:
        style.color = AnnotationColor(48 / 255.0, 61 / 255.0, 52 / 255.0);
        break;
    case AnnotationTool::highlight:
        style.color = AnnotationColor(155 / 255.0, 198 / 255.0, 137 / 255.0);
        break;
    case AnnotationTool::number:
        style.color = AnnotationColor::leaf;
        style.width = double(std::max(nearest(3.5 * scale), 1L));
        break;
    default: style.color = AnnotationColor::leaf; break;
    }
    return style;
}

void CanvasModel::chooseTool(AnnotationTool tool)
{
    if (m_textEditing && !finishTextEditing())
        return;
    cancelGesture();
    m_tool = tool;
    m_selectedID.reset();
    redraw();
    notify(onSelectionChanged);
}

void CanvasModel::changeStyle(const AnnotationStyle& style)
{
    if (!style.valid())
        return;
    if (m_textEditing) {
        if (m_textEditor && m_textEditor->composing()) {
            if (onError)
                onError(composingMessage);
        } else if (m_draft) {
            m_draft->style = style;
            refreshPreview();
            updateTextEditorLayout();
        }
        notify(onSelectionChanged);
        return;
    }
    if (m_drag)
        return;
    if (selected()) {
        restyleSelected(style);
        return;
    }
    if (m_adjustingStyle && !m_compactStyles)
        m_pendingStyles[m_tool] = style;
    else
        m_styles.setAnnotationStyle(style, m_tool);
    notify(onSelectionChanged);
}

void CanvasModel::restyleSelected(const AnnotationStyle& style)
{
    const Size image = imageSize();
    AnnotationObject object = *selected();
    object.style = style;
    if (object.tool() == AnnotationTool::number) {
        const Rect old = object.bounds();
        const Rect box = CanvasGeometry::badgeBox({old.midX(), old.midY()}, style.width, image);
        object.start = box.origin;
        object.end = {box.maxX(), box.maxY()};
    } else if (object.tool() == AnnotationTool::text) {
        const Rect bounds = object.bounds();
        const Size measured = m_measurer.size(
            object.text, style, std::min(image.width - bounds.minX(), object.textLayoutWidth));
        if (measured.height > image.height || measured.width > image.width) {
            if (onError)
                onError(textTooLargeMessage);
            notify(onSelectionChanged);
            return;
        }
        const double top = std::min(std::max(bounds.maxY(), measured.height), image.height);
        object.start = {bounds.minX(), top - measured.height};
        object.end = {bounds.minX() + measured.width, top};
    }
    replaceSelected(object);
}

void CanvasModel::replaceSelected(const AnnotationObject& object)
{
    AnnotationState state = m_document.state();
    const qsizetype i = state.objects.indexOf(object.id());
    if (i < 0)
        return;
    state.objects.replace(i, object);
    m_document.commit(std::move(state));
}

void CanvasModel::beginStyleAdjustment()
{
    m_adjustingStyle = true;
    if (selected())
        m_document.beginTransaction();
}

void CanvasModel::endStyleAdjustment()
{
    m_adjustingStyle = false;
    if (m_document.inTransaction())
        m_document.endTransaction();
    for (const auto& [tool, style] : m_pendingStyles)
        m_styles.setAnnotationStyle(style, tool);
    m_pendingStyles.clear();
}

void CanvasModel::chooseMarkup(std::optional<AnnotationColor> color, std::optional<bool> curved)
{
    if (m_drag || m_textEditing)
        return;
    const AnnotationTool tool = currentTool();
    if (tool != AnnotationTool::rectangle && tool != AnnotationTool::arrow)
        return;
    if (color)
        m_markupColors.insert_or_assign(tool, *color);
    if (curved)
        m_curvedArrow = *curved;

    std::optional<AnnotationObject> target = selected();
    if (!target) {
        const AnnotationObjectList& objects = m_document.state().objects;
        for (qsizetype i = objects.size() - 1; i >= 0; --i) {
            if (objects[i].tool() == tool) {
                target = objects[i];
                break;
            }
        }
    }
    if (target) {
        if (color)
            target->style.color = *color;
        if (curved) {
            target->style.curvedArrow = *curved;
            target->applyPresetCurve(imageSize());
        }
        AnnotationState state = m_document.state();
        state.objects.replace(state.objects.indexOf(target->id()), *target);
        m_document.commit(std::move(state));
    }
    notify(onSelectionChanged);
}

bool CanvasModel::handleKey(const CanvasKey& key)
{
    if (key.command || key.control || key.option)
        return false;
    switch (key.key) {
    case Qt::Key_Escape: return handleEscape();
    case Qt::Key_Space: notify(onSpace); return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!key.shift) {
            notify(onConfirm);
            return true;
        }
        break;
    default: break;
    }
    if (!m_editingEnabled)
        return false;
    if (chooseToolKey(key.key))
        return true;
    const double step = key.shift ? 10 : 1;
    switch (key.key) {
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
        if (!selected())
            return false;
        deleteSelected();
        return true;
    case Qt::Key_BracketLeft:
    case Qt::Key_BracketRight:
        if (onStyleKey)
            onStyleKey(key.key == Qt::Key_BracketLeft ? -1.0 : 1.0, std::nullopt);
        return true;
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Down:
    case Qt::Key_Up:
        if (!selected())
            return false;
        nudge(key.key == Qt::Key_Left        ? -step
                  : key.key == Qt::Key_Right ? step
                                             : 0,
              key.key == Qt::Key_Down     ? -step
                  : key.key == Qt::Key_Up ? step
                                          : 0);
        return true;
    default: break;
    }
    if (key.key >= Qt::Key_1 && key.key <= Qt::Key_8) {
        if (onStyleKey)
            onStyleKey(std::nullopt, key.key - Qt::Key_1);
        return true;
    }
    return false;
}

bool CanvasModel::handleEscape()
{
    if (m_drag || m_textEditing)
        cancelGesture();
    else if (m_tool != AnnotationTool::select)
        leaveToolKeepingSelection();
    else if (m_selectedID)
        deselect();
    else
        notify(onExit);
    return true;
}

// Escape steps back one stage at a time: leaving a drawing tool keeps the
// object just drawn selected, so that the next Escape deselects it and only
// the one after that leaves the editor. Clearing the selection here would let
// a third Escape close the editor with the user's work one step early.
void CanvasModel::leaveToolKeepingSelection()
{
    const std::optional<QUuid> kept = m_selectedID;
    chooseTool(AnnotationTool::select);
    if (!kept || m_tool != AnnotationTool::select)
        return;
    m_selectedID = kept;
    if (!selected()) {
        m_selectedID.reset();
        return;
    }
    redraw();
    notify(onSelectionChanged);
}

bool CanvasModel::chooseToolKey(int key)
{
    const std::optional<AnnotationTool> tool = toolForLetter(key);
    if (!tool)
        return false;
    if (m_compactStyles && (*tool == AnnotationTool::ellipse || *tool == AnnotationTool::line))
        return false;
    chooseTool(*tool);
    return true;
}

void CanvasModel::nudge(double dx, double dy)
{
    const AnnotationObject object = *selected();
    const Point delta = CanvasGeometry::containedDelta(object.bounds(), dx, dy, imageSize());
    replaceSelected(object.moved(delta.x, delta.y));
}

void CanvasModel::deleteSelected()
{
    AnnotationState state = m_document.state();
    state.objects.removeAt(state.objects.indexOf(*m_selectedID));
    m_selectedID.reset();
    m_document.commit(std::move(state));
    notify(onSelectionChanged);
}

// --- text editing ------------------------------------------------------------

void CanvasModel::beginTextEditing(const std::optional<AnnotationObject>& existing, Point point)
{
    const Size image = imageSize();
    if (image.width < minimumTextImageWidth || image.height < minimumTextImageHeight) {
        if (onError)
            onError(imageTooSmallMessage);
        return;
    }
    cancelGesture();
    AnnotationObject object = existing
        ? *existing
        : AnnotationObject(AnnotationTool::text, newStyle(AnnotationTool::text), point, point);
    Point top;
    if (existing) {
        const Rect bounds = existing->bounds();
        top = {bounds.minX(), bounds.maxY()};
    } else {
        top = {std::min(point.x, image.width - minimumTextImageWidth),
               std::max(std::min(point.y, image.height), std::min(image.height, newTextRoom))};
    }
    const double width = existing ? existing->textLayoutWidth : newTextLayoutWidth;
    m_textMaximumWidth = std::min(width, image.width - top.x);
    object.textLayoutWidth = m_textMaximumWidth;

    const QString text = object.text;
    object.text.clear();
    object.start = {top.x, std::max(top.y - textBoxHeight, 0.0)};
    object.end = {top.x + m_textMaximumWidth, top.y};
    m_draft = object;
    m_textTopLeft = top;
    if (existing)
        m_selectedID = existing->id();
    else
        m_selectedID.reset();
    m_textEditing = true;
    if (m_textEditor)
        m_textEditor->open(text);
    notify(onPreviewBegin);
    refreshPreview();
    updateTextEditorLayout();
    notify(onSelectionChanged);
}

bool CanvasModel::finishTextEditing()
{
    if (!m_textEditing || !m_draft || !m_textTopLeft)
        return true;
    if (m_textEditor && m_textEditor->composing()) {
        if (onError)
            onError(composingMessage);
        return false;
    }
    const QString text = m_textEditor ? m_textEditor->text() : QString();
    AnnotationObject object = *m_draft;
    AnnotationState state = m_document.state();
    const qsizetype i = state.objects.indexOf(object.id());

    if (text.trimmed().isEmpty()) {
        if (i >= 0)
            state.objects.removeAt(i);
        endTextEditing();
        m_selectedID.reset();
        commitOrRefresh(std::move(state));
        notify(onSelectionChanged);
        return true;
    }

    const Point top = *m_textTopLeft;
    const Size measured = m_measurer.size(text, object.style, m_textMaximumWidth);
    if (!(measured.height <= top.y && measured.width <= imageSize().width - top.x)) {
        if (onError)
            onError(textDoesNotFitMessage);
        return false;
    }
    object.text = text;
    object.textLayoutWidth = m_textMaximumWidth;
    object.start = {top.x, top.y - measured.height};
    object.end = {top.x + measured.width, top.y};
    endTextEditing();
    m_selectedID = object.id();
    if (i >= 0) {
        state.objects.replace(i, object);
    } else {
        state.objects.append(object);
        m_styles.setAnnotationStyle(object.style, AnnotationTool::text);
    }
    commitOrRefresh(std::move(state));
    notify(onSelectionChanged);
    return true;
}

void CanvasModel::cancelTextEditing()
{
    if (m_textEditing)
        endTextEditing();
    if (m_selectedID && m_document.state().objects.indexOf(*m_selectedID) < 0)
        m_selectedID.reset();
    refreshPreview();
    notify(onDocumentChanged);
    notify(onSelectionChanged);
}

void CanvasModel::endTextEditing()
{
    if (m_textEditor)
        m_textEditor->close();
    m_textEditing = false;
    m_textTopLeft.reset();
    clearGesture();
}

std::optional<CanvasModel::TextEditorLayout> CanvasModel::textEditorLayout() const
{
    if (!m_textEditing || !m_draft || !m_textTopLeft)
        return std::nullopt;
    const Point top = *m_textTopLeft;
    const double k = contentRect().width() / std::max(imageSize().width, 1.0);
    const double h = std::min(top.y, std::max(m_draft->bounds().height(), minimumTextBoxHeight));
    const Point origin = viewPoint({top.x, top.y - h});
    return TextEditorLayout{Rect(origin.x, origin.y, k * m_textMaximumWidth, k * h), k,
                            m_draft->style};
}

void CanvasModel::updateTextEditorLayout()
{
    if (m_textEditing && m_textEditor)
        m_textEditor->relayout();
}

} // namespace kelpie
