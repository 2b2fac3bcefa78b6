#include "editor/StyleControlsState.h"
#include "editor/StyleEdits.h"
#include "editor/StyleField.h"
#include "editor/WidthPresets.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>

using namespace kelpie;

TEST(StyleField, ReadsOnlyPlainDecimalIntegersWithAnOptionalSign)
{
    EXPECT_EQ(parseInteger(u"12"), 12);
    EXPECT_EQ(parseInteger(u"+12"), 12);
    EXPECT_EQ(parseInteger(u"-3"), -3);
    EXPECT_EQ(parseInteger(u"007"), 7);
    EXPECT_EQ(parseInteger(u"9223372036854775807"), std::numeric_limits<qint64>::max());
    EXPECT_EQ(parseInteger(u"-9223372036854775808"), std::numeric_limits<qint64>::min());
    for (const char16_t* text :
         {u"", u"+", u"-", u"12px", u" 12", u"12 ", u"1.0", u"1e2", u"0x10", u"+-1", u"１２",
          u"9223372036854775808", u"99999999999999999999999"})
        EXPECT_FALSE(parseInteger(text)) << QString::fromUtf16(text).toStdString();
}

TEST(StyleField, EachFieldKeepsToItsRangeAndNamesItInItsMessage)
{
    EXPECT_FALSE(validValue(StyleField::strokeWidth, u"0"));
    EXPECT_FALSE(validValue(StyleField::strokeWidth, u"81"));
    EXPECT_EQ(validValue(StyleField::strokeWidth, u"1"), 1);
    EXPECT_EQ(validValue(StyleField::strokeWidth, u"80"), 80);
    EXPECT_FALSE(validValue(StyleField::fontSize, u"7"));
    EXPECT_FALSE(validValue(StyleField::fontSize, u"201"));
    EXPECT_EQ(validValue(StyleField::fontSize, u"8"), 8);
    EXPECT_EQ(validValue(StyleField::fontSize, u"200"), 200);
    EXPECT_FALSE(validValue(StyleField::number, u"0"));
    EXPECT_FALSE(validValue(StyleField::number, u"-5"));
    EXPECT_FALSE(validValue(StyleField::number, u"1000000"));
    EXPECT_EQ(validValue(StyleField::number, u"999999"), 999999);

    EXPECT_EQ(errorMessage(StyleField::strokeWidth), QStringLiteral("线宽须为 1–80 的整数"));
    EXPECT_EQ(errorMessage(StyleField::fontSize), QStringLiteral("字号须为 8–200 的整数"));
    EXPECT_EQ(errorMessage(StyleField::number), QStringLiteral("编号须为 1–999999 的整数"));
}

TEST(WidthPresets, AreScaledRoundedDownAndClamped)
{
    using A = std::array<int, 4>;
    EXPECT_EQ(WidthPresets::values(AnnotationTool::highlight, 1), (A{12, 20, 28, 36}));
    EXPECT_EQ(WidthPresets::values(AnnotationTool::highlight, 2), (A{24, 40, 56, 72}));
    EXPECT_EQ(WidthPresets::values(AnnotationTool::highlight, 3), (A{36, 60, 80, 80}));
    EXPECT_EQ(WidthPresets::values(AnnotationTool::highlight, 0.65), (A{7, 13, 18, 23}));
    EXPECT_EQ(WidthPresets::values(AnnotationTool::mask, 1), (A{8, 16, 24, 32}));
    EXPECT_EQ(WidthPresets::values(AnnotationTool::number, 0.65), (A{1, 1, 2, 3}));
    EXPECT_EQ(WidthPresets::values(AnnotationTool::pen, 1.5), (A{3, 6, 9, 15}));
    // A mask's strength never goes below 4; other widths not below 1.
    EXPECT_EQ(WidthPresets::scaled(AnnotationTool::mask, 8, 0.25), 4);
    EXPECT_EQ(WidthPresets::scaled(AnnotationTool::pen, 2, 0.25), 1);
    EXPECT_EQ(WidthPresets::scaled(AnnotationTool::pen, 10, std::nan("")), 10);
}

