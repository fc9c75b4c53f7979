#include "platform/linux/launcher_linux.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "platform/command_line.h"

extern char** environ;

namespace fhsw {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool endsWithNoCase(const std::string& s, const char* suffix) {
    const std::size_t n = std::strlen(suffix);
    if (s.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i) {
        if (lowerAscii(s[s.size() - n + i]) != lowerAscii(suffix[i])) return false;
    }
    return true;
}

// Checks that a path names an existing file of the wanted kind.
bool checkFile(const std::string& path, bool mustExecute, std::string& error) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            error = "cannot find " + path;
        } else {
            error = "cannot open " + path + ": " + std::strerror(errno);
        }
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        error = "cannot run " + path + ": it is a folder";
        return false;
    }
    if (mustExecute && ::access(path.c_str(), X_OK) != 0) {
        error = "cannot run " + path + ": not an executable file";
        return false;
    }
    if (!mustExecute && ::access(path.c_str(), R_OK) != 0) {
        error = "cannot read " + path;
        return false;
    }
    return true;
}

// Finds an executable file of that name in the folders of PATH; "" if none.
std::string findOnPath(const std::string& name) {
    const char* env = std::getenv("PATH");
    const std::string path = (env != nullptr) ? env : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find(':', start);
        if (end == std::string::npos) end = path.size();
        // An empty entry stands for the working folder.
        const std::string candidate =
            (end == start ? std::string(".") : path.substr(start, end - start)) + "/" + name;
        struct stat st {};
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        start = end + 1;
    }
    return {};
}

bool hasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return true;
    }
    return false;
}

// Checks a runner script before it is handed to the interpreter: only a
// regular file of this user runs. In a folder that others may write to, a
// link or another user's file in its place would run their commands as ours.
bool checkRunnerScript(const std::string& path, std::string& error) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return checkFile(path, false, error);
    if (S_ISLNK(st.st_mode)) {
        error = "will not run " + path + ": it is a symbolic link, not a file of yours";
    } else if (!S_ISREG(st.st_mode)) {
        error = "will not run " + path + ": it is not a regular file";
    } else if (st.st_uid != ::geteuid()) {
        error = "will not run " + path + ": it belongs to another user";
    } else {
        return checkFile(path, false, error);
    }
    return false;
}

// Starts argv[0] with argv in a session of its own: standard streams on
// /dev/null, no other descriptor of this program, default signal
// dispositions and an empty signal mask. Returns the child's id, or -1 with
// the reason in error (an exec failure included: posix_spawn reports it).
pid_t startDetached(const std::vector<std::string>& args, std::string& error) {
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
    const int err = ::posix_spawn(&pid, args.front().c_str(), &files, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&files);
    if (err == 0) return pid;
    error = "cannot start " + args.front() + ": " + std::strerror(err);
    return -1;
}

int statusOf(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

}  // namespace

LaunchLine splitLaunchText(const std::string& text) {
    // Blanks and line ends around the text are not part of the command.
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && isBlank(text[first])) ++first;
    while (last > first && isBlank(text[last - 1])) --last;
    std::vector<std::string> argv =
        SplitCrtCommandLine(std::string_view(text).substr(first, last - first));
    LaunchLine line;
    if (argv.empty()) return line;
    line.program = std::move(argv.front());
    line.arguments.assign(std::make_move_iterator(argv.begin() + 1),
                          std::make_move_iterator(argv.end()));
    return line;
}

bool isRunnerScriptPath(const std::string& path) {
    return endsWithNoCase(path, ".bat") || endsWithNoCase(path, ".cmd");
}

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
            launch.exitStatus = r == launch.pid ? statusOf(status) : -1;
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
    const LaunchLine line = splitLaunchText(command);
    if (line.program.empty()) return {false, "empty command"};

    std::string error;
    std::vector<std::string> argv;
    if (isRunnerScriptPath(line.program)) {
        if (!checkRunnerScript(line.program, error)) return {false, error};
        if (runnerPath_.empty() || !checkFile(runnerPath_, true, error)) {
            return {false, "cannot find the runner-script interpreter " + runnerPath_};
        }
        argv = {runnerPath_, line.program};
    } else if (line.program.find('/') != std::string::npos) {
        if (!checkFile(line.program, true, error)) return {false, error};
        argv = {line.program};
    } else {
        const std::string found = findOnPath(line.program);
        if (found.empty()) return {false, "cannot find " + line.program};
        argv = {found};
    }
    argv.insert(argv.end(), line.arguments.begin(), line.arguments.end());

    if (visible) {
        if (!hasDisplay()) return {false, "no display for a visible window (DISPLAY is not set)"};
    }
    // A runner script shows its output in a terminal window; any other
    // program (the log opener, an editor) brings its own window.
    if (visible && isRunnerScriptPath(line.program)) {
        std::string terminal = findOnPath("x-terminal-emulator");
        if (terminal.empty()) terminal = findOnPath("xterm");
        if (terminal.empty()) {
            return {false, "no terminal program for a visible window "
                           "(neither x-terminal-emulator nor xterm was found)"};
        }
        argv.insert(argv.begin(), {terminal, "-e"});
    }

    const pid_t pid = startDetached(argv, error);
    if (pid < 0) return {false, error};
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
