// A real copy on a real X server: what another client finds on CLIPBOARD.
#include "../support/ClipboardRead.h"
#include "../support/EventLoopWait.h"
#include "ExportFakes.h"
#include "ExportSamples.h"
#include "editor/ImageOutputs.h"
#include "editor/QtImageClipboard.h"

#include <QSet>

#include <gtest/gtest.h>

namespace kelpie {
namespace {

// The targets offered, without the toolkit's own meta targets.
QSet<QString> dataTargets()
{
    const auto listed = test::readClipboard(QStringLiteral("TARGETS"));
    if (!listed)
        return {};
    QSet<QString> targets;
    for (const QByteArray& line : listed->split('\n'))
        if (!line.trimmed().isEmpty())
            targets.insert(QString::fromLatin1(line.trimmed()));
    for (const char* meta : {"TARGETS", "TIMESTAMP", "MULTIPLE", "SAVE_TARGETS"})
        targets.remove(QString::fromLatin1(meta));
    return targets;
}

TEST(ClipboardX11, ACopyOffersExactlyOnePngThatDecodesToTheComposite)
{
    test::FakeOutputHost host;
    host.pinned = true; // stays open: the window's close is not under test here
    host.image = test::translucentComposite(QSize(333, 201));
    ImageOutputs outputs(host, std::make_shared<QtImageClipboard>(), nullptr, nullptr);
    outputs.copy();
    ASSERT_EQ(host.lastStatus().toStdString(), "图片已复制");

    EXPECT_EQ(dataTargets(), QSet<QString>{QStringLiteral("image/png")});
    const auto png = test::readClipboard(QStringLiteral("image/png"));
    ASSERT_TRUE(png.has_value());
    const QImage read = QImage::fromData(*png, "png");
    ASSERT_FALSE(read.isNull());
    EXPECT_EQ(read.convertToFormat(QImage::Format_RGBA8888),
              host.image->convertToFormat(QImage::Format_RGBA8888));
}

TEST(ClipboardX11, TextReplacesTheImageAsPlainText)
{
    QtImageClipboard clipboard;
    ASSERT_TRUE(clipboard
                    .writePng(*ImageEncoding::data(test::screenshotComposite(QSize(64, 36)),
                                                   ImageType::png))
                    .ok());
    const QString text = QStringLiteral("账号 12345 · Kelpie");
    ASSERT_TRUE(clipboard.writeText(text).ok());
    const QSet<QString> targets = dataTargets();
    EXPECT_FALSE(targets.contains(QStringLiteral("image/png")));
    const auto utf8 = test::readClipboard(QStringLiteral("UTF8_STRING"));
    ASSERT_TRUE(utf8.has_value());
    EXPECT_EQ(QString::fromUtf8(*utf8).toStdString(), text.toStdString());
}

} // namespace
} // namespace kelpie
