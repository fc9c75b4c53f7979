// The install folder's files on Linux, real files in a scratch folder: exact
// bytes and encodings, private modes, a save put in place and taken back,
// what a killed save left removed by the next one, names held by links or
// other non-files refused and left untouched, reads that never wait, and the
// log made private before a send, also against files that another user of
// the machine planted.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>

#include "platform/linux/files_linux.h"
#include "support/other_user.h"

namespace fhsw {
namespace {

namespace fs = std::filesystem;

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st.st_mode & 07777;
}

struct LinuxFilesTest : ::testing::Test {
    std::string dir;
    LinuxFiles files;
    std::string error;
    void SetUp() override {
        dir = ::testing::TempDir() + "fhsw-files-" + std::to_string(::getpid());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string at(const std::string& name) const { return dir + "/" + name; }
    std::set<std::string> names() const {
        std::set<std::string> out;
        for (const auto& e : fs::directory_iterator(dir)) out.insert(e.path().filename().string());
        return out;
    }
};

TEST_F(LinuxFilesTest, WritesTheTextThenCrLfInItsEncodingPrivateWhenAsked) {
    const std::string script = at("SENDEMAIL-RUNNER.BAT"), message = at("SENDEMAIL-MESSAGE.txt");
    ASSERT_TRUE(files.writeLine(script, "line1\r\nGr\xC3\xBC\xC3\x9F\r", TextFileKind::RunnerScript, false, error));
    EXPECT_EQ(Slurp(script), "line1\r\nGr\xC3\xBC\xC3\x9F\r\r\n") << "UTF-8, no byte-order mark";
    EXPECT_EQ(ModeOf(script), 0644);
    ASSERT_TRUE(files.writeLine(script, "-xp secret", TextFileKind::RunnerScript, true, error));
    EXPECT_EQ(ModeOf(script), 0600) << "an open file made private";
    ::chmod(script.c_str(), 0640);
    ASSERT_TRUE(files.writeLine(script, "", TextFileKind::RunnerScript, false, error));
    EXPECT_EQ(ModeOf(script), 0640) << "kept when not asked";

    // The mail client declares the body ISO-8859-1: the message file is
    // written so, and a character beyond it is named before anything is.
    ASSERT_TRUE(files.writeLine(message, "Gr\xC3\xBC\xC3\x9F" "e\r\n\xC3\xBF", TextFileKind::MessageFile, true,
                                error));
    EXPECT_EQ(Slurp(message), "Gr\xFC\xDF" "e\r\n\xFF\r\n");
    const std::vector<std::tuple<std::string, TextFileKind, std::optional<char32_t>>> cases = {
        {"caf\xC3\xA9 \xC3\xBF\xC2\xA0", TextFileKind::MessageFile, std::nullopt},
        {"price: 5 \xE2\x82\xAC", TextFileKind::MessageFile, U'\u20AC'},
        {"\xF0\x9F\x98\x80 first, then \xE2\x82\xAC", TextFileKind::MessageFile, U'\U0001F600'},
        {"broken \xC3", TextFileKind::MessageFile, U'\uFFFD'},
        {"overlong \xC0\xAF", TextFileKind::MessageFile, U'\uFFFD'},
        {"price: 5 \xE2\x82\xAC", TextFileKind::RunnerScript, std::nullopt},
        {"price: 5 \xE2\x82\xAC", TextFileKind::Log, std::nullopt}};
    for (const auto& [text, kind, expected] : cases) EXPECT_EQ(files.firstUnwritable(text, kind), expected) << text;
    EXPECT_FALSE(files.writeLine(message, "5 \xE2\x82\xAC", TextFileKind::MessageFile, true, error));
    EXPECT_EQ(error, "the text holds a character that ISO-8859-1 cannot hold (U+20AC)");
    EXPECT_EQ(Slurp(message), "Gr\xFC\xDF" "e\r\n\xFF\r\n") << "the old file stays";

    EXPECT_FALSE(files.writeLine(at("missing/x.txt"), "x", TextFileKind::Log, true, error));
    EXPECT_EQ(error, "No such file or directory");
    EXPECT_EQ(names(), (std::set<std::string>{"SENDEMAIL-RUNNER.BAT", "SENDEMAIL-MESSAGE.txt"}));
}

// A staged file is in place only after commit(); undo() puts back what was
// there (the old file, or no file); nothing else stays in the folder.
TEST_F(LinuxFilesTest, CommitPutsTheNewTextInPlaceAndUndoPutsBackWhatWasThere) {
    const std::string path = at("SENDEMAIL-RUNNER.BAT");
    for (const bool oldFile : {true, false}) {
        for (const int steps : {0, 1, 2}) {  // staged only; committed; committed and undone
            SCOPED_TRACE(std::string(oldFile ? "old file" : "no file") + ", steps " + std::to_string(steps));
            fs::remove(path);
            if (oldFile) std::ofstream(path) << "old";
            {
                auto staged = files.stage(path, "new", TextFileKind::RunnerScript, true, error);
                ASSERT_TRUE(staged) << error;
                EXPECT_EQ(fs::exists(path) ? Slurp(path) : "-", oldFile ? "old" : "-");
                if (steps >= 1) {
                    ASSERT_TRUE(staged->commit(error)) << error;
                    EXPECT_EQ(Slurp(path), "new\r\n");
                }
                if (steps >= 2) {
                    ASSERT_TRUE(staged->undo(error)) << error;
                }
            }
            const bool kept = steps == 1;
            EXPECT_EQ(fs::exists(path) ? Slurp(path) : "-", kept ? "new\r\n" : oldFile ? "old" : "-");
            const std::set<std::string> expected = kept || oldFile ? std::set<std::string>{"SENDEMAIL-RUNNER.BAT"}
                                                                   : std::set<std::string>{};
            EXPECT_EQ(names(), expected);
        }
    }
}

// A symbolic link planted in a run file's place (to a file of this user or of
// another) is neither followed nor replaced, and the refusal says why; so is
// a FIFO (without waiting for a reader) or a folder.
TEST_F(LinuxFilesTest, LinksAndOtherNonFilesInTheWayAreLeftUntouched) {
    const std::string mine = at("my-secret.txt");
    std::ofstream(mine) << "mine";
    const std::string script = at("SENDEMAIL-RUNNER.BAT"), message = at("SENDEMAIL-MESSAGE.txt");
    fs::create_symlink("/etc/hostname", script);  // root's
    fs::create_symlink(mine, message);
    ASSERT_EQ(::mkfifo(at("SENDEMAIL-LOG.txt").c_str(), 0600), 0);
    fs::create_directory(at("folder"));
    const std::string link = "a symbolic link stands in its place - not written through, left as it is";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {script, link},
        {message, link},
        {at("SENDEMAIL-LOG.txt"), "something other than a regular file stands in its place - left as it is"},
        {at("folder"), "a folder stands in its place"}};
    const std::string hostname = Slurp("/etc/hostname");
    for (const auto& [path, why] : cases) {
        EXPECT_FALSE(files.writeLine(path, "-xp \"secret\"", TextFileKind::RunnerScript, true, error)) << path;
        EXPECT_EQ(error, why) << path;
    }
    EXPECT_EQ(fs::read_symlink(script), "/etc/hostname");
    EXPECT_EQ(fs::read_symlink(message), mine);
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(at("SENDEMAIL-LOG.txt"))));
    EXPECT_EQ(Slurp("/etc/hostname"), hostname);
    EXPECT_EQ(Slurp(mine), "mine");
    EXPECT_EQ(names().size(), 5u);
}

