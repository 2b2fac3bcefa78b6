#include "settings/AppPreferences.h"

#include "tests/settings/ScratchHome.h"

#include <QDir>
#include <QFile>
#include <QLockFile>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace kelpie;

namespace {

class AppPreferencesTest : public kelpie::test::ScratchHome {
protected:
    void SetUp() override
    {
        ScratchHome::SetUp();
        store = PreferencesStore::suite(QStringLiteral("com.kelpie.settings-tests.1"));
        ASSERT_NE(store, nullptr);
        preferences = std::make_shared<AppPreferences>(store);
    }

    QByteArray json(const AppShortcut& shortcut) { return shortcut.toJson(); }

    std::shared_ptr<PreferencesStore> store;
    std::shared_ptr<AppPreferences> preferences;
};

const AppShortcut ctrlShift4{21, AppShortcut::control | AppShortcut::shift, QStringLiteral("4")};
const AppShortcut ctrlF{3, AppShortcut::control, QStringLiteral("F")};

} // namespace

TEST_F(AppPreferencesTest, FreshStoreGivesTheDefaults)
{
    EXPECT_EQ(preferences->captureShortcut(), AppShortcut::capture());
    EXPECT_EQ(preferences->captureShortcut().keyName, QStringLiteral("F1"));
    EXPECT_EQ(preferences->pinShortcut(), AppShortcut::pin());
    EXPECT_EQ(preferences->pinShortcut().keyName, QStringLiteral("F3"));
    EXPECT_FALSE(preferences->hasInvalidShortcuts());
    EXPECT_EQ(preferences->saveDirectory(), std::nullopt);
    EXPECT_EQ(preferences->usableSaveDirectory(), std::nullopt);
}

TEST_F(AppPreferencesTest, UnusableShortcutEntriesFallBackWithoutRepair)
{
    // A string where a data blob belongs.
    ASSERT_TRUE(
        store->setString(QString(AppPreferences::captureKey), QString::fromUtf8(json(ctrlF))));
    EXPECT_EQ(preferences->captureShortcut(), AppShortcut::capture());
    EXPECT_TRUE(preferences->hasInvalidShortcuts());
    // Reading neither repaired nor removed it.
    EXPECT_EQ(PreferencesStore::kind(*store->object(QString(AppPreferences::captureKey))),
              PreferencesStore::Kind::string);

    // A blob that decodes to a shortcut that is not valid.
    ASSERT_TRUE(
        store->setData(QString(AppPreferences::captureKey), json({1, 0, QStringLiteral("S")})));
    EXPECT_EQ(preferences->captureShortcut(), AppShortcut::capture());
    EXPECT_TRUE(preferences->hasInvalidShortcuts());

    // Only the pin entry is bad: the capture entry is used, the flag is set.
    ASSERT_TRUE(store->setData(QString(AppPreferences::captureKey), json(ctrlF)));
    ASSERT_TRUE(store->setData(QString(AppPreferences::pinKey), QByteArray("not json")));
    EXPECT_EQ(preferences->captureShortcut(), ctrlF);
    EXPECT_EQ(preferences->pinShortcut(), AppShortcut::pin());
    EXPECT_TRUE(preferences->hasInvalidShortcuts());
    EXPECT_EQ(store->data(QString(AppPreferences::pinKey)), QByteArray("not json"));

    ASSERT_TRUE(store->setData(QString(AppPreferences::pinKey), json(ctrlShift4)));
    EXPECT_EQ(preferences->pinShortcut(), ctrlShift4);
    EXPECT_FALSE(preferences->hasInvalidShortcuts());

    // A number is not a blob either.
    ASSERT_TRUE(store->setNumber(QString(AppPreferences::pinKey), 99));
    EXPECT_TRUE(preferences->hasInvalidShortcuts());
}

