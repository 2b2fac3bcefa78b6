#include "editor/StyleControlsState.h"

#include "editor/StyleEdits.h"
#include "editor/WidthPresets.h"

#include <algorithm>
#include <cmath>

namespace kelpie {
namespace {

bool oneOf(AnnotationTool tool, std::initializer_list<AnnotationTool> tools)
{
    return std::find(tools.begin(), tools.end(), tool) != tools.end();
}

int indexOf(ArrowHead head)
{
    const auto found = std::find(allArrowHeads.begin(), allArrowHeads.end(), head);
    return int(found - allArrowHeads.begin());
}

int indexOf(MaskEffect effect)
{
    const auto found = std::find(allMaskEffects.begin(), allMaskEffects.end(), effect);
    return int(found - allMaskEffects.begin());
}

QString widthTitleFor(AnnotationTool tool)
{
    switch (tool) {
    case AnnotationTool::text: return QStringLiteral("字号");
    case AnnotationTool::mask: return QStringLiteral("强度");
    case AnnotationTool::number: return QStringLiteral("大小");
    default: return QStringLiteral("粗细");
    }
}

} // namespace

QString sizeText(double value)
{
    if (!std::isfinite(value))
        return QStringLiteral("0");
    return QString::number(qint64(std::llround(std::clamp(value, -1e15, 1e15))));
}

StyleControlsState StyleControlsState::make(const Input& input)
{
    using T = AnnotationTool;
    const T t = input.tool;
    const AnnotationStyle& s = input.style;
    const bool mask = t == T::mask;
    const bool solidMask = mask && s.maskEffect == MaskEffect::solid;

    StyleControlsState state;
    state.tool = t;
    state.styleRowVisible = input.mode == EditorMode::plain && t != T::select;
    state.optionRowVisible = state.styleRowVisible && !oneOf(t, {T::pen, T::highlight, T::text});

    state.widthVisible = !solidMask;
    state.widthTitle = widthTitleFor(t);
    if (t == T::text) {
        state.sliderMinimum = 8;
        state.sliderMaximum = 200;
        state.sliderValue = s.fontSize;
    } else if (mask) {
        state.sliderMinimum = 4;
        state.sliderMaximum = 80;
        state.sliderValue = s.maskStrength;
    } else {
        state.sliderValue = s.width;
    }
    state.widthLabel = sizeText(state.sliderValue) + QStringLiteral(" px");

    const bool icons = WidthPresets::showIcons(t);
    const std::array<int, 4> values = WidthPresets::values(t, input.defaultStyleScale);
    for (std::size_t i = 0; i < values.size(); ++i) {
        Preset& preset = state.presets[i];
        preset.value = values[i];
        preset.icon = icons;
        preset.visible = !solidMask && t != T::text && !(icons && i == 3);
        preset.tooltip = state.widthTitle + QStringLiteral(" %1 px").arg(values[i]);
        preset.identifier = QStringLiteral("style-width-%1").arg(values[i]);
    }

    state.strokeFieldVisible = icons;
    state.strokeFieldText = sizeText(s.width);
    state.fontFieldVisible = t == T::text;
    state.fontFieldText = sizeText(s.fontSize);

    state.colorVisible = !mask || solidMask;
    state.color = s.color;

    state.maskPickerVisible = mask;
    state.maskEffectSegment = indexOf(s.maskEffect);
    state.maskModeVisible = mask && !input.hasSelection;
    state.maskModeSegment = s.maskBrush ? 1 : 0;
    state.brushVisible = mask && s.maskBrush;
    state.brushValue = s.width;

    const bool shape = oneOf(t, {T::rectangle, T::ellipse});
    state.fillVisible = shape;
    state.fillSegment = StyleEdits::fillSegment(s);
    state.dashVisible
        = oneOf(t, {T::rectangle, T::ellipse, T::arrow, T::line}) && !(shape && s.filled);
    state.dashSegment = s.dashed ? 1 : 0;
    state.cornerVisible = t == T::rectangle;
    state.cornerValue = s.cornerRadius;
    state.arrowVisible = t == T::arrow;
    state.arrowSegment = indexOf(s.arrowHead);

    state.numberVisible = t == T::number;
    state.numberTitle = input.numberSelected ? QStringLiteral("编号") : QStringLiteral("下一号");
    state.numberText = QString::number(input.number);

    state.textStyleVisible = t == T::text;
    state.bold = s.bold;
    state.textBackground = s.textBackground;
    return state;
}

} // namespace kelpie
