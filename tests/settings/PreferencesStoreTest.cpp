#include "settings/PreferencesStore.h"

#include "tests/settings/GenerationBlob.h"
#include "tests/settings/ScratchHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>
#include <vector>

using namespace kelpie;
using kelpie::test::generationOf;

namespace {

class PreferencesStoreTest : public kelpie::test::ScratchHome {
protected:
    // Whether the process has a file in the store's folder open for writing,
    // other than the lock: a write of new settings is under way.
    static bool isWriting(qint64 pid, const QString& storeFile)
    {
        const QString folder = QFileInfo(storeFile).absolutePath() + u'/';
        const QString process = QStringLiteral("/proc/%1").arg(pid);
        const QDir descriptors(process + QStringLiteral("/fd"));
        for (const QString& entry : descriptors.entryList(QDir::Files | QDir::System)) {
            const QString target = QFile::symLinkTarget(descriptors.filePath(entry));
            if (!target.startsWith(folder) || target == storeFile + QStringLiteral(".lock"))
                continue;
            QFile info(process + QStringLiteral("/fdinfo/") + entry);
            if (!info.open(QIODevice::ReadOnly))
                continue;
            for (const QByteArray& line : info.readAll().split('\n')) {
                // The open flags, in octal: O_WRONLY is 1, O_RDWR is 2.
                if (line.startsWith("flags:") && (line.mid(6).trimmed().toInt(nullptr, 8) & 3))
                    return true;
            }
        }
        return false;
    }
};

} // namespace

TEST_F(PreferencesStoreTest, KindsAreKeptApart)
{
    const auto store = PreferencesStore::standard();
    ASSERT_TRUE(store->setString(QStringLiteral("text"), QStringLiteral("F1")));
    ASSERT_TRUE(store->setData(QStringLiteral("blob"), QByteArray("F1")));
    ASSERT_TRUE(store->setNumber(QStringLiteral("number"), 1.5));
    ASSERT_TRUE(store->setBoolean(QStringLiteral("flag"), false));

    // A fresh instance reads the file: nothing here comes from memory.
    const auto reader = PreferencesStore::standard();
    EXPECT_EQ(reader->string(QStringLiteral("text")), QStringLiteral("F1"));
    EXPECT_EQ(reader->data(QStringLiteral("text")), std::nullopt);
    EXPECT_EQ(reader->data(QStringLiteral("blob")), QByteArray("F1"));
    EXPECT_EQ(reader->string(QStringLiteral("blob")), std::nullopt);
    EXPECT_EQ(reader->number(QStringLiteral("number")), 1.5);
    EXPECT_EQ(reader->boolean(QStringLiteral("number")), std::nullopt);
    EXPECT_EQ(reader->boolean(QStringLiteral("flag")), false);
    EXPECT_EQ(reader->number(QStringLiteral("flag")), std::nullopt);
    EXPECT_EQ(PreferencesStore::kind(*reader->object(QStringLiteral("blob"))),
              PreferencesStore::Kind::data);

    // Bytes that are not text survive as they are.
    const QByteArray binary("\0\xff\x80 \n", 5);
    ASSERT_TRUE(store->setData(QStringLiteral("blob"), binary));
    EXPECT_EQ(reader->data(QStringLiteral("blob")), binary);

    ASSERT_TRUE(store->remove(QStringLiteral("text")));
    EXPECT_EQ(reader->object(QStringLiteral("text")), std::nullopt);
    EXPECT_TRUE(store->remove(QStringLiteral("never-there")));
}

TEST_F(PreferencesStoreTest, SeveralChangesLandTogetherOrNotAtAll)
{
    const auto store = PreferencesStore::standard();
    store->setString(QStringLiteral("a"), QStringLiteral("1"));
    store->setString(QStringLiteral("b"), QStringLiteral("2"));
    using Value = PreferencesStore::Value;
    ASSERT_TRUE(store->setValues({{QStringLiteral("a"), Value(QByteArray("x"))},
                                  {QStringLiteral("b"), std::nullopt},
                                  {QStringLiteral("c"), Value(true)},
                                  {QStringLiteral("c"), Value(QStringLiteral("last"))}}));
    EXPECT_EQ(store->data(QStringLiteral("a")), QByteArray("x"));
    EXPECT_EQ(store->object(QStringLiteral("b")), std::nullopt);
    EXPECT_EQ(store->string(QStringLiteral("c")), QStringLiteral("last"));

    // One value that cannot be stored stops the whole batch.
    const auto before = store->persistentDomain();
    EXPECT_FALSE(store->setValues({{QStringLiteral("a"), Value(QStringLiteral("y"))},
                                   {QStringLiteral("n"), Value(std::nan(""))}}));
    EXPECT_EQ(store->persistentDomain(), before);
}