TEST(StyleEdits, SizeKeysStepTheToolsOwnSizeWithinItsRange)
{
    AnnotationStyle text = AnnotationStyle::initial(AnnotationTool::text, 1);
    text.fontSize = 199.5;
    EXPECT_EQ(StyleEdits::forStyleKey(AnnotationTool::text, text, 1.0, {})->fontSize, 200);

    AnnotationStyle mask = AnnotationStyle::initial(AnnotationTool::mask, 1);
    mask.maskEffect = MaskEffect::pixelate;
    mask.maskStrength = 4;
    const auto pixelate = StyleEdits::forStyleKey(AnnotationTool::mask, mask, -1.0, 3);
    EXPECT_FALSE(pixelate) << "strength stays at 4 and the colour of a pixelate mask stays";
    mask.maskStrength = 10;
    EXPECT_EQ(StyleEdits::forStyleKey(AnnotationTool::mask, mask, 1.0, {})->maskStrength, 11);

    mask.maskEffect = MaskEffect::solid;
    EXPECT_FALSE(StyleEdits::forStyleKey(AnnotationTool::mask, mask, 1.0, 2))
        << "a solid rectangle mask takes no key at all";
    EXPECT_EQ(StyleEdits::forStyleKey(AnnotationTool::mask, mask, {}, 2)->color,
              AnnotationColor::palette[2]);
    mask.maskBrush = true;
    mask.width = 80;
    const auto brushed = StyleEdits::forStyleKey(AnnotationTool::mask, mask, 1.0, 4);
    ASSERT_TRUE(brushed);
    EXPECT_EQ(brushed->width, 80);
    EXPECT_EQ(brushed->color, AnnotationColor::palette[4]) << "step and index in one change";

    AnnotationStyle pen = AnnotationStyle::initial(AnnotationTool::pen, 1);
    pen.width = 1;
    EXPECT_FALSE(StyleEdits::forStyleKey(AnnotationTool::pen, pen, -1.0, {}));
    EXPECT_EQ(StyleEdits::forStyleKey(AnnotationTool::pen, pen, 1.0, {})->width, 2);
    EXPECT_FALSE(StyleEdits::forStyleKey(AnnotationTool::pen, pen, {}, 8));
    EXPECT_FALSE(StyleEdits::forStyleKey(AnnotationTool::select, pen, 1.0, 1));
}

TEST(StyleEdits, CompactColourKeysPickOnlyTheMarkupColours)
{
    EXPECT_EQ(StyleEdits::markupColorForKey(AnnotationTool::arrow, 2),
              AnnotationColor::markupPalette[2]);
    EXPECT_FALSE(StyleEdits::markupColorForKey(AnnotationTool::arrow, 3));
    EXPECT_FALSE(StyleEdits::markupColorForKey(AnnotationTool::arrow, {}));
    EXPECT_FALSE(StyleEdits::markupColorForKey(AnnotationTool::select, 0));
}

TEST(StyleEdits, OneOptionControlLeavesTheOthersFieldsAlone)
{
    AnnotationStyle style;
    style.filled = true;
    style.fillOpacity = 0.5;
    EXPECT_EQ(StyleEdits::fillSegment(style), 1);
    const auto dashed = StyleEdits::withDash(style, 1);
    ASSERT_TRUE(dashed);
    EXPECT_EQ(dashed->fillOpacity, 0.5);
    EXPECT_TRUE(dashed->filled);

    EXPECT_EQ(StyleEdits::withFill(style, 1)->fillOpacity, 0.25);
    EXPECT_EQ(StyleEdits::fillSegment(*StyleEdits::withFill(style, 2)), 2);
    EXPECT_FALSE(StyleEdits::withFill(style, 0)->filled);
    EXPECT_FALSE(StyleEdits::withFill(style, 3));
    EXPECT_EQ(StyleEdits::withArrowHead(style, 2)->arrowHead, ArrowHead::double_);
    EXPECT_FALSE(StyleEdits::withArrowHead(style, -1));
    EXPECT_EQ(StyleEdits::withMaskEffect(style, 1)->maskEffect, MaskEffect::pixelate);

    AnnotationStyle mask = AnnotationStyle::initial(AnnotationTool::mask, 1);
    EXPECT_FALSE(StyleEdits::withSize(AnnotationTool::mask, mask, 30))
        << "a solid mask has no strength to set";
    mask.maskEffect = MaskEffect::blur;
    EXPECT_EQ(StyleEdits::withSize(AnnotationTool::mask, mask, 2)->maskStrength, 4);
    EXPECT_EQ(StyleEdits::withSize(AnnotationTool::text, style, 300)->fontSize, 200);
}

namespace {

StyleControlsState stateFor(AnnotationTool tool, AnnotationStyle style, bool selected = false,
                            EditorMode mode = EditorMode::plain)
{
    StyleControlsState::Input input;
    input.mode = mode;
    input.tool = tool;
    input.style = style;
    input.hasSelection = selected;
    input.numberSelected = selected && tool == AnnotationTool::number;
    input.number = 7;
    return StyleControlsState::make(input);
}

} // namespace

