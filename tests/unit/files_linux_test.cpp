// The install folder's files on Linux, real files in a scratch folder: the
// message file's encoding, a save put in place and taken back, what a killed
// save left removed by the next one, names held by links or other non-files
// refused and left untouched, reads that never wait, and the log made
// private before a send, also against files that another user planted.
#include "platform/linux/files_linux.h"

#include <gtest/gtest.h>

#include "linux_test_support.h"

namespace fhsw::test {
namespace {

struct LinuxFilesTest : ::testing::Test {
    TempFolder dir;
    LinuxFiles files;
    std::string error;
};

// The mail client declares the body ISO-8859-1: a character of the message
// beyond it (or bytes that are not UTF-8) is named before anything is
// written. (The compatibility test of the settings checks the bytes of both
// run files.)
TEST_F(LinuxFilesTest, WhatTheMessageFileCannotHoldIsNamed) {
    EXPECT_EQ(files.firstUnwritable("\xF0\x9F\x98\x80, \xE2\x82\xAC", TextFileKind::MessageFile), U'\U0001F600');
    EXPECT_EQ(files.firstUnwritable("caf\xC3\xA9 overlong \xC0\xAF", TextFileKind::MessageFile), U'\uFFFD');
    const std::string message = WriteFile(dir / "SENDEMAIL-MESSAGE.txt", "old");
    EXPECT_FALSE(files.writeLine(message, "5 \xE2\x82\xAC", TextFileKind::MessageFile, false, error));
    EXPECT_EQ(error + ReadFile(message), "the text holds a character that ISO-8859-1 cannot hold (U+20AC)old");
}

// A staged file is in place only after commit(); undo() puts back what was
// there (the old file, or no file); nothing else stays in the folder. A name
// held by a symbolic link (planted, to a file of root's) or a FIFO is
// refused: the link is not written through, the FIFO not waited on.
TEST_F(LinuxFilesTest, CommitPutsTheNewTextInPlaceAndUndoPutsBackWhatWasThere) {
    const std::string path = dir / "SENDEMAIL-RUNNER.BAT";
    const auto text = [&] { return fs::exists(path) ? ReadFile(path) + std::to_string(ModeOf(path)) : "-"; };
    for (const bool oldFile : {true, false}) {
        for (const int steps : {0, 1, 2}) {  // staged only; committed; committed and undone
            SCOPED_TRACE(std::string(oldFile ? "old file" : "no file") + ", steps " + std::to_string(steps));
            fs::remove(path);
            const std::string old = oldFile ? ReadFile(WriteFile(path, "old")) + std::to_string(0644) : "-";
            {
                auto staged = files.stage(path, "new", TextFileKind::RunnerScript, true, error);
                ASSERT_TRUE(staged) << error;
                EXPECT_EQ(text(), old);
                if (steps >= 1) {
                    ASSERT_TRUE(staged->commit(error)) << error;
                    EXPECT_EQ(text(), "new\r\n" + std::to_string(0600)) << "private: it holds the password";
                }
                if (steps >= 2) {
                    ASSERT_TRUE(staged->undo(error)) << error;
                }
            }
            EXPECT_EQ(text(), steps == 1 ? "new\r\n" + std::to_string(0600) : old);
            EXPECT_EQ(dir.count(), steps == 1 || oldFile ? 1u : 0u);
        }
    }
    const std::string hostname = ReadFile("/etc/hostname"), fifo = dir / "SENDEMAIL-LOG.txt";
    fs::create_symlink("/etc/hostname", path);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(files.writeLine(path, "-xp \"secret\"", TextFileKind::RunnerScript, true, error));
    EXPECT_EQ(error, "a symbolic link stands in its place - not written through, left as it is");
    EXPECT_FALSE(files.writeLine(fifo, "", TextFileKind::Log, true, error));
    EXPECT_EQ(error, "something other than a regular file stands in its place - left as it is");
    EXPECT_EQ(ReadFile(path) + std::to_string(dir.count()), hostname + "2");
}

// Saves killed between stage() and commit(), or after commit() (the old file
// kept aside), leave files that hold the password: the next save removes
// them, but not the file of a save that is still under way.
TEST_F(LinuxFilesTest, ASaveRemovesWhatKilledSavesLeftButNotALiveOnesFile) {
    const std::string path = WriteFile(dir / "SENDEMAIL-RUNNER.BAT", "old -xp secret");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const auto saveIn = [&](bool commit, bool die) {  // a save in a child, which then dies or waits
        const pid_t pid = ::fork();
        if (pid == 0) {
            LinuxFiles own;
            auto staged = own.stage(path, "-xp secret", TextFileKind::RunnerScript, true, error);
            if (!staged || (commit && !staged->commit(error))) ::_exit(1);
            if (die) ::raise(SIGKILL);
            (void)!::write(ready[1], "x", 1);
            ::pause();
        }
        return pid;
    };
    EXPECT_EQ(WaitChild(saveIn(false, true)), -1);
    EXPECT_EQ(WaitChild(saveIn(true, true)), -1);
    EXPECT_EQ(dir.count(), 2u) << "the file and what the last killed save left";
    const pid_t live = saveIn(false, false);
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ASSERT_TRUE(files.writeLine(path, "mine", TextFileKind::RunnerScript, true, error)) << error;
    EXPECT_EQ(ReadFile(path), "mine\r\n");
    EXPECT_EQ(dir.count(), 2u) << "the file and the live save's own";
    ::kill(live, SIGKILL);
    WaitChild(live);
}

TEST_F(LinuxFilesTest, LooksAndReadsTakeOnlyRegularFilesAndNeverWait) {
    fs::create_symlink(WriteFile(dir / "log", "hello world"), dir / "link");
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    ::alarm(20);  // a read that waits ends the tests here
    EXPECT_EQ(files.fileSize(dir / "link"), 11u);
    EXPECT_EQ(files.readFrom(dir / "link", 6, 100), "world");
    EXPECT_EQ(files.readFrom(dir / "log", 0, 3), "rld") << "at most the last `max` bytes";
    EXPECT_EQ(files.readFrom(dir / "log", 50, 100), "hello world") << "shorter than the offset: from its start";
    for (const std::string& path : {dir / "fifo", dir.path, dir / "missing", std::string("/dev/zero")}) {
        EXPECT_FALSE(files.isFile(path)) << path;
        EXPECT_EQ(files.readFrom(path, 0, 100), std::nullopt) << path;
    }
    ::alarm(0);
}

TEST_F(LinuxFilesTest, OpenToOthersSaysWhoElseCouldChangeIt) {
    const auto other = OtherUser();
    const std::vector<std::tuple<std::string, mode_t, mode_t, std::string>> cases = {  // folder, file modes
        {"private", 0700, 0600, ""},
        {"shared", 01777, 0600, "shared is writable by other users (mode 1777)"},
        {"readable", 0750, 0640, "readable/SENDEMAIL-LOG.txt can be read or changed by its group (mode 0640)"},
        {"theirs", 0755, 0600, other ? "theirs belongs to another user (" + other->name + ")" : ""}};
    for (const auto& [name, folderMode, fileMode, why] : cases) {
        const std::string folder = dir / name, file = folder + "/SENDEMAIL-LOG.txt";
        fs::create_directory(folder);
        WriteFile(file, "log", fileMode);
        ::chmod(folder.c_str(), folderMode);
        if (name == "theirs" && other) {
            ASSERT_EQ(::chown(folder.c_str(), other->uid, other->gid), 0);
        }
        EXPECT_EQ(files.openToOthers(file), why.empty() ? "" : dir.path + "/" + why) << name;
    }
}

// Before a send the log must be this user's own regular file that no one
// else can read: a missing one is made so, an open one of ours narrowed;
// a link, a FIFO, or a file that another user planted in a folder open to
// all (mode 0666, so that the mail client could write into it) is refused.
TEST_F(LinuxFilesTest, SecureLogLeavesOnlyAPrivateLogOfOurOwn) {
    const auto other = OtherUser();
    ::chmod(dir.path.c_str(), 0711);
    const std::string mine = WriteFile(dir / "mine.txt", "private", 0600);
    const std::string L = " SENDEMAIL-LOG.txt", link = " is a symbolic link; the mail client would write through it";
    std::vector<std::pair<std::string, std::string>> cases = {  // what stands there, the answer
        {"true", ""}, {"echo log >" + L + " && chmod 644" + L, ""},
        {"ln -s " + mine + L, link}, {"mkfifo" + L, " is not a regular file"}};
    if (other) {
        cases.push_back({"!echo theirs >" + L + " && chmod 666" + L, " belongs to another user (" + other->name + ")"});
        cases.push_back({"!ln -s " + mine + L, link});
    }
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const auto& [plant, why] = cases[i];
        const std::string folder = dir / std::to_string(i), log = folder + "/SENDEMAIL-LOG.txt";
        ASSERT_TRUE(Plant(folder, plant)) << plant;
        struct stat before {}, after {};
        ::lstat(log.c_str(), &before);
        const bool ok = files.secureLog(log, error);
        EXPECT_EQ(ok ? "" : error, why.empty() ? "" : log + why) << plant;
        ::lstat(log.c_str(), &after);
        const bool privateOwn = S_ISREG(after.st_mode) && ModeOf(log) == 0600 && after.st_uid == ::geteuid();
        const bool untouched = after.st_ino == before.st_ino && after.st_mode == before.st_mode;
        EXPECT_TRUE(ok ? privateOwn : untouched) << plant;
    }
    EXPECT_EQ(ReadFile(mine) + std::to_string(ModeOf(mine)), "private" + std::to_string(0600));
}

}  // namespace
}  // namespace fhsw::test