TEST_F(AppPreferencesTest, ShortcutsTheStoreCannotReadSetTheFlag)
{
    const auto storeFile = [&](const QByteArray& values) {
        writeFile(store->filePath(), R"({"format":1,"values":{)" + values + "}}");
    };
    const QByteArray goodPin
        = R"("kelpie.pin.shortcut.v1":{"data":")" + json(ctrlShift4).toBase64() + R"("})";
    storeFile(goodPin);
    ASSERT_FALSE(preferences->hasInvalidShortcuts());
    ASSERT_EQ(preferences->pinShortcut(), ctrlShift4);

    // A capture entry that is no readable blob: bad base64, a kind the store
    // does not know, an entry that is no entry at all.
    for (const char* entry : {R"({"data":"%%%"})", R"({"shortcut":"F5"})", R"(122)"}) {
        storeFile(goodPin + R"(,"kelpie.capture.shortcut.v1":)" + entry);
        EXPECT_TRUE(preferences->hasInvalidShortcuts()) << entry;
        EXPECT_EQ(preferences->captureShortcut(), AppShortcut::capture()) << entry;
        EXPECT_EQ(preferences->pinShortcut(), ctrlShift4) << entry;
    }
    // A stored shortcut on a modifier key is not used.
    ASSERT_TRUE(store->setData(QString(AppPreferences::captureKey),
                               json({59, AppShortcut::option, QStringLiteral("CONTROL")})));
    EXPECT_TRUE(preferences->hasInvalidShortcuts());
    EXPECT_EQ(preferences->captureShortcut(), AppShortcut::capture());

    // A whole file that cannot be read (here damaged; too large or not a
    // regular file fail the same lookup) may hold shortcuts being ignored.
    writeFile(store->filePath(), goodPin);
    EXPECT_TRUE(preferences->hasInvalidShortcuts());
    EXPECT_EQ(preferences->pinShortcut(), AppShortcut::pin());

    // No file at all is simply the defaults.
    ASSERT_TRUE(QFile::remove(store->filePath()));
    EXPECT_FALSE(preferences->hasInvalidShortcuts());
}

TEST_F(AppPreferencesTest, SettersTellWhetherTheyStored)
{
    EXPECT_FALSE(AppPreferences::saveFailureMessage().isEmpty());
    preferences->setShortcuts(ctrlF, AppShortcut::pin());
    EXPECT_EQ(preferences->lastWriteFailure(), std::nullopt);

    // Another writer holds the lock: each setter gives up after a moment
    // and says why; reading back shows the old values.
    QLockFile held(store->filePath() + QStringLiteral(".lock"));
    ASSERT_TRUE(held.tryLock(0));
    const auto expectLocked = [&](const char* setter) {
        ASSERT_TRUE(preferences->lastWriteFailure().has_value()) << setter;
        EXPECT_EQ(preferences->lastWriteFailure()->code, PreferencesError::locked) << setter;
    };
    preferences->setShortcuts(ctrlShift4, AppShortcut::pin());
    expectLocked("setShortcuts");
    EXPECT_EQ(preferences->captureShortcut(), ctrlF);
    preferences->setSaveDirectory(QUrl::fromLocalFile(home()));
    expectLocked("setSaveDirectory");
    EXPECT_EQ(preferences->saveDirectory(), std::nullopt);
    preferences->setAnnotationStyle(AnnotationStyle::initial(AnnotationTool::pen, 1),
                                    AnnotationTool::pen);
    expectLocked("setAnnotationStyle");
    EXPECT_EQ(store->object(AppPreferences::styleKey(AnnotationTool::pen)), std::nullopt);

    // A successful write clears it.
    held.unlock();
    preferences->setShortcuts(ctrlShift4, AppShortcut::pin());
    EXPECT_EQ(preferences->lastWriteFailure(), std::nullopt);
    EXPECT_EQ(preferences->captureShortcut(), ctrlShift4);

    // A value the setter refuses is no success either.
    preferences->setShortcuts(AppShortcut::pin(), AppShortcut::pin());
    ASSERT_TRUE(preferences->lastWriteFailure().has_value());
    EXPECT_EQ(preferences->lastWriteFailure()->code, PreferencesError::invalidValue);
    preferences->setAnnotationStyle(AnnotationStyle::initial(AnnotationTool::pen, 1),
                                    AnnotationTool::select);
    ASSERT_TRUE(preferences->lastWriteFailure().has_value());
    EXPECT_EQ(preferences->lastWriteFailure()->code, PreferencesError::invalidValue);
}