TEST_F(PreferencesStoreTest, LivesInTheXdgConfigFolder)
{
    EXPECT_EQ(PreferencesStore::directory(), config() + QStringLiteral("/kelpie"));
    PreferencesStore::standard()->setString(QStringLiteral("k"), QStringLiteral("v"));
    EXPECT_TRUE(QFile::exists(config() + QStringLiteral("/kelpie/preferences.json")));

    // A relative XDG_CONFIG_HOME is ignored, as the base-directory rules say.
    qputenv("XDG_CONFIG_HOME", "relative/config");
    EXPECT_EQ(PreferencesStore::directory(), home() + QStringLiteral("/.config/kelpie"));
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(PreferencesStore::directory(), home() + QStringLiteral("/.config/kelpie"));
}

TEST_F(PreferencesStoreTest, SuitesAreSeparateFilesRemovedAsAWhole)
{
    const QString name = QStringLiteral("com.kelpie.save-check.4A2B-77");
    const auto suite = PreferencesStore::suite(name);
    ASSERT_NE(suite, nullptr);
    const auto standard = PreferencesStore::standard();
    ASSERT_TRUE(suite->setString(QStringLiteral("key"), QStringLiteral("suite")));
    ASSERT_TRUE(standard->setString(QStringLiteral("key"), QStringLiteral("standard")));
    EXPECT_EQ(PreferencesStore::suite(name)->string(QStringLiteral("key")),
              QStringLiteral("suite"));

    EXPECT_TRUE(PreferencesStore::removeSuite(name));
    EXPECT_FALSE(QFile::exists(suite->filePath()));
    EXPECT_EQ(suite->object(QStringLiteral("key")), std::nullopt);
    EXPECT_EQ(standard->string(QStringLiteral("key")), QStringLiteral("standard"));
    EXPECT_TRUE(PreferencesStore::removeSuite(name)); // already gone is fine

    // Names that would leave the folder or hide the file are refused.
    for (const char* bad : {"", "../escape", "a/b", ".hidden", "with space", "naïve"})
        EXPECT_EQ(PreferencesStore::suite(QString::fromUtf8(bad)), nullptr) << bad;
    EXPECT_EQ(PreferencesStore::suite(QString(201, u'a')), nullptr);
    EXPECT_FALSE(PreferencesStore::removeSuite(QStringLiteral("../preferences")));
    EXPECT_EQ(standard->string(QStringLiteral("key")), QStringLiteral("standard"));
}

TEST_F(PreferencesStoreTest, VolatileDomainComesFirstAndIsNeverWritten)
{
    const auto store = PreferencesStore::standard();
    store->setString(QStringLiteral("dir"), QStringLiteral("/persistent"));
    store->setVolatileValue(QStringLiteral("dir"), QStringLiteral("/volatile"));
    EXPECT_EQ(store->string(QStringLiteral("dir")), QStringLiteral("/volatile"));
    EXPECT_EQ(PreferencesStore::standard()->string(QStringLiteral("dir")),
              QStringLiteral("/persistent"));

    // Writes and removal of the file leave the volatile value in front.
    store->setString(QStringLiteral("dir"), QStringLiteral("/written"));
    EXPECT_EQ(store->string(QStringLiteral("dir")), QStringLiteral("/volatile"));
    store->removePersistentDomain();
    EXPECT_EQ(store->string(QStringLiteral("dir")), QStringLiteral("/volatile"));
    store->removeVolatileValue(QStringLiteral("dir"));
    EXPECT_EQ(store->object(QStringLiteral("dir")), std::nullopt);
}