// Saves killed between stage() and commit(), or after commit() (the old file
// kept aside), leave files that hold the password: the next save removes
// them, but not the file of a save that is still under way.
TEST_F(LinuxFilesTest, ASaveRemovesWhatKilledSavesLeftButNotALiveOnesFile) {
    const std::string path = at("SENDEMAIL-RUNNER.BAT");
    std::ofstream(path) << "old -xp secret";
    auto saveIn = [&](int commitThenSignal) {  // 0: staged only, 1: committed; then waits
        int ready[2];
        EXPECT_EQ(::pipe(ready), 0);
        const pid_t pid = ::fork();
        if (pid == 0) {
            LinuxFiles own;
            std::string err;
            auto staged = own.stage(path, "-xp secret", TextFileKind::RunnerScript, true, err);
            if (!staged || (commitThenSignal && !staged->commit(err))) ::_exit(1);
            (void)!::write(ready[1], "x", 1);
            ::pause();
            ::_exit(0);
        }
        char byte = 0;
        EXPECT_EQ(::read(ready[0], &byte, 1), 1);
        ::close(ready[0]);
        ::close(ready[1]);
        return pid;
    };
    for (const int committed : {0, 1}) {
        const pid_t killed = saveIn(committed);
        ::kill(killed, SIGKILL);
        ::waitpid(killed, nullptr, 0);
        EXPECT_EQ(names().size(), 2u) << "the file and what this killed save left, no more: " << committed;
    }
    const pid_t live = saveIn(0);
    EXPECT_EQ(names().size(), 2u) << "the file and the live save's own";
    ASSERT_TRUE(files.writeLine(path, "mine", TextFileKind::RunnerScript, true, error)) << error;
    EXPECT_EQ(Slurp(path), "mine\r\n");
    EXPECT_EQ(names().size(), 2u) << "the file and the live save's own";
    ::kill(live, SIGKILL);
    ::waitpid(live, nullptr, 0);
}

