#pragma once

#include "platform/LoginItemService.h"

#include <QString>

namespace kelpie {

// Login start through the XDG autostart entry
// $XDG_CONFIG_HOME/autostart/kelpie.desktop (~/.config/autostart when the
// variable is unset or not absolute), which every freedesktop session
// starts at login. The entry runs the program at `executable`.
class XdgAutostartLoginItem final : public LoginItemService {
public:
    // `executable` defaults to defaultCommand().
    explicit XdgAutostartLoginItem(QString executable = {});

    // The command that started this Kelpie: the `kelpie` launcher when it
    // did (KELPIE_COMMAND), else the running program.
    static QString defaultCommand();

    // Read on every call, so a changed environment is seen.
    static QString entryPath();
    // The entry's text; absent when the path cannot be put in an Exec line
    // (a line break or another control character in it).
    static std::optional<QByteArray> entry(const QString& executable);
    // One argument of an Exec line, quoted and escaped so that the desktop
    // hands it to the program unchanged.
    static QString quotedExecArgument(const QString& argument);

    Status<LoginItemError> registerItem() override;
    Status<LoginItemError> unregisterItem() override;
    // An entry that says Hidden=true, or that a GNOME session has switched
    // off, starts nothing and counts as not registered.
    LoginItemStatus status() const override;
    bool openSettings() override;

private:
    QString m_executable;
};

} // namespace kelpie
