// A real copy on a real X server: what another client finds on CLIPBOARD.
#include "../support/EventLoopWait.h"
#include "ExportFakes.h"
#include "ExportSamples.h"
#include "editor/ImageOutputs.h"
#include "editor/QtImageClipboard.h"

#include <QProcess>
#include <QSet>

#include <gtest/gtest.h>

namespace kelpie {
namespace {

// Runs xclip reading CLIPBOARD as `target` while this process keeps
// answering the selection requests xclip makes of it.
std::optional<QByteArray> readClipboard(const QString& target)
{
    QProcess xclip;
    xclip.start(QStringLiteral("xclip"),
                {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-t"),
                 target, QStringLiteral("-o")});
    if (!xclip.waitForStarted())
        return std::nullopt;
    QByteArray out;
    const bool finished = test::waitFor([&] {
        out += xclip.readAllStandardOutput();
        return xclip.state() == QProcess::NotRunning;
    });
    out += xclip.readAllStandardOutput();
    if (!finished || xclip.exitStatus() != QProcess::NormalExit || xclip.exitCode() != 0)
        return std::nullopt;
    return out;
}

// The targets offered, without the toolkit's own meta targets.
QSet<QString> dataTargets()
{
    const auto listed = readClipboard(QStringLiteral("TARGETS"));
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
    const auto png = readClipboard(QStringLiteral("image/png"));
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
    const auto utf8 = readClipboard(QStringLiteral("UTF8_STRING"));
    ASSERT_TRUE(utf8.has_value());
    EXPECT_EQ(QString::fromUtf8(*utf8).toStdString(), text.toStdString());
}

} // namespace
} // namespace kelpie
