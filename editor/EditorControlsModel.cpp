#include "editor/EditorControlsModel.h"

#include "canvas/CanvasModel.h"
#include "editor/StyleEdits.h"
#include "editor/WidthPresets.h"

#include <algorithm>
#include <cmath>

namespace kelpie {

EditorControlsModel::EditorControlsModel(CanvasModel& canvas, EditorMode mode,
                                         EditorStatusHooks status)
    : m_canvas(canvas), m_mode(mode), m_status(std::move(status))
{
}

StyleControlsState EditorControlsModel::state() const
{
    StyleControlsState::Input input;
    input.mode = m_mode;
    input.tool = m_canvas.currentTool();
    input.style = m_canvas.currentStyle();
    const std::optional<AnnotationObject> selected = m_canvas.selected();
    input.hasSelection = selected.has_value();
    input.numberSelected = selected && selected->tool() == AnnotationTool::number;
    input.number = input.numberSelected ? selected->number : m_canvas.document().state().nextNumber;
    input.defaultStyleScale = m_canvas.defaultStyleScale();
    return StyleControlsState::make(input);
}

bool EditorControlsModel::styleRowVisible() const
{
    return m_mode == EditorMode::plain && m_canvas.currentTool() != AnnotationTool::select;
}

bool EditorControlsModel::markupRowVisible(bool editing) const
{
    const AnnotationTool tool = m_canvas.currentTool();
    return editing && (tool == AnnotationTool::arrow || tool == AnnotationTool::rectangle);
}

bool EditorControlsModel::markupColorOn(int index) const
{
    if (index < 0 || std::size_t(index) >= AnnotationColor::markupPalette.size())
        return false;
    return m_canvas.currentStyle().color == AnnotationColor::markupPalette[std::size_t(index)];
}

bool EditorControlsModel::markupShapeOn(int tag) const
{
    const std::optional<bool> curved = m_canvas.currentStyle().curvedArrow;
    return curved.has_value() && *curved == (tag == 1);
}

void EditorControlsModel::chooseTool(AnnotationTool tool) { m_canvas.chooseTool(tool); }

void EditorControlsModel::apply(const std::optional<AnnotationStyle>& style)
{
    if (style)
        m_canvas.changeStyle(*style);
}

void EditorControlsModel::changeWidth(double value)
{
    apply(StyleEdits::withSize(m_canvas.currentTool(), m_canvas.currentStyle(), value));
}

void EditorControlsModel::widthPreset(int value)
{
    // withSize keeps a mask's strength at 4 or more.
    changeWidth(value);
}

void EditorControlsModel::palette(int index)
{
    if (index < 0 || std::size_t(index) >= AnnotationColor::palette.size())
        return;
    changeColor(AnnotationColor::palette[std::size_t(index)]);
}

void EditorControlsModel::changeColor(const AnnotationColor& color)
{
    AnnotationStyle style = m_canvas.currentStyle();
    if (style.color == color)
        return;
    style.color = color;
    m_canvas.changeStyle(style);
}

void EditorControlsModel::changeFill(int segment)
{
    apply(StyleEdits::withFill(m_canvas.currentStyle(), segment));
}

void EditorControlsModel::changeDash(int segment)
{
    apply(StyleEdits::withDash(m_canvas.currentStyle(), segment));
}

void EditorControlsModel::changeArrowHead(int segment)
{
    apply(StyleEdits::withArrowHead(m_canvas.currentStyle(), segment));
}

void EditorControlsModel::changeMaskEffect(int segment)
{
    apply(StyleEdits::withMaskEffect(m_canvas.currentStyle(), segment));
}

void EditorControlsModel::changeMaskMode(int segment)
{
    if (m_canvas.selected())
        return;
    apply(StyleEdits::withMaskMode(m_canvas.currentStyle(), segment));
}

void EditorControlsModel::changeBrush(double width)
{
    if (!std::isfinite(width))
        return;
    AnnotationStyle style = m_canvas.currentStyle();
    const double clamped = std::clamp(width, 1.0, 80.0);
    if (style.width == clamped)
        return;
    style.width = clamped;
    m_canvas.changeStyle(style);
}

void EditorControlsModel::changeCorner(double radius)
{
    if (!std::isfinite(radius))
        return;
    AnnotationStyle style = m_canvas.currentStyle();
    const double clamped = std::clamp(radius, 0.0, 80.0);
    if (style.cornerRadius == clamped)
        return;
    style.cornerRadius = clamped;
    m_canvas.changeStyle(style);
}

void EditorControlsModel::changeTextStyle(bool bold, bool background)
{
    AnnotationStyle style = m_canvas.currentStyle();
    if (style.bold == bold && style.textBackground == background)
        return;
    style.bold = bold;
    style.textBackground = background;
    m_canvas.changeStyle(style);
}

QString EditorControlsModel::fieldText(StyleField field) const
{
    const StyleControlsState shown = state();
    switch (field) {
    case StyleField::strokeWidth: return shown.strokeFieldText;
    case StyleField::fontSize: return shown.fontFieldText;
    case StyleField::number: return shown.numberText;
    }
    return {};
}

QString EditorControlsModel::commitField(StyleField field, const QString& text)
{
    const AnnotationTool tool = m_canvas.currentTool();
    switch (field) {
    case StyleField::strokeWidth:
        // Only stroked tools take a width from the field.
        if (!WidthPresets::showIcons(tool))
            return fieldText(field);
        break;
    case StyleField::fontSize:
        if (tool != AnnotationTool::text)
            return fieldText(field);
        break;
    case StyleField::number:
        if (m_canvas.hasDraft())
            return fieldText(field);
        break;
    }

    const std::optional<qint64> value = validValue(field, text);
    if (!value) {
        showError(field);
        return fieldText(field);
    }
    if (field == StyleField::number) {
        commitNumber(*value);
    } else {
        AnnotationStyle style = m_canvas.currentStyle();
        (field == StyleField::fontSize ? style.fontSize : style.width) = double(*value);
        if (!(style == m_canvas.currentStyle()))
            m_canvas.changeStyle(style);
    }
    clearError(field);
    return fieldText(field);
}

void EditorControlsModel::commitNumber(qint64 number)
{
    AnnotationState state = m_canvas.document().state();
    const std::optional<AnnotationObject> selected = m_canvas.selected();
    if (selected && selected->tool() == AnnotationTool::number) {
        AnnotationObject badge = *selected;
        badge.number = number;
        const qsizetype i = state.objects.indexOf(badge.id());
        if (i < 0)
            return;
        state.objects.replace(i, badge);
    } else {
        state.nextNumber = number;
    }
    m_canvas.document().commit(std::move(state));
}

void EditorControlsModel::showError(StyleField field)
{
    if (m_status.set)
        m_status.set(errorMessage(field));
}

void EditorControlsModel::clearError(StyleField field)
{
    if (!m_status.text || !m_status.set || m_status.text() != errorMessage(field))
        return;
    m_status.set(m_status.contextual ? m_status.contextual() : QString());
}

void EditorControlsModel::changeStyleKey(std::optional<double> widthStep,
                                         std::optional<int> colorIndex)
{
    const AnnotationTool tool = m_canvas.currentTool();
    if (compact()) {
        if (const std::optional<AnnotationColor> color
            = StyleEdits::markupColorForKey(tool, colorIndex))
            m_canvas.chooseMarkup(*color, std::nullopt);
        return;
    }
    apply(StyleEdits::forStyleKey(tool, m_canvas.currentStyle(), widthStep, colorIndex));
}

void EditorControlsModel::markupColor(int tag)
{
    if (tag < 0 || std::size_t(tag) >= AnnotationColor::markupPalette.size())
        return;
    m_canvas.chooseMarkup(AnnotationColor::markupPalette[std::size_t(tag)], std::nullopt);
}

void EditorControlsModel::markupShape(int tag) { m_canvas.chooseMarkup(std::nullopt, tag == 1); }

void EditorControlsModel::beginTracking() { m_canvas.beginStyleAdjustment(); }

void EditorControlsModel::endTracking() { m_canvas.endStyleAdjustment(); }

} // namespace kelpie
