#pragma once

#include <QProcess>
#include <QString>

#include <cstdint>
#include <functional>

namespace kelpie::testing {

// Drives the window host process (WindowHostMain.cpp): windows of another
// process, created and changed on request. Every call returns once the X
// server has carried it out.
class WindowHost {
public:
    WindowHost();
    ~WindowHost();

    bool isRunning() const { return process_.state() == QProcess::Running; }
    std::int32_t pid() const { return static_cast<std::int32_t>(process_.processId()); }

    // "X Y W H RRGGBB [pattern] [override] [type=NAME] [pid=N|nopid]
    // [shadow=N] [unmapped]";
    // the new window's id, or 0 on failure.
    std::uint32_t create(const QString& description);
    // "map ID", "move ID X Y", "resize ID W H", "raise ID", "activate ID",
    // "iconify ID", "unmap ID", "destroy ID"; true when done.
    bool command(const QString& line);

    // Runs between making each window and showing it (a capture service
    // catching up, so that it keeps the window's contents from the start).
    std::function<void()> beforeShowing;

private:
    QString ask(const QString& line);

    QProcess process_;
};

} // namespace kelpie::testing