TEST_F(PreferencesStoreTest, DamagedFilesReadAsEmptyAndUnreadableOnesAreNotOverwritten)
{
    const auto store = PreferencesStore::standard();
    ASSERT_TRUE(store->setString(QStringLiteral("a"), QStringLiteral("1")));

    QFile file(store->filePath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("{\"format\":1,\"values\":{\"a\":{\"string\":\"1\"");
    file.close();
    EXPECT_EQ(store->object(QStringLiteral("a")), std::nullopt);
    // The next write starts afresh and keeps the damaged file aside.
    ASSERT_TRUE(store->setString(QStringLiteral("b"), QStringLiteral("2")));
    EXPECT_EQ(store->string(QStringLiteral("b")), QStringLiteral("2"));
    EXPECT_TRUE(QFile::exists(store->filePath() + QStringLiteral(".corrupt")));

    // Foreign entries are skipped one by one; the rest stays readable.
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(R"({"values":{"ok":{"string":"yes"},"two":{"string":"x","data":""},)"
               R"("bad64":{"data":"%%%"},"weird":{"date":1},"plain":"no"}})");
    file.close();
    EXPECT_EQ(store->string(QStringLiteral("ok")), QStringLiteral("yes"));
    for (const char* key : {"two", "bad64", "weird", "plain"})
        EXPECT_EQ(store->object(QString::fromLatin1(key)), std::nullopt) << key;

    // A store file that cannot be read at all is left alone, and the write
    // says it failed.
    ASSERT_TRUE(QFile::remove(store->filePath()));
    ASSERT_TRUE(QDir().mkpath(store->filePath()));
    EXPECT_FALSE(store->setString(QStringLiteral("c"), QStringLiteral("3")));
    EXPECT_TRUE(QFileInfo(store->filePath()).isDir());
}

TEST_F(PreferencesStoreTest, FailedWritesAreReported)
{
    // The store's folder cannot be made: a plain file is in the way.
    QFile blocker(config());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_FALSE(PreferencesStore::standard()->setString(QStringLiteral("a"), QStringLiteral("1")));

    // JSON cannot hold these numbers; storing one would spoil the file.
    const auto scratch = std::make_shared<PreferencesStore>(home() + QStringLiteral("/s.json"));
    EXPECT_FALSE(scratch->setNumber(QStringLiteral("n"), std::numeric_limits<double>::infinity()));
    EXPECT_FALSE(scratch->setNumber(QStringLiteral("n"), std::nan("")));
    EXPECT_TRUE(scratch->setNumber(QStringLiteral("n"), 2.0));
    EXPECT_EQ(scratch->number(QStringLiteral("n")), 2.0);
}

TEST_F(PreferencesStoreTest, ConcurrentWritersLoseNothing)
{
    const QString path = home() + QStringLiteral("/shared.json");
    constexpr int perWriter = 40;

    // Threads, each through its own instance.
    std::vector<std::thread> threads;
    for (int writer = 0; writer < 2; ++writer) {
        threads.emplace_back([&path, writer] {
            PreferencesStore store(path);
            for (int index = 0; index < perWriter; ++index)
                store.setString(QStringLiteral("t%1.%2").arg(writer).arg(index),
                                QString::number(index));
        });
    }
    // And two processes at the same time.
    std::vector<std::unique_ptr<QProcess>> processes;
    for (int writer = 0; writer < 2; ++writer) {
        auto process = std::make_unique<QProcess>();
        process->start(QStringLiteral(KELPIE_STORE_WRITER),
                       {QStringLiteral("keys"), path, QStringLiteral("p%1.").arg(writer),
                        QString::number(perWriter)});
        processes.push_back(std::move(process));
    }
    for (auto& thread : threads)
        thread.join();
    for (auto& process : processes) {
        ASSERT_TRUE(process->waitForFinished(-1));
        EXPECT_EQ(process->exitCode(), 0);
    }

    const auto domain = PreferencesStore(path).persistentDomain();
    EXPECT_EQ(domain.size(), std::size_t(4 * perWriter));
    for (const char* prefix : {"t0.", "t1.", "p0.", "p1."}) {
        for (int index = 0; index < perWriter; ++index)
            EXPECT_TRUE(domain.count(QString::fromLatin1(prefix) + QString::number(index)))
                << prefix << index;
    }
}

// A writer killed while its new file is half written must leave the previous
// settings readable, and must not leave a lock behind that blocks the next write.
TEST_F(PreferencesStoreTest, WriterKilledMidWriteLeavesPreviousSettings)
{
    const auto store = PreferencesStore::standard();
    ASSERT_TRUE(store->setString(QStringLiteral("kelpie.save.directory.v1"),
                                 QStringLiteral("/home/someone/Pictures")));
    constexpr qsizetype blobBytes = 3 * 1024 * 1024;

    long long lastStored = 0;
    for (int round = 0; round < 3; ++round) {
        QProcess writer;
        writer.start(QStringLiteral(KELPIE_STORE_WRITER),
                     {QStringLiteral("blobs"), store->filePath(), QStringLiteral("blob"),
                      QString::number(blobBytes)});
        ASSERT_TRUE(writer.waitForStarted(-1));
        // Once one generation is stored, catch the writer with its next file open.
        ASSERT_TRUE(writer.waitForReadyRead(-1));
        while (!isWriting(writer.processId(), store->filePath())) {
            ASSERT_EQ(writer.state(), QProcess::Running) << writer.readAllStandardError().data();
        }
        writer.kill();
        ASSERT_TRUE(writer.waitForFinished(-1));
        EXPECT_EQ(writer.exitStatus(), QProcess::CrashExit);

        long long reported = 0;
        for (const QByteArray& line : writer.readAllStandardOutput().split('\n')) {
            if (!line.isEmpty())
                reported = line.toLongLong();
        }
        ASSERT_GE(reported, 1);

        const auto blob = store->data(QStringLiteral("blob"));
        ASSERT_TRUE(blob.has_value()) << "round " << round;
        const auto generation = generationOf(*blob, blobBytes);
        ASSERT_TRUE(generation.has_value()) << "a torn blob was read back";
        // Every generation reported as stored is there; at most the one being
        // written when the writer died is newer.
        EXPECT_GE(*generation, reported);
        EXPECT_LE(*generation, reported + 1);
        EXPECT_EQ(store->string(QStringLiteral("kelpie.save.directory.v1")),
                  QStringLiteral("/home/someone/Pictures"));
        lastStored = *generation;

        ASSERT_TRUE(store->setString(QStringLiteral("round"), QString::number(round)));
        EXPECT_EQ(store->string(QStringLiteral("round")), QString::number(round));
    }
    EXPECT_GE(lastStored, 1);
}
