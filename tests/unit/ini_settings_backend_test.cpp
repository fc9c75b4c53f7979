#include "platform/linux/ini_settings_backend.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <random>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "support/scoped_env.h"

#include "platform/linux/executable_name_linux.h"

namespace fhsw {
namespace {

namespace fs = std::filesystem;

// A scratch folder, in memory (/dev/shm) where there is one: the tests write
// thousands of times and every write syncs to disk.
struct TempDir {
    std::string path = [] {
        std::string dir = ::access("/dev/shm", W_OK) ? fs::temp_directory_path().string() : "/dev/shm";
        return std::string(::mkdtemp((dir += "/fhsw-ini-XXXXXX").data()));
    }();
    ~TempDir() { std::error_code ec; fs::remove_all(path, ec); }
    std::string file(const std::string& name = "FH_SENDWARDEN.ini") const { return path + "/" + name; }
};

using test::ScopedEnv;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

::testing::AssertionResult Put(IniSettingsBackend& backend, const std::string& section,
                               const std::string& key, const std::string& value) {
    std::string error;
    if (backend.write(section, key, value, error)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "[" << section << "] " << key << ": " << error;
}

// Waits for a child process, killing it after `seconds`; its exit code, or -1.
int WaitChild(pid_t pid, int seconds = 60) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) ::kill(pid, SIGKILL);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Names any copy of the program may be called, keys and values, that the file
// format has to escape; among them keys ending in "/" and characters written
// as pairs of UTF-16 surrogates (😀), both once mishandled.
const std::vector<std::string> kSections = {
    "FH_SW_SHARED_SETTINGS", "fh_sw_shared_settings", "NIGHTLY-REPORT", "my mailer",
    "[bracket]", "a]b[c", "100%", "%41", "%U0041", "a=b;c#d,e", "été ☃ 😀", "General", "general",
    "GENERAL", "%general", "", "back\\slash", "slash/name", " lead and trail ", "quote\"d", "@at",
    "tab\there", "#hash", ";semi", "\xff\xfe not utf-8"};
const std::vector<std::string> kKeys = {
    "SEND_TO_ADDRESS_TEXTBOX", "MAIN-Left", "key", "Key", "a key=with;stuff#", "[x]", "ключ 😀",
    "percent%", "back\\slash", "slash/key", " spaced ", "@k", "\"q\"", "ends with slash/", "//"};
const std::vector<std::string> kValues = {
    "", " ", "plain", "line1\r\nline2\r\n", "cr\ronly", "lf\nonly", "mixed\r\n\n\r\rend",
    "\"quoted\"", "a=b", "semi;colon", "#hash", "comma, list", "100%", "%41", "back\\slash", "\\",
    "ends with backslash\\", "ends with CR\r", "  leading", "trailing  ", "\ttabs\t", " \t ", "@at",
    "@@double", "@ByteArray(x)", "@Invalid()", "@String(x)", "@Size(1 2)", "é ünïcödé ☃ 😀",
    std::string("nul\0" "1byte", 10), std::string("\0", 1), "\x01\x1f\x7f ctl\x1b" "abc",
    "\\x41 and \\n literally", "[not a section]", "key=value\n[Section]\nother=1",
    "\xff\xfe not utf-8 \xC3", "\xC3", "'single' `back` ?", std::string(5000, 'x') + "\n" + "y"};

TEST(IniSettingsBackend, HostileNamesAndValuesRoundTripExactly) {
    TempDir dir;
    // Each section gets a fixed key and one of the keys, with values that
    // differ from section to section, so that a mix-up shows.
    std::map<std::pair<std::string, std::string>, std::string> table;
    for (size_t s = 0; s < kSections.size(); ++s) {
        table[{kSections[s], "SUBJECT_TEXTBOX"}] = "s" + std::to_string(s);
        table[{kSections[s], kKeys[s % kKeys.size()]}] = kValues[(s * 7) % kValues.size()];
    }
    for (size_t k = 0; k < kKeys.size(); ++k) table[{"keys", kKeys[k]}] = "k" + std::to_string(k);
    for (size_t v = 0; v < kValues.size(); ++v) table[{"values", "v" + std::to_string(v)}] = kValues[v];
    IniSettingsBackend backend(dir.file());
    for (const auto& [name, value] : table) ASSERT_TRUE(Put(backend, name.first, name.second, value));
    IniSettingsBackend fresh(dir.file());  // reads only what is on disk
    for (const auto& [at, value] : table) {
        EXPECT_EQ(fresh.read(at.first, at.second), value) << at.first;
        EXPECT_EQ(backend.read(at.first, at.second), value) << "as kept by the writer: " << at.first;
    }
    EXPECT_EQ(backend.parses(), 0u) << "the writer keeps what it wrote";
    // Names compare case-sensitively.
    EXPECT_EQ(fresh.read("Values", "V1"), std::nullopt);
}

// Files as a person may leave them, also ending in the middle of a line or of
// an escape: each value reads the same before and after other keys are added,
// every line already there stays, and a write replaces the line that is read.
TEST(IniSettingsBackend, HandEditedFilesAreReadAndKept) {
    const std::vector<std::array<std::string, 4>> files = {  // text, section, key, value ("-": none)
        {"\xEF\xBB\xBF; my settings\r\ntop=1\r\nthis line is garbage\r\n", "", "top", "1"},
        {"[ N ]\r\n  k =  spaced out  \r\n=no key\r\n", "N", "k", "spaced out"},
        {"[N]\n# comment=not a key\n", "N", "# comment", "-"},
        {"[N]\nk=one\\\r\n two\n", "N", "k", "one two"},
        {"[N]\nk=smtp.x.org:25 ; note\n", "N", "k", "smtp.x.org:25"},
        {"[N]\nk=\"quoted \" joined\n", "N", "k", "quoted joined"},
        {"[N]\nété=raw\n%E9t%E9=escaped\n", "N", "été", "escaped"},
        {"[General]\r\ngeneral=g\r\n", "", "general", "g"},
        {"[N]\nk=first\n[M]\nk=m\n[N]\nk=later wins\n", "N", "k", "later wins"},
        // The same value named another way: a write keeps the line's name.
        {"[a]\nb/k=1\n", "a/b", "k", "1"},
        {"[N]\nk=\"unclosed quote\n[unclosed\nk=v", "unclosed", "k", "v"},
        {"[S]\nk=v"}, {"[S]\nk=v\\"}, {"[S]\nk=v\\\r"}, {"[S]\nk=v\\\n"}, {"[S]\nk=\"v"},
        {"[S]\nk=v\\\r\n"}};
    for (auto [text, section, key, value] : files) {
        if (key.empty()) std::tie(section, key, value) = std::tuple("S", "k", "v");
        SCOPED_TRACE(text);
        TempDir dir;
        std::ofstream(dir.file(), std::ios::binary) << text;
        IniSettingsBackend backend(dir.file());
        EXPECT_EQ(backend.read(section, key).value_or("-"), value);
        ASSERT_TRUE(Put(backend, section, "added", "2"));
        EXPECT_EQ(backend.read(section, key).value_or("-"), value);
        EXPECT_EQ(backend.read(section, "added"), "2");
        const std::string after = ReadFile(dir.file());
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line) && !lines.eof();) {
            EXPECT_NE(after.find(line + "\n"), std::string::npos) << "lost line " << line;
        }
        ASSERT_TRUE(Put(backend, section, key, "new"));
        EXPECT_EQ(IniSettingsBackend(dir.file()).read(section, key), "new");
    }
}

