#include "annotation/AnnotationStyle.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <limits>

using namespace kelpie;

namespace {

AnnotationStyle unusualStyle()
{
    AnnotationStyle s = AnnotationStyle::initial(AnnotationTool::arrow, 1.7);
    s.color = AnnotationColor(0.1, 0.2, 0.30000000000000004, 0.4);
    s.filled = true;
    s.fillOpacity = 0.35;
    s.cornerRadius = 12.5;
    s.dashed = true;
    s.arrowHead = ArrowHead::double_;
    s.curvedArrow = true;
    s.maskEffect = MaskEffect::pixelate;
    s.maskBrush = true;
    s.maskStrength = 33;
    s.fontSize = 17.25;
    s.bold = true;
    s.textBackground = true;
    s.backgroundColor = AnnotationColor(0, 0, 0, 0);
    return s;
}

QJsonObject encodedObject(const AnnotationStyle& s)
{
    return QJsonDocument::fromJson(s.toJson()).object();
}

QByteArray withoutKey(const AnnotationStyle& s, const QString& key)
{
    QJsonObject o = encodedObject(s);
    o.remove(key);
    return QJsonDocument(o).toJson();
}

QByteArray withValue(const AnnotationStyle& s, const QString& key, const QJsonValue& value)
{
    QJsonObject o = encodedObject(s);
    o.insert(key, value);
    return QJsonDocument(o).toJson();
}

} // namespace

TEST(AnnotationStyleJson, RoundTripsEveryFieldExactly)
{
    for (AnnotationStyle s : {AnnotationStyle(), unusualStyle()}) {
        const auto decoded = AnnotationStyle::fromJson(s.toJson());
        ASSERT_TRUE(decoded);
        EXPECT_EQ(*decoded, s);
    }
    AnnotationStyle notCurved;
    notCurved.curvedArrow = false;
    EXPECT_EQ(AnnotationStyle::fromJson(notCurved.toJson()), notCurved);
}

TEST(AnnotationStyleJson, KeysAreTheFieldNames)
{
    const QJsonObject o = encodedObject(unusualStyle());
    const QStringList expected
        = {QStringLiteral("color"),          QStringLiteral("width"),
           QStringLiteral("filled"),         QStringLiteral("fillOpacity"),
           QStringLiteral("cornerRadius"),   QStringLiteral("dashed"),
           QStringLiteral("arrowHead"),      QStringLiteral("curvedArrow"),
           QStringLiteral("maskEffect"),     QStringLiteral("maskBrush"),
           QStringLiteral("maskStrength"),   QStringLiteral("fontSize"),
           QStringLiteral("bold"),           QStringLiteral("textBackground"),
           QStringLiteral("backgroundColor")};
    QStringList keys = o.keys();
    QStringList sortedExpected = expected;
    keys.sort();
    sortedExpected.sort();
    EXPECT_EQ(keys, sortedExpected);
    EXPECT_EQ(o.value(QStringLiteral("arrowHead")).toString(), QStringLiteral("double"));
    EXPECT_EQ(o.value(QStringLiteral("maskEffect")).toString(), QStringLiteral("pixelate"));
    EXPECT_TRUE(o.value(QStringLiteral("curvedArrow")).isBool());
    const QJsonObject color = o.value(QStringLiteral("color")).toObject();
    EXPECT_EQ(color.value(QStringLiteral("alpha")).toDouble(), 0.4);
    EXPECT_EQ(color.size(), 4);

    // An unset curvedArrow is left out altogether.
    EXPECT_FALSE(encodedObject(AnnotationStyle()).contains(QStringLiteral("curvedArrow")));
}

