#include "platform/HanScriptCheck.h"

#include <QFont>
#include <QFontDatabase>
#include <QPainter>

#include <gtest/gtest.h>

namespace kelpie {
namespace {

// A line as the recogniser is given it (grey, dark on light), with glyphs
// as the simplified model reports them: every character in its simplified
// form, boxes a few pixels off and of uneven width, as line recognisers
// give them.
struct DrawnLine {
    QImage image;
    std::vector<TextAnalysis::Glyph> glyphs;
};

DrawnLine drawn(const QString& shown, const QString& read)
{
    QFontDatabase::addApplicationFont(
        QStringLiteral("/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc"));
    QFont font(QStringLiteral("Noto Sans CJK TC"));
    font.setPixelSize(24);
    DrawnLine line{QImage(40 + 26 * int(shown.size()), 40, QImage::Format_Grayscale8), {}};
    line.image.fill(255);
    QPainter painter(&line.image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    const QFontMetricsF metrics(font);
    double x = 10;
    for (qsizetype i = 0; i < shown.size(); ++i) {
        painter.drawText(QPointF(x, 29), shown.mid(i, 1));
        const double advance = metrics.horizontalAdvance(shown.mid(i, 1));
        const double jitter = (i % 3 == 0) ? 5 : -4;
        line.glyphs.push_back({read.mid(i, 1), Rect(x + jitter, 6, advance * 0.6, 26), false});
        x += advance;
    }
    return line;
}

QString textOf(const std::vector<TextAnalysis::Glyph>& glyphs)
{
    QString text;
    for (const TextAnalysis::Glyph& glyph : glyphs)
        text += glyph.text;
    return text;
}

TEST(HanScriptCheck, KnowsEachCharactersFormsInTheOtherScript)
{
    const HanScriptCheck& check = HanScriptCheck::instance();
    ASSERT_TRUE(check.available());
    using Script = HanScriptCheck::Script;
    const QStringList hair = check.otherForms(QString::fromUtf8("发"), Script::traditional);
    EXPECT_TRUE(hair.contains(QString::fromUtf8("發")));
    EXPECT_TRUE(hair.contains(QString::fromUtf8("髮")));
    EXPECT_EQ(check.otherForms(QString::fromUtf8("體"), Script::simplified),
              QStringList{QString::fromUtf8("体")});
    EXPECT_TRUE(check.otherForms(QString::fromUtf8("中"), Script::traditional).isEmpty());
    EXPECT_TRUE(check.otherForms(QStringLiteral("a"), Script::traditional).isEmpty());
}

// Each character takes the form its cell shows, whatever the recogniser's
// boxes: the simplified ones drawn stay, the traditional ones drawn change.
// Sure thresholds change only clear cases (a regional glyph drawn in
// another font may miss them); leaning ones also the closer calls.
TEST(HanScriptCheck, GivesEachCharacterTheFormThePictureShows)
{
    const HanScriptCheck& check = HanScriptCheck::instance();
    const QString shown = QString::fromUtf8("简体设置繁體設定");
    const QString read = QString::fromUtf8("简体设置繁体设定");
    DrawnLine sure = drawn(shown, read);
    const HanScriptCheck::Outcome outcome = check.apply(sure.glyphs, sure.image);
    EXPECT_EQ(outcome.candidates, 5);
    EXPECT_TRUE(textOf(sure.glyphs).startsWith(QString::fromUtf8("简体设置繁")))
        << textOf(sure.glyphs).toStdString();
    DrawnLine leaning = drawn(shown, read);
    check.apply(leaning.glyphs, leaning.image, HanScriptCheck::leaning);
    EXPECT_EQ(textOf(leaning.glyphs), shown);

    // And back: a traditional reading of simplified characters.
    DrawnLine back = drawn(QString::fromUtf8("网络连接"), QString::fromUtf8("網絡連接"));
    check.apply(back.glyphs, back.image, HanScriptCheck::sure, HanScriptCheck::Script::simplified);
    EXPECT_TRUE(textOf(back.glyphs).startsWith(QString::fromUtf8("网"))) << textOf(back.glyphs).toStdString();
    check.apply(back.glyphs, back.image, HanScriptCheck::leaning, HanScriptCheck::Script::simplified);
    EXPECT_EQ(textOf(back.glyphs), QString::fromUtf8("网络连接"));
}

TEST(HanScriptCheck, LeavesWhatItCannotMeasureAlone)
{
    const HanScriptCheck& check = HanScriptCheck::instance();
    DrawnLine line = drawn(QString::fromUtf8("繁體中文"), QString::fromUtf8("繁体中文"));
    // Not a grey line image.
    std::vector<TextAnalysis::Glyph> glyphs = line.glyphs;
    EXPECT_EQ(check.apply(glyphs, line.image.convertToFormat(QImage::Format_RGB32)).changed, 0);
    EXPECT_EQ(textOf(glyphs), QString::fromUtf8("繁体中文"));
    // A blank image: no cells.
    QImage blank(line.image.size(), QImage::Format_Grayscale8);
    blank.fill(255);
    EXPECT_EQ(check.apply(glyphs, blank).changed, 0);
    // No glyphs.
    std::vector<TextAnalysis::Glyph> none;
    EXPECT_EQ(check.apply(none, line.image).candidates, 0);
}

// Between two readings of a line, each character takes the one its cell
// shows; a reading the picture does not show is not taken.
TEST(HanScriptCheck, ChoosesBetweenReadingsByThePicture)
{
    const HanScriptCheck& check = HanScriptCheck::instance();
    const std::vector<QStringList> otherReading{
        {}, {QString::fromUtf8("圾")}, {}, {QString::fromUtf8("件")}};
    DrawnLine misread = drawn(QString::fromUtf8("垃圾邮件"), QString::fromUtf8("垃专邮牛"));
    const HanScriptCheck::Outcome outcome
        = check.choose(misread.glyphs, misread.image, otherReading, HanScriptCheck::between);
    EXPECT_EQ(outcome.candidates, 2);
    EXPECT_EQ(textOf(misread.glyphs), QString::fromUtf8("垃圾邮件"));

    DrawnLine right = drawn(QString::fromUtf8("垃圾邮件"), QString::fromUtf8("垃圾邮件"));
    check.choose(right.glyphs, right.image,
                 {{}, {QString::fromUtf8("专")}, {QStringLiteral("x")}, {QString::fromUtf8("牛")}},
                 HanScriptCheck::between);
    EXPECT_EQ(textOf(right.glyphs), QString::fromUtf8("垃圾邮件"));
    // Alternatives that are not one list per glyph are not used.
    EXPECT_EQ(check.choose(misread.glyphs, misread.image, {}).candidates, 0);
}

} // namespace
} // namespace kelpie
