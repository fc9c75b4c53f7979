// Starts a program and waits, on X events and without polling, until a
// window of it is mapped: the first MapNotify of a top-level window whose
// _NET_WM_PID is the program's process id. Prints "PID MILLISECONDS" (from
// just before the fork to the event) on standard output.
//
//   map_waiter [--hold SECONDS] PROGRAM [ARGUMENTS...]
//
// Without --hold the program is stopped (SIGTERM, then SIGKILL) as soon as its
// window is mapped. With --hold it may run on for at most SECONDS while the
// caller measures it; the caller ends it by its process id (or by sending
// SIGTERM to this waiter, which passes it on). The program never outlives the
// waiter: it gets SIGKILL when the waiter dies. Exits 0 when the window was
// mapped, 1 when the program ended or 30 s passed first, 2 on bad use.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/select.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

volatile sig_atomic_t gTerminate = 0;
void OnTerminate(int) { gTerminate = 1; }

// Windows may vanish between the event that named them and our request.
int IgnoreErrors(Display*, XErrorEvent*) { return 0; }

long PidOf(Display* dpy, Window w, Atom netWmPid) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    long pid = -1;
    if (XGetWindowProperty(dpy, w, netWmPid, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after,
                           &data) == Success &&
        data != nullptr && type == XA_CARDINAL && format == 32 && count == 1) {
        pid = static_cast<long>(*reinterpret_cast<unsigned long*>(data));
    }
    if (data != nullptr) XFree(data);
    return pid;
}

// Ends the child: SIGTERM, then SIGKILL after two seconds; reaps it.
void Stop(pid_t child) {
    kill(child, SIGTERM);
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    while (waitpid(child, nullptr, WNOHANG) == 0) {
        if (Clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
            return;
        }
        usleep(10000);
    }
}

}  // namespace

int main(int argc, char** argv) {
    int first = 1;
    int holdSeconds = 0;
    if (argc > 2 && std::strcmp(argv[1], "--hold") == 0) {
        holdSeconds = std::atoi(argv[2]);
        first = 3;
    }
    if (first >= argc) {
        std::fprintf(stderr, "usage: %s [--hold SECONDS] PROGRAM [ARGUMENTS...]\n", argv[0]);
        return 2;
    }
    Display* dpy = XOpenDisplay(nullptr);
    if (dpy == nullptr) {
        std::fprintf(stderr, "map_waiter: cannot open the display\n");
        return 2;
    }
    XSetErrorHandler(IgnoreErrors);
    const Atom netWmPid = XInternAtom(dpy, "_NET_WM_PID", False);
    const Window root = DefaultRootWindow(dpy);
    // New top-level windows are created as children of the root.
    XSelectInput(dpy, root, SubstructureNotifyMask);
    XSync(dpy, False);

    struct sigaction sa {};
    sa.sa_handler = OnTerminate;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);

    const pid_t parent = getpid();
    const auto start = Clock::now();
    const pid_t child = fork();
    if (child < 0) {
        std::perror("map_waiter: fork");
        return 2;
    }
    if (child == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);
        const int null = open("/dev/null", O_RDONLY);
        if (null >= 0) dup2(null, 0);
        close(ConnectionNumber(dpy));
        execv(argv[first], argv + first);
        std::perror("map_waiter: exec");
        _exit(127);
    }

    const int fd = ConnectionNumber(dpy);
    const auto deadline = start + std::chrono::seconds(30);
    bool mapped = false;
    double ms = 0;
    auto found = [&] {
        mapped = true;
        ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    };
    while (!mapped && !gTerminate) {
        while (!mapped && XPending(dpy) > 0) {
            XEvent ev;
            XNextEvent(dpy, &ev);
            if (ev.type == CreateNotify && ev.xcreatewindow.parent == root) {
                const Window w = ev.xcreatewindow.window;
                XSelectInput(dpy, w, StructureNotifyMask);
                // Mapped before our request reached the server: count it now.
                XWindowAttributes attrs;
                if (XGetWindowAttributes(dpy, w, &attrs) && attrs.map_state != IsUnmapped &&
                    PidOf(dpy, w, netWmPid) == child) {
                    found();
                }
            } else if (ev.type == MapNotify && ev.xmap.event == ev.xmap.window &&
                       PidOf(dpy, ev.xmap.window, netWmPid) == child) {
                found();
            }
        }
        if (mapped) break;
        if (waitpid(child, nullptr, WNOHANG) == child) {
            std::fprintf(stderr, "map_waiter: the program ended before it showed a window\n");
            XCloseDisplay(dpy);
            return 1;
        }
        const auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero()) break;
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(fd, &readable);
        // Wake up now and then to notice a program that ended.
        timeval tv{0, 50000};
        select(fd + 1, &readable, nullptr, nullptr, &tv);
    }
    XCloseDisplay(dpy);
    if (!mapped) {
        std::fprintf(stderr, "map_waiter: no window of process %d was mapped\n", int(child));
        Stop(child);
        return 1;
    }
    std::printf("%d %.3f\n", int(child), ms);
    std::fflush(stdout);
    const auto holdEnd = Clock::now() + std::chrono::seconds(holdSeconds);
    while (!gTerminate && Clock::now() < holdEnd) {
        if (waitpid(child, nullptr, WNOHANG) == child) return 0;
        usleep(20000);
    }
    Stop(child);
    return 0;
}
