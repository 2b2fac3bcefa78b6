#include "platform/X11HotkeyService.h"

#include "settings/HotkeyManager.h"

#include <gtest/gtest.h>

using namespace kelpie;

// Without an X11 connection (here Qt's offscreen platform; for users a
// Wayland session) hot keys cannot work: the manager says so instead of
// failing later or crashing.
TEST(X11HotkeyService, WithoutX11TheHandlerCannotBeInstalled)
{
    HotkeyManager manager(std::make_unique<X11HotkeyService>());
    EXPECT_EQ(manager.apply(AppShortcut::capture(), AppShortcut::pin()),
              QStringLiteral("无法启用全局快捷键，可先从菜单栏截图"));
    EXPECT_FALSE(manager.hasHandler());
    EXPECT_EQ(manager.activeCount(), 0);

    X11HotkeyService service;
    EXPECT_FALSE(service.registerHotkey(122, 0, {HotkeyManager::signature, 1}).has_value());
    EXPECT_EQ(service.grabCount(), 0);
}
