// The Linux process query against real processes: Debian's sendemail under an
// install-folder name before and after it renames itself, scripts run through
// their #! line, names past the kernel's 15-byte limit, case, near misses and
// zombies.
//
// Other programs on this machine may run a real SendEmail.exe at any time, so
// a check that nothing counts uses a name of this test's own with the same
// shape (13 bytes, ".exe"): the kernel name and the renamed command line
// behave alike.
#include "platform/linux/process_query_linux.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <list>
#include <thread>

extern char** environ;

namespace fhsw {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string procText(pid_t pid, const char* file) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/" + file);
    return {std::istreambuf_iterator<char>(in), {}};
}

char stateOf(pid_t pid) {
    const std::string stat = procText(pid, "stat");
    return stat.rfind(") ") == std::string::npos ? 0 : stat[stat.rfind(") ") + 2];
}

// Whether sendemail has renamed itself to "<name> -f ...".
bool renamed(pid_t p, const std::string& n) { return procText(p, "cmdline").rfind(n + " -f ", 0) == 0; }

// Polls until `done` holds, for at most three seconds.
template <typename Done>
bool eventually(Done done) {
    const auto end = std::chrono::steady_clock::now() + 3s;
    while (!done() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(2ms);
    return done();
}

// A process of this test, `program` (args[0] when empty; otherwise args[0] is
// just the starter's choice): its own session, streams on /dev/null (the mailer
// must never see a terminal), killed and reaped by its id at the end.
struct Child {
    pid_t pid = -1;

    explicit Child(std::vector<std::string> args, bool stopAtOnce, const std::string& program) {
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        for (int fd : {0, 1, 2}) posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", O_RDWR, 0);
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
        const char* path = program.empty() ? argv[0] : program.c_str();
        if (::posix_spawn(&pid, path, &actions, &attr, argv.data(), environ) != 0) pid = -1;
        if (pid > 0 && stopAtOnce) ::kill(pid, SIGSTOP);
        posix_spawnattr_destroy(&attr);
        posix_spawn_file_actions_destroy(&actions);
        // posix_spawn returns as soon as the child has left this program's
        // memory, a moment before the kernel gives it the new program's name,
        // and the name comes a moment before its command line: wait for both.
        const std::string own = procText(::getpid(), "comm"), ownLine = procText(::getpid(), "cmdline");
        eventually([&] {
            if (pid <= 0 || stateOf(pid) == 'Z') return true;
            const std::string line = procText(pid, "cmdline");
            return procText(pid, "comm") != own && !line.empty() && line != ownLine;
        });
    }
    ~Child() { end(); }
    void end() {
        if (pid > 0 && ::kill(pid, SIGKILL) == 0) ::waitpid(pid, nullptr, 0);
        pid = -1;
    }
};

std::string upper(std::string s) {
    for (char& c : s) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    return s;
}

class LinuxProcessQueryTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "fhsw-query-XXXXXX").string();
        dir_ = ::mkdtemp(pattern.data());
        fs::create_directory(dir_ + "/s");
        std::ofstream(dir_ + "/sleeper") << "#!/usr/bin/perl\nsleep 30;\n";
        fs::permissions(dir_ + "/sleeper", fs::perms::owner_all);
        // A loopback "mail server" that takes connections and never says a word.
        sockaddr_in addr{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t len = sizeof addr;
        auto* any = reinterpret_cast<sockaddr*>(&addr);
        ASSERT_TRUE(::bind(server_, any, len) == 0 && ::listen(server_, 8) == 0);
        ASSERT_EQ(::getsockname(server_, any, &len), 0);
        port_ = ntohs(addr.sin_port);
    }
    void TearDown() override { ::close(server_); fs::remove_all(dir_); }

    bool running(const std::string& name) { return query_.isProcessRunning(name); }
    Child& spawn(std::vector<std::string> args, bool stopAtOnce = false, const std::string& exe = "") {
        return children_.emplace_back(std::move(args), stopAtOnce, exe);
    }
    // The program `from` under another name, copied or linked.
    std::string file(const std::string& from, const std::string& name, bool link = false) {
        const std::string to = dir_ + "/" + name;
        link ? fs::create_symlink(from, to) : (void)fs::copy_file(from, to);
        return to;
    }
    std::string script(const std::string& name) { return file(dir_ + "/sleeper", name); }  // Perl
    // Debian's sendemail linked as `name`, sending to the silent server (where
    // it waits until its timeout), stopped straight after exec while Perl is
    // still reading the script.
    Child& startMailer(const std::string& name) {
        Child& mailer = spawn({file("/usr/bin/sendemail", name, true), "-f", "a@example.com", "-t",
                               "b@example.com", "-u", "subject", "-m", "body", "-s",
                               "127.0.0.1:" + std::to_string(port_), "-o", "timeout=5"}, true);
        EXPECT_TRUE(eventually([&] { return stateOf(mailer.pid) == 'T'; }));
        EXPECT_FALSE(renamed(mailer.pid, name)) << "stopped too late";
        return mailer;
    }

    // "SendQnnnn.exe": 13 bytes like SendEmail.exe, unique to this test process.
    const std::string ours_ = "SendQ" + std::to_string(10000 + ::getpid() % 10000).substr(1) + ".exe";
    std::string dir_;
    int server_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0), port_ = 0;
    LinuxProcessQuery query_;
    std::list<Child> children_;
};

