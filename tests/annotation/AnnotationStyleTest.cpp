#include "annotation/AnnotationStyle.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace kelpie;

namespace {

const double notANumber = std::numeric_limits<double>::quiet_NaN();

} // namespace

TEST(AnnotationStyle, PlainDefaults)
{
    const AnnotationStyle s;
    EXPECT_EQ(s.color, AnnotationColor::palette[0]);
    EXPECT_EQ(s.width, 4);
    EXPECT_EQ(s.fillOpacity, 1);
    EXPECT_EQ(s.arrowHead, ArrowHead::filled);
    EXPECT_FALSE(s.curvedArrow.has_value());
    EXPECT_EQ(s.maskEffect, MaskEffect::solid);
    EXPECT_EQ(s.maskStrength, 16);
    EXPECT_EQ(s.fontSize, 24);
    EXPECT_EQ(s.backgroundColor, AnnotationColor(1.0, 0.96, 0.72, 1.0));
    EXPECT_TRUE(s.valid());
}

TEST(AnnotationStyle, DefaultScale)
{
    EXPECT_EQ(AnnotationStyle::defaultScale({100, 100}, 0), 1.0);
    EXPECT_EQ(AnnotationStyle::defaultScale({100, 100}, -5), 1.0);
    EXPECT_EQ(AnnotationStyle::defaultScale({100, 100}, notANumber), 1.0);
    EXPECT_EQ(AnnotationStyle::defaultScale({2560, 1600}, 1280), 2.0);
    EXPECT_EQ(AnnotationStyle::defaultScale({64, 64}, 200), 0.65);
    // The display ratio is capped at 4 even for a huge image shown small.
    EXPECT_EQ(AnnotationStyle::defaultScale({8000, 8000}, 100), 4.0);
    // The short side limits a thin strip shown small.
    EXPECT_DOUBLE_EQ(AnnotationStyle::defaultScale({4000, 128}, 1000), 1.0);
}

TEST(AnnotationStyle, InitialStylesScaleAndClamp)
{
    const AnnotationStyle arrow = AnnotationStyle::initial(AnnotationTool::arrow, 2);
    EXPECT_EQ(arrow.width, 12);
    EXPECT_EQ(arrow.arrowHead, ArrowHead::open);

    const AnnotationStyle text = AnnotationStyle::initial(AnnotationTool::text, 0.2);
    EXPECT_EQ(text.fontSize, 8);
    EXPECT_EQ(text.width, 1);

    const AnnotationStyle mask = AnnotationStyle::initial(AnnotationTool::mask, 10);
    EXPECT_EQ(mask.width, 80);
    EXPECT_EQ(mask.maskStrength, 80);
    EXPECT_EQ(mask.color, AnnotationColor::palette[6]);

    const AnnotationStyle rect = AnnotationStyle::initial(AnnotationTool::rectangle, 1.25);
    EXPECT_EQ(rect.width, 5);
    EXPECT_EQ(rect.cornerRadius, 8); // 7.5 rounds away from zero

    const AnnotationStyle highlight = AnnotationStyle::initial(AnnotationTool::highlight, 0.65);
    EXPECT_EQ(highlight.width, 13);
    EXPECT_EQ(highlight.color, AnnotationColor::palette[2]);

    // Tools without their own rule keep the plain values beyond the width.
    const AnnotationStyle pen = AnnotationStyle::initial(AnnotationTool::pen, 3);
    EXPECT_EQ(pen.width, 12);
    EXPECT_EQ(pen.cornerRadius, 0);
    EXPECT_EQ(pen.fontSize, 24);
    EXPECT_EQ(pen.maskStrength, 16);
    EXPECT_EQ(pen.arrowHead, ArrowHead::filled);

    for (AnnotationTool tool : allAnnotationTools) {
        for (double scale : {0.0, 0.65, 1.0, 4.0, 1e9, -3.0, notANumber}) {
            const AnnotationStyle s = AnnotationStyle::initial(tool, scale);
            EXPECT_TRUE(s.valid()) << rawValue(tool).toStdString() << " at " << scale;
            EXPECT_FALSE(s.curvedArrow.has_value());
            EXPECT_EQ(s.fillOpacity, 1);
            EXPECT_EQ(s.maskEffect, MaskEffect::solid);
        }
    }
}

TEST(AnnotationStyle, ValidityRanges)
{
    auto with = [](auto change) {
        AnnotationStyle s;
        change(s);
        return s.valid();
    };
    EXPECT_FALSE(with([](AnnotationStyle& s) { s.width = 0.5; }));
    EXPECT_TRUE(with([](AnnotationStyle& s) { s.width = 1; }));
    EXPECT_TRUE(with([](AnnotationStyle& s) { s.width = 80; }));
    EXPECT_FALSE(with([](AnnotationStyle& s) { s.width = 80.01; }));
    EXPECT_FALSE(with([](AnnotationStyle& s) { s.width = notANumber; }));
    EXPECT_FALSE(with([](AnnotationStyle& s) { s.fontSize = 201; }));
    EXPECT_FALSE(with([](AnnotationStyle& s) { s.fontSize = 7.9; }));
    EXPECT_FALSE(with([](AnnotationStyle& s) { s.fillOpacity = 1.01; }));
    EXPECT_TRUE(with([](AnnotationStyle& s) { s.fillOpacity = 0; }));
    EXPECT_FALSE(with([](AnnotationStyle& s) { s.cornerRadius = -1; }));
    EXPECT_FALSE(with([](AnnotationStyle& s) { s.maskStrength = 3; }));
    EXPECT_FALSE(
        with([](AnnotationStyle& s) { s.maskStrength = std::numeric_limits<double>::infinity(); }));
    EXPECT_FALSE(with([](AnnotationStyle& s) { s.color.red = 1.0001; }));
    EXPECT_FALSE(with([](AnnotationStyle& s) { s.color.alpha = notANumber; }));
    EXPECT_FALSE(with([](AnnotationStyle& s) { s.backgroundColor.green = notANumber; }));
}

TEST(AnnotationStyle, EqualityComparesEveryField)
{
    const AnnotationStyle base;
    AnnotationStyle other = base;
    EXPECT_EQ(base, other);
    other.curvedArrow = false;
    EXPECT_NE(base, other);
    other = base;
    other.backgroundColor.alpha = 0.5;
    EXPECT_NE(base, other);
    other = base;
    other.bold = true;
    EXPECT_NE(base, other);
}