// What a copy keeps of the file after its own saves is what the file says:
// random saves on top of hand-edited files, each followed by reading every
// name through the saving copy and through a fresh one.
TEST(IniSettingsBackend, WhatASaveKeepsIsWhatTheFileSays) {
    const std::vector<std::string> starts = {
        "", "\xEF\xBB\xBF", "top=1", "[S]\nk=v\\", "[S]\nk=v\\\r", "[S]\nk=\"v", "; only a comment",
        "[a]\nb/k=1\n[a\\b]\nk=2\n[S]\nk=3 ; note\n\n\n[S]\nk=4\r\n[T]\n", "[S]\r\nk=one\\\r\n two\r\n",
        "[General]\nk=g\n[%General]\nk=G\n   "};
    const std::vector<std::string> sections = {"", "S", "T", "a", "a/b", "General", "new one"};
    const std::vector<std::string> keys = {"k", "b/k", "added", "x/y", "key with ;"};
    std::mt19937 random(20261206);
    auto pick = [&](const auto& from) { return from[random() % from.size()]; };
    for (const std::string& start : starts) {
        SCOPED_TRACE(start);
        TempDir dir;
        std::ofstream(dir.file(), std::ios::binary) << start;
        IniSettingsBackend backend(dir.file());
        for (int round = 0; round < 40; ++round) {
            ASSERT_TRUE(Put(backend, pick(sections), pick(keys), pick(kValues)));
            IniSettingsBackend fresh(dir.file());
            for (const std::string& section : sections) {
                for (const std::string& key : keys) {
                    ASSERT_EQ(backend.read(section, key), fresh.read(section, key))
                        << "round " << round << ": [" << section << "] " << key;
                }
            }
        }
        EXPECT_LE(backend.parses(), 1u);
    }
}

