#include "platform/XdgAutostartLoginItem.h"

#include "tests/settings/ScratchHome.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

using namespace kelpie;

namespace {

class XdgAutostartLoginItemTest : public kelpie::test::ScratchHome {
protected:
    QString entryPath() const { return config() + QStringLiteral("/autostart/kelpie.desktop"); }

    // The program a desktop starts from an entry: the Exec value read as an
    // entry string (backslash escapes), then as one quoted argument (the
    // backslash before ", `, $ and \ dropped) with %% as a plain %.
    static QString startedProgram(const QByteArray& entry)
    {
        QString value;
        for (const QByteArray& line : entry.split('\n')) {
            if (line.startsWith("Exec="))
                value = QString::fromUtf8(line.mid(5));
        }
        QString unescaped;
        for (qsizetype i = 0; i < value.size(); ++i) {
            if (value[i] == u'\\' && i + 1 < value.size()) {
                const QChar next = value[++i];
                unescaped += next == u's' ? u' ' : next == u'n' ? u'\n' : next;
            } else {
                unescaped += value[i];
            }
        }
        if (unescaped.size() < 2 || !unescaped.startsWith(u'"') || !unescaped.endsWith(u'"'))
            return QStringLiteral("<not one quoted argument: %1>").arg(unescaped);
        const QString inner = unescaped.mid(1, unescaped.size() - 2);
        QString argument;
        for (qsizetype i = 0; i < inner.size(); ++i) {
            if (inner[i] == u'\\' && i + 1 < inner.size())
                argument += inner[++i];
            else if (inner[i] == u'%' && i + 1 < inner.size() && inner[i + 1] == u'%')
                argument += inner[++i];
            else if (inner[i] == u'"')
                return QStringLiteral("<unescaped quote>");
            else
                argument += inner[i];
        }
        return argument;
    }
};

// Started through the `kelpie` launcher, the program runs from the library
// folder; the entry names the launcher, which users and desktops run.
TEST_F(XdgAutostartLoginItemTest, TheEntryStartsTheCommandThatStartedKelpie)
{
    qputenv("KELPIE_COMMAND", "/usr/bin/kelpie");
    EXPECT_EQ(XdgAutostartLoginItem::defaultCommand(), QStringLiteral("/usr/bin/kelpie"));
    qunsetenv("KELPIE_COMMAND");
    EXPECT_EQ(XdgAutostartLoginItem::defaultCommand(), QCoreApplication::applicationFilePath());
}

TEST_F(XdgAutostartLoginItemTest, RegisteringWritesAnEntryThatStartsThisProgram)
{
    const QString program = QStringLiteral("/opt/my apps/$HOME \"k\" `x` 100% \\kelpie");
    XdgAutostartLoginItem item(program);
    EXPECT_EQ(XdgAutostartLoginItem::entryPath(), entryPath());
    EXPECT_EQ(item.status(), LoginItemStatus::notRegistered);

    ASSERT_TRUE(item.registerItem());
    EXPECT_EQ(item.status(), LoginItemStatus::enabled);
    const QByteArray entry = readFile(entryPath());
    EXPECT_TRUE(entry.startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(entry.contains("\nType=Application\n"));
    EXPECT_EQ(startedProgram(entry), program);

    // Registering again rewrites the same entry.
    ASSERT_TRUE(item.registerItem());
    EXPECT_EQ(readFile(entryPath()), entry);

    ASSERT_TRUE(item.unregisterItem());
    EXPECT_FALSE(QFile::exists(entryPath()));
    EXPECT_EQ(item.status(), LoginItemStatus::notRegistered);
    EXPECT_TRUE(item.unregisterItem());
}

TEST_F(XdgAutostartLoginItemTest, TheEntryLivesInTheUsersConfigFolder)
{
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(XdgAutostartLoginItem::entryPath(),
              home() + QStringLiteral("/.config/autostart/kelpie.desktop"));
    qputenv("XDG_CONFIG_HOME", "relative/config");
    EXPECT_EQ(XdgAutostartLoginItem::entryPath(),
              home() + QStringLiteral("/.config/autostart/kelpie.desktop"));

    // No home at all: nothing can be offered.
    qunsetenv("XDG_CONFIG_HOME");
    qunsetenv("HOME");
    XdgAutostartLoginItem item(QStringLiteral("/usr/bin/kelpie"));
    EXPECT_EQ(item.status(), LoginItemStatus::notFound);
    EXPECT_EQ(item.registerItem().error(), LoginItemError::notFound);
}

TEST_F(XdgAutostartLoginItemTest, EntriesSwitchedOffOrUnreadableAreToldApart)
{
    XdgAutostartLoginItem item(QStringLiteral("/usr/bin/kelpie"));
    writeFile(entryPath(), "[Desktop Entry]\nType=Application\nExec=kelpie\nHidden=true\n");
    EXPECT_EQ(item.status(), LoginItemStatus::notRegistered);
    writeFile(entryPath(),
              "[Desktop Entry]\nExec=kelpie\nX-GNOME-Autostart-enabled=false\n"
              "[Desktop Action x]\nHidden=false\n");
    EXPECT_EQ(item.status(), LoginItemStatus::notRegistered);
    // A key of another group says nothing about the entry.
    writeFile(entryPath(), "[Desktop Entry]\nExec=kelpie\n[Desktop Action x]\nHidden=true\n");
    EXPECT_EQ(item.status(), LoginItemStatus::enabled);

    // A folder where the entry belongs is neither read nor replaced.
    ASSERT_TRUE(QFile::remove(entryPath()));
    ASSERT_TRUE(QDir().mkpath(entryPath()));
    EXPECT_EQ(item.status(), LoginItemStatus::unknown);
    EXPECT_EQ(item.registerItem().error(), LoginItemError::unwritable);
    EXPECT_EQ(item.unregisterItem().error(), LoginItemError::unwritable);
    EXPECT_TRUE(QFileInfo(entryPath()).isDir());
}

TEST_F(XdgAutostartLoginItemTest, APathThatCannotBeWrittenIntoAnEntryIsRefused)
{
    XdgAutostartLoginItem item(QStringLiteral("/tmp/evil\nExec=rm -rf ~"));
    EXPECT_EQ(item.registerItem().error(), LoginItemError::notFound);
    EXPECT_FALSE(QFile::exists(entryPath()));
    EXPECT_EQ(XdgAutostartLoginItem::entry(QString()), std::nullopt);
}

} // namespace
