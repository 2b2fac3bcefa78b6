#include "app/DesktopSession.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>

using namespace kelpie;
using Kind = DesktopSession::Kind;

namespace {

QProcessEnvironment environment(std::initializer_list<std::pair<const char*, const char*>> values)
{
    QProcessEnvironment result;
    for (const auto& [name, value] : values)
        result.insert(QString::fromLatin1(name), QString::fromLatin1(value));
    return result;
}

} // namespace

TEST(DesktopSession, WaylandWinsOverAnXWaylandDisplay)
{
    // XWayland sets DISPLAY too; its root window reads back black, so the
    // session's own kind decides.
    EXPECT_EQ(DesktopSession::detect(environment({{"DISPLAY", ":0"}, {"WAYLAND_DISPLAY", "wayland-0"}})),
              Kind::wayland);
    EXPECT_EQ(DesktopSession::detect(environment({{"DISPLAY", ":0"}, {"XDG_SESSION_TYPE", "Wayland"}})),
              Kind::wayland);
    EXPECT_EQ(DesktopSession::detect(environment({{"DISPLAY", ":0"}, {"XDG_SESSION_TYPE", "x11"}})),
              Kind::x11);
    // An empty socket name is no compositor.
    EXPECT_EQ(DesktopSession::detect(environment({{"DISPLAY", ":0"}, {"WAYLAND_DISPLAY", ""}})),
              Kind::x11);
}

TEST(DesktopSession, StartsWithoutAnXServerUnderWayland)
{
    EXPECT_TRUE(DesktopSession::hasDisplay(environment({{"WAYLAND_DISPLAY", "wayland-1"}})));
    EXPECT_TRUE(DesktopSession::hasDisplay(environment({{"QT_QPA_PLATFORM", "offscreen"}})));
    EXPECT_FALSE(DesktopSession::hasDisplay(environment({{"DISPLAY", ""}, {"XDG_SESSION_TYPE", "tty"}})));
}