// A value saved by someone else is seen at the next read, also when it
// lands within the same second and the file keeps its size; a file that did
// not change is not parsed again, and neither is one after a save of ours.
TEST(IniSettingsBackend, ChangesByOthersAreSeenAtTheNextReadAndUnchangedFilesAreNotParsedAgain) {
    auto rewriteInPlace = [](const std::string& path) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC);
        const std::string text = "[S]\nk=BBBB\n";
        const bool ok = fd >= 0 && ::write(fd, text.data(), text.size()) == ssize_t(text.size());
        if (fd >= 0) ::close(fd);
        return ok;
    };
    const struct {
        const char* how;
        bool old;  // the file was written long ago
        std::function<bool(const std::string&, const struct stat&)> change;
    } ways[] = {
        {"another copy saves", false,
         [](const std::string& path, const struct stat&) {
             const pid_t pid = ::fork();
             if (pid == 0) {
                 IniSettingsBackend other(path);
                 ::_exit(Put(other, "S", "k", "BBBB") ? 0 : 1);
             }
             return WaitChild(pid) == 0;
         }},
        {"rewritten in place at once", false,
         [&](const std::string& path, const struct stat&) { return rewriteInPlace(path); }},
        {"rewritten in place, time stamps put back", true,
         [&](const std::string& path, const struct stat& before) {
             const timespec times[2] = {before.st_atim, before.st_mtim};
             return rewriteInPlace(path) && ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
         }},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.how);
        TempDir dir;
        const std::string path = dir.file();
        std::ofstream(path) << "[S]\nk=AAAA\n";
        if (way.old) {
            const timespec hourAgo{::time(nullptr) - 3600, 0}, times[2] = {hourAgo, hourAgo};
            ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
        }
        IniSettingsBackend backend(path);
        for (int i = 0; i < 20; ++i) ASSERT_EQ(backend.read("S", "k"), "AAAA");
        EXPECT_EQ(backend.read("S", "absent"), std::nullopt);
        EXPECT_EQ(backend.parses(), 1u);

        struct stat before {}, after {};
        ASSERT_EQ(::stat(path.c_str(), &before), 0);
        ASSERT_TRUE(way.change(path, before));
        ASSERT_EQ(::stat(path.c_str(), &after), 0);
        ASSERT_EQ(after.st_size, before.st_size);
        EXPECT_EQ(backend.read("S", "k"), "BBBB");
        EXPECT_EQ(backend.read("S", "k"), "BBBB");
        EXPECT_EQ(backend.parses(), 2u);

        ASSERT_TRUE(Put(backend, "S", "mine", "1"));
        ASSERT_TRUE(Put(backend, "S", "k", "CCCC"));
        EXPECT_EQ(backend.read("S", "mine"), "1");
        EXPECT_EQ(backend.read("S", "k"), "CCCC");
        EXPECT_EQ(backend.parses(), 2u) << "a save keeps what it wrote";
        EXPECT_EQ(IniSettingsBackend(path).read("S", "k"), "CCCC");
    }
}

