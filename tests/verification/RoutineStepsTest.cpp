#include "verification/RoutineSteps.h"
#include "verification/VerificationReport.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <thread>

using namespace kelpie;
using namespace std::chrono_literals;

namespace {

// Runs `steps` to the end in a local event loop and returns the trace.
void runToEnd(RoutineSteps& steps)
{
    QEventLoop loop;
    bool finished = false;
    steps.start([&] {
        finished = true;
        loop.quit();
    });
    QTimer::singleShot(10s, &loop, &QEventLoop::quit);
    loop.exec();
    ASSERT_TRUE(finished);
}

} // namespace

TEST(RoutineStepsTest, StepsRunInOrderOnLaterTurnsAndAddedStepsRunNext)
{
    std::string trace;
    RoutineSteps steps;
    steps
        .then([&] {
            trace += "a";
            // Added while running: before "d", in the order added.
            steps.then([&] { trace += "b"; });
            steps.then([&] { trace += "c"; });
        })
        .then([&] { trace += "d"; });
    steps.start({});
    EXPECT_EQ(trace, "") << "nothing runs inside start()";
    runToEnd(steps);
    EXPECT_EQ(trace, "abcd");
}

TEST(RoutineStepsTest, WaitsReportWhetherTheConditionHeldInTime)
{
    std::string trace;
    int polls = 0;
    bool early = false;
    bool never = true;
    RoutineSteps steps;
    steps.waitUntil([&] { return ++polls >= 3; }, 5s, [&](bool inTime) { early = inTime; })
        .then([&] { trace += "after-first"; })
        .waitUntil([] { return false; }, 30ms, [&](bool inTime) { never = inTime; })
        .then([&] { trace += "+after-second"; });
    runToEnd(steps);
    EXPECT_TRUE(early);
    EXPECT_EQ(polls, 3);
    EXPECT_FALSE(never);
    EXPECT_EQ(trace, "after-first+after-second");
}

TEST(RoutineStepsTest, AWaitTheScriptNeedsFailsItsCheckAndEndsTheScriptWhenLate)
{
    std::string trace;
    VerificationReport report;
    RoutineSteps steps;
    steps.waitOrFail([] { return true; }, 1s, report, "came_in_time")
        .then([&] { trace += "a"; })
        .waitOrFail([] { return false; }, 30ms, report, "never_came")
        .then([&] { trace += "b"; });
    runToEnd(steps);
    EXPECT_EQ(trace, "a");
    // A wait that held records nothing: only real observations are checks.
    EXPECT_EQ(report.checks(), (std::map<std::string, bool>{{"never_came", false}}));
}

TEST(RoutineStepsTest, AbortSkipsTheRestButStillFinishes)
{
    std::string trace;
    RoutineSteps steps;
    steps
        .then([&] {
            trace += "a";
            steps.abort();
        })
        .then([&] { trace += "b"; })
        .waitUntil([] { return false; }, 1h);
    runToEnd(steps);
    EXPECT_EQ(trace, "a");
    EXPECT_FALSE(steps.running());
}

TEST(RoutineStepsTest, APauseLastsFromWhenTheScriptReachesIt)
{
    using Clock = std::chrono::steady_clock;
    Clock::time_point reached;
    Clock::time_point after;
    RoutineSteps steps;
    // A slow step before the pause, longer than the pause itself.
    steps.then([&] {
             std::this_thread::sleep_for(300ms);
             reached = Clock::now();
         })
        .pause(200ms)
        .then([&] { after = Clock::now(); });
    runToEnd(steps);
    EXPECT_GE(after - reached, 200ms);
}
