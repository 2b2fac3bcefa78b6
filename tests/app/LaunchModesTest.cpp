// The launch modes' own pieces: the scratch settings of a verification run
// and the annotated sample of a fixture.

#include "app/AnnotationPreview.h"
#include "settings/ScratchPreferences.h"

#include "annotation/AnnotationStyle.h"
#include "settings/AppPreferences.h"
#include "settings/PreferencesStore.h"

#include <QDir>
#include <QFile>
#include <set>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace kelpie;

namespace {

// Scratch suites land in a folder of the test's own.
class LaunchModesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(config.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    }
    void TearDown() override { qunsetenv("XDG_CONFIG_HOME"); }

    QStringList filesLeft() const
    {
        return QDir(PreferencesStore::directory()).entryList(QDir::Files);
    }

    QTemporaryDir config;
};

TEST_F(LaunchModesTest, TheSaveCheckSuiteHoldsTheFolderWithoutWritingIt)
{
    QTemporaryDir shots;
    ASSERT_TRUE(shots.isValid());
    const auto scratch = ScratchPreferences::saveCheck(shots.path());
    ASSERT_TRUE(scratch);
    const QString prefix = QStringLiteral("com.kelpie.save-check.");
    ASSERT_TRUE(scratch->name.startsWith(prefix));
    const QString uuid = scratch->name.mid(prefix.size());
    EXPECT_EQ(uuid.size(), 36);
    EXPECT_EQ(uuid, uuid.toUpper());

    EXPECT_EQ(scratch->preferences->usableSaveDirectory(), QUrl::fromLocalFile(shots.path()));
    // The folder lives in the volatile domain only.
    EXPECT_TRUE(scratch->store->persistentDomain().empty());
    EXPECT_FALSE(QFile::exists(scratch->store->filePath()));
    // The user's own settings do not see it.
    EXPECT_EQ(AppPreferences(PreferencesStore::standard()).saveDirectory(), std::nullopt);

    // Two runs never share a suite.
    EXPECT_NE(ScratchPreferences::saveCheck(shots.path())->name, scratch->name);
}

TEST_F(LaunchModesTest, ARelativeSaveFolderMeansTheOneUnderTheWorkingDirectory)
{
    const auto scratch = ScratchPreferences::saveCheck(QStringLiteral("shots"));
    ASSERT_TRUE(scratch);
    EXPECT_EQ(scratch->preferences->saveDirectory(),
              QUrl::fromLocalFile(QDir::current().absoluteFilePath(QStringLiteral("shots"))));
}

TEST_F(LaunchModesTest, TheSampleMarksLieInsideTheImageAndAreValid)
{
    for (const QSize size : {QSize(1200, 800), QSize(90, 60), QSize(3000, 400)}) {
        for (bool curved : {false, true}) {
            const QList<AnnotationObject> objects = AnnotationPreview::sampleObjects(size, curved);
            ASSERT_GE(objects.size(), 4);
            const Rect image(0, 0, size.width(), size.height());
            for (const AnnotationObject& object : objects) {
                EXPECT_TRUE(object.style.valid());
                const Rect bounds = object.bounds();
                EXPECT_TRUE(image.contains(Point{bounds.minX(), bounds.minY()})
                            && bounds.maxX() <= image.maxX() && bounds.maxY() <= image.maxY())
                    << size.width() << "x" << size.height() << " tool "
                    << static_cast<int>(object.tool());
            }
            int bent = 0;
            for (const AnnotationObject& object : objects)
                bent += object.curveControl ? 1 : 0;
            EXPECT_EQ(bent, curved ? 1 : 0);
        }
    }
    // A picture of ordinary size carries every kind, the note included.
    std::set<AnnotationTool> kinds;
    for (const AnnotationObject& object : AnnotationPreview::sampleObjects(QSize(1200, 800), false))
        kinds.insert(object.tool());
    EXPECT_EQ(kinds.size(), 5u);
    EXPECT_EQ(kinds.count(AnnotationTool::text), 1u);
}

TEST_F(LaunchModesTest, TheAnnotationSampleIsDrawnAndLeavesNoSettingsBehind)
{
    QImage fixture(480, 300, QImage::Format_RGB32);
    fixture.fill(QColor(40, 120, 200));
    const QImage editor = AnnotationPreview::render(fixture, {false, false});
    ASSERT_FALSE(editor.isNull());
    // The editor shows the fixture with the marks over it: more than its
    // one colour.
    const QImage pinned = AnnotationPreview::render(fixture, {true, true});
    ASSERT_FALSE(pinned.isNull());
    EXPECT_NE(editor.size(), pinned.size()) << "the pin has no editor chrome";
    bool marked = false;
    const QImage plain = pinned.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < plain.height() && !marked; y += 3) {
        for (int x = 0; x < plain.width() && !marked; x += 3) {
            const QColor c = plain.pixelColor(x, y);
            marked = c != QColor(40, 120, 200) && c.red() > 150;
        }
    }
    EXPECT_TRUE(marked) << "the red marks show on the pin";
    EXPECT_TRUE(filesLeft().isEmpty()) << filesLeft().join(u' ').toStdString();

    QTemporaryDir out;
    const QString path = out.filePath(QStringLiteral("sample.png"));
    EXPECT_TRUE(AnnotationPreview::renderTo(fixture, path, {}));
    EXPECT_FALSE(QImage(path).isNull());
    EXPECT_FALSE(AnnotationPreview::renderTo(QImage(), path + QStringLiteral("2"), {}));
    EXPECT_FALSE(AnnotationPreview::renderTo(fixture, out.filePath(QStringLiteral("no/such.png")), {}));
}

} // namespace
