// The Linux launcher with real processes: failures reported with nothing
// started, runner scripts that another user could have put in place refused,
// a shown runner script in a terminal, and a stopped launch ended with all
// it started.
#include "platform/linux/launcher_linux.h"

#include <gtest/gtest.h>

#include "linux_test_support.h"
#include "support/scoped_env.h"

namespace fhsw::test {
namespace {

class LinuxLauncherTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* sub : {"bin", "my folder"}) fs::create_directory(dir / sub);
        runner = recorder("fake-run");
    }
    // Shell text that sends the output before it to `name`, which appears
    // whole (written under another name first).
    std::string into(const std::string& name) const {
        return " > '" + dir / name + ".part' && /bin/mv '" + dir / name + ".part' '" + dir / name + "'\n";
    }
    // A script that records its arguments ("a|b|") into <its name>.args.
    std::string recorder(const std::string& name) {
        return WriteFile(dir / name, "#!/bin/sh\nprintf '%s|' \"$@\"" + into(name + ".args"), 0755);
    }
    // What a file holds once it is there; "<missing>" if it never is.
    std::string waitFor(const std::string& name) const {
        return Eventually([&] { return fs::exists(dir / name); }) ? ReadFile(dir / name) : "<missing>";
    }
    pid_t pidIn(const std::string& name) const { return std::stoi(waitFor(name)); }

    TempFolder dir;
    std::string runner;
};

// What cannot start says why, and nothing is started; then what can. (The
// end-to-end sends launch hidden runner scripts, and the log viewer, a
// program found on PATH.)
TEST_F(LinuxLauncherTest, FailuresSayWhyAndNothingIsStarted) {
    const std::string bat = dir / "my folder/SENDEMAIL-RUNNER.BAT";  // not there
    const std::string there = WriteFile(dir / "job.BAT", "@echo off\r\n");
    const std::string garbage = WriteFile(dir / "garbage", "\x01\x02 not a program\n", 0755);
    // Runner scripts that others could have put in place of ours (another
    // user's file: the end-to-end test of planted scripts).
    const std::string link = dir / "link.BAT", fifo = dir / "fifo.bat";
    fs::create_symlink(there, link);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ScopedEnv path("PATH", (dir / "bin").c_str());  // holds no terminal program
    ScopedEnv wayland("WAYLAND_DISPLAY", nullptr);
    LinuxLauncher launcher(runner);
    // command, visible, with a display, error
    const std::vector<std::tuple<std::string, bool, bool, std::string>> cases = {
        {"  \"\" ", false, true, "empty command"},
        {"\"" + bat + "\"", false, true, "cannot start " + bat + ": No such file or directory"},
        {garbage, false, true, "cannot start " + garbage + ": Exec format error"},
        {there, true, false, "no display for a visible window (DISPLAY is not set)"},
        {there, true, true,
         "no terminal program for a visible window (neither x-terminal-emulator nor xterm was found)"},
        {link, false, true, "will not run " + link + ": it is a symbolic link, not a file of yours"},
        {fifo, false, true, "will not run " + fifo + ": it is not a regular file"}};
    for (const auto& [command, visible, display, error] : cases) {
        ScopedEnv displayEnv("DISPLAY", display ? ":fhsw-test" : nullptr);
        const LaunchResult r = launcher.launch(command, visible);
        EXPECT_EQ(r.ok ? "started" : r.error, error) << command;
    }
    const LaunchResult r = LinuxLauncher(dir / "missing-run").launch(there, false);
    EXPECT_EQ(r.error, "cannot start " + dir / "missing-run" + ": No such file or directory");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(fs::exists(dir / "fake-run.args")) << "the interpreter must never have run";
    // With a terminal: a runner script shown runs through the interpreter in
    // it (xterm when there is no x-terminal-emulator). Blanks and a line end
    // around the launch text do not count.
    recorder("bin/xterm");
    ScopedEnv display("DISPLAY", ":fhsw-test");
    ASSERT_TRUE(launcher.launch("  \"" + there + "\" \r\n", true).ok);
    EXPECT_EQ(waitFor("bin/xterm.args"), "-e|" + runner + "|" + there + "|");
}

// Stopping a launch ends it and everything it started (its children, one of
// which ignores the polite signal), and nothing else. Ended children are
// reaped at any call, whichever launch it asks about: no zombie stays.
TEST_F(LinuxLauncherTest, StopEndsTheLaunchWithEverythingItStartedAndNothingElse) {
    const std::string stubborn = WriteFile(dir / "stubborn", "#!/bin/sh\ntrap '' TERM\necho $$" + into("stubborn.pid") +
        "while :; do sleep 0.05; done\n", 0755);
    const std::string tree = WriteFile(dir / "tree", "#!/bin/sh\necho $$" + into("tree.pid") + "sleep 60 & echo $!" +
        into("child.pid") + "'" + stubborn + "' &\nwait\n", 0755);
    const std::string bystander = WriteFile(dir / "bystander", "#!/bin/sh\necho $$" + into("bystander.pid") +
        "sleep 60\n", 0755);
    LinuxLauncher launcher(runner);
    const LaunchResult t = launcher.launch(tree, false), b = launcher.launch(bystander, false);
    const pid_t leader = pidIn("tree.pid"), child = pidIn("child.pid"), stubbornPid = pidIn("stubborn.pid");
    const pid_t other = pidIn("bystander.pid");
    launcher.stop(t.id);
    EXPECT_TRUE(Eventually([&] { return ProcessState(child) == 0; })) << "its child outlived it";
    // Killed at a later call, as the watch makes them every 250 ms.
    EXPECT_TRUE(Eventually([&] {
        launcher.state(b.id);
        return ProcessState(leader) == 0 && (ProcessState(stubbornPid) == 0 || ProcessState(stubbornPid) == 'Z');
    })) << "a child that ignores SIGTERM is killed, the leader reaped";
    if (ProcessState(stubbornPid) != 0) ::kill(stubbornPid, SIGKILL);  // never left behind
    EXPECT_EQ(launcher.state(t.id), (LaunchState{false, 128 + SIGTERM}));
    EXPECT_TRUE(launcher.state(b.id).running) << "another launch is not touched";
    launcher.stop(b.id);
    EXPECT_TRUE(Eventually([&] { return launcher.state(b.id) == LaunchState{false, 128 + SIGTERM}; }));
    EXPECT_TRUE(::waitpid(other, nullptr, WNOHANG) == -1 && errno == ECHILD) << "reaped by the launcher";
}

}  // namespace
}  // namespace fhsw::test
