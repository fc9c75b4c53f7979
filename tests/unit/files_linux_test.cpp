// Run files and the cleared log on Linux: exact bytes and encodings, private
// modes, replacement by rename (never torn, never empty after a kill), and
// names held by links or other non-files refused and left untouched.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/linux/files_linux.h"

namespace fhsw {
namespace {

namespace fs = std::filesystem;

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 0777;
}

struct LinuxTextFileTest : ::testing::Test {
    std::string dir;
    LinuxFiles files;
    std::string error;
    void SetUp() override {
        dir = ::testing::TempDir() + "fhsw text file " + std::to_string(::getpid());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    // Names in the folder other than the given ones (left-over temporary files).
    std::vector<std::string> othersThan(std::initializer_list<std::string> names) {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(dir)) {
            const std::string n = e.path().filename().string();
            if (std::find(names.begin(), names.end(), n) == names.end()) out.push_back(n);
        }
        return out;
    }
};

TEST_F(LinuxTextFileTest, WritesTheTextThenCrLfPrivateWhenAskedAndReportsFailures) {
    const std::string script = dir + "/SENDEMAIL-RUNNER.BAT";
    ASSERT_TRUE(files.writeLine(script, "line1\r\nGr\xC3\xBC\xC3\x9F\r", TextFileKind::RunnerScript, true, error)) << error;
    EXPECT_EQ(Slurp(script), "line1\r\nGr\xC3\xBC\xC3\x9F\r\r\n") << "UTF-8, no byte-order mark";
    EXPECT_EQ(ModeOf(script), 0600u);

    // A file left readable by others is replaced by a private one.
    const std::string old = dir + "/SENDEMAIL-MESSAGE.txt";
    { std::ofstream(old) << "a much longer previous message"; }
    ::chmod(old.c_str(), 0644);
    ASSERT_TRUE(files.writeLine(old, "", TextFileKind::MessageFile, true, error));
    EXPECT_EQ(Slurp(old), "\r\n");
    EXPECT_EQ(ModeOf(old), 0600u);

    // A log cleared without ownerOnly keeps the mode it has; a missing one is
    // created private when asked (it holds the SMTP log-in).
    const std::string log = dir + "/SENDEMAIL-LOG.txt";
    { std::ofstream(log) << "Email was sent successfully!"; }
    ::chmod(log.c_str(), 0640);
    ASSERT_TRUE(files.writeLine(log, "", TextFileKind::Log, false, error));
    EXPECT_EQ(ModeOf(log), 0640u);
    fs::remove(log);
    ASSERT_TRUE(files.writeLine(log, "", TextFileKind::Log, true, error));
    EXPECT_EQ(Slurp(log), "\r\n");
    EXPECT_EQ(ModeOf(log), 0600u);

    EXPECT_FALSE(files.writeLine(dir + "/missing/SENDEMAIL-RUNNER.BAT", "x", TextFileKind::RunnerScript, true, error));
    EXPECT_EQ(error, "No such file or directory");
    EXPECT_FALSE(files.writeLine(dir, "x", TextFileKind::RunnerScript, true, error));
    EXPECT_EQ(error, "a folder stands in its place");
    EXPECT_TRUE(othersThan({"SENDEMAIL-RUNNER.BAT", "SENDEMAIL-MESSAGE.txt", "SENDEMAIL-LOG.txt"}).empty());
}

// The mail client declares the body ISO-8859-1: the message file is written
// so, and a character beyond it is named before anything is written.
TEST_F(LinuxTextFileTest, TheMessageFileIsIso88591AndRefusesWhatItCannotHold) {
    const std::vector<std::tuple<std::string, TextFileKind, std::optional<char32_t>>> cases = {
        {"Gr\xC3\xBC\xC3\x9F" "e, caf\xC3\xA9 \xC3\xBF\xC2\xA0", TextFileKind::MessageFile, std::nullopt},
        {"price: 5 \xE2\x82\xAC", TextFileKind::MessageFile, U'\u20AC'},
        {"\xF0\x9F\x98\x80 first, then \xE2\x82\xAC", TextFileKind::MessageFile, U'\U0001F600'},
        {"broken \xC3", TextFileKind::MessageFile, U'\uFFFD'},
        {"overlong \xC0\xAF", TextFileKind::MessageFile, U'\uFFFD'},
        {"price: 5 \xE2\x82\xAC", TextFileKind::RunnerScript, std::nullopt},
        {"price: 5 \xE2\x82\xAC", TextFileKind::Log, std::nullopt}};
    for (const auto& [text, kind, expected] : cases)
        EXPECT_EQ(files.firstUnwritable(text, kind), expected) << text;

    const std::string message = dir + "/SENDEMAIL-MESSAGE.txt";
    ASSERT_TRUE(files.writeLine(message, "Gr\xC3\xBC\xC3\x9F" "e, caf\xC3\xA9\r\n\xC3\xBF", TextFileKind::MessageFile,
                                true, error)) << error;
    EXPECT_EQ(Slurp(message), "Gr\xFC\xDF" "e, caf\xE9\r\n\xFF\r\n");
    EXPECT_FALSE(files.writeLine(message, "5 \xE2\x82\xAC", TextFileKind::MessageFile, true, error));
    EXPECT_EQ(error, "the text holds a character that ISO-8859-1 cannot hold (U+20AC)");
    EXPECT_EQ(Slurp(message), "Gr\xFC\xDF" "e, caf\xE9\r\n\xFF\r\n") << "the old file stays";
}

// A symbolic link planted in a run file's place (to a file of this user or
// of another) is neither followed nor replaced, and the refusal says why;
// so is a FIFO (without waiting for a reader) or a folder.
TEST_F(LinuxTextFileTest, LinksAndOtherNonFilesInTheWayAreLeftUntouched) {
    const std::string mine = dir + "/my-secret.txt";
    { std::ofstream(mine) << "mine"; }
    std::string theirs = dir + "/their-file.txt";
    { std::ofstream(theirs) << "theirs"; }
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(theirs.c_str(), 65534, 65534), 0);  // nobody's
    } else {
        theirs = "/etc/hostname";  // root's
    }
    struct stat theirStat {};
    ASSERT_EQ(::stat(theirs.c_str(), &theirStat), 0);
    ASSERT_NE(theirStat.st_uid, ::geteuid()) << "the target must belong to another user";
    const std::string theirText = Slurp(theirs);

    const std::string script = dir + "/SENDEMAIL-RUNNER.BAT", message = dir + "/SENDEMAIL-MESSAGE.txt";
    const std::string fifo = dir + "/SENDEMAIL-LOG.txt";
    fs::create_symlink(theirs, script);
    fs::create_symlink(mine, message);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::vector<std::tuple<std::string, TextFileKind, std::string>> cases = {
        {script, TextFileKind::RunnerScript, "a symbolic link stands in its place - not written through, left as it is"},
        {message, TextFileKind::MessageFile, "a symbolic link stands in its place - not written through, left as it is"},
        {fifo, TextFileKind::Log, "something other than a regular file stands in its place - left as it is"}};
    for (const auto& [path, kind, why] : cases) {
        EXPECT_FALSE(files.writeLine(path, "-xp \"secret\"", kind, true, error)) << path;
        EXPECT_EQ(error, why) << path;
    }
    EXPECT_EQ(fs::read_symlink(script), theirs);
    EXPECT_EQ(fs::read_symlink(message), mine);
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(fifo)));
    EXPECT_EQ(Slurp(theirs), theirText);
    EXPECT_EQ(Slurp(mine), "mine");
    EXPECT_TRUE(othersThan({"my-secret.txt", "their-file.txt", "SENDEMAIL-RUNNER.BAT",
                            "SENDEMAIL-MESSAGE.txt", "SENDEMAIL-LOG.txt"}).empty());
}

