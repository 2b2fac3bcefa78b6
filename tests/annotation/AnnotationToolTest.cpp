#include "annotation/AnnotationTool.h"

#include "annotation/AnnotationColor.h"
#include "annotation/ArrowHead.h"
#include "annotation/MaskEffect.h"

#include <QColor>
#include <QSet>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace kelpie;

TEST(AnnotationTool, RawValuesTitlesAndKeysFollowCaseOrder)
{
    const char* raws[] = {"select", "rectangle", "ellipse", "arrow",     "line",
                          "pen",    "text",      "mask",    "highlight", "number"};
    const char* titles[]
        = {"选择", "矩形", "椭圆", "箭头", "直线", "画笔", "文字", "遮挡", "高亮", "序号"};
    const char* keys[] = {"v", "r", "o", "a", "l", "p", "t", "m", "h", "n"};
    ASSERT_EQ(allAnnotationTools.size(), 10u);
    QSet<QString> seenKeys;
    for (std::size_t i = 0; i < allAnnotationTools.size(); ++i) {
        const AnnotationTool tool = allAnnotationTools[i];
        EXPECT_EQ(static_cast<std::size_t>(tool), i);
        EXPECT_EQ(rawValue(tool), QString::fromUtf8(raws[i]));
        EXPECT_EQ(title(tool), QString::fromUtf8(titles[i]));
        EXPECT_EQ(key(tool), QString::fromUtf8(keys[i]));
        EXPECT_EQ(annotationToolFromRawValue(rawValue(tool)), tool);
        seenKeys.insert(key(tool));
    }
    EXPECT_EQ(seenKeys.size(), 10);
}

TEST(AnnotationTool, UnknownRawValuesYieldNothing)
{
    EXPECT_FALSE(annotationToolFromRawValue(u"Rectangle"));
    EXPECT_FALSE(annotationToolFromRawValue(u""));
    EXPECT_FALSE(annotationToolFromRawValue(u"rectangle "));
    EXPECT_FALSE(annotationToolFromRawValue(u"brush"));
    EXPECT_FALSE(maskEffectFromRawValue(u"Blur"));
    EXPECT_FALSE(arrowHeadFromRawValue(u"both"));
}

TEST(AnnotationTool, MaskEffectsAndArrowHeadsRoundTripTheirRawValues)
{
    EXPECT_EQ(rawValue(MaskEffect::solid), QStringLiteral("solid"));
    EXPECT_EQ(rawValue(MaskEffect::pixelate), QStringLiteral("pixelate"));
    EXPECT_EQ(rawValue(MaskEffect::blur), QStringLiteral("blur"));
    EXPECT_EQ(rawValue(ArrowHead::filled), QStringLiteral("filled"));
    EXPECT_EQ(rawValue(ArrowHead::open), QStringLiteral("open"));
    EXPECT_EQ(rawValue(ArrowHead::double_), QStringLiteral("double"));
    for (MaskEffect effect : allMaskEffects)
        EXPECT_EQ(maskEffectFromRawValue(rawValue(effect)), effect);
    for (ArrowHead head : allArrowHeads)
        EXPECT_EQ(arrowHeadFromRawValue(rawValue(head)), head);
}

TEST(AnnotationColor, ValidityNeedsFiniteComponentsWithinTheUnitRange)
{
    EXPECT_TRUE(AnnotationColor(0, 0, 0, 0).valid());
    EXPECT_TRUE(AnnotationColor(1, 1, 1, 1).valid());
    EXPECT_EQ(AnnotationColor(0.1, 0.2, 0.3).alpha, 1.0);
    EXPECT_FALSE(AnnotationColor(1.0001, 0, 0).valid());
    EXPECT_FALSE(AnnotationColor(0, -0.0001, 0).valid());
    EXPECT_FALSE(AnnotationColor(0, 0, std::nan(""), 1).valid());
    EXPECT_FALSE(AnnotationColor(0, 0, 0, std::numeric_limits<double>::infinity()).valid());
    for (const AnnotationColor& c : AnnotationColor::palette)
        EXPECT_TRUE(c.valid());
    for (const AnnotationColor& c : AnnotationColor::markupPalette)
        EXPECT_TRUE(c.valid());
    EXPECT_TRUE(AnnotationColor::leaf.valid());
}

TEST(AnnotationColor, FixedPalettes)
{
    EXPECT_EQ(AnnotationColor::palette[0], AnnotationColor(0.95, 0.25, 0.25));
    EXPECT_EQ(AnnotationColor::palette[2], AnnotationColor(1.0, 0.84, 0.1));
    EXPECT_EQ(AnnotationColor::palette[6], AnnotationColor(0.15, 0.15, 0.17));
    EXPECT_EQ(AnnotationColor::palette[7], AnnotationColor(1, 1, 1));
    EXPECT_DOUBLE_EQ(AnnotationColor::markupPalette[0].red * 255, 214);
    EXPECT_DOUBLE_EQ(AnnotationColor::markupPalette[1].green * 255, 154);
    EXPECT_DOUBLE_EQ(AnnotationColor::markupPalette[2].blue * 255, 199);
    EXPECT_DOUBLE_EQ(AnnotationColor::leaf.green * 255, 118);
}

TEST(AnnotationColor, ToolkitColourConversion)
{
    const AnnotationColor c
        = AnnotationColor::fromQColor(AnnotationColor(0.2, 0.4, 0.6, 0.5).qColor());
    EXPECT_NEAR(c.red, 0.2, 1e-4);
    EXPECT_NEAR(c.green, 0.4, 1e-4);
    EXPECT_NEAR(c.blue, 0.6, 1e-4);
    EXPECT_NEAR(c.alpha, 0.5, 1e-4);
    // A colour given in another model is read back in sRGB.
    const AnnotationColor fromHsv = AnnotationColor::fromQColor(QColor::fromHsvF(0, 1, 1));
    EXPECT_NEAR(fromHsv.red, 1, 1e-4);
    EXPECT_NEAR(fromHsv.green, 0, 1e-4);
    EXPECT_EQ(AnnotationColor::fromQColor(QColor()), AnnotationColor(1, 0, 0));
}