TEST_F(AppPreferencesTest, SetShortcutsStoresBothOrNothing)
{
    preferences->setShortcuts(ctrlF, ctrlShift4);
    EXPECT_EQ(preferences->captureShortcut(), ctrlF);
    EXPECT_EQ(preferences->pinShortcut(), ctrlShift4);
    EXPECT_EQ(preferences->pinShortcut().keyName, QStringLiteral("4"));
    // Another instance over the same suite sees it at once.
    EXPECT_EQ(AppPreferences(PreferencesStore::suite(QStringLiteral("com.kelpie.settings-tests.1")))
                  .captureShortcut(),
              ctrlF);

    const auto before = store->persistentDomain();
    const AppShortcut refused[][2] = {
        {AppShortcut::capture(), AppShortcut{122, 0, QStringLiteral("other")}}, // equal
        {AppShortcut::capture(), AppShortcut::fallback()}, // pin takes the second capture key
        {AppShortcut{1, 0, QStringLiteral("S")}, AppShortcut::pin()}, // capture invalid
        {AppShortcut::capture(), AppShortcut{1, AppShortcut::shift, QStringLiteral("S")}},
    };
    for (const auto& pair : refused) {
        preferences->setShortcuts(pair[0], pair[1]);
        EXPECT_EQ(store->persistentDomain(), before) << pair[1].displayName().toStdString();
    }

    // The second capture key may be the capture key itself.
    preferences->setShortcuts(AppShortcut::fallback(), AppShortcut::pin());
    EXPECT_EQ(preferences->captureShortcut(), AppShortcut::fallback());
    EXPECT_EQ(preferences->pinShortcut(), AppShortcut::pin());
}

TEST_F(AppPreferencesTest, SaveDirectoryRules)
{
    const QString pictures = home() + QStringLiteral("/Pictures");
    ASSERT_TRUE(QDir().mkpath(pictures));
    preferences->setSaveDirectory(QUrl::fromLocalFile(pictures + u'/'));
    EXPECT_EQ(store->string(QString(AppPreferences::directoryKey)), pictures);
    EXPECT_EQ(preferences->saveDirectory(), QUrl::fromLocalFile(pictures));
    EXPECT_EQ(preferences->usableSaveDirectory(), QUrl::fromLocalFile(pictures));

    // Gone: still the stored directory, no longer usable.
    ASSERT_TRUE(QDir(pictures).removeRecursively());
    EXPECT_EQ(preferences->saveDirectory(), QUrl::fromLocalFile(pictures));
    EXPECT_EQ(preferences->usableSaveDirectory(), std::nullopt);
    // A file in its place is not a directory.
    QFile file(pictures);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_EQ(preferences->usableSaveDirectory(), std::nullopt);

    // A web address, or nothing, returns to the default.
    preferences->setSaveDirectory(QUrl(QStringLiteral("https://example.com/pictures")));
    EXPECT_EQ(store->object(QString(AppPreferences::directoryKey)), std::nullopt);
    preferences->setSaveDirectory(QUrl::fromLocalFile(home()));
    preferences->setSaveDirectory(std::nullopt);
    EXPECT_EQ(store->object(QString(AppPreferences::directoryKey)), std::nullopt);

    // Stored values this program would never write count as none.
    for (const char* stored : {"", "relative/path"}) {
        ASSERT_TRUE(
            store->setString(QString(AppPreferences::directoryKey), QString::fromLatin1(stored)));
        EXPECT_EQ(preferences->saveDirectory(), std::nullopt) << stored;
    }
    ASSERT_TRUE(store->setData(QString(AppPreferences::directoryKey), QFile::encodeName(home())));
    EXPECT_EQ(preferences->saveDirectory(), std::nullopt);

    // A volatile value, as the save check installs, wins over the file.
    ASSERT_TRUE(store->setString(QString(AppPreferences::directoryKey), pictures));
    store->setVolatileValue(QString(AppPreferences::directoryKey), home());
    EXPECT_EQ(preferences->usableSaveDirectory(), QUrl::fromLocalFile(home()));
}

