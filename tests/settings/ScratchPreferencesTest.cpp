#include "settings/ScratchPreferences.h"

#include "settings/AppPreferences.h"
#include "settings/PreferencesStore.h"
#include "tests/settings/ScratchHome.h"

#include <QFileInfo>

namespace {

using namespace kelpie;

using ScratchPreferencesTest = kelpie::test::ScratchHome;

// A scratch suite is its own file beside the user's settings, two runs
// never share one, and removing it leaves nothing behind.
TEST_F(ScratchPreferencesTest, WritesApartFromTheUserAndLeavesNothingBehind)
{
    const QString userFile = PreferencesStore::standard()->filePath();
    const auto scratch = ScratchPreferences::create(QStringLiteral("com.kelpie.pin-check."));
    ASSERT_TRUE(scratch);
    EXPECT_TRUE(scratch->name.startsWith(QStringLiteral("com.kelpie.pin-check.")));
    EXPECT_EQ(scratch->name.size(), 21 + 36);
    scratch->preferences->setSaveDirectory(QUrl::fromLocalFile(home()));
    const QString suiteFile = scratch->store->filePath();
    EXPECT_TRUE(QFileInfo::exists(suiteFile));
    EXPECT_NE(suiteFile, userFile);
    EXPECT_FALSE(QFileInfo::exists(userFile));

    EXPECT_NE(ScratchPreferences::create(QStringLiteral("com.kelpie.pin-check."))->name,
              scratch->name);
    EXPECT_TRUE(ScratchPreferences::remove(scratch->name));
    EXPECT_FALSE(QFileInfo::exists(suiteFile));
    EXPECT_TRUE(ScratchPreferences::remove(scratch->name)); // nothing left is success

    EXPECT_FALSE(ScratchPreferences::create(QStringLiteral("not a/suite.")));
}

} // namespace
