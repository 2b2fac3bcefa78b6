// The `kelpie` command. It hands the desktop shortcut's "--capture-now" to a
// running Kelpie with the session bus alone; everything else, and that too
// when no Kelpie takes it, is the program proper, which it becomes with the
// same process and arguments.
#include "app/launcher/QuickHandOver.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

// Where the program proper lies: beside this launcher in the build tree,
// and at its installed place relative to the launcher's folder.
std::string programBeside(const std::string& launcher)
{
    const std::string folder = launcher.substr(0, launcher.rfind('/') + 1);
    for (const std::string& candidate :
         {folder + KELPIE_PROGRAM_FILE, folder + KELPIE_PROGRAM_FROM_LAUNCHER}) {
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

std::string launcherPath()
{
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0)
        return {};
    return std::string(buffer, std::size_t(length));
}

} // namespace

int main(int argc, char* argv[])
{
    if (kelpie::QuickHandOver::wanted(argc, argv)) {
        if (kelpie::QuickHandOver::captureNow())
            return 0;
        // The program need not try the same call again before it starts.
        setenv("KELPIE_EARLY_HAND_OVER_TRIED", "1", 1);
    }
    const std::string launcher = launcherPath();
    const std::string program = programBeside(launcher);
    if (program.empty()) {
        std::fprintf(stderr, "kelpie: the program %s is missing beside %s\n", KELPIE_PROGRAM_FILE,
                     launcher.c_str());
        return 1;
    }
    // What starts Kelpie is this command, not the program it becomes: a
    // login item written later names it.
    setenv("KELPIE_COMMAND", launcher.c_str(), 1);
    execv(program.c_str(), argv);
    std::fprintf(stderr, "kelpie: cannot start %s: %s\n", program.c_str(), std::strerror(errno));
    return 1;
}
