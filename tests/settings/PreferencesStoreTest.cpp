#include "settings/PreferencesStore.h"

#include "tests/settings/GenerationBlob.h"
#include "tests/settings/RetryWhileLocked.h"
#include "tests/settings/ScratchHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QProcess>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace kelpie;
using kelpie::test::generationOf;
using kelpie::test::retryWhileLocked;

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
    ASSERT_TRUE(store->setString(QStringLiteral("a"), QStringLiteral("1")));
    ASSERT_TRUE(store->setString(QStringLiteral("b"), QStringLiteral("2")));
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
    ASSERT_TRUE(PreferencesStore::standard()->setString(QStringLiteral("k"), QStringLiteral("v")));
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
    ASSERT_TRUE(store->setString(QStringLiteral("dir"), QStringLiteral("/persistent")));
    store->setVolatileValue(QStringLiteral("dir"), QStringLiteral("/volatile"));
    EXPECT_EQ(store->string(QStringLiteral("dir")), QStringLiteral("/volatile"));
    EXPECT_EQ(PreferencesStore::standard()->string(QStringLiteral("dir")),
              QStringLiteral("/persistent"));

    // Writes and removal of the file leave the volatile value in front.
    ASSERT_TRUE(store->setString(QStringLiteral("dir"), QStringLiteral("/written")));
    EXPECT_EQ(store->string(QStringLiteral("dir")), QStringLiteral("/volatile"));
    ASSERT_TRUE(store->removePersistentDomain());
    EXPECT_EQ(store->string(QStringLiteral("dir")), QStringLiteral("/volatile"));
    store->removeVolatileValue(QStringLiteral("dir"));
    EXPECT_EQ(store->object(QStringLiteral("dir")), std::nullopt);
}

TEST_F(PreferencesStoreTest, DamagedFilesAreKeptAsideUnderNewNumbers)
{
    const auto store = PreferencesStore::standard();
    ASSERT_TRUE(store->setString(QStringLiteral("a"), QStringLiteral("1")));
    const QString aside = store->filePath() + QStringLiteral(".damaged.");

    const QByteArray damaged[]
        = {R"({"format":1,"values":{"a":{"string":"1")", R"({"format":1,"values":["a"]})"};
    for (int round = 0; round < 2; ++round) {
        writeFile(store->filePath(), damaged[round]);
        EXPECT_EQ(store->object(QStringLiteral("a")), std::nullopt);
        const auto found = store->lookup(QStringLiteral("a"));
        ASSERT_FALSE(found);
        EXPECT_EQ(found.error(), PreferencesError::damaged);

        // The next write starts afresh; the damaged file is kept under the
        // next free number, and earlier ones stay as they were.
        ASSERT_TRUE(store->setString(QStringLiteral("b"), QString::number(round)));
        EXPECT_EQ(store->string(QStringLiteral("b")), QString::number(round));
        EXPECT_EQ(store->object(QStringLiteral("a")), std::nullopt);
        for (int kept = 0; kept <= round; ++kept)
            EXPECT_EQ(readFile(aside + QString::number(kept + 1)), damaged[kept]) << kept;
    }
    EXPECT_FALSE(QFile::exists(aside + QStringLiteral("3")));
}

TEST_F(PreferencesStoreTest, EntriesOfUnknownKindsSurviveWrites)
{
    const auto store = PreferencesStore::standard();
    ASSERT_TRUE(QDir().mkpath(QFileInfo(store->filePath()).absolutePath()));
    const QByteArray foreign[][2] = {{"two", R"({"string":"x","data":""})"},
                                     {"bad64", R"({"data":"%%%"})"},
                                     {"weird", R"({"date":1})"},
                                     {"plain", R"("no")"},
                                     {"list", R"([1,{"nested":true}])"}};
    QByteArray file = R"({"format":1,"comment":"kept","values":{"ok":{"string":"yes"})";
    for (const auto& [key, entry] : foreign)
        file += ",\"" + key + "\":" + entry;
    writeFile(store->filePath(), file + "}}");

    // Each is skipped on its own; the rest stays readable.
    EXPECT_EQ(store->string(QStringLiteral("ok")), QStringLiteral("yes"));
    for (const auto& [key, _] : foreign) {
        EXPECT_EQ(store->object(QString::fromLatin1(key)), std::nullopt) << key.data();
        const auto found = store->lookup(QString::fromLatin1(key));
        ASSERT_FALSE(found) << key.data();
        EXPECT_EQ(found.error(), PreferencesError::unknownEntry);
    }

    // Writing and removing other keys leaves them, and the file's other
    // members, exactly as they were.
    ASSERT_TRUE(store->setString(QStringLiteral("new"), QStringLiteral("value")));
    ASSERT_TRUE(store->remove(QStringLiteral("ok")));
    const QJsonObject root = QJsonDocument::fromJson(readFile(store->filePath())).object();
    EXPECT_EQ(root.value(QStringLiteral("comment")), QStringLiteral("kept"));
    const QJsonObject values = root.value(QStringLiteral("values")).toObject();
    for (const auto& [key, entry] : foreign) {
        const QJsonValue expected = QJsonDocument::fromJson("[" + entry + "]").array().first();
        EXPECT_EQ(values.value(QString::fromLatin1(key)), expected) << key.data();
    }
    EXPECT_EQ(store->string(QStringLiteral("new")), QStringLiteral("value"));
    EXPECT_FALSE(values.contains(QStringLiteral("ok")));

    // Writing the key itself replaces the unknown entry.
    ASSERT_TRUE(store->setBoolean(QStringLiteral("weird"), true));
    EXPECT_EQ(store->boolean(QStringLiteral("weird")), true);
}