// A named pipe (which would block the first read until someone writes to
// it), a device or a folder in the settings file's place: reads give the
// defaults at once and say why, once; writes fail with the reason. Checked in
// a child process so that a read that waits ends the child, not the tests.
TEST(IniSettingsBackend, AnythingButARegularFileIsRefusedAtOnce) {
    TempDir dir;
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    ASSERT_EQ(::symlink(dir.file("fifo").c_str(), dir.file("link-to-fifo").c_str()), 0);
    ASSERT_EQ(::symlink("/dev/null", dir.file("device").c_str()), 0);
    ASSERT_EQ(::mkdir(dir.file("folder").c_str(), 0700), 0);
    const std::string pipe = "it is a named pipe (FIFO), not a regular file";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {dir.file("fifo"), pipe},
        {dir.file("link-to-fifo"), pipe},
        {dir.file("device"), "it is a device, not a regular file"},
        {dir.file("folder"), "Is a directory"}};
    for (const auto& [path, reason] : cases) {
        SCOPED_TRACE(path);
        int report[2];
        ASSERT_EQ(::pipe(report), 0);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(report[0]);
            IniSettingsBackend backend(path);
            std::vector<std::string> said;
            backend.onReadError = [&](const std::string& message) { said.push_back(message); };
            std::string out;
            for (int i = 0; i < 3; ++i) out += backend.read("S", "k").value_or("(none)") + "\n";
            std::string error;
            out += (backend.write("S", "k", "v", error) ? "written" : error) + "\n";
            for (const std::string& message : said) out += message + "\n";
            ::_exit(::write(report[1], out.data(), out.size()) == ssize_t(out.size()) ? 0 : 1);
        }
        ::close(report[1]);
        EXPECT_EQ(WaitChild(pid, 10), 0) << "the child hung or failed";
        std::string out;
        char buf[4096];
        for (ssize_t n; (n = ::read(report[0], buf, sizeof buf)) > 0;) out.append(buf, std::size_t(n));
        ::close(report[0]);
        const std::string target = path == dir.file("link-to-fifo") ? dir.file("fifo") : path;
        const std::string device = path == dir.file("device") ? "/dev/null" : target;
        EXPECT_EQ(out, "(none)\n(none)\n(none)\ncannot read " + device + ": " + reason + "\ncannot read " +
                           path + ": " + reason + "; the settings read as their defaults\n");
    }
}

// Two copies of the program saving at the same moment, each its own keys, in
// one section or in two.
TEST(IniSettingsBackend, TwoProcessesWritingAtOnceLoseNothing) {
    for (const bool sameSection : {true, false}) {
        SCOPED_TRACE(sameSection ? "one section" : "two sections");
        TempDir dir;
        // Copy c writes keys c*500 ... c*500+499.
        auto section = [&](int n) { return "COPY" + std::to_string(sameSection ? 0 : n / 500); };
        auto key = [](int n) { return "key-" + std::to_string(n); };
        int gate[2];
        ASSERT_EQ(::pipe(gate), 0);
        pid_t children[2];
        for (int c = 0; c < 2; ++c) {
            if ((children[c] = ::fork()) != 0) continue;
            ::close(gate[1]);
            char byte;
            (void)!::read(gate[0], &byte, 1);  // both start when the gate closes
            IniSettingsBackend backend(dir.file());
            for (int n = c * 500; n < c * 500 + 500; ++n) {
                if (!Put(backend, section(n), key(n), key(n) + ";\n")) ::_exit(1);
            }
            ::_exit(0);
        }
        ::close(gate[0]);
        ::close(gate[1]);
        for (pid_t pid : children) EXPECT_EQ(WaitChild(pid), 0) << "a writer failed";
        IniSettingsBackend backend(dir.file());
        int found = 0;
        for (int n = 0; n < 1000; ++n) found += backend.read(section(n), key(n)) == key(n) + ";\n";
        EXPECT_EQ(found, 1000);
        for (const char* end : {".tmp", ".lock"}) EXPECT_FALSE(fs::exists(dir.file() + end)) << end;
    }
}

