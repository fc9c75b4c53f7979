// The Linux process query against real processes: Debian's sendemail under an
// install-folder name before and after it renames itself, scripts run through
// their #! line, names past the kernel's 15-byte limit, case, near misses and
// zombies.
//
// Other programs on this machine may run a real SendEmail.exe at any time, so
// most cases use a name of this test's own with the same shape (13 bytes,
// ".exe"): the kernel name and the renamed command line behave alike.
#include "platform/linux/process_query_linux.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace fhsw {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "fhsw-query-XXXXXX").string();
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

std::string procText(pid_t pid, const char* file) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/" + file);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

char stateOf(pid_t pid) {
    const std::string stat = procText(pid, "stat");
    const auto close = stat.rfind(") ");
    return close == std::string::npos ? 0 : stat[close + 2];
}

// A process of this test: own session, streams on /dev/null (the mailer must
// never see a terminal), killed and reaped by its id at the end of the scope.
class Child {
public:
    explicit Child(const std::vector<std::string>& args, bool stopAtOnce = false) {
        std::vector<char*> argv;
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
        // glibc returns once the child has executed the program.
        if (::posix_spawn(&pid_, argv[0], &actions, &attr, argv.data(), environ) != 0) pid_ = -1;
        if (pid_ > 0 && stopAtOnce) ::kill(pid_, SIGSTOP);
        posix_spawnattr_destroy(&attr);
        posix_spawn_file_actions_destroy(&actions);
        waitUntilRenamedByExec();
    }
    ~Child() { end(); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return pid_; }
    void end() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        reap();
    }
    void reap() {
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
    }

private:
    // posix_spawn returns as soon as the child has left this program's
    // memory, a moment before the kernel gives it the new program's name and
    // command line.
    void waitUntilRenamedByExec() const {
        if (pid_ <= 0) return;
        const std::string own = readAll("/proc/self/comm");
        const std::string proc = "/proc/" + std::to_string(pid_);
        for (int i = 0; i < 1000; ++i) {
            if (readAll(proc + "/comm") != own && !readAll(proc + "/cmdline").empty()) return;
            if (stateOf(pid_) == 'Z' || stateOf(pid_) == 0) return;  // already ended
            std::this_thread::sleep_for(1ms);
        }
    }
    static std::string readAll(const std::string& path) {
        std::ifstream in(path);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

    pid_t pid_ = -1;
};

bool waitForState(pid_t pid, char state) {
    for (int i = 0; i < 1000; ++i) {
        if (stateOf(pid) == state) return true;
        std::this_thread::sleep_for(2ms);
    }
    return false;
}

// A loopback "mail server" that takes connections and never says a word.
class SilentServer {
public:
    SilentServer() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), len) != 0 ||
            ::listen(fd_, 8) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
            return;
        }
        port_ = ntohs(addr.sin_port);
    }
    ~SilentServer() {
        if (fd_ >= 0) ::close(fd_);
    }
    int port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
};

std::vector<std::string> sendEmailArgs(const std::string& program, int port) {
    return {program, "-f", "from@example.com", "-t", "to@example.com", "-u", "subject",
            "-m", "body", "-s", "127.0.0.1:" + std::to_string(port), "-o", "timeout=5"};
}

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

class LinuxProcessQueryTest : public ::testing::Test {
protected:
    // "SendQnnnn.exe": 13 bytes like SendEmail.exe, unique to this test process.
    std::string ownName(char letter = 'Q') const {
        char buf[32];
        std::snprintf(buf, sizeof buf, "Send%c%04d.exe", letter, static_cast<int>(::getpid() % 10000));
        return buf;
    }
    std::string copyOf(const std::string& from, const std::string& name) {
        const std::string to = dir_.path() + "/" + name;
        fs::copy_file(from, to);
        fs::permissions(to, fs::perms::owner_all);
        return to;
    }
    std::string linkTo(const std::string& target, const std::string& name) {
        const std::string link = dir_.path() + "/" + name;
        fs::create_symlink(target, link);
        return link;
    }
    std::string script(const std::string& name, const std::string& text) {
        const std::string path = dir_.path() + "/" + name;
        std::ofstream(path) << text;
        fs::permissions(path, fs::perms::owner_all);
        return path;
    }
    // Waits until sendemail has renamed itself to "<name> -f ...".
    bool waitForRename(pid_t pid, const std::string& name) {
        for (int i = 0; i < 1500; ++i) {
            if (procText(pid, "cmdline").rfind(name + " -f ", 0) == 0) return true;
            std::this_thread::sleep_for(2ms);
        }
        return false;
    }