TEST_F(PreferencesStoreTest, OnlyRegularFilesOfSaneSizeAreRead)
{
    const auto store = PreferencesStore::standard();
    const QString path = store->filePath();
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
    const auto expectRefused = [&](PreferencesError error, const char* what) {
        const auto found = store->lookup(QStringLiteral("a"));
        ASSERT_FALSE(found) << what;
        EXPECT_EQ(found.error(), error) << what;
        EXPECT_EQ(store->object(QStringLiteral("a")), std::nullopt) << what;
        EXPECT_TRUE(store->persistentDomain().empty()) << what;
    };

    // A FIFO would block the reader forever; it is neither opened nor
    // replaced by a write.
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    expectRefused(PreferencesError::unreadable, "fifo");
    auto written = store->setString(QStringLiteral("a"), QStringLiteral("1"));
    ASSERT_FALSE(written);
    EXPECT_EQ(written.error(), PreferencesError::unreadable);
    EXPECT_FALSE(QFileInfo(path).isFile());
    ASSERT_TRUE(store->removePersistentDomain());

    // A link to an endless device is not followed.
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), path));
    expectRefused(PreferencesError::unreadable, "link to /dev/zero");
    written = store->setString(QStringLiteral("a"), QStringLiteral("1"));
    ASSERT_FALSE(written);
    EXPECT_EQ(written.error(), PreferencesError::unreadable);
    EXPECT_EQ(QFile::symLinkTarget(path), QStringLiteral("/dev/zero"));
    ASSERT_TRUE(store->removePersistentDomain());
    EXPECT_TRUE(QFileInfo(QStringLiteral("/dev/zero")).exists());

    // A huge file is refused without reading it (a sparse file: quick to
    // make, 200 MB to read), and a write keeps it aside.
    {
        QFile huge(path);
        ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
        ASSERT_TRUE(huge.resize(200LL * 1024 * 1024));
    }
    expectRefused(PreferencesError::tooLarge, "200 MB");
    ASSERT_TRUE(store->setString(QStringLiteral("b"), QStringLiteral("2")));
    EXPECT_EQ(QFileInfo(path + QStringLiteral(".damaged.1")).size(), 200LL * 1024 * 1024);
    EXPECT_EQ(store->string(QStringLiteral("b")), QStringLiteral("2"));

    // One byte over the limit is refused even when it is a good file.
    QByteArray padded = R"({"values":{"a":{"string":"1"}},"padding":")";
    padded += QByteArray(PreferencesStore::maximumFileSize - padded.size() - 2, 'x') + "\"}";
    ASSERT_EQ(padded.size(), PreferencesStore::maximumFileSize);
    writeFile(path, padded);
    EXPECT_EQ(store->string(QStringLiteral("a")), QStringLiteral("1"));
    writeFile(path, padded.insert(padded.size() - 2, 'x'));
    expectRefused(PreferencesError::tooLarge, "limit + 1");

    // Nor is the store made to write a file it would refuse to read.
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(store->setString(QStringLiteral("a"), QStringLiteral("1")));
    written = store->setData(QStringLiteral("blob"),
                             QByteArray(PreferencesStore::maximumFileSize, 'b'));
    ASSERT_FALSE(written);
    EXPECT_EQ(written.error(), PreferencesError::tooLarge);
    EXPECT_EQ(store->string(QStringLiteral("a")), QStringLiteral("1"));

    // A folder in its place is left alone.
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(QDir().mkpath(path));
    expectRefused(PreferencesError::unreadable, "folder");
    EXPECT_FALSE(store->setString(QStringLiteral("c"), QStringLiteral("3")));
    EXPECT_TRUE(QFileInfo(path).isDir());
}

TEST_F(PreferencesStoreTest, WritesReplaceALinkNotWhatItPointsTo)
{
    const auto store = PreferencesStore::standard();
    const QString elsewhere = home() + QStringLiteral("/dotfiles.json");
    const QByteArray original = R"({"format":1,"values":{"a":{"string":"linked"}}})";
    writeFile(elsewhere, original);
    ASSERT_TRUE(QDir().mkpath(QFileInfo(store->filePath()).absolutePath()));
    ASSERT_TRUE(QFile::link(elsewhere, store->filePath()));

    // Read through the link: it points to a regular file.
    EXPECT_EQ(store->string(QStringLiteral("a")), QStringLiteral("linked"));
    ASSERT_TRUE(store->setString(QStringLiteral("b"), QStringLiteral("new")));
    EXPECT_EQ(readFile(elsewhere), original);
    EXPECT_FALSE(QFileInfo(store->filePath()).isSymLink());
    EXPECT_EQ(store->string(QStringLiteral("a")), QStringLiteral("linked"));
    EXPECT_EQ(store->string(QStringLiteral("b")), QStringLiteral("new"));
}

