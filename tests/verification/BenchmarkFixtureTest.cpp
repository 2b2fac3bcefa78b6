#include "verification/BenchmarkFixture.h"

#include <QFile>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>

namespace {

using namespace kelpie;

TEST(BenchmarkFixtureSet, ThirtyTwoScreensAcrossEveryCategoryAndCondition)
{
    const auto entries = BenchmarkFixtureSet::generate();
    ASSERT_EQ(entries.size(), 32u);
    std::map<QString, QSet<QString>> conditions;
    QSet<QString> ids;
    for (const auto& entry : entries) {
        conditions[entry.fixture.category].insert(entry.fixture.condition);
        ids.insert(entry.fixture.id);
        EXPECT_FALSE(entry.fixture.text.isEmpty());
        EXPECT_FALSE(entry.image.isNull());
        // Every row of text is drawn: ink in each band a line high.
        const int rows = int(entry.fixture.text.count(QLatin1Char('\n'))) + 1;
        const int band = (entry.image.height() - 48) / rows;
        for (int row = 0; row < rows; ++row) {
            int ink = 0;
            for (int y = 24 + row * band; y < 24 + (row + 1) * band; ++y)
                for (int x = 0; x < entry.image.width(); ++x)
                    ink += entry.image.pixel(x, y) != entry.image.pixel(0, 0);
            EXPECT_GT(ink, 100) << entry.fixture.id.toStdString() << " row " << row;
        }
    }
    EXPECT_EQ(ids.size(), 32);
    ASSERT_EQ(conditions.size(), 3u);
    for (const auto& [category, seen] : conditions)
        EXPECT_EQ(seen.size(), 6) << category.toStdString();
}

TEST(BenchmarkFixtureSet, ManifestRoundTripsAndRefusesWhatItCannotTrust)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    ASSERT_TRUE(BenchmarkFixtureSet::write(folder.path()).ok());
    const auto read = BenchmarkFixtureSet::read(folder.path());
    ASSERT_TRUE(read.ok());
    const auto generated = BenchmarkFixtureSet::generate();
    ASSERT_EQ(read->size(), generated.size());
    for (std::size_t i = 0; i < generated.size(); ++i)
        EXPECT_EQ(read.value()[i], generated[i].fixture);

    const auto rewrite = [&](const QByteArray& manifest) {
        QFile file(folder.filePath(QStringLiteral("manifest.json")));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(manifest);
        file.close();
        return BenchmarkFixtureSet::read(folder.path());
    };
    const QByteArray record = R"({"id":"a","category":"english","condition":"plain","text":"x",)";
    EXPECT_EQ(rewrite("{}").error(), FixtureSetError::malformed);
    EXPECT_EQ(rewrite("[{\"id\":\"a\"}]").error(), FixtureSetError::malformed);
    EXPECT_EQ(rewrite("[" + record + R"("file":"../etc.png"}])").error(), FixtureSetError::malformed);
    EXPECT_EQ(rewrite("[" + record + R"("file":"missing.png"}])").error(), FixtureSetError::unreadable);
    EXPECT_EQ(rewrite("not json").error(), FixtureSetError::malformed);
    EXPECT_EQ(BenchmarkFixtureSet::read(folder.filePath(QStringLiteral("none"))).error(),
              FixtureSetError::unreadable);
}

} // namespace