// Under a 13-byte name like SendEmail.exe's, and under a name longer than the
// 15 bytes that the kernel keeps (the script is then argv[2], after Perl's
// option, until the rename).
TEST_F(LinuxProcessQueryTest, SendEmailCountsFromStartThroughItsRenameUntilKilled) {
    const std::string longName = "SendEmailLongName" + std::to_string(::getpid()) + ".exe";
    for (const std::string& name : {std::string("SendEmail.exe"), ours_, longName}) {
        SCOPED_TRACE(name);
        const std::string sibling = name.substr(0, 15) + "X.exe";  // the same first 15 bytes
        const bool ours = name != "SendEmail.exe";  // nobody else runs one: it may also be absent
        EXPECT_TRUE(!ours || !running(name));
        Child& mailer = startMailer(name);
        EXPECT_TRUE(running(name));
        EXPECT_FALSE(running(sibling));
        // Running on: counts at every look, through the rename and after it.
        ::kill(mailer.pid, SIGCONT);
        int after = 0;  // looks after the rename
        for (int look = 0; look < 1000 && after < 20; ++look, std::this_thread::sleep_for(3ms)) {
            after += after > 0 || renamed(mailer.pid, name);
            ASSERT_TRUE(running(name)) << after << " looks after the rename";
        }
        ASSERT_EQ(after, 20) << "sendemail did not rename itself";
        EXPECT_TRUE(running(upper(name)));
        EXPECT_FALSE(running(sibling));
        EXPECT_EQ(stateOf(mailer.pid), 'S') << "still waiting for the server";
        mailer.end();
        EXPECT_TRUE(!ours || !running(name));
    }
}

TEST_F(LinuxProcessQueryTest, LongNamesOfProgramsAndScripts) {
    const std::string binary = "SendEmailLongName" + std::to_string(::getpid()) + ".exe";
    const std::string perlScript = "SendEmailLongScript" + std::to_string(::getpid()) + ".exe";
    spawn({file("/bin/sleep", binary), "30"});  // a binary: the file name of argv[0]
    spawn({script(perlScript)});               // no interpreter option: the script is argv[1]
    EXPECT_TRUE(running(binary));
    EXPECT_TRUE(running(perlScript));
    EXPECT_FALSE(running(binary.substr(0, 15) + "X.exe"));
}

// Another user's process of the name never counts; the same program run by
// this user does. Needs root to start a process as another user.
TEST_F(LinuxProcessQueryTest, OnlyThisUsersProcessesCount) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to run a process as another user";
    fs::permissions(dir_, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    const std::string program = file("/bin/sleep", ours_);
    const Child& theirs = spawn({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                                 program, "30"});
    ASSERT_GT(theirs.pid, 0);
    // setpriv takes the other user's identity, then runs the program.
    ASSERT_TRUE(eventually([&] {
        struct stat st {};
        return procText(theirs.pid, "comm") == ours_ + "\n" &&
               ::stat(("/proc/" + std::to_string(theirs.pid)).c_str(), &st) == 0 && st.st_uid == 65534;
    }));
    EXPECT_FALSE(running(ours_));
    Child& mine = spawn({program, "30"});
    EXPECT_TRUE(running(ours_));
    mine.end();
    EXPECT_FALSE(running(ours_)) << "the other user's copy still runs";
}

// Processes that merely look like the program: other names, the file given
// to another program, the name only in argv[0], and a program that has ended.
TEST_F(LinuxProcessQueryTest, NearMissesDoNotCount) {
    auto expectNotCounted = [&](const std::string& what, const Child& child) {
        ASSERT_GT(child.pid, 0) << what;
        EXPECT_FALSE(running(ours_)) << what;
    };
    for (const std::string& other : {ours_ + ".bak", "x" + ours_, ours_.substr(0, 12), ours_ + " x"}) {
        expectNotCounted(other, spawn({file("/bin/sleep", other), "5"}));
    }
    const std::string path = script("s/" + ours_);
    expectNotCounted("perl given the script", spawn({"/usr/bin/perl", path}));
    const std::string whileWeRun = "--pid=" + std::to_string(::getpid());
    expectNotCounted("an editor given it", spawn({"/usr/bin/tail", whileWeRun, "-f", path}));
    expectNotCounted("the name only in argv[0]", spawn({path, "5"}, false, "/bin/sleep"));
    const Child& zombie = spawn({file("/bin/true", ours_)});
    ASSERT_TRUE(eventually([&] { return stateOf(zombie.pid) == 'Z'; }));  // ended, not yet reaped
    expectNotCounted("a zombie", zombie);

    EXPECT_TRUE(running(ours_ + ".bak")) << "the copies did run";
    EXPECT_TRUE(running(upper(ours_ + ".bak")));
    EXPECT_FALSE(running(""));
}

}  // namespace
}  // namespace fhsw