TEST_F(PreferencesStoreTest, FailedWritesSayWhy)
{
    // The store's folder cannot be made: a plain file is in the way.
    QFile blocker(config());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    auto written
        = PreferencesStore::standard()->setString(QStringLiteral("a"), QStringLiteral("1"));
    ASSERT_FALSE(written);
    EXPECT_EQ(written.error(), PreferencesError::unwritable);
    EXPECT_FALSE(written.failure().detail.empty());

    // JSON cannot hold these numbers; storing one would spoil the file.
    const auto scratch = std::make_shared<PreferencesStore>(home() + QStringLiteral("/s.json"));
    for (const double bad : {std::numeric_limits<double>::infinity(), std::nan("")}) {
        written = scratch->setNumber(QStringLiteral("n"), bad);
        ASSERT_FALSE(written);
        EXPECT_EQ(written.error(), PreferencesError::invalidValue);
    }
    EXPECT_TRUE(scratch->setNumber(QStringLiteral("n"), 2.0));
    EXPECT_EQ(scratch->number(QStringLiteral("n")), 2.0);

    // Another writer holding the lock: the write gives up after a moment,
    // and goes through once the lock is free.
    QLockFile held(scratch->filePath() + QStringLiteral(".lock"));
    ASSERT_TRUE(held.tryLock(0));
    written = scratch->setNumber(QStringLiteral("n"), 3.0);
    ASSERT_FALSE(written);
    EXPECT_EQ(written.error(), PreferencesError::locked);
    written = scratch->removePersistentDomain();
    ASSERT_FALSE(written);
    EXPECT_EQ(written.error(), PreferencesError::locked);
    EXPECT_EQ(scratch->number(QStringLiteral("n")), 2.0);
    held.unlock();
    EXPECT_TRUE(scratch->setNumber(QStringLiteral("n"), 3.0));
}

// Writes that the file system refuses are run in a second process, which can
// take on a file size limit or drop the super-user's rights without
// affecting the tests.
TEST_F(PreferencesStoreTest, FullDiskAndReadOnlyFolderAreReported)
{
    const auto store = PreferencesStore::standard();
    ASSERT_TRUE(store->setString(QStringLiteral("kept"), QStringLiteral("yes")));
    const QByteArray before = readFile(store->filePath());
    const auto writeOnce = [&](const QString& variable, const QString& value) {
        QProcess writer;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(variable, value);
        writer.setProcessEnvironment(environment);
        writer.start(QStringLiteral(KELPIE_STORE_WRITER),
                     {QStringLiteral("once"), store->filePath(), QStringLiteral("blob"),
                      QString::number(64 * 1024)});
        EXPECT_TRUE(writer.waitForFinished(-1));
        // 3: the limit could not be taken on (no right to change users).
        return writer.exitCode() == 0 ? writer.readAllStandardOutput().split('\n').value(0)
                                      : "exit " + QByteArray::number(writer.exitCode());
    };

    // The file system takes 4 KiB and no more, as a full disk does.
    EXPECT_EQ(writeOnce(QStringLiteral("KELPIE_WRITER_FILE_LIMIT"), QStringLiteral("4096")),
              QByteArray("full"));
    EXPECT_EQ(readFile(store->filePath()), before);

    // A folder its user may not write to.
    const QString storeFolder = QFileInfo(store->filePath()).absolutePath();
    const auto mode = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
        | QFile::ReadOther | QFile::ExeOther;
    ASSERT_TRUE(QFile::setPermissions(storeFolder, mode));
    if (::geteuid() == 0) {
        // The super-user writes anywhere; the writer runs as nobody, who
        // may reach the folder but not write in it.
        for (const QString& path : {home(), config()})
            ASSERT_TRUE(QFile::setPermissions(path, mode | QFile::WriteOwner));
        const QByteArray outcome
            = writeOnce(QStringLiteral("KELPIE_WRITER_UID"), QStringLiteral("65534"));
        if (outcome == "exit 3")
            GTEST_SKIP() << "this super-user may not run a process as nobody";
        EXPECT_EQ(outcome, QByteArray("unwritable"));
    } else {
        const auto written = store->setString(QStringLiteral("kept"), QStringLiteral("no"));
        ASSERT_FALSE(written);
        EXPECT_EQ(written.error(), PreferencesError::unwritable);
    }
    EXPECT_EQ(readFile(store->filePath()), before);
    ASSERT_TRUE(QFile::setPermissions(storeFolder, mode | QFile::WriteOwner));
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
            for (int index = 0; index < perWriter; ++index) {
                const auto written = retryWhileLocked([&] {
                    return store.setString(QStringLiteral("t%1.%2").arg(writer).arg(index),
                                           QString::number(index));
                });
                EXPECT_TRUE(written) << written.failure().detail;
            }
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
    // As large as the store's size limit allows, so the writer spends long
    // enough with its new file open to be caught there.
    constexpr qsizetype blobBytes = 700 * 1024;

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
