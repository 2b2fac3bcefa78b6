#include "editor/ImageOutputs.h"

#include "ExportFakes.h"
#include "ExportSamples.h"
#include "settings/AppPreferences.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace kelpie {
namespace {

using namespace Qt::Literals::StringLiterals;

using test::FakeClipboard;
using test::FakeOutputHost;
using test::FakeSavePanel;

QImage decoded(const QByteArray& png)
{
    return QImage::fromData(png, "png").convertToFormat(QImage::Format_RGBA8888);
}

class ImageOutputsTest : public testing::Test {
protected:
    ImageOutputsTest()
    {
        host.image = test::screenshotComposite(QSize(160, 90));
        preferences = std::make_shared<AppPreferences>(
            std::make_shared<PreferencesStore>(settingsDir.filePath(QStringLiteral("prefs.json"))));
        outputs = std::make_unique<ImageOutputs>(host, clipboard, panel, preferences);
        outputs->setClock(
            [] { return QDateTime::fromSecsSinceEpoch(1767225600, QTimeZone::utc()); });
    }

    // The mode of the window: plain editor unless set.
    void screenshotEditor() { host.screenshot = true; }
    void pinnedWindow() { host.pinned = true; }

    QTemporaryDir settingsDir;
    FakeOutputHost host;
    std::shared_ptr<FakeClipboard> clipboard = std::make_shared<FakeClipboard>();
    std::shared_ptr<FakeSavePanel> panel = std::make_shared<FakeSavePanel>();
    std::shared_ptr<AppPreferences> preferences;
    std::unique_ptr<ImageOutputs> outputs;
};

TEST_F(ImageOutputsTest, StableImageRefusesWhileTheUserIsInTheMiddleOfSomething)
{
    bool FakeOutputHost::*const busy[] = {&FakeOutputHost::closed, &FakeOutputHost::adjusting,
                                          &FakeOutputHost::draft, &FakeOutputHost::transaction};
    for (auto flag : busy) {
        host.*flag = true;
        EXPECT_FALSE(outputs->stableImage().has_value());
        EXPECT_EQ(host.lastStatus(), u"请先完成当前编辑"_s);
        host.*flag = false;
    }
    host.image.reset();
    EXPECT_FALSE(outputs->stableImage().has_value());
    EXPECT_EQ(host.lastStatus(), u"图片合成失败，请撤销后重试"_s);
    host.image = QImage();
    EXPECT_FALSE(outputs->stableImage().has_value());
    EXPECT_EQ(host.lastStatus(), u"图片合成失败，请撤销后重试"_s);
}

TEST_F(ImageOutputsTest, CopyMidDragWritesNothing)
{
    host.draft = true;
    outputs->copy();
    outputs->copyImage();
    outputs->pinImage();
    outputs->saveImage();
    EXPECT_TRUE(clipboard->pngs.empty());
    EXPECT_EQ(host.pinCalls, 0);
    EXPECT_TRUE(panel->requests.empty());
    EXPECT_EQ(host.closeCalls, 0);
    EXPECT_EQ(host.statuses, QStringList(4, u"请先完成当前编辑"_s));
}

TEST_F(ImageOutputsTest, ImageCopyPutsThePngOfTheCompositeOnTheClipboard)
{
    host.image->setPixel(3, 4, qRgba(10, 20, 30, 40));
    outputs->copyImage();
    ASSERT_EQ(clipboard->pngs.size(), 1u);
    EXPECT_EQ(decoded(clipboard->pngs.front()),
              host.image->convertToFormat(QImage::Format_RGBA8888));
    EXPECT_EQ(host.lastStatus(), u"图片已复制"_s);
}

TEST_F(ImageOutputsTest, WhichCopiesCloseTheWindow)
{
    struct Case {
        const char* name;
        bool screenshot, pinned;
        void (ImageOutputs::*action)();
        bool closes;
    };
    const Case cases[] = {
        {"plain copy", false, false, &ImageOutputs::copy, true},
        {"plain copyImage", false, false, &ImageOutputs::copyImage, true},
        {"screenshot copy (⌘C)", true, false, &ImageOutputs::copy, false},
        {"screenshot toolbarCopy", true, false, &ImageOutputs::toolbarCopy, false},
        {"screenshot copyImage", true, false, &ImageOutputs::copyImage, true},
        {"screenshot complete (Return)", true, false, &ImageOutputs::completeScreenshot, true},
        {"pinned copy (⌘C)", false, true, &ImageOutputs::copy, false},
        {"pinned copyImage", false, true, &ImageOutputs::copyImage, false},
        {"pinned toolbarCopy", false, true, &ImageOutputs::toolbarCopy, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeOutputHost window;
        window.image = host.image;
        window.screenshot = c.screenshot;
        window.pinned = c.pinned;
        ImageOutputs windowOutputs(window, clipboard, panel, preferences);
        (windowOutputs.*c.action)();
        EXPECT_EQ(window.lastStatus(), u"图片已复制"_s);
        EXPECT_EQ(window.closeCalls, c.closes ? 1 : 0);
    }
}

TEST_F(ImageOutputsTest, RefusedClipboardKeepsTheWindowOpen)
{
    clipboard->refuses = true;
    outputs->copyImage();
    EXPECT_EQ(host.lastStatus(), u"复制失败，请重试"_s);
    host.liveText = QStringLiteral("账号 12345");
    outputs->copy();
    EXPECT_EQ(host.lastStatus(), u"复制失败，请重试"_s);
    screenshotEditor();
    outputs->completeScreenshot();
    EXPECT_EQ(host.lastStatus(), u"复制失败，请重试"_s);
    EXPECT_EQ(host.closeCalls, 0);
}

TEST_F(ImageOutputsTest, SelectedLiveTextIsCopiedInsteadOfTheImage)
{
    host.liveText = QStringLiteral("账号 12345");
    outputs->copy(); // the plain editor stays open after a text copy
    EXPECT_EQ(clipboard->texts, QStringList{host.liveText});
    EXPECT_TRUE(clipboard->pngs.empty());
    EXPECT_EQ(host.lastStatus(), u"文字已复制"_s);
    EXPECT_EQ(host.closeCalls, 0);

    screenshotEditor();
    outputs->completeScreenshot(); // Return copies the text and closes
    EXPECT_EQ(clipboard->texts.size(), 2);
    EXPECT_EQ(host.lastStatus(), u"文字已复制"_s);
    EXPECT_EQ(host.closeCalls, 1);
}

TEST_F(ImageOutputsTest, CompleteScreenshotOutsideTheScreenshotEditorCopiesTheImage)
{
    pinnedWindow();
    host.liveText = QStringLiteral("selected");
    outputs->completeScreenshot();
    EXPECT_EQ(clipboard->pngs.size(), 1u);
    EXPECT_TRUE(clipboard->texts.isEmpty());
    EXPECT_EQ(host.closeCalls, 0) << "a pin never closes itself after copying";
}

TEST_F(ImageOutputsTest, TextBeingTypedIsFinishedFirstOutsideThePlainEditor)
{
    screenshotEditor();
    host.typing = true;
    host.finishes = false; // input-method text that cannot be committed
    outputs->toolbarCopy();
    outputs->completeScreenshot();
    outputs->pinImage();
    outputs->saveImage();
    outputs->copyImage();
    EXPECT_TRUE(host.statuses.isEmpty()) << "abandoned silently";
    EXPECT_TRUE(clipboard->pngs.empty());
    EXPECT_EQ(host.pinCalls, 0);
    EXPECT_EQ(host.closeCalls, 0);
    EXPECT_EQ(host.finishCalls, 5);

    host.finishes = true;
    outputs->toolbarCopy();
    EXPECT_FALSE(host.typing);
    EXPECT_EQ(clipboard->pngs.size(), 1u);
}

TEST_F(ImageOutputsTest, ThePlainEditorDoesNotFinishTextItself)
{
    host.typing = true;
    host.finishes = false;
    outputs->copyImage();
    EXPECT_EQ(host.finishCalls, 0);
    EXPECT_EQ(clipboard->pngs.size(), 1u);
}

TEST_F(ImageOutputsTest, PinningClosesOnlyTheScreenshotEditor)
{
    outputs->pinImage();
    EXPECT_EQ(host.pinCalls, 1);
    EXPECT_EQ(host.closeCalls, 0);
    pinnedWindow();
    outputs->pinImage();
    EXPECT_EQ(host.pinCalls, 2);
    EXPECT_EQ(host.closeCalls, 0);
    host.pinned = false;
    screenshotEditor();
    outputs->pinImage();
    EXPECT_EQ(host.pinCalls, 3);
    EXPECT_EQ(host.closeCalls, 1);
}

TEST_F(ImageOutputsTest, SaveProposesATimedNameInTheConfiguredFolder)
{
    QTemporaryDir folder;
    preferences->setSaveDirectory(QUrl::fromLocalFile(folder.path()));
    outputs->saveImage();
    ASSERT_EQ(panel->requests.size(), 1u);
    EXPECT_EQ(panel->requests[0].fileName, u"Kelpie-1767225600.png"_s);
    EXPECT_EQ(panel->requests[0].directory, folder.path());
    EXPECT_TRUE(outputs->saveDialogOpen());

    // A second save while the dialog is up is ignored.
    outputs->saveImage();
    EXPECT_EQ(panel->requests.size(), 1u);
    panel->answer(std::nullopt); // cancel does nothing
    EXPECT_FALSE(outputs->saveDialogOpen());
    EXPECT_TRUE(QDir(folder.path()).isEmpty());
    EXPECT_EQ(host.statuses, QStringList());

    // An unusable configured folder falls back to the default one.
    preferences->setSaveDirectory(QUrl::fromLocalFile(folder.filePath(QStringLiteral("gone"))));
    outputs->saveImage();
    ASSERT_EQ(panel->requests.size(), 2u);
    EXPECT_EQ(panel->requests[1].directory, AppPreferences::defaultSaveDirectory()->toLocalFile());
}

TEST_F(ImageOutputsTest, SaveIsIgnoredWithAnotherSheetOrNoWindow)
{
    panel->otherSheet = true;
    outputs->saveImage();
    panel->otherSheet = false;
    host.hasWindow = false;
    outputs->saveImage();
    EXPECT_TRUE(panel->requests.empty());
    EXPECT_TRUE(host.statuses.isEmpty());
}

TEST_F(ImageOutputsTest, SaveWritesTheCompositeAsItIsWhenTheDialogCloses)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(u"shot.png"_s);
    outputs->saveImage();
    // The user draws more while the dialog is open: that is saved too.
    host.image->fill(QColor(200, 10, 10));
    panel->answer(SavePanel::Choice{path, ImageType::png});
    EXPECT_EQ(host.lastStatus(), u"图片已保存"_s);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(decoded(file.readAll()), host.image->convertToFormat(QImage::Format_RGBA8888));
    EXPECT_EQ(host.closeCalls, 0) << "saving never closes the window";

    const QString jpegPath = folder.filePath(QStringLiteral("shot.jpg"));
    outputs->saveImage();
    panel->answer(SavePanel::Choice{jpegPath, ImageType::jpeg});
    EXPECT_EQ(host.lastStatus(), u"图片已保存"_s);
    EXPECT_EQ(QImage(jpegPath).size(), host.image->size());
}

TEST_F(ImageOutputsTest, SaveCompletionRechecksTheWindow)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("late.png"));
    outputs->saveImage();
    host.draft = true; // a drag began while the dialog was open
    panel->answer(SavePanel::Choice{path, ImageType::png});
    EXPECT_EQ(host.lastStatus(), u"请先完成当前编辑"_s);
    EXPECT_FALSE(QFileInfo::exists(path));

    host.draft = false;
    outputs->saveImage();
    host.closed = true;
    const qsizetype before = host.statuses.size();
    panel->answer(SavePanel::Choice{path, ImageType::png});
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_EQ(host.statuses.size(), before);

    // The outputs are gone (window destroyed) before the dialog answers.
    host.closed = false;
    outputs->saveImage();
    outputs.reset();
    panel->answer(SavePanel::Choice{path, ImageType::png});
    EXPECT_FALSE(QFileInfo::exists(path));
}

