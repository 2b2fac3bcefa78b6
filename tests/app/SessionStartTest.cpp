#include "app/SessionStart.h"
#include "app/launcher/QuickHandOver.h"

#include <QProcess>
#include <dbus/dbus.h>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <deque>

using namespace kelpie;
using Role = SessionStart::Role;

namespace {

LaunchOptions options(const char* line)
{
    QStringList arguments = QString::fromUtf8(line).split(u' ', Qt::SkipEmptyParts);
    arguments.prepend(QStringLiteral("kelpie"));
    return LaunchOptions(arguments);
}

// Answers claims and hand-overs from scripts, and counts the calls.
struct ScriptedInstance : SingleInstance {
    Result<bool, Error> claim() override
    {
        ++claims;
        auto answer = claimAnswers.front();
        if (claimAnswers.size() > 1)
            claimAnswers.pop_front();
        return answer;
    }
    Status<Error> handOver(Request) override
    {
        ++handOvers;
        auto answer = handOverAnswers.front();
        if (handOverAnswers.size() > 1)
            handOverAnswers.pop_front();
        return answer;
    }

    std::deque<Result<bool, Error>> claimAnswers{true};
    std::deque<Status<Error>> handOverAnswers{Done{}};
    int claims = 0;
    int handOvers = 0;
};

TEST(SessionStart, SettlesTheRoleOfAStartingProcess)
{
    ScriptedInstance first;
    EXPECT_EQ(SessionStart::settle(options("--capture-now"), first), Role::primary);
    EXPECT_EQ(first.handOvers, 0);

    // Another Kelpie runs: a plain start leaves, a capture request is handed over.
    ScriptedInstance second;
    second.claimAnswers = {false};
    EXPECT_EQ(SessionStart::settle(options(""), second), Role::handedOver);
    EXPECT_EQ(second.handOvers, 0);
    EXPECT_EQ(SessionStart::settle(options("--capture-now"), second), Role::handedOver);
    EXPECT_EQ(second.handOvers, 1);

    // With a fixture the bus is not even asked.
    ScriptedInstance fixture;
    EXPECT_EQ(SessionStart::settle(options("--fixture f.png --capture-now"), fixture),
              Role::independent);
    EXPECT_EQ(fixture.claims, 0);

    // Without a session bus every process runs as if alone.
    ScriptedInstance busless;
    busless.claimAnswers
        = {Result<bool, SingleInstance::Error>(SingleInstance::Error::noSessionBus)};
    EXPECT_EQ(SessionStart::settle(options("--capture-now"), busless), Role::primary);
}

TEST(SessionStart, TakesOverFromAnOwnerThatEndsMeanwhile)
{
    ScriptedInstance late;
    late.claimAnswers = {false, true};
    late.handOverAnswers = {Status<SingleInstance::Error>(SingleInstance::Error::notDelivered)};
    EXPECT_EQ(SessionStart::settle(options("--capture-now"), late), Role::primary);
    EXPECT_EQ(late.claims, 2);

    // An owner that is there but never takes the request is a failure, not
    // a success.
    ScriptedInstance stuck;
    stuck.claimAnswers = {false};
    stuck.handOverAnswers
        = {Status<SingleInstance::Error>(SingleInstance::Error::notDelivered, "timed out")};
    const auto settled = SessionStart::settle(options("--capture-now"), stuck);
    ASSERT_FALSE(settled);
    EXPECT_EQ(settled.error(), SingleInstance::Error::notDelivered);
    EXPECT_EQ(stuck.handOvers, 2);
}

// Real processes on a private session bus of their own.
class SessionBusTest : public testing::Test {
protected:
    void SetUp() override
    {
        bus.setProgram(QStringLiteral("dbus-daemon"));
        bus.setArguments({QStringLiteral("--session"), QStringLiteral("--nofork"),
                          QStringLiteral("--print-address")});
        bus.start();
        ASSERT_TRUE(bus.waitForStarted()) << "dbus-daemon cannot start";
        while (!bus.canReadLine())
            ASSERT_TRUE(bus.waitForReadyRead(30'000)) << "dbus-daemon printed no address";
        address = QString::fromUtf8(bus.readLine().trimmed());
        ASSERT_FALSE(address.isEmpty());
    }
    void TearDown() override
    {
        for (auto& host : hosts) {
            host->terminate();
            host->waitForFinished(30'000);
        }
        bus.terminate();
        bus.waitForFinished(30'000);
    }

    QProcess& start(const QStringList& arguments, const QString& busAddress = {})
    {
        auto& host = hosts.emplace_back(std::make_unique<QProcess>());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                           busAddress.isEmpty() ? address : busAddress);
        host->setProcessEnvironment(environment);
        host->start(QStringLiteral(KELPIE_SESSION_HOST), arguments);
        EXPECT_TRUE(host->waitForStarted());
        return *host;
    }
    static QString nextLine(QProcess& host)
    {
        while (!host.canReadLine()) {
            if (!host.waitForReadyRead(30'000))
                return QStringLiteral("<nothing: %1>").arg(host.errorString());
        }
        return QString::fromUtf8(host.readLine().trimmed());
    }
    // Runs a host to its end; its output lines and exit code.
    std::pair<QStringList, int> run(const QStringList& arguments)
    {
        QProcess& host = start(arguments);
        EXPECT_TRUE(host.waitForFinished(60'000));
        const QStringList lines
            = QString::fromUtf8(host.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        return {lines, host.exitStatus() == QProcess::NormalExit ? host.exitCode() : -1};
    }

    QProcess bus;
    QString address;
    std::vector<std::unique_ptr<QProcess>> hosts;
};

TEST_F(SessionBusTest, ASecondKelpieHandsItsCaptureToTheFirst)
{
    QProcess& first = start({});
    ASSERT_EQ(nextLine(first), QStringLiteral("primary"));

    EXPECT_EQ(run({QStringLiteral("--capture-now")}),
              std::pair(QStringList{QStringLiteral("handed-over")}, 0));
    EXPECT_EQ(nextLine(first), QStringLiteral("request capture-now"));

    // A plain second start only leaves; the first hears nothing of it.
    EXPECT_EQ(run({}), std::pair(QStringList{QStringLiteral("handed-over")}, 0));
    EXPECT_EQ(run({QStringLiteral("--capture-now")}),
              std::pair(QStringList{QStringLiteral("handed-over")}, 0));
    EXPECT_EQ(nextLine(first), QStringLiteral("request capture-now"));
}

// The `kelpie` launcher's own hand-over of the desktop shortcut's command,
// made without the toolkit: taken by a running Kelpie, refused without one.
TEST_F(SessionBusTest, TheLauncherHandsTheShortcutsCaptureToTheFirst)
{
    const char* const shortcut[] = {"kelpie", "--capture-now"};
    const char* const other[] = {"kelpie", "--capture-now", "--appearance", "dark"};
    EXPECT_TRUE(QuickHandOver::wanted(2, shortcut));
    EXPECT_FALSE(QuickHandOver::wanted(4, other)) << "the program reads other command lines";
    EXPECT_FALSE(QuickHandOver::wanted(1, shortcut));

    // The bus library reads the address once per process, as the launcher
    // needs; forgetting it lets this process try several.
    const auto useBus = [](const QByteArray& where) {
        dbus_shutdown();
        qputenv("DBUS_SESSION_BUS_ADDRESS", where);
    };
    const QByteArray saved = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    useBus(address.toUtf8());
    EXPECT_FALSE(QuickHandOver::captureNow()) << "no Kelpie runs yet";
    QProcess& first = start({});
    ASSERT_EQ(nextLine(first), QStringLiteral("primary"));
    EXPECT_TRUE(QuickHandOver::captureNow());
    EXPECT_EQ(nextLine(first), QStringLiteral("request capture-now"));

    QTemporaryDir nowhere;
    useBus("unix:path=" + nowhere.path().toUtf8() + "/bus");
    EXPECT_FALSE(QuickHandOver::captureNow()) << "no session bus";
    useBus(saved);
}

TEST_F(SessionBusTest, FixtureProcessesStayIndependent)
{
    QProcess& first = start({});
    ASSERT_EQ(nextLine(first), QStringLiteral("primary"));
    EXPECT_EQ(run({QStringLiteral("--fixture"), QStringLiteral("f.png"),
                   QStringLiteral("--capture-now")}),
              std::pair(QStringList{QStringLiteral("independent")}, 0));
    // The capture request went nowhere: the next line the first prints is
    // for a real hand-over.
    EXPECT_EQ(run({QStringLiteral("--capture-now")}).second, 0);
    EXPECT_EQ(nextLine(first), QStringLiteral("request capture-now"));
}

TEST_F(SessionBusTest, TheNextKelpieTakesOverWhenTheFirstEnds)
{
    QProcess& first = start({});
    ASSERT_EQ(nextLine(first), QStringLiteral("primary"));
    first.kill();
    ASSERT_TRUE(first.waitForFinished(30'000));

    QProcess& second = start({QStringLiteral("--capture-now")});
    EXPECT_EQ(nextLine(second), QStringLiteral("primary"));
    EXPECT_EQ(nextLine(second), QStringLiteral("capture-now at launch"));
}

TEST_F(SessionBusTest, WithoutASessionBusEachProcessRunsAlone)
{
    QTemporaryDir nowhere;
    const QString missing = QStringLiteral("unix:path=") + nowhere.path() + QStringLiteral("/bus");
    QProcess& alone = start({QStringLiteral("--capture-now")}, missing);
    EXPECT_EQ(nextLine(alone), QStringLiteral("primary"));
    EXPECT_EQ(nextLine(alone), QStringLiteral("capture-now at launch"));
}

} // namespace