// A copy killed in the middle of saving: the file always parses and keeps
// every value whose write had returned.
TEST(IniSettingsBackend, KilledWhileSavingLeavesACompleteFile) {
    TempDir dir;
    const std::string path = dir.file();
    auto counterValue = [](int i) { return std::to_string(i) + std::string(300 + i % 50, '#'); };
    std::map<std::string, std::string> mustHold;
    const std::regex lineForm(R"((\[Kill\])|(r\d+-k\d+=v\d+)|(counter=\d+#+)|())");
    for (int round = 0; round < 20; ++round) {
        const std::string prefix = "r" + std::to_string(round) + "-k";
        int report[2];
        ASSERT_EQ(::pipe(report), 0);
        const pid_t pid = ::fork();
        if (pid == 0) {  // saves on until killed, reporting each round of saves
            IniSettingsBackend backend(path);
            for (int i = 0;; ++i) {
                if (!Put(backend, "Kill", prefix + std::to_string(i), "v" + std::to_string(i)) ||
                    !Put(backend, "Kill", "counter", counterValue(i)) ||
                    ::write(report[1], &i, sizeof i) < 0) {
                    ::_exit(1);
                }
            }
        }
        ::close(report[1]);
        std::this_thread::sleep_for(std::chrono::microseconds(200 + round * 4177 % 10000));
        ::kill(pid, SIGKILL);
        ASSERT_EQ(WaitChild(pid), -1) << "the saving copy stopped by itself";
        int last = -1, i = 0;
        while (::read(report[0], &i, sizeof i) == sizeof i) last = i;
        ::close(report[0]);

        for (int j = 0; j <= last; ++j) mustHold[prefix + std::to_string(j)] = "v" + std::to_string(j);
        std::istringstream lines(ReadFile(path));
        for (std::string line; std::getline(lines, line);) {
            ASSERT_TRUE(std::regex_match(line, lineForm)) << "torn line: " << line;
        }
        IniSettingsBackend fresh(path);
        for (const auto& [key, value] : mustHold) ASSERT_EQ(fresh.read("Kill", key), value) << round;
        // The last reported counter, or the next one when that save was
        // complete before the kill.
        const auto counter = fresh.read("Kill", "counter");
        EXPECT_TRUE(last < 0 || counter == counterValue(last) || counter == counterValue(last + 1));
        // The file and what a killed write leaves behind are owner-only.
        for (const char* end : {"", ".lock", ".tmp"}) EXPECT_EQ(ModeOf(path + end) & 0177, 0u) << end;
    }
    // A lock file left behind by a killed copy does not stop the next write.
    IniSettingsBackend backend(path);
    EXPECT_TRUE(Put(backend, "Kill", "after", "1"));
}