// A folder this process cannot create files in: a read-only folder, or,
// for root (whom permissions do not stop), a directory of /proc.
QString unwritableFolder(const QTemporaryDir& scratch)
{
    if (geteuid() != 0) {
        const QString folder = scratch.filePath(QStringLiteral("read-only"));
        QDir().mkpath(folder);
        ::chmod(QFile::encodeName(folder).constData(), 0555);
        return folder;
    }
    return QStringLiteral("/proc/self");
}

TEST_F(ImageOutputsTest, SaveIntoAReadOnlyFolderFailsAndLeavesNoFile)
{
    QTemporaryDir scratch;
    const QString folder = unwritableFolder(scratch);
    const QStringList before = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden);
    outputs->saveImage();
    panel->answer(SavePanel::Choice{folder + QStringLiteral("/shot.png"), ImageType::png});
    EXPECT_EQ(host.lastStatus(), u"保存失败，请检查目录权限与可用空间"_s);
    EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden), before);
    EXPECT_EQ(host.closeCalls, 0);
}

TEST_F(ImageOutputsTest, SaveOverAnExistingFileReplacesItWhole)
{
    QTemporaryDir folder;
    const QString path = folder.filePath(u"shot.png"_s);
    {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(4 * 1024 * 1024, 'x'));
    }
    outputs->saveImage();
    panel->answer(SavePanel::Choice{path, ImageType::png});
    EXPECT_EQ(host.lastStatus(), u"图片已保存"_s);
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList{u"shot.png"_s});
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_FALSE(decoded(file.readAll()).isNull()) << "no stale tail from the longer old file";
}

} // namespace
} // namespace kelpie