    TempDir dir_;
    LinuxProcessQuery query_;
};

TEST_F(LinuxProcessQueryTest, SendEmailCountsBeforeAndAfterItRenamesItself) {
    const std::string name = ownName();
    const std::string link = linkTo("/usr/bin/sendemail", name);
    SilentServer server;
    ASSERT_GT(server.port(), 0);
    EXPECT_FALSE(query_.isProcessRunning(name));

    // Stopped straight after exec, while Perl is still reading the script.
    Child mailer(sendEmailArgs(link, server.port()), true);
    ASSERT_GT(mailer.pid(), 0);
    ASSERT_TRUE(waitForState(mailer.pid(), 'T'));
    const std::string before = procText(mailer.pid(), "cmdline");
    EXPECT_EQ(before.rfind(std::string("/usr/bin/perl\0-w\0", 17) + link + '\0', 0), 0u)
        << "not the command line of a script just started through its #! line";
    EXPECT_EQ(procText(mailer.pid(), "comm"), name + "\n");
    EXPECT_TRUE(query_.isProcessRunning(name));

    // Running on: counts at every look, through the rename and after it.
    ::kill(mailer.pid(), SIGCONT);
    bool renamed = false;
    int looksAfterRename = 0;
    const auto end = std::chrono::steady_clock::now() + 3s;
    while (looksAfterRename < 20 && std::chrono::steady_clock::now() < end) {
        const bool nowRenamed = procText(mailer.pid(), "cmdline").rfind(name + " -f ", 0) == 0;
        ASSERT_TRUE(query_.isProcessRunning(name));
        renamed = renamed || nowRenamed;
        if (renamed) ++looksAfterRename;
        std::this_thread::sleep_for(3ms);
    }
    ASSERT_TRUE(renamed) << "sendemail did not rename itself";
    EXPECT_EQ(procText(mailer.pid(), "comm"), name + " -\n");
    EXPECT_TRUE(query_.isProcessRunning(upper(name)));
    EXPECT_FALSE(query_.isProcessRunning(name.substr(0, name.size() - 1)));
    EXPECT_EQ(stateOf(mailer.pid()), 'S') << "still waiting for the server";

    mailer.end();
    EXPECT_FALSE(query_.isProcessRunning(name));
}

TEST_F(LinuxProcessQueryTest, SendEmailExeInAnInstallFolder) {
    const std::string link = linkTo("/usr/bin/sendemail", "SendEmail.exe");
    SilentServer server;
    ASSERT_GT(server.port(), 0);
    Child mailer(sendEmailArgs(link, server.port()));
    ASSERT_GT(mailer.pid(), 0);
    ASSERT_TRUE(waitForRename(mailer.pid(), "SendEmail.exe"));
    EXPECT_TRUE(query_.isProcessRunning("SendEmail.exe"));
    EXPECT_TRUE(query_.isProcessRunning("sendemail.EXE"));
}

TEST_F(LinuxProcessQueryTest, NamesLongerThanTheKernelKeeps) {
    const std::string name = "SendEmailLongName" + std::to_string(::getpid()) + ".exe";
    const std::string sibling = "SendEmailLongNameX.exe";  // same first 15 bytes
    const std::string link = linkTo("/usr/bin/sendemail", name);
    SilentServer server;
    ASSERT_GT(server.port(), 0);

    Child mailer(sendEmailArgs(link, server.port()), true);
    ASSERT_GT(mailer.pid(), 0);
    ASSERT_TRUE(waitForState(mailer.pid(), 'T'));
    EXPECT_TRUE(query_.isProcessRunning(name));  // the script is argv[2]
    EXPECT_FALSE(query_.isProcessRunning(sibling));

    ::kill(mailer.pid(), SIGCONT);
    ASSERT_TRUE(waitForRename(mailer.pid(), name));
    EXPECT_TRUE(query_.isProcessRunning(upper(name)));
    EXPECT_FALSE(query_.isProcessRunning(sibling));

    // A native program under a long name: the file name of argv[0].
    mailer.end();
    Child native({copyOf("/bin/sleep", sibling), "5"});
    EXPECT_TRUE(query_.isProcessRunning(sibling));
    EXPECT_FALSE(query_.isProcessRunning(name));
}

