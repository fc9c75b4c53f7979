// The Linux launcher: argument splitting, routing of runner scripts through
// the interpreter, the hidden child's session and streams, failures reported
// with nothing started, and children reaped whatever the order of events.
#include "platform/linux/launcher_linux.h"

#include <gtest/gtest.h>

#include "support/scoped_env.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>

namespace fhsw {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

using test::ScopedEnv;

// Polls until `done` holds, for at most five seconds.
template <typename Done>
bool eventually(Done done) {
    const auto end = std::chrono::steady_clock::now() + 5s;
    while (!done() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(5ms);
    return done();
}

// The lines of a file once it exists (the scripts below write under another
// name and rename, so a reader never sees half); {"<missing>"} if it never does.
Lines waitForLines(const std::string& path) {
    if (!eventually([&] { return fs::exists(path); })) return {"<missing>"};
    std::ifstream in(path);
    Lines out;
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

// The state letter of a process from /proc, or 0 when it is gone.
char processState(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    std::getline(in, stat);
    return stat.rfind(") ") == std::string::npos ? 0 : stat[stat.rfind(") ") + 2];
}

TEST(LaunchText, ProgramQuotedOrNotThenArgumentsByTheCRuntimeRules) {
    const std::vector<std::tuple<std::string, std::string, Lines>> cases = {
        {"  \"/opt/my dir/SENDEMAIL-RUNNER.BAT\"  ", "/opt/my dir/SENDEMAIL-RUNNER.BAT", {}},
        {"/bin/prog a\tb  \"c d\" e\"f g\"h \"\"", "/bin/prog", {"a", "b", "c d", "ef gh", ""}},
        // Backslashes: literal unless before a quote; 2n -> n and a delimiter,
        // 2n+1 -> n and a literal quote. A doubled quote inside quotes is a
        // quote. Blanks and a line end around the whole text are dropped.
        {"p a\\b a\\\\\"b c\" a\\\"b a\\\\\\\"b \"x\"\"y\"\r\n", "p",
         {R"(a\b)", R"(a\b c)", R"(a"b)", R"(a\"b)", R"(x"y)"}},
        {R"("C:\x\y.bat)", R"(C:\x\y.bat)", {}},  // backslashes kept, unclosed quote runs to the end
        {"   ", "", {}}, {"\"\"", "", {}}};
    for (const auto& [text, program, arguments] : cases) {
        const LaunchLine line = splitLaunchText(text);
        EXPECT_EQ(line.program, program) << text;
        EXPECT_EQ(line.arguments, arguments) << text;
    }
    for (const char* p : {"/SENDEMAIL-RUNNER.BAT", "a.bat", "/d/a.Cmd"}) EXPECT_TRUE(isRunnerScriptPath(p));
    for (const char* p : {"/d/a.bat.sh", "/d/abat", "SendEmail.exe"}) EXPECT_FALSE(isRunnerScriptPath(p));
}

class LinuxLauncherTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "fhsw-launch-XXXXXX").string();
        dir_ = ::mkdtemp(pattern.data());
        for (const char* sub : {"bin", "xte", "my folder"}) fs::create_directory(file(sub));
        runner_ = recorder("fake-run");
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string file(const std::string& name) const { return dir_ + "/" + name; }
    std::string put(const std::string& name, const std::string& text, mode_t mode = 0755) {
        std::ofstream(file(name)) << text;
        ::chmod(file(name).c_str(), mode);
        return file(name);
    }
    // Shell text that sends the output before it to `name`, which appears
    // whole (written under another name first).
    std::string into(const std::string& name) const {
        const std::string f = file(name);
        return " > '" + f + ".part' && /bin/mv '" + f + ".part' '" + f + "'\n";
    }
    // A script that records its arguments, one a line, into <its name>.args.
    std::string recorder(const std::string& name) {
        const std::string args = fs::path(name).filename().string() + ".args";
        return put(name, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done" + into(args));
    }
    std::string record(const std::string& program) const { return file(program + ".args"); }

    std::string dir_, runner_;
};

TEST_F(LinuxLauncherTest, HiddenChildHasNullStreamsNewSessionDefaultSignalsAndNoInheritedDescriptors) {
    // A descriptor this program leaves open on exec must still not reach the
    // child, nor a signal it ignores or blocks (the child could not be stopped).
    const int leaked = ::open(file("leak-marker").c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(leaked, 0);
    sigset_t term, before;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    ::pthread_sigmask(SIG_BLOCK, &term, &before);
    const auto oldInt = ::signal(SIGINT, SIG_IGN);
    // It reports its id, its standard streams, its session and terminal (from
    // the stat line), its folder, descriptors of its own it must not have, and
    // its blocked and ignored signals among 1-28 (glibc leaves 32 and 33,
    // its own, ignored in a child it spawns).
    const std::string probe = put("probe", "#!/bin/sh\nls -l /proc/$$/fd" + into("fds") +
        "s=$(readlink /proc/$$/fd/0 /proc/$$/fd/1 /proc/$$/fd/2)\n"
        "{ echo $$; echo \"$s\"; set -- $(cut -d')' -f2 /proc/$$/stat); echo \"$4 $5\"; pwd -P\n"
        "  grep -o -E ' 0 -> /dev/null|leak-marker|pipe:|socket:' '" + file("fds") + "' | tr '\\n' ' '\n"
        "  sed -n 's/^\\(Sig[BI][lg][kn]\\):.*\\(.......\\)$/\\1:\\2/p' /proc/$$/status | tr '\\n' ' '; echo\n"
        "}" + into("report"));
    LinuxLauncher launcher(runner_);
    const LaunchResult r = launcher.launch(probe, false);
    ::close(leaked);
    ::signal(SIGINT, oldInt);
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    ASSERT_TRUE(r.ok) << r.error;
    const Lines l = waitForLines(file("report"));
    ASSERT_EQ(l.size(), 7u) << l[0];
    EXPECT_EQ(Lines(l.begin() + 1, l.begin() + 4), Lines(3, "/dev/null"));
    EXPECT_EQ(l[4], l[0] + " 0") << "a session of its own and no controlling terminal";
    EXPECT_EQ(l[5], fs::canonical(fs::current_path()).string());
    EXPECT_EQ(l[6], " 0 -> /dev/null SigBlk:0000000 SigIgn:0000000 ")
        << "descriptors or signal settings it got from the launching program";
    EXPECT_TRUE(eventually([&] { return !launcher.state(r.id).running; }));
}

// Which program runs, with which arguments: a program directly (by path or
// found on PATH), a runner script through the interpreter, and a visible
// runner script through a terminal (x-terminal-emulator preferred, xterm the
// fallback). Any other program brings its own window: never a terminal.
TEST_F(LinuxLauncherTest, StartsTheRightProgramWithTheRightArguments) {
    const std::string prog = recorder("my folder/my prog");
    for (const char* name : {"bin/on-path", "bin/xterm", "xte/x-terminal-emulator"}) recorder(name);
    const std::string bat = put("my folder/SENDEMAIL-RUNNER.BAT", "@echo off\r\n", 0644);
    const std::string cmd = put("other.Cmd", "@echo off\r\n", 0644);
    const std::string bin = file("bin"), both = file("xte") + ":" + file("bin");
    ScopedEnv display("DISPLAY", ":fhsw-test");
    const std::vector<std::tuple<std::string, bool, std::string, std::string, Lines>> cases = {
        {"\"" + prog + "\" 1 \"2 3\" 4\\\"5", false, both, "my prog", {"1", "2 3", "4\"5"}},
        {"on-path x", false, bin, "on-path", {"x"}},
        {"\"" + bat + "\"", false, both, "fake-run", {bat}},
        {cmd + " a \"b c\"", false, both, "fake-run", {cmd, "a", "b c"}},
        {"\"" + bat + "\" go", true, bin, "xterm", {"-e", runner_, bat, "go"}},
        {cmd + " 1 2", true, both, "x-terminal-emulator", {"-e", runner_, cmd, "1", "2"}},
        {"\"" + prog + "\" \"a b\"", true, both, "my prog", {"a b"}}};
    for (const auto& [command, visible, path, program, arguments] : cases) {
        SCOPED_TRACE(command + (visible ? " (visible)" : ""));
        ScopedEnv pathEnv("PATH", path.c_str());
        LinuxLauncher launcher(runner_);
        const LaunchResult r = launcher.launch(command, visible);
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(waitForLines(record(program)), arguments);
        EXPECT_TRUE(eventually([&] { return !launcher.state(r.id).running; }));
        EXPECT_EQ(launcher.state(r.id), (LaunchState{false, 0}));
        fs::remove(record(program));
    }
}

TEST_F(LinuxLauncherTest, FailuresAreReportedAndNothingIsStarted) {
    const std::string bat = file("my folder/SENDEMAIL-RUNNER.BAT");  // not there
    const std::string there = put("job.BAT", "@echo off\r\n", 0644);
    const std::string plain = put("not-executable", "#!/bin/sh\n", 0644);
    const std::string garbage = put("garbage", "\x01\x02 not a program\n");
    const std::string badInterpreter = put("bad-interpreter", "#!/nonexistent/interpreter\n");
    // Runner scripts that others could have put in place of ours.
    const std::string link = file("link.BAT"), fifo = file("fifo.bat");
    fs::create_symlink(there, link);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ScopedEnv path("PATH", file("bin").c_str());  // holds no terminal program
    ScopedEnv wayland("WAYLAND_DISPLAY", nullptr);
    LinuxLauncher launcher(runner_);
    // command, visible, with a display, error
    std::vector<std::tuple<std::string, bool, bool, std::string>> cases = {
        {"", false, true, "empty command"},
        {"  \"\" ", false, true, "empty command"},
        {"\"" + bat + "\"", false, true, "cannot find " + bat},
        {file("nothing/prog"), false, true, "cannot find " + file("nothing/prog")},
        {"fhsw-no-such-program", false, true, "cannot find fhsw-no-such-program"},
        {dir_, false, true, "cannot run " + dir_ + ": it is a folder"},
        {plain, false, true, "cannot run " + plain + ": not an executable file"},
        // The exec itself fails in the child: reported before launch returns.
        {garbage, false, true, "cannot start " + garbage + ": Exec format error"},
        {badInterpreter, false, true, "cannot start " + badInterpreter + ": No such file or directory"},
        {there, true, false, "no display for a visible window (DISPLAY is not set)"},
        {there, true, true,
         "no terminal program for a visible window (neither x-terminal-emulator nor xterm was found)"},
        {link, false, true, "will not run " + link + ": it is a symbolic link, not a file of yours"},
        {fifo, false, true, "will not run " + fifo + ": it is not a regular file"}};
    if (::geteuid() == 0) {
        const std::string theirs = put("theirs.bat", "@echo off\r\n", 0644);
        ASSERT_EQ(::chown(theirs.c_str(), 65534, 65534), 0);
        cases.push_back({theirs, false, true, "will not run " + theirs + ": it belongs to another user"});
    }
    for (const auto& [command, visible, display, error] : cases) {
        ScopedEnv displayEnv("DISPLAY", display ? ":fhsw-test" : nullptr);
        const LaunchResult r = launcher.launch(command, visible);
        EXPECT_FALSE(r.ok) << command;
        EXPECT_EQ(r.error, error) << command;
        EXPECT_EQ(r.id, 0u) << command;
    }
    const LaunchResult r = LinuxLauncher(file("missing-run")).launch(there, false);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "cannot find the runner-script interpreter " + file("missing-run"));
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(fs::exists(record("fake-run"))) << "the interpreter must never have run";
}

// One child ends unobserved while the other still runs: asking about either
// reaps both, and each launch's state follows its own child.
TEST_F(LinuxLauncherTest, ChildrenAreWatchedAndReapedInEitherOrder) {
    auto pidWriter = [&](const std::string& name, const std::string& then) {
        return put(name, "#!/bin/sh\necho $$" + into(name + ".pid") + then);
    };
    const std::string waiter = pidWriter("waiter", "for i in $(seq 500); do [ -e '" + file("release") +
                                                       "' ] && break; sleep 0.01; done\nexit 7\n");
    LinuxLauncher launcher(runner_);
    const LaunchResult w = launcher.launch(waiter, false);
    const LaunchResult q = launcher.launch(pidWriter("quick", ""), false);
    ASSERT_TRUE(w.ok && q.ok);
    EXPECT_NE(w.id, q.id);
    const pid_t waiterPid = std::stoi(waitForLines(file("waiter.pid")).at(0));
    const pid_t quickPid = std::stoi(waitForLines(file("quick.pid")).at(0));
    // Asking only about the waiter reaps the quick one: no zombie stays.
    EXPECT_TRUE(eventually([&] { return launcher.state(w.id).running && processState(quickPid) == 0; }))
        << "a zombie?";
    EXPECT_EQ(launcher.state(q.id), (LaunchState{false, 0}));
    EXPECT_TRUE(launcher.state(w.id).running) << "the waiter still runs";

    put("release", "");
    EXPECT_TRUE(eventually([&] { return !launcher.state(w.id).running; }));
    EXPECT_EQ(launcher.state(w.id), (LaunchState{false, 7})) << "its exit status is kept";
    EXPECT_EQ(processState(waiterPid), 0);
    // Reaped by the launcher: nothing left for anyone else to wait for.
    EXPECT_TRUE(::waitpid(waiterPid, nullptr, WNOHANG) == -1 && errno == ECHILD);
    EXPECT_EQ(launcher.state(999), LaunchState{}) << "an unknown launch reads as ended, status unknown";
}

// Stopping a launch ends it and everything it started (its children, one of
// which ignores the polite signal), and nothing else; an ended launch is left
// alone.
TEST_F(LinuxLauncherTest, StopEndsTheLaunchWithEverythingItStartedAndNothingElse) {
    const std::string stubborn = put("stubborn", "#!/bin/sh\ntrap '' TERM\necho $$" + into("stubborn.pid") +
                                                     "while :; do sleep 0.05; done\n");
    const std::string tree =
        put("tree", "#!/bin/sh\nsleep 60 & echo $!" + into("child.pid") + "'" + stubborn + "' &\nwait\n");
    const std::string bystander = put("bystander", "#!/bin/sh\necho $$" + into("bystander.pid") +
                                                       "sleep 60\n");
    LinuxLauncher launcher(runner_);
    const LaunchResult t = launcher.launch(tree, false);
    const LaunchResult b = launcher.launch(bystander, false);
    ASSERT_TRUE(t.ok && b.ok);
    const pid_t child = std::stoi(waitForLines(file("child.pid")).at(0));
    const pid_t stubbornPid = std::stoi(waitForLines(file("stubborn.pid")).at(0));
    const pid_t other = std::stoi(waitForLines(file("bystander.pid")).at(0));
    EXPECT_TRUE(launcher.state(t.id).running);

    launcher.stop(t.id);
    std::this_thread::sleep_for(300ms);
    EXPECT_NE(processState(stubbornPid), 0) << "it should outlive the polite request";
    EXPECT_TRUE(eventually([&] { return !launcher.state(t.id).running; }));
    EXPECT_EQ(launcher.state(t.id).exitStatus, 128 + SIGTERM);
    EXPECT_TRUE(eventually([&] { return processState(child) == 0; })) << "its child outlived it";
    // Killed at a later call, as the watch makes them every 250 ms.
    EXPECT_TRUE(eventually([&] {
        launcher.state(b.id);
        return processState(stubbornPid) == 0 || processState(stubbornPid) == 'Z';
    })) << "a child that ignores SIGTERM is killed";
    if (processState(stubbornPid) != 0) ::kill(stubbornPid, SIGKILL);  // never left behind
    EXPECT_TRUE(launcher.state(b.id).running) << "another launch is not touched";
    EXPECT_NE(processState(other), 0);

    launcher.stop(b.id);
    EXPECT_TRUE(eventually([&] { return !launcher.state(b.id).running; }));
    launcher.stop(b.id);  // ended: nothing happens
    launcher.stop(12345);
}

}  // namespace
}  // namespace fhsw