// Two processes writing the same run file again and again while a third
// reads it: every read finds one whole text or the other, never a mix, never
// empty; the mode stays 0600.
TEST_F(LinuxTextFileTest, TwoWritersNeverTearTheFile) {
    const std::string script = dir + "/SENDEMAIL-RUNNER.BAT";
    const std::string a(100000, 'a'), b(70000, 'b');
    ASSERT_TRUE(files.writeLine(script, a, TextFileKind::RunnerScript, true, error));
    std::vector<pid_t> writers;
    for (const std::string* text : {&a, &b}) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            LinuxFiles own;
            std::string err;
            for (int i = 0; i < 150; ++i)
                if (!own.writeLine(script, *text, TextFileKind::RunnerScript, true, err)) ::_exit(1);
            ::_exit(0);
        }
        writers.push_back(pid);
    }
    int reads = 0, torn = 0;
    auto writersDone = [&] {
        for (pid_t p : writers)
            if (::waitpid(p, nullptr, WNOHANG) == 0) return false;
        return true;
    };
    // (waitpid above reaps a finished writer; its status is checked below
    // by its effect: the file is whole at the end.)
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < end) {
        const std::string seen = Slurp(script);
        ++reads;
        if (seen != a + "\r\n" && seen != b + "\r\n") ++torn;
        if (reads % 16 == 0 && writersDone()) break;
    }
    for (pid_t p : writers) ::waitpid(p, nullptr, 0);
    EXPECT_EQ(torn, 0) << "of " << reads << " reads";
    EXPECT_GT(reads, 10);
    const std::string last = Slurp(script);
    EXPECT_TRUE(last == a + "\r\n" || last == b + "\r\n");
    EXPECT_EQ(ModeOf(script), 0600u);
    EXPECT_TRUE(othersThan({"SENDEMAIL-RUNNER.BAT"}).empty());
}

// A writer killed at any moment leaves the old file or the new one, whole.
TEST_F(LinuxTextFileTest, AKillWhileWritingNeverLeavesAnEmptyOrHalfFile) {
    const std::string script = dir + "/SENDEMAIL-RUNNER.BAT";
    const std::string oldText(300000, 'o'), newText(200000, 'n');
    ASSERT_TRUE(files.writeLine(script, oldText, TextFileKind::RunnerScript, true, error));
    for (int round = 0; round < 40; ++round) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            LinuxFiles own;
            std::string err;
            for (int i = 0;; ++i)
                own.writeLine(script, i % 2 ? oldText : newText, TextFileKind::RunnerScript, true, err);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500 + 997 * round % 20000));
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        const std::string seen = Slurp(script);
        ASSERT_TRUE(seen == oldText + "\r\n" || seen == newText + "\r\n")
            << "round " << round << ": " << seen.size() << " bytes";
        ASSERT_EQ(ModeOf(script), 0600u);
    }
}

}  // namespace
}  // namespace fhsw