TEST_F(LinuxProcessQueryTest, ScriptsCountWhenStartedThroughTheirHashBangLine) {
    const std::string name = ownName();
    const std::string plain = script(name, "#!/usr/bin/perl\nsleep 5;\n");
    {
        Child child({plain});  // perl, script as argv[1]
        ASSERT_GT(child.pid(), 0);
        EXPECT_TRUE(query_.isProcessRunning(name));
    }
    EXPECT_FALSE(query_.isProcessRunning(name));

    // The interpreter named by hand runs as the interpreter, like an editor
    // given the file: neither is that program.
    Child byHand({"/usr/bin/perl", plain});
    Child viewer({"/usr/bin/tail", "-f", plain});
    ASSERT_GT(byHand.pid(), 0);
    ASSERT_GT(viewer.pid(), 0);
    EXPECT_FALSE(query_.isProcessRunning(name));

    // A long name, script without an interpreter option: argv[1].
    const std::string longName = "SendEmailLongScript" + std::to_string(::getpid()) + ".exe";
    Child longScript({script(longName, "#!/usr/bin/perl\nsleep 5;\n")});
    ASSERT_GT(longScript.pid(), 0);
    EXPECT_TRUE(query_.isProcessRunning(longName));
}

TEST_F(LinuxProcessQueryTest, CaseDoesNotMatterAndLinksCountUnderTheirOwnName) {
    const std::string name = ownName();
    std::string lower = name;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    lower.replace(lower.size() - 3, 3, "EXE");  // "sendqnnnn.EXE"
    Child copy({copyOf("/bin/sleep", lower), "5"});
    ASSERT_GT(copy.pid(), 0);
    EXPECT_TRUE(query_.isProcessRunning(name));
    EXPECT_TRUE(query_.isProcessRunning(upper(name)));

    const std::string linkName = ownName('R');
    Child linked({linkTo("/bin/sleep", linkName), "5"});
    ASSERT_GT(linked.pid(), 0);
    EXPECT_TRUE(query_.isProcessRunning(linkName));
}

TEST_F(LinuxProcessQueryTest, NearMissesDoNotCount) {
    const std::string name = ownName();
    std::vector<std::unique_ptr<Child>> children;
    for (const std::string& other : {name + ".bak", "x" + name, name.substr(0, name.size() - 1),
                                     name + " x"}) {
        children.push_back(std::make_unique<Child>(
            std::vector<std::string>{copyOf("/bin/sleep", other), "5"}));
        ASSERT_GT(children.back()->pid(), 0) << other;
    }
    // argv[0] is the starter's choice; the program started is sleep.
    posix_spawn_file_actions_t none;
    posix_spawn_file_actions_init(&none);
    std::string fakeArgv0 = dir_.path() + "/" + name;
    char* argv[] = {fakeArgv0.data(), const_cast<char*>("5"), nullptr};
    pid_t pid = -1;
    ASSERT_EQ(::posix_spawn(&pid, "/bin/sleep", &none, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&none);

    EXPECT_FALSE(query_.isProcessRunning(name));
    EXPECT_FALSE(query_.isProcessRunning(""));
    EXPECT_FALSE(query_.isProcessRunning(dir_.path() + "/" + name + ".bak"));
    EXPECT_TRUE(query_.isProcessRunning(name + ".bak")) << "the copies did run";

    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

TEST_F(LinuxProcessQueryTest, ZombiesDoNotCount) {
    const std::string name = ownName();
    Child ended({copyOf("/bin/true", name)});
    ASSERT_GT(ended.pid(), 0);
    ASSERT_TRUE(waitForState(ended.pid(), 'Z'));  // ended, not yet reaped
    EXPECT_FALSE(query_.isProcessRunning(name));
    ended.reap();
    EXPECT_FALSE(query_.isProcessRunning(name));
}

}  // namespace
}  // namespace fhsw
