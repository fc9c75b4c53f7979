// The Linux process query against real processes: a process of the name
// counts; near misses, a zombie and another user's process do not. (That
// sendemail is seen through the way Perl renames it, the end-to-end sends
// show: they watch the real one.)
//
// Other programs on this machine may run a real SendEmail.exe at any time, so
// the checks use a name of this test's own with the same shape (13 bytes,
// ".exe"): the kernel name and the renamed command line behave alike.
#include "platform/linux/process_query_linux.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include "linux_test_support.h"

namespace fhsw::test {
namespace {

std::string Proc(pid_t pid, const char* file) { return ReadFile("/proc/" + std::to_string(pid) + "/" + file); }

class LinuxProcessQueryTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (pid_t pid : children)
            if (::kill(pid, SIGKILL) == 0) ::waitpid(pid, nullptr, 0);
    }
    // Starts `args` (the program `path`, args[0] when empty) in a session of
    // its own with its streams on /dev/null, and waits until the kernel has
    // given it the program's name.
    pid_t spawn(std::vector<std::string> args, const std::string& path = "") {
        const std::string own = Proc(::getpid(), "comm");
        const pid_t pid = ::fork();
        if (pid == 0) {
            const int null = ::open("/dev/null", O_RDWR);
            if (::setsid() < 0 || ::dup2(null, 0) < 0 || ::dup2(null, 1) < 0 || ::dup2(null, 2) < 0) ::_exit(126);
            std::vector<char*> argv;
            for (std::string& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(path.empty() ? argv[0] : path.c_str(), argv.data());
            ::_exit(127);
        }
        children.push_back(pid);
        EXPECT_TRUE(Eventually([&] { return ProcessState(pid) == 'Z' || Proc(pid, "comm") != own; }));
        return pid;
    }
    // A copy of `program` named `name` in a folder of its own.
    std::string copy(const std::string& program, const std::string& name) {
        fs::create_directory(dir / std::to_string(children.size()));
        const std::string to = dir / std::to_string(children.size()) + "/" + name;
        fs::copy_file(program, to);
        return to;
    }
    bool running(const std::string& name) { return query.isProcessRunning(name); }

    // "SendQnnnn.exe": 13 bytes like SendEmail.exe, unique to this test process.
    const std::string ours = "SendQ" + std::to_string(10000 + ::getpid() % 10000).substr(1) + ".exe";
    TempFolder dir;
    LinuxProcessQuery query;
    std::vector<pid_t> children;
};

TEST_F(LinuxProcessQueryTest, OnlyThisUsersLiveProcessesOfTheNameCount) {
    // Processes that merely look like it: one named "<name> x", the file
    // given to another program or only named in argv[0], one that has ended
    // (a zombie), another user's.
    spawn({copy("/bin/sleep", ours + " x"), "30"});
    const std::string script = WriteFile(dir / ours, "#!/usr/bin/perl\nsleep 30;\n", 0755);
    spawn({"/usr/bin/perl", script});
    spawn({script, "30"}, "/bin/sleep");
    const pid_t zombie = spawn({copy("/bin/true", ours)});
    ASSERT_TRUE(Eventually([&] { return ProcessState(zombie) == 'Z'; }));
    if (::geteuid() == 0) {  // setpriv takes the other user's identity, then runs the program
        fs::permissions(dir.path, fs::perms(0755));
        const pid_t theirs = spawn({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                                    copy("/bin/sleep", ours), "30"});
        ASSERT_TRUE(Eventually([&] { return Proc(theirs, "comm") == ours + "\n"; }));
    }
    EXPECT_FALSE(running(ours));
    spawn({copy("/bin/sleep", ours), "30"});
    EXPECT_TRUE(running("SENDQ" + ours.substr(5, 4) + ".EXE")) << "this user's own, whatever the case";
}

}  // namespace
}  // namespace fhsw::test