TEST(AnnotationStyleJson, OnlyCurvedArrowMayBeMissing)
{
    const AnnotationStyle s = unusualStyle();
    const auto noCurve = AnnotationStyle::fromJson(withoutKey(s, QStringLiteral("curvedArrow")));
    ASSERT_TRUE(noCurve);
    EXPECT_FALSE(noCurve->curvedArrow.has_value());
    EXPECT_EQ(noCurve->arrowHead, ArrowHead::double_);

    const auto nullCurve
        = AnnotationStyle::fromJson(withValue(s, QStringLiteral("curvedArrow"), QJsonValue()));
    ASSERT_TRUE(nullCurve);
    EXPECT_FALSE(nullCurve->curvedArrow.has_value());

    const QJsonObject full = encodedObject(s);
    for (const QString& key : full.keys()) {
        if (key == QStringLiteral("curvedArrow"))
            continue;
        EXPECT_FALSE(AnnotationStyle::fromJson(withoutKey(s, key))) << key.toStdString();
    }
    QJsonObject o = full;
    QJsonObject color = o.value(QStringLiteral("backgroundColor")).toObject();
    color.remove(QStringLiteral("alpha"));
    o.insert(QStringLiteral("backgroundColor"), color);
    EXPECT_FALSE(AnnotationStyle::fromJson(QJsonDocument(o).toJson()));
}

TEST(AnnotationStyleJson, WrongTypesAndUnknownRawValuesFail)
{
    const AnnotationStyle s = unusualStyle();
    const auto fails = [&](const char* key, const QJsonValue& value) {
        return !AnnotationStyle::fromJson(withValue(s, QString::fromUtf8(key), value));
    };
    EXPECT_TRUE(fails("width", QStringLiteral("4")));
    EXPECT_TRUE(fails("width", true));
    EXPECT_TRUE(fails("filled", 1));
    EXPECT_TRUE(fails("bold", QStringLiteral("true")));
    EXPECT_TRUE(fails("curvedArrow", 0));
    EXPECT_TRUE(fails("arrowHead", QStringLiteral("Open")));
    EXPECT_TRUE(fails("arrowHead", 1));
    EXPECT_TRUE(fails("maskEffect", QStringLiteral("mosaic")));
    EXPECT_TRUE(fails("color", QJsonArray({1, 0, 0, 1})));
    EXPECT_TRUE(fails("color", QStringLiteral("#ff0000")));
    EXPECT_TRUE(fails("backgroundColor", QJsonValue()));

    // Integers are numbers; unknown keys are ignored; decoding does not
    // judge validity, the caller does.
    const auto integral = AnnotationStyle::fromJson(withValue(s, QStringLiteral("width"), 90));
    ASSERT_TRUE(integral);
    EXPECT_EQ(integral->width, 90);
    EXPECT_FALSE(integral->valid());
    EXPECT_TRUE(AnnotationStyle::fromJson(withValue(s, QStringLiteral("shadow"), true)));
}

TEST(AnnotationStyleJson, NonFiniteNumbersCannotBeEncoded)
{
    AnnotationStyle s;
    s.width = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(s.toJson().isEmpty());
    s = AnnotationStyle();
    s.backgroundColor.blue = std::numeric_limits<double>::infinity();
    EXPECT_TRUE(s.toJson().isEmpty());
    EXPECT_TRUE(AnnotationColor(0, 0, std::numeric_limits<double>::infinity()).toJson().isEmpty());
}

TEST(AnnotationColorJson, RoundTripAndRequiredKeys)
{
    const AnnotationColor c(0.95, 0.25, 0.25, 0.125);
    EXPECT_EQ(AnnotationColor::fromJson(c.toJson()), c);
    EXPECT_FALSE(AnnotationColor::fromJson(R"({"red":1,"green":1,"blue":1})"));
    EXPECT_FALSE(AnnotationColor::fromJson(R"({"red":1,"green":1,"blue":1,"alpha":null})"));
    EXPECT_EQ(AnnotationColor::fromJson(R"({"alpha":0,"blue":1,"green":0.5,"red":0})"),
              AnnotationColor(0, 0.5, 1, 0));
}
