#include "platform/linux/launcher_linux.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "platform/command_line.h"

extern char** environ;

namespace fhsw {

namespace {

bool hasDisplay() {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 != nullptr && *x11 != '\0') || (wayland != nullptr && *wayland != '\0');
}

// Whether a path names a runner script: extension .BAT or .CMD, in any case.
bool isRunnerScriptPath(const std::string& path) {
    const char* ext = path.size() < 4 ? "" : path.c_str() + path.size() - 4;
    return ::strcasecmp(ext, ".bat") == 0 || ::strcasecmp(ext, ".cmd") == 0;
}

// Only a regular file of this user runs as a runner script. In a folder that
// others may write to, a link or another user's file in its place would run
// their commands as ours.
std::string refusalOfRunnerScript(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return "cannot start " + path + ": " + std::strerror(errno);
    if (S_ISLNK(st.st_mode)) return "will not run " + path + ": it is a symbolic link, not a file of yours";
    if (!S_ISREG(st.st_mode)) return "will not run " + path + ": it is not a regular file";
    if (st.st_uid != ::geteuid()) return "will not run " + path + ": it belongs to another user";
    return "";
}

// Starts argv[0] (searched on PATH when it names no folder) with argv in a
// session of its own: standard streams on /dev/null, no other descriptor of
// this program, default signal dispositions and an empty signal mask.
// Returns the child's id, or -1 with the error number (an exec failure
// included: posix_spawn reports it).
pid_t startDetached(const std::vector<std::string>& args, int& err) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDWR, 0);
    posix_spawn_file_actions_adddup2(&files, STDIN_FILENO, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&files, STDIN_FILENO, STDERR_FILENO);
    posix_spawn_file_actions_addclosefrom_np(&files, STDERR_FILENO + 1);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t all, none;
    sigfillset(&all);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    pid_t pid = -1;
    err = ::posix_spawnp(&pid, args.front().c_str(), &files, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&files);
    return err == 0 ? pid : -1;
}

}  // namespace

LinuxLauncher::LinuxLauncher(std::string runnerPath) : runnerPath_(std::move(runnerPath)) {}

LinuxLauncher::~LinuxLauncher() {
    // Nothing will ask again: what was told to stop is made to now.
    for (const Stopping& s : stopping_) ::kill(-s.group, SIGKILL);
}

void LinuxLauncher::tidy() {
    for (auto& [id, launch] : launches_) {
        if (!launch.running) continue;
        int status = 0;
        const pid_t r = ::waitpid(launch.pid, &status, WNOHANG);
        if (r == launch.pid || (r < 0 && errno == ECHILD)) {
            launch.running = false;
            launch.exitStatus = r != launch.pid ? -1 : WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
    }
    const auto now = std::chrono::steady_clock::now();
    std::erase_if(stopping_, [now](const Stopping& s) {
        // The id still names the group while any member lives (Linux hands
        // out no id that a group still uses); an empty group is done with.
        if (::kill(-s.group, 0) != 0 && errno == ESRCH) return true;
        if (now < s.killAt) return false;
        ::kill(-s.group, SIGKILL);
        return true;
    });
}

LaunchResult LinuxLauncher::launch(const std::string& command, bool visible) {
    tidy();
    // Blanks and line ends around the text are not part of the command.
    std::string_view text = command;
    text.remove_prefix(std::min(text.find_first_not_of(" \t\r\n"), text.size()));
    text.remove_suffix(text.size() - (text.find_last_not_of(" \t\r\n") + 1));
    std::vector<std::string> argv = SplitCrtCommandLine(text);
    const std::string script = isRunnerScriptPath(argv.front()) ? argv.front() : "";
    if (argv.front().empty()) return {false, "empty command"};
    if (visible && !hasDisplay()) return {false, "no display for a visible window (DISPLAY is not set)"};
    if (!script.empty()) {
        if (std::string why = refusalOfRunnerScript(script); !why.empty()) return {false, why};
        if (::access(runnerPath_.c_str(), X_OK) != 0)
            return {false, "cannot start " + runnerPath_ + ": " + std::strerror(errno)};
        argv.insert(argv.begin(), runnerPath_);
        // Shown, its output needs a terminal window; any other program (the
        // log opener, an editor) brings its own window.
        if (visible) argv.insert(argv.begin(), {"x-terminal-emulator", "-e"});
    }
    int err = 0;
    pid_t pid = startDetached(argv, err);
    if (pid < 0 && err == ENOENT && argv.front() == "x-terminal-emulator") {
        argv.front() = "xterm";
        if ((pid = startDetached(argv, err)) < 0 && err == ENOENT)
            return {false, "no terminal program for a visible window "
                           "(neither x-terminal-emulator nor xterm was found)"};
    }
    if (pid < 0) return {false, "cannot start " + argv.front() + ": " + std::strerror(err)};
    const LaunchId id = ++lastId_;
    launches_[id].pid = pid;
    LaunchResult result;
    result.id = id;
    return result;
}

LaunchState LinuxLauncher::state(LaunchId id) {
    tidy();
    auto it = launches_.find(id);
    if (it == launches_.end()) return {};
    return {it->second.running, it->second.exitStatus};
}

void LinuxLauncher::stop(LaunchId id) {
    tidy();
    auto it = launches_.find(id);
    if (it == launches_.end() || !it->second.running) return;
    // The leader is not reaped yet, so its id names this group. Whatever
    // ignores the polite request is killed at a call after kKillAfter.
    const pid_t group = it->second.pid;
    ::kill(-group, SIGTERM);
    ::kill(-group, SIGCONT);
    stopping_.push_back({group, std::chrono::steady_clock::now() + kKillAfter});
}

}  // namespace fhsw
