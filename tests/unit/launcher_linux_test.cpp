// The Linux launcher: argument splitting, routing of runner scripts through
// the interpreter, the hidden child's session and streams, failures reported
// with nothing started, and children reaped whatever the order of events.
#include "platform/linux/launcher_linux.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fhsw {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "fhsw-launch-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Sets (or with nullopt removes) an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) {
            ::setenv(name, value->c_str(), 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

void writeFile(const std::string& path, const std::string& text, mode_t mode) {
    std::ofstream(path) << text;
    ::chmod(path.c_str(), mode);
}

// A shell script that records its arguments, one a line, into `out`
// (written under another name and renamed, so a reader never sees half).
std::string recorderScript(const std::string& out) {
    return "#!/bin/sh\nPATH=/usr/bin:/bin\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + out +
           ".part'\nmv '" + out + ".part' '" + out + "'\n";
}

std::optional<std::string> waitForFile(const std::string& path,
                                       std::chrono::milliseconds limit = 5s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        std::ifstream in(path);
        if (in) {
            std::stringstream ss;
            ss << in.rdbuf();
            return ss.str();
        }
        std::this_thread::sleep_for(5ms);
    }
    return std::nullopt;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

bool waitUntilNotRunning(Launcher& launcher, std::chrono::milliseconds limit = 5s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (launcher.anyLaunchedRunning()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

// The state letter of a process from /proc, or 0 when it is gone.
char processState(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    if (!std::getline(in, stat)) return 0;
    const auto close = stat.rfind(") ");
    return close == std::string::npos ? 0 : stat[close + 2];
}

// ---- Splitting the launch text --------------------------------------------

TEST(LaunchText, ProgramQuotedOrNotThenArgumentsByTheCRuntimeRules) {
    LaunchLine l = splitLaunchText("  \"/opt/my dir/SENDEMAIL-RUNNER.BAT\"  ");
    EXPECT_EQ(l.program, "/opt/my dir/SENDEMAIL-RUNNER.BAT");
    EXPECT_TRUE(l.arguments.empty());

    l = splitLaunchText("/bin/prog a\tb  \"c d\" e\"f g\"h \"\"");
    EXPECT_EQ(l.program, "/bin/prog");
    EXPECT_EQ(l.arguments, (std::vector<std::string>{"a", "b", "c d", "ef gh", ""}));

    // Backslashes: literal unless before a quote; 2n -> n and a delimiter,
    // 2n+1 -> n and a literal quote. A doubled quote inside quotes is a quote.
    // Blanks and a line end around the whole text are dropped.
    l = splitLaunchText("p a\\b a\\\\\"b c\" a\\\"b a\\\\\\\"b \"x\"\"y\"\r\n");
    EXPECT_EQ(l.arguments, (std::vector<std::string>{R"(a\b)", R"(a\b c)", R"(a"b)",
                                                     R"(a\"b)", R"(x"y)"}));

    // A program path keeps its backslashes; an unclosed quote runs to the end.
    l = splitLaunchText(R"("C:\x\y.bat)");
    EXPECT_EQ(l.program, R"(C:\x\y.bat)");
    EXPECT_TRUE(splitLaunchText("   ").program.empty());
    EXPECT_TRUE(splitLaunchText("\"\"").program.empty());
}

TEST(LaunchText, RunnerScriptsByExtensionInAnyCase) {
    EXPECT_TRUE(isRunnerScriptPath("/x/SENDEMAIL-RUNNER.BAT"));
    EXPECT_TRUE(isRunnerScriptPath("/x/run.bat"));
    EXPECT_TRUE(isRunnerScriptPath("/x/run.Cmd"));
    EXPECT_FALSE(isRunnerScriptPath("/x/run.bat.sh"));
    EXPECT_FALSE(isRunnerScriptPath("/x/runbat"));
    EXPECT_FALSE(isRunnerScriptPath("/x/SendEmail.exe"));
}

// ---- Launching ------------------------------------------------------------

class LinuxLauncherTest : public ::testing::Test {
protected:
    void SetUp() override {
        runner_ = dir_.path() + "/fake-run";
        writeFile(runner_, recorderScript(dir_.path() + "/runner-args"), 0755);
    }

    TempDir dir_;
    std::string runner_;
};

TEST_F(LinuxLauncherTest, HiddenChildHasNullStreamsNewSessionAndNoInheritedDescriptors) {
    // A descriptor this program leaves open on exec must still not reach the child.
    const std::string marker = dir_.path() + "/leak-marker";
    const int leaked = ::open(marker.c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(leaked, 0);

    const std::string out = dir_.path() + "/report";
    const std::string prog = dir_.path() + "/probe";
    writeFile(prog,
              "#!/bin/sh\n"
              "ls -l /proc/$$/fd > '" + out + ".fds'\n"
              "fd0=$(readlink /proc/$$/fd/0); fd1=$(readlink /proc/$$/fd/1);"
              " fd2=$(readlink /proc/$$/fd/2)\n"
              "{ echo \"$$\"; echo \"$fd0\"; echo \"$fd1\"; echo \"$fd2\"; cat /proc/$$/stat;"
              " pwd -P; } > '" + out + ".part'\n"
              "mv '" + out + ".part' '" + out + "'\n",
              0755);
    LinuxLauncher launcher(runner_);
    const LaunchResult r = launcher.launch(prog, false);
    ::close(leaked);
    ASSERT_TRUE(r.ok) << r.error;

    const auto report = waitForFile(out);
    ASSERT_TRUE(report);
    const auto l = lines(*report);
    ASSERT_GE(l.size(), 6u);
    EXPECT_EQ(l[1], "/dev/null");
    EXPECT_EQ(l[2], "/dev/null");
    EXPECT_EQ(l[3], "/dev/null");
    // After the name in the stat line: state ppid pgrp session tty_nr.
    std::istringstream stat(l[4].substr(l[4].rfind(") ") + 2));
    std::string state, ppid, pgrp, session, tty;
    stat >> state >> ppid >> pgrp >> session >> tty;
    EXPECT_EQ(session, l[0]) << "the child leads a session of its own";
    EXPECT_EQ(tty, "0") << "no controlling terminal";
    EXPECT_EQ(l[5], fs::canonical(fs::current_path()).string());
    // The shell's own descriptors: the standard streams, the script it reads.
    const auto fds = waitForFile(out + ".fds");
    ASSERT_TRUE(fds);
    EXPECT_NE(fds->find("0 -> /dev/null"), std::string::npos) << *fds;
    EXPECT_EQ(fds->find("leak-marker"), std::string::npos) << *fds;
    EXPECT_EQ(fds->find("pipe:"), std::string::npos) << *fds;
    EXPECT_EQ(fds->find("socket:"), std::string::npos) << *fds;
    EXPECT_TRUE(waitUntilNotRunning(launcher));
}

TEST_F(LinuxLauncherTest, QuotedPathWithSpacesAndArguments) {
    fs::create_directory(dir_.path() + "/my folder");
    const std::string prog = dir_.path() + "/my folder/my prog";
    const std::string out = dir_.path() + "/args";
    writeFile(prog, recorderScript(out), 0755);

    LinuxLauncher launcher(runner_);
    const LaunchResult r = launcher.launch("\"" + prog + "\" one \"two words\" th\\\"ree", false);
    ASSERT_TRUE(r.ok) << r.error;
    const auto got = waitForFile(out);
    ASSERT_TRUE(got);
    EXPECT_EQ(lines(*got), (std::vector<std::string>{"one", "two words", "th\"ree"}));
    EXPECT_TRUE(waitUntilNotRunning(launcher));
}

TEST_F(LinuxLauncherTest, ProgramWithoutFolderIsFoundOnPath) {
    const std::string bin = dir_.path() + "/bin";
    fs::create_directory(bin);
    const std::string out = dir_.path() + "/path-args";
    writeFile(bin + "/fhsw-path-probe", recorderScript(out), 0755);
    ScopedEnv path("PATH", bin + ":/usr/bin:/bin");

    LinuxLauncher launcher(runner_);
    ASSERT_TRUE(launcher.launch("fhsw-path-probe x", false).ok);
    const auto got = waitForFile(out);
    ASSERT_TRUE(got);
    EXPECT_EQ(*got, "x\n");

    const LaunchResult missing = launcher.launch("fhsw-no-such-program", false);
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.error, "cannot find fhsw-no-such-program");
    EXPECT_TRUE(waitUntilNotRunning(launcher));
}

TEST_F(LinuxLauncherTest, RunnerScriptsGoThroughTheInterpreter) {
    fs::create_directory(dir_.path() + "/install dir");
    const std::string bat = dir_.path() + "/install dir/SENDEMAIL-RUNNER.BAT";
    writeFile(bat, "@echo off\r\n", 0644);  // a script needs no execute bit
    const std::string cmd = dir_.path() + "/other.Cmd";
    writeFile(cmd, "@echo off\r\n", 0644);
    const std::string recorded = dir_.path() + "/runner-args";

    LinuxLauncher launcher(runner_);
    LaunchResult r = launcher.launch("\"" + bat + "\"", false);
    ASSERT_TRUE(r.ok) << r.error;
    auto got = waitForFile(recorded);
    ASSERT_TRUE(got);
    EXPECT_EQ(lines(*got), std::vector<std::string>{bat});
    fs::remove(recorded);

    r = launcher.launch(cmd + " a \"b c\"", false);
    ASSERT_TRUE(r.ok) << r.error;
    got = waitForFile(recorded);
    ASSERT_TRUE(got);
    EXPECT_EQ(lines(*got), (std::vector<std::string>{cmd, "a", "b c"}));
    EXPECT_TRUE(waitUntilNotRunning(launcher));
}

TEST_F(LinuxLauncherTest, FailuresAreReportedAndNothingIsStarted) {
    const std::string recorded = dir_.path() + "/runner-args";
    const std::string bat = dir_.path() + "/SENDEMAIL-RUNNER.BAT";
    LinuxLauncher launcher(runner_);

    auto expectFailure = [&](const std::string& command, const std::string& error) {
        const LaunchResult r = launcher.launch(command, false);
        EXPECT_FALSE(r.ok) << command;
        EXPECT_EQ(r.error, error) << command;
        EXPECT_FALSE(launcher.anyLaunchedRunning()) << command;
    };
    expectFailure("", "empty command");
    expectFailure("  \"\" ", "empty command");
    expectFailure("\"" + bat + "\"", "cannot find " + bat);
    expectFailure(dir_.path() + "/nothing/prog", "cannot find " + dir_.path() + "/nothing/prog");
    expectFailure(dir_.path(), "cannot run " + dir_.path() + ": it is a folder");

    const std::string plain = dir_.path() + "/not-executable";
    writeFile(plain, "#!/bin/sh\n", 0644);
    expectFailure(plain, "cannot run " + plain + ": not an executable file");

    // The exec itself fails in the child: reported before launch returns.
    const std::string garbage = dir_.path() + "/garbage";
    writeFile(garbage, "\x01\x02 not a program\n", 0755);
    expectFailure(garbage, "cannot start " + garbage + ": Exec format error");
    const std::string badInterp = dir_.path() + "/bad-interpreter";
    writeFile(badInterp, "#!/nonexistent/interpreter\n", 0755);
    expectFailure(badInterp, "cannot start " + badInterp + ": No such file or directory");

    // An existing runner script but no interpreter.
    writeFile(bat, "@echo off\r\n", 0644);
    LinuxLauncher noRunner(dir_.path() + "/missing-run");
    const LaunchResult r = noRunner.launch("\"" + bat + "\"", false);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, "cannot find the runner-script interpreter " + dir_.path() + "/missing-run");
    EXPECT_FALSE(noRunner.anyLaunchedRunning());

    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(fs::exists(recorded)) << "the interpreter must never have run";
}

TEST_F(LinuxLauncherTest, VisibleRunnerScriptsNeedADisplayAndATerminal) {
    const std::string bat = dir_.path() + "/SENDEMAIL-RUNNER.BAT";
    writeFile(bat, "@echo off\r\n", 0644);
    const std::string bin = dir_.path() + "/bin";
    fs::create_directory(bin);
    LinuxLauncher launcher(runner_);
    {
        ScopedEnv display("DISPLAY", std::nullopt);
        ScopedEnv wayland("WAYLAND_DISPLAY", std::nullopt);
        const LaunchResult r = launcher.launch("\"" + bat + "\"", true);
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.error.find("no display"), std::string::npos) << r.error;
    }
    ScopedEnv display("DISPLAY", ":fhsw-test");
    {
        ScopedEnv path("PATH", bin);  // no terminal program there
        const LaunchResult r = launcher.launch("\"" + bat + "\"", true);
        EXPECT_FALSE(r.ok);
        EXPECT_NE(r.error.find("no terminal program"), std::string::npos) << r.error;
    }
    EXPECT_FALSE(launcher.anyLaunchedRunning());
    EXPECT_FALSE(fs::exists(dir_.path() + "/runner-args"));

    // Stand-in terminals record how they were asked to run the script;
    // x-terminal-emulator is preferred, xterm is the fallback.
    ScopedEnv path("PATH", bin);
    writeFile(bin + "/xterm", recorderScript(dir_.path() + "/xterm-args"), 0755);
    ASSERT_TRUE(launcher.launch("\"" + bat + "\" go", true).ok);
    auto got = waitForFile(dir_.path() + "/xterm-args");
    ASSERT_TRUE(got);
    EXPECT_EQ(lines(*got), (std::vector<std::string>{"-e", runner_, bat, "go"}));

    writeFile(bin + "/x-terminal-emulator", recorderScript(dir_.path() + "/xte-args"), 0755);
    const std::string cmd = dir_.path() + "/job.CMD";
    writeFile(cmd, "@echo off\r\n", 0644);
    ASSERT_TRUE(launcher.launch(cmd + " 1 2", true).ok);
    got = waitForFile(dir_.path() + "/xte-args");
    ASSERT_TRUE(got);
    EXPECT_EQ(lines(*got), (std::vector<std::string>{"-e", runner_, cmd, "1", "2"}));

    // Any other program (the log opener) brings its own window: no terminal.
    const std::string prog = dir_.path() + "/prog";
    writeFile(prog, recorderScript(dir_.path() + "/prog-args"), 0755);
    ASSERT_TRUE(launcher.launch(prog + " \"a b\"", true).ok);
    got = waitForFile(dir_.path() + "/prog-args");
    ASSERT_TRUE(got);
    EXPECT_EQ(lines(*got), (std::vector<std::string>{"a b"}));
    EXPECT_TRUE(waitUntilNotRunning(launcher));
}

// ---- Watching and reaping the children ------------------------------------

TEST_F(LinuxLauncherTest, RunningUntilTheChildEndsThenReaped) {
    // The child ends after it was seen running.
    const std::string pidFile = dir_.path() + "/pid";
    const std::string release = dir_.path() + "/release";
    const std::string prog = dir_.path() + "/waiter";
    writeFile(prog,
              "#!/bin/sh\necho $$ > '" + pidFile + ".part'; mv '" + pidFile + ".part' '" +
                  pidFile + "'\n"
                  "i=0; while [ ! -e '" + release + "' ] && [ $i -lt 500 ]; do "
                  "sleep 0.01; i=$((i+1)); done\n",
              0755);
    LinuxLauncher launcher(runner_);
    ASSERT_TRUE(launcher.launch(prog, false).ok);
    EXPECT_TRUE(launcher.anyLaunchedRunning());
    const auto pidText = waitForFile(pidFile);
    ASSERT_TRUE(pidText);
    const pid_t pid = std::stoi(*pidText);
    EXPECT_TRUE(launcher.anyLaunchedRunning());
    EXPECT_NE(processState(pid), 0);

    writeFile(release, "", 0644);
    EXPECT_TRUE(waitUntilNotRunning(launcher));
    // Reaped by the launcher: no zombie left, and nothing left for us to wait for.
    EXPECT_EQ(processState(pid), 0);
    int status = 0;
    const pid_t waited = ::waitpid(pid, &status, WNOHANG);
    const int waitErrno = errno;
    EXPECT_EQ(waited, -1);
    EXPECT_EQ(waitErrno, ECHILD);
}

TEST_F(LinuxLauncherTest, ChildThatEndsUnobservedIsStillReaped) {
    // Nobody asks whether anything runs: the child must not stay a zombie.
    const std::string pidFile = dir_.path() + "/pid";
    const std::string prog = dir_.path() + "/quick";
    writeFile(prog, "#!/bin/sh\necho $$ > '" + pidFile + ".part'; mv '" + pidFile + ".part' '" +
                        pidFile + "'\n",
              0755);
    LinuxLauncher launcher(runner_);
    ASSERT_TRUE(launcher.launch(prog, false).ok);
    const auto pidText = waitForFile(pidFile);
    ASSERT_TRUE(pidText);
    const pid_t pid = std::stoi(*pidText);

    const auto end = std::chrono::steady_clock::now() + 5s;
    while (processState(pid) != 0 && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(5ms);
    }
    EXPECT_EQ(processState(pid), 0) << "still in the process table (a zombie?)";
    EXPECT_FALSE(launcher.anyLaunchedRunning());
}

TEST_F(LinuxLauncherTest, SeveralChildrenEndingInAnyOrder) {
    LinuxLauncher launcher(runner_);
    ASSERT_TRUE(launcher.launch("/bin/sleep 0.4", false).ok);
    ASSERT_TRUE(launcher.launch("/bin/sleep 0.1", false).ok);
    std::this_thread::sleep_for(250ms);
    EXPECT_TRUE(launcher.anyLaunchedRunning()) << "the longer one still runs";
    EXPECT_TRUE(waitUntilNotRunning(launcher));
}

}  // namespace
}  // namespace fhsw