TEST(StyleControlsState, StrokedToolsShowThreeSampleLinesAndTheWidthField)
{
    AnnotationStyle style = AnnotationStyle::initial(AnnotationTool::rectangle, 1);
    style.width = 5.6;
    const StyleControlsState state = stateFor(AnnotationTool::rectangle, style);
    EXPECT_TRUE(state.styleRowVisible);
    EXPECT_TRUE(state.optionRowVisible);
    EXPECT_TRUE(state.widthVisible);
    EXPECT_EQ(state.widthTitle, QStringLiteral("粗细"));
    EXPECT_EQ(state.widthLabel, QStringLiteral("6 px"));
    EXPECT_EQ(state.strokeFieldText, QStringLiteral("6"));
    EXPECT_TRUE(state.strokeFieldVisible);
    EXPECT_FALSE(state.fontFieldVisible);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(state.presets[std::size_t(i)].visible);
        EXPECT_TRUE(state.presets[std::size_t(i)].icon);
    }
    EXPECT_FALSE(state.presets[3].visible);
    EXPECT_EQ(state.presets[1].tooltip, QStringLiteral("粗细 4 px"));
    EXPECT_EQ(state.presets[1].identifier, QStringLiteral("style-width-4"));
    EXPECT_TRUE(state.fillVisible && state.dashVisible && state.cornerVisible);
    EXPECT_FALSE(state.arrowVisible || state.numberVisible || state.maskPickerVisible);

    style.filled = true;
    EXPECT_FALSE(stateFor(AnnotationTool::rectangle, style).dashVisible);
    EXPECT_TRUE(stateFor(AnnotationTool::line, style).dashVisible);
}

TEST(StyleControlsState, MasksShowStrengthUnlessSolidAndColourOnlyWhenSolid)
{
    AnnotationStyle mask = AnnotationStyle::initial(AnnotationTool::mask, 1);
    StyleControlsState solid = stateFor(AnnotationTool::mask, mask);
    EXPECT_FALSE(solid.widthVisible);
    for (const auto& preset : solid.presets)
        EXPECT_FALSE(preset.visible);
    EXPECT_TRUE(solid.colorVisible);
    EXPECT_TRUE(solid.maskPickerVisible && solid.maskModeVisible);
    EXPECT_FALSE(solid.brushVisible);
    EXPECT_TRUE(solid.optionRowVisible);

    mask.maskEffect = MaskEffect::blur;
    mask.maskBrush = true;
    const StyleControlsState blur = stateFor(AnnotationTool::mask, mask, true);
    EXPECT_TRUE(blur.widthVisible);
    EXPECT_EQ(blur.widthTitle, QStringLiteral("强度"));
    EXPECT_EQ(blur.sliderMinimum, 4);
    EXPECT_EQ(blur.sliderValue, 16);
    EXPECT_FALSE(blur.colorVisible);
    EXPECT_EQ(blur.maskEffectSegment, 2);
    EXPECT_FALSE(blur.maskModeVisible) << "the mode is for new masks only";
    EXPECT_TRUE(blur.brushVisible);
    for (const auto& preset : blur.presets) {
        EXPECT_TRUE(preset.visible);
        EXPECT_FALSE(preset.icon);
    }
}

TEST(StyleControlsState, TextNumberAndTheRowsOfEachMode)
{
    AnnotationStyle text = AnnotationStyle::initial(AnnotationTool::text, 1);
    text.bold = true;
    const StyleControlsState typing = stateFor(AnnotationTool::text, text);
    EXPECT_EQ(typing.widthTitle, QStringLiteral("字号"));
    EXPECT_EQ(typing.sliderMinimum, 8);
    EXPECT_EQ(typing.sliderMaximum, 200);
    EXPECT_TRUE(typing.fontFieldVisible && typing.textStyleVisible && typing.bold);
    EXPECT_FALSE(typing.strokeFieldVisible);
    for (const auto& preset : typing.presets)
        EXPECT_FALSE(preset.visible);
    EXPECT_FALSE(typing.optionRowVisible);

    const AnnotationStyle badge = AnnotationStyle::initial(AnnotationTool::number, 1);
    EXPECT_EQ(stateFor(AnnotationTool::number, badge).numberTitle, QStringLiteral("下一号"));
    const StyleControlsState selectedBadge = stateFor(AnnotationTool::number, badge, true);
    EXPECT_EQ(selectedBadge.numberTitle, QStringLiteral("编号"));
    EXPECT_EQ(selectedBadge.numberText, QStringLiteral("7"));
    EXPECT_EQ(selectedBadge.widthTitle, QStringLiteral("大小"));
    EXPECT_TRUE(selectedBadge.presets[3].visible);

    EXPECT_FALSE(stateFor(AnnotationTool::pen, badge).optionRowVisible);
    EXPECT_FALSE(stateFor(AnnotationTool::highlight, badge).optionRowVisible);
    EXPECT_FALSE(stateFor(AnnotationTool::select, badge).styleRowVisible);
    for (EditorMode compact : {EditorMode::screenshot, EditorMode::pinned}) {
        const StyleControlsState state = stateFor(AnnotationTool::arrow, badge, false, compact);
        EXPECT_FALSE(state.styleRowVisible);
        EXPECT_FALSE(state.optionRowVisible);
    }
}