TEST(IniSettingsBackend, FilesAreOwnerOnlyAndTheFolderIsCreated) {
    TempDir dir;
    const std::string folder = dir.file("config/deeper");
    const std::string path = folder + "/FH_SENDWARDEN.ini";
    IniSettingsBackend backend(path);
    const mode_t oldMask = ::umask(022);
    ASSERT_TRUE(Put(backend, "S", "SMTP_PASSWORD_TEXTBOX", "secret"));
    ::umask(oldMask);
    for (const std::string& made : {dir.file("config"), folder}) EXPECT_EQ(ModeOf(made), 0700) << made;
    EXPECT_EQ(ModeOf(path), 0600);
    // A file that someone opened up is narrowed again by the next write.
    ::chmod(path.c_str(), 0644);
    ASSERT_TRUE(Put(backend, "S", "k", "v"));
    EXPECT_EQ(ModeOf(path), 0600);

    // Written through a symbolic link, the link stays and its target changes.
    ASSERT_EQ(::symlink(path.c_str(), dir.file("link.ini").c_str()), 0);
    IniSettingsBackend linked(dir.file("link.ini"));
    ASSERT_TRUE(Put(linked, "S", "k2", "v2"));
    EXPECT_TRUE(fs::is_symlink(dir.file("link.ini")));
    EXPECT_EQ(IniSettingsBackend(path).read("S", "k2"), "v2");
}

TEST(IniSettingsBackend, FailedWritesAreReportedAndKeepTheOldFile) {
    TempDir dir;
    const std::string folder = dir.file("ro");
    const std::string path = folder + "/FH_SENDWARDEN.ini";
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    // Root ignores folder permissions: the writer runs as an ordinary user.
    const uid_t nobody = 65534;
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(dir.path.c_str(), nobody, nobody) | ::chown(folder.c_str(), nobody, nobody), 0);
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::geteuid() == 0 && (::setgid(nobody) != 0 || ::setuid(nobody) != 0)) ::_exit(10);
        IniSettingsBackend backend(path);
        std::string error;
        if (!backend.write("S", "k", "old", error)) ::_exit(11);
        const std::string before = ReadFile(path);
        if (::chmod(folder.c_str(), 0500) != 0) ::_exit(12);
        if (backend.write("S", "k", "new", error)) ::_exit(13);
        if (error != "cannot write " + path + ": Permission denied") ::_exit(14);
        ::_exit(ReadFile(path) != before || backend.read("S", "k") != "old" ? 15 : 0);
    }
    EXPECT_EQ(WaitChild(pid, 30), 0) << "13: written, 14: other error, 15: file changed";
    fs::permissions(folder, fs::perms::owner_all);

    // A file that cannot be read (here a folder) is not replaced by one that
    // holds only the new value.
    const std::string unreadable = dir.file("folder.ini");
    ASSERT_EQ(::mkdir(unreadable.c_str(), 0700), 0);
    std::string error;
    EXPECT_FALSE(IniSettingsBackend(unreadable).write("S", "k", "v", error));
    EXPECT_EQ(error, "cannot read " + unreadable + ": Is a directory");
}

TEST(IniSettingsBackend, DefaultPathFollowsXdgConfigHome) {
    ScopedEnv home("HOME", "/home/tester");
    // The variable counts only when it holds an absolute path.
    for (const char* xdg : {"/srv/conf", "", static_cast<const char*>(nullptr), "relative/conf"}) {
        ScopedEnv env("XDG_CONFIG_HOME", xdg);
        const std::string folder = xdg && *xdg == '/' ? xdg : "/home/tester/.config";
        EXPECT_EQ(IniSettingsBackend::DefaultPath(), folder + "/FH_SENDWARDEN.ini") << (xdg ? xdg : "-");
    }
    ScopedEnv xdg("XDG_CONFIG_HOME", nullptr);
    ScopedEnv noHome("HOME", nullptr);  // the home folder from the user database
    const std::regex fromPasswd("/(.*/)?\\.config/FH_SENDWARDEN\\.ini");
    EXPECT_TRUE(std::regex_match(IniSettingsBackend::DefaultPath(), fromPasswd));
}

TEST(LinuxExecutableName, IsTheBaseNameOfTheRunningProgram) {
    EXPECT_EQ(LinuxExecutableName().baseName(), "unit_tests");
    EXPECT_EQ(RunningExecutablePath(), fs::canonical("/proc/self/exe").string());
}

}  // namespace
}  // namespace fhsw
