// A process that takes its place in the session as Kelpie does, for the
// tests of one Kelpie per session. It prints its role ("primary",
// "handed-over", "independent" or "failed"), then, as primary, one line
// "request capture-now" for each request handed to it, until it is ended.
//
//   session_host [kelpie's arguments]

#include "app/SessionStart.h"
#include "platform/DBusSingleInstance.h"

#include <QCoreApplication>

#include <cstdio>

using namespace kelpie;

namespace {

void say(const char* line)
{
    std::printf("%s\n", line);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const LaunchOptions options(QCoreApplication::arguments());
    DBusSingleInstance instance;
    instance.onRequest = [](SingleInstance::Request) { say("request capture-now"); };
    const auto role = SessionStart::settle(options, instance);
    if (!role) {
        say("failed");
        return 1;
    }
    switch (role.value()) {
    case SessionStart::Role::handedOver: say("handed-over"); return 0;
    case SessionStart::Role::independent: say("independent"); return 0;
    case SessionStart::Role::primary: break;
    }
    say("primary");
    if (options.captureNow(false))
        say("capture-now at launch");
    return QCoreApplication::exec();
}
