#include "platform/linux/launcher_linux.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <chrono>
#include <iterator>
#include <map>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/command_line.h"
#include "platform/linux/open_file_limit.h"

namespace fhsw {

struct LinuxLauncher::Children {
    struct Entry {
        pid_t pid = 0;           // also the process group: each launch leads a session
        bool running = true;
        int exitStatus = -1;
        bool watched = true;     // a reaper thread waits for it
    };
    std::mutex mutex;
    std::map<LaunchId, Entry> launches;
    LaunchId lastId = 0;

    static int statusOf(int status) {
        if (WIFEXITED(status)) return WEXITSTATUS(status);
        if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
        return -1;
    }
    void record(LaunchId id, int status) {  // with the mutex held
        Entry& e = launches[id];
        e.running = false;
        e.exitStatus = statusOf(status);
    }
    // Reaps, without blocking, the children that have no reaper thread.
    // Called with the mutex held.
    void reapUnwatched() {
        for (auto& [id, e] : launches) {
            if (e.watched || !e.running) continue;
            int status = 0;
            const pid_t r = ::waitpid(e.pid, &status, WNOHANG);
            if (r == e.pid) {
                record(id, status);
            } else if (r < 0 && errno == ECHILD) {
                e.running = false;
            }
        }
    }
};

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

// Moves a descriptor above the standard streams so that setting up the
// child's streams cannot overwrite it.
bool liftAboveStdio(int& fd) {
    if (fd > STDERR_FILENO) return true;
    const int lifted = ::fcntl(fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
    ::close(fd);
    fd = lifted;
    return lifted >= 0;
}

[[noreturn]] void failInChild(int reportFd) {
    const int err = errno;
    ssize_t ignored = ::write(reportFd, &err, sizeof err);
    (void)ignored;
    ::_exit(127);
}

// Starts execPath with argv in a new session, standard streams on /dev/null,
// no descriptor of this program inherited. Returns the child's id, or -1 with
// the reason in error. An exec failure in the child comes back through a
// close-on-exec pipe before this returns.
pid_t startDetached(const std::string& execPath, const std::vector<std::string>& args,
                    std::string& error) {
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    int nullFd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (nullFd < 0 || !liftAboveStdio(nullFd)) {
        error = std::string("cannot open /dev/null: ") + std::strerror(errno);
        if (nullFd >= 0) ::close(nullFd);
        return -1;
    }
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0 || !liftAboveStdio(report[0]) ||
        !liftAboveStdio(report[1])) {
        error = "cannot start " + execPath + ": " + std::strerror(errno);
        ::close(nullFd);
        return -1;
    }
    long maxFd = ::sysconf(_SC_OPEN_MAX);
    if (maxFd < 0 || maxFd > (1L << 20)) maxFd = 1L << 20;

    // No signal handler of this program may run in the child before exec.
    sigset_t all, previous, none;
    sigfillset(&all);
    sigemptyset(&none);
    ::pthread_sigmask(SIG_SETMASK, &all, &previous);

    const pid_t pid = ::fork();
    if (pid == 0) {
        struct sigaction dfl {};
        dfl.sa_handler = SIG_DFL;
        sigemptyset(&dfl.sa_mask);
        for (int sig = 1; sig < NSIG; ++sig) {
            if (sig != SIGKILL && sig != SIGSTOP) ::sigaction(sig, &dfl, nullptr);
        }
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        if (::setsid() < 0) failInChild(report[1]);
        for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
            if (::dup2(nullFd, fd) < 0) failInChild(report[1]);
        }
        // The open-file limit this program was started with, not its own.
        RestoreOpenFileLimitInChild();
        // Everything else closes on exec; the report pipe already does.
#ifdef SYS_close_range
        constexpr unsigned kCloseRangeCloexec = 1U << 2;
        if (::syscall(SYS_close_range, 3U, ~0U, kCloseRangeCloexec) != 0)
#endif
        {
            for (int fd = STDERR_FILENO + 1; fd < maxFd; ++fd) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        }
        ::execv(execPath.c_str(), argv.data());
        failInChild(report[1]);
    }
    const int forkErrno = errno;
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    ::close(nullFd);
    ::close(report[1]);
    if (pid < 0) {
        ::close(report[0]);
        error = "cannot start " + execPath + ": " + std::strerror(forkErrno);
        return -1;
    }
    int childErrno = 0;
    ssize_t n;
    do {
        n = ::read(report[0], &childErrno, sizeof childErrno);
    } while (n < 0 && errno == EINTR);
    ::close(report[0]);
    if (n > 0) {
        // The child could not exec and has already exited: reap it here.
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        error = "cannot start " + execPath + ": " +
                (n == sizeof childErrno ? std::strerror(childErrno) : "unknown error");
        return -1;
    }
    return pid;
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

LinuxLauncher::LinuxLauncher(std::string runnerPath)
    : runnerPath_(std::move(runnerPath)), children_(std::make_shared<Children>()) {}

LinuxLauncher::~LinuxLauncher() = default;

LaunchResult LinuxLauncher::launch(const std::string& command, bool visible) {
    const LaunchLine line = splitLaunchText(command);
    if (line.program.empty()) return {false, "empty command"};

    std::string error;
    std::vector<std::string> argv;
    if (isRunnerScriptPath(line.program)) {
        if (!checkFile(line.program, false, error)) return {false, error};
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

    {
        std::lock_guard<std::mutex> lock(children_->mutex);
        children_->reapUnwatched();
    }
    const pid_t pid = startDetached(argv.front(), argv, error);
    if (pid < 0) return {false, error};

    // Only the thread below reaps this child, so it cannot be gone yet.
    std::lock_guard<std::mutex> lock(children_->mutex);
    const LaunchId id = ++children_->lastId;
    children_->launches[id].pid = pid;
    try {
        std::thread([children = children_, pid, id] {
            int status = 0;
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            std::lock_guard<std::mutex> guard(children->mutex);
            children->record(id, status);
        }).detach();
    } catch (const std::system_error&) {
        children_->launches[id].watched = false;
    }
    LaunchResult result;
    result.id = id;
    return result;
}

LaunchState LinuxLauncher::state(LaunchId id) {
    std::lock_guard<std::mutex> lock(children_->mutex);
    children_->reapUnwatched();
    auto it = children_->launches.find(id);
    if (it == children_->launches.end()) return {};
    return {it->second.running, it->second.running ? -1 : it->second.exitStatus};
}

void LinuxLauncher::stop(LaunchId id) {
    pid_t group = 0;
    {
        std::lock_guard<std::mutex> lock(children_->mutex);
        children_->reapUnwatched();
        auto it = children_->launches.find(id);
        if (it == children_->launches.end() || !it->second.running) return;
        group = it->second.pid;
        // The leader is not reaped yet, so its id names this group.
        ::kill(-group, SIGTERM);
        ::kill(-group, SIGCONT);
    }
    // Whatever ignores the polite request is killed a little later. The id
    // still names this group while any member lives (Linux hands out no id
    // that a group still uses); once all are gone the signal finds nobody.
    try {
        std::thread([group] {
            std::this_thread::sleep_for(std::chrono::seconds(2));
            ::kill(-group, SIGKILL);
        }).detach();
    } catch (const std::system_error&) {
        ::kill(-group, SIGKILL);
    }
}

}  // namespace fhsw