TEST_F(AppPreferencesTest, UnwritableDirectoryIsNotUsable)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "the super-user may write anywhere";
    const QString locked = home() + QStringLiteral("/locked");
    ASSERT_TRUE(QDir().mkpath(locked));
    ASSERT_TRUE(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ExeOwner));
    preferences->setSaveDirectory(QUrl::fromLocalFile(locked));
    EXPECT_EQ(preferences->saveDirectory(), QUrl::fromLocalFile(locked));
    EXPECT_EQ(preferences->usableSaveDirectory(), std::nullopt);
    QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TEST_F(AppPreferencesTest, DefaultSaveDirectoryFollowsXdgUserDirs)
{
    EXPECT_EQ(AppPreferences::defaultSaveDirectory(),
              QUrl::fromLocalFile(home() + QStringLiteral("/Desktop")));

    ASSERT_TRUE(QDir().mkpath(config()));
    QFile dirs(config() + QStringLiteral("/user-dirs.dirs"));
    ASSERT_TRUE(dirs.open(QIODevice::WriteOnly));
    dirs.write("# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n");
    dirs.close();
    EXPECT_EQ(AppPreferences::defaultSaveDirectory(),
              QUrl::fromLocalFile(home() + QStringLiteral("/Schreibtisch")));
}

TEST_F(AppPreferencesTest, SharedInstanceUsesTheStandardStore)
{
    const auto& shared = AppPreferences::shared();
    EXPECT_EQ(shared.get(), AppPreferences::shared().get());
    shared->setShortcuts(ctrlF, AppShortcut::pin());
    EXPECT_TRUE(QFile::exists(config() + QStringLiteral("/kelpie/preferences.json")));
    EXPECT_EQ(AppPreferences().captureShortcut(), ctrlF);
    EXPECT_EQ(preferences->captureShortcut(), AppShortcut::capture()); // the suite is apart
}

TEST_F(AppPreferencesTest, AnnotationStylesPerTool)
{
    AnnotationStyle arrow = AnnotationStyle::initial(AnnotationTool::arrow, 1);
    arrow.width = 9;
    arrow.arrowHead = ArrowHead::open;
    ASSERT_TRUE(arrow.valid());
    preferences->setAnnotationStyle(arrow, AnnotationTool::arrow);
    EXPECT_TRUE(store->data(QStringLiteral("kelpie.annotation.style.arrow.v1")).has_value());
    // Returned as stored, whatever the scale asked for.
    EXPECT_EQ(preferences->annotationStyle(AnnotationTool::arrow, 3), arrow);
    // Other tools are untouched.
    EXPECT_EQ(preferences->annotationStyle(AnnotationTool::line, 2),
              AnnotationStyle::initial(AnnotationTool::line, 2));

    // The select tool has no style of its own; invalid styles are not stored.
    const auto before = store->persistentDomain();
    preferences->setAnnotationStyle(arrow, AnnotationTool::select);
    AnnotationStyle broken = arrow;
    broken.width = 0;
    ASSERT_FALSE(broken.valid());
    preferences->setAnnotationStyle(broken, AnnotationTool::rectangle);
    broken.width = std::numeric_limits<double>::quiet_NaN();
    preferences->setAnnotationStyle(broken, AnnotationTool::arrow);
    EXPECT_EQ(store->persistentDomain(), before);

    // A stored style that decodes but is not valid gives the initial style
    // for the requested scale; so does anything that is not a style blob.
    AnnotationStyle tooWide = arrow;
    tooWide.width = 500;
    ASSERT_TRUE(store->setData(QStringLiteral("kelpie.annotation.style.pen.v1"), tooWide.toJson()));
    ASSERT_TRUE(AnnotationStyle::fromJson(tooWide.toJson()).has_value());
    EXPECT_EQ(preferences->annotationStyle(AnnotationTool::pen, 2.5),
              AnnotationStyle::initial(AnnotationTool::pen, 2.5));
    ASSERT_TRUE(store->setString(QStringLiteral("kelpie.annotation.style.text.v1"),
                                 QString::fromUtf8(arrow.toJson())));
    EXPECT_EQ(preferences->annotationStyle(AnnotationTool::text, 2),
              AnnotationStyle::initial(AnnotationTool::text, 2));
}
