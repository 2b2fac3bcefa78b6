#include "settings/ScratchPreferences.h"

#include "settings/PreferencesStore.h"
#include "tests/settings/ScratchHome.h"

#include <QFileInfo>

namespace {

using namespace kelpie;

using ScratchPreferencesTest = kelpie::test::ScratchHome;

// A scratch suite is its own file beside the user's settings, and nothing
// of it is left once the check that used it ends.
TEST_F(ScratchPreferencesTest, WritesApartFromTheUserAndLeavesNothingBehind)
{
    const QString userFile = PreferencesStore::standard()->filePath();
    QString suiteFile;
    {
        ScratchPreferences scratch(QStringLiteral("com.kelpie.pin-check."));
        ASSERT_TRUE(scratch.preferences());
        EXPECT_TRUE(scratch.suiteName().startsWith(QStringLiteral("com.kelpie.pin-check.")));
        EXPECT_EQ(scratch.suiteName().size(), 21 + 36);
        scratch.preferences()->setSaveDirectory(QUrl::fromLocalFile(home()));
        suiteFile = scratch.preferences()->store()->filePath();
        EXPECT_TRUE(QFileInfo::exists(suiteFile));
        EXPECT_NE(suiteFile, userFile);
        // Two checks side by side never share a suite.
        ScratchPreferences other(QStringLiteral("com.kelpie.pin-check."));
        EXPECT_NE(other.suiteName(), scratch.suiteName());
    }
    EXPECT_FALSE(QFileInfo::exists(suiteFile));
    EXPECT_FALSE(QFileInfo::exists(userFile));

    ScratchPreferences early(QStringLiteral("com.kelpie.text-check."));
    early.preferences()->setSaveDirectory(QUrl::fromLocalFile(home()));
    early.remove();
    EXPECT_FALSE(QFileInfo::exists(early.preferences()->store()->filePath()));

    ScratchPreferences unnamed(QStringLiteral("not a/suite."));
    EXPECT_FALSE(unnamed.preferences());
}

} // namespace