TEST_F(LinuxFilesTest, LooksAndReadsTakeOnlyRegularFilesAndNeverWait) {
    std::ofstream(at("log")) << "hello world";
    fs::create_symlink(at("log"), at("link"));
    ASSERT_EQ(::mkfifo(at("fifo").c_str(), 0600), 0);
    fs::create_directory(at("folder"));
    ::alarm(20);  // a read that waits ends the tests here
    for (const std::string name : {"log", "link"}) {
        EXPECT_TRUE(files.isFile(at(name)));
        EXPECT_EQ(files.fileSize(at(name)), 11u);
        EXPECT_EQ(files.readFrom(at(name), 6, 100), "world");
        EXPECT_EQ(files.readFrom(at(name), 0, 3), "rld") << "at most the last `max` bytes";
        EXPECT_EQ(files.readFrom(at(name), 50, 100), "hello world") << "shorter than the offset: from its start";
    }
    for (const std::string& path : {at("fifo"), at("folder"), at("missing"), std::string("/dev/zero")}) {
        EXPECT_FALSE(files.isFile(path)) << path;
        EXPECT_EQ(files.fileSize(path), std::nullopt) << path;
        EXPECT_EQ(files.readFrom(path, 0, 100), std::nullopt) << path;
    }
    ::alarm(0);
}

TEST_F(LinuxFilesTest, OpenToOthersSaysWhoElseCouldChangeIt) {
    const auto other = test::OtherUser();
    const std::vector<std::tuple<std::string, mode_t, mode_t, std::string>> cases = {  // folder, file modes
        {"private", 0700, 0600, ""},
        {"group", 0770, 0600, "group is writable by its group (mode 0770)"},
        {"shared", 01777, 0600, "shared is writable by other users (mode 1777)"},
        {"readable", 0755, 0644, "readable/SENDEMAIL-LOG.txt can be read or changed by other users (mode 0644)"},
        {"theirs", 0755, 0600, other ? "theirs belongs to another user (" + other->name + ")" : ""}};
    for (const auto& [name, folderMode, fileMode, why] : cases) {
        const std::string folder = at(name), file = folder + "/SENDEMAIL-LOG.txt";
        fs::create_directory(folder);
        std::ofstream(file) << "log";
        ::chmod(file.c_str(), fileMode);
        ::chmod(folder.c_str(), folderMode);
        if (name == "theirs" && other) {
            ASSERT_EQ(::chown(folder.c_str(), other->uid, other->gid), 0);
        }
        const std::string expected = why.empty() ? "" : dir + "/" + why;
        EXPECT_EQ(files.openToOthers(file), expected) << name;
        EXPECT_EQ(files.openToOthers(folder), fileMode == 0600 ? expected : "") << name;
    }
    EXPECT_EQ(files.openToOthers(at("missing")), "");
}

// Before a send the log must be this user's own regular file that no one
// else can read: a missing one is made so, an open one of ours narrowed;
// a link, a FIFO, or a file that another user planted in a folder open to
// all (mode 0666, so that the mail client could write into it) is refused.
TEST_F(LinuxFilesTest, SecureLogLeavesOnlyAPrivateLogOfOurOwn) {
    const auto other = test::OtherUser();
    ::chmod(dir.c_str(), 0711);
    const std::string mine = at("mine.txt");
    std::ofstream(mine) << "private";
    ::chmod(mine.c_str(), 0600);
    // Each case: its folder, what stands there (a shell command; "!": as the
    // other user), the answer.
    std::vector<std::tuple<std::string, std::string, std::string>> cases = {
        {"missing", "true", ""},
        {"open", "echo log >L && chmod 644 L", ""},
        {"link", "ln -s " + mine + " L", "L is a symbolic link; the mail client would write through it"},
        {"fifo", "mkfifo L", "L is not a regular file"}};
    if (other) {
        const std::string theirs = "L belongs to another user (" + other->name + ")";
        cases.push_back({"planted", "!echo theirs >L && chmod 666 L", theirs});
        cases.push_back({"planted-link", "!ln -s " + mine + " L", std::get<2>(cases[2])});
    }
    for (auto [name, plant, why] : cases) {
        const std::string folder = at(name), log = folder + "/SENDEMAIL-LOG.txt";
        fs::create_directory(folder);
        ::chmod(folder.c_str(), 01777);
        const bool asOther = plant[0] == '!';
        const std::string command = "cd '" + folder + "' && " + plant.substr(asOther);
        const std::string named = std::regex_replace(command, std::regex("\\bL\\b"), "SENDEMAIL-LOG.txt");
        ASSERT_TRUE(asOther ? test::AsOtherUser(*other, named) : std::system(named.c_str()) == 0) << name;
        struct stat before {};
        ::lstat(log.c_str(), &before);
        const bool ok = files.secureLog(log, error);
        EXPECT_EQ(ok ? "" : error, why.empty() ? "" : log + why.substr(1)) << name;
        struct stat after {};
        ::lstat(log.c_str(), &after);
        const bool privateOwn =
            S_ISREG(after.st_mode) && (after.st_mode & 07777) == 0600 && after.st_uid == ::geteuid();
        const bool untouched = after.st_ino == before.st_ino && after.st_mode == before.st_mode;
        EXPECT_TRUE(ok ? privateOwn : untouched) << name;
    }
    EXPECT_EQ(Slurp(mine), "private");
    EXPECT_EQ(ModeOf(mine), 0600);
}

}  // namespace
}  // namespace fhsw
