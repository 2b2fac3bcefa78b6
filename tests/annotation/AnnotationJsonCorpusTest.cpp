// Hostile and malformed stored styles: none may crash, hang or decode. The
// files under style-json/ double as the fuzzer's seed corpus.

#include "annotation/AnnotationStyle.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace kelpie;

namespace {

QByteArray readFile(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

QStringList corpus(const char* kind)
{
    const QDir dir(QStringLiteral(KELPIE_STYLE_JSON_CORPUS "/") + QString::fromUtf8(kind));
    QStringList paths;
    for (const QString& name : dir.entryList({QStringLiteral("*.json")}, QDir::Files))
        paths.append(dir.filePath(name));
    return paths;
}

// Decoding either fails or yields a style that survives its own round trip.
void expectConsistent(const QByteArray& input)
{
    const auto style = AnnotationStyle::fromJson(input);
    if (style) {
        const QByteArray encoded = style->toJson();
        ASSERT_FALSE(encoded.isEmpty());
        EXPECT_EQ(AnnotationStyle::fromJson(encoded), style);
    }
}

} // namespace

TEST(AnnotationStyleJsonCorpus, BadInputsNeverDecode)
{
    const QStringList paths = corpus("bad");
    ASSERT_GE(paths.size(), 60);
    for (const QString& path : paths) {
        const QByteArray input = readFile(path);
        EXPECT_FALSE(AnnotationStyle::fromJson(input)) << path.toStdString();
        EXPECT_FALSE(AnnotationColor::fromJson(input)) << path.toStdString();
    }
}

TEST(AnnotationStyleJsonCorpus, GoodInputsDecodeAndRoundTrip)
{
    const QStringList paths = corpus("good");
    ASSERT_GE(paths.size(), 5);
    for (const QString& path : paths) {
        const QByteArray input = readFile(path);
        EXPECT_TRUE(AnnotationStyle::fromJson(input)) << path.toStdString();
        expectConsistent(input);
    }
}

TEST(AnnotationStyleJsonCorpus, EveryTruncationFails)
{
    AnnotationStyle style;
    style.curvedArrow = true;
    const QByteArray full = style.toJson();
    ASSERT_TRUE(AnnotationStyle::fromJson(full));
    for (qsizetype n = 0; n < full.size(); ++n)
        EXPECT_FALSE(AnnotationStyle::fromJson(full.left(n))) << n;
}

TEST(AnnotationStyleJsonCorpus, SingleByteDamageIsHandled)
{
    // Every position overwritten with bytes that change the structure: the
    // decoder must either reject the result or produce a consistent style.
    const QByteArray full = AnnotationStyle::initial(AnnotationTool::mask, 2).toJson();
    const char replacements[]
        = {'\0', '"', '{', '[', ']', '}', ',', ':', '-', 'e', '9', '\\', '\xff', ' '};
    for (qsizetype i = 0; i < full.size(); ++i) {
        for (char c : replacements) {
            QByteArray damaged = full;
            damaged[i] = c;
            expectConsistent(damaged);
        }
    }
}

TEST(AnnotationStyleJsonCorpus, ExtremeSizesAreRejectedWithoutCrashing)
{
    const qsizetype depth = 200000;
    EXPECT_FALSE(AnnotationStyle::fromJson(QByteArray(depth, '[') + QByteArray(depth, ']')));
    EXPECT_FALSE(AnnotationStyle::fromJson(QByteArray(depth, '[')));
    QByteArray nestedObjects;
    for (int i = 0; i < depth / 4; ++i)
        nestedObjects += "{\"a\":";
    EXPECT_FALSE(AnnotationStyle::fromJson(nestedObjects));

    // A number with a million digits, and a huge object of unknown keys
    // around an otherwise missing style.
    const QByteArray digits(1000000, '7');
    EXPECT_FALSE(AnnotationStyle::fromJson("{\"width\":" + digits + "}"));
    QByteArray manyKeys = "{";
    for (int i = 0; i < 100000; ++i)
        manyKeys += "\"k" + QByteArray::number(i) + "\":" + QByteArray::number(i) + ",";
    manyKeys += "\"end\":true}";
    EXPECT_FALSE(AnnotationStyle::fromJson(manyKeys));

    // The same key twice: the last one counts, as in the library's documents.
    QByteArray twice = AnnotationStyle().toJson();
    twice.chop(1);
    twice += ",\"width\":7}";
    const auto decoded = AnnotationStyle::fromJson(twice);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->width, 7);
}
