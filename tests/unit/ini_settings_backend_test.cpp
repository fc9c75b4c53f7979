#include "platform/linux/ini_settings_backend.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <regex>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "platform/linux/executable_name_linux.h"

namespace fhsw {
namespace {

namespace fs = std::filesystem;

// A scratch folder, by default in memory (/dev/shm) where there is one: the
// tests write thousands of times and every write syncs to disk.
class TempDir {
public:
    explicit TempDir(bool inMemory = true) {
        const bool shm = inMemory && ::access("/dev/shm", W_OK | X_OK) == 0;
        std::string pattern =
            ((shm ? fs::path("/dev/shm") : fs::temp_directory_path()) / "fhsw-ini-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ec;
        fs::permissions(path_, fs::perms::owner_all, ec);
        fs::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~ScopedEnv() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }

private:
    const char* name_;
    std::optional<std::string> old_;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return 0;
    return st.st_mode & 07777;
}

// Runs `body` in a child process; returns its exit code, or -1 when it had
// to be killed after `timeout` or died of a signal.
int RunInChild(const std::function<int()>& body, std::chrono::seconds timeout = std::chrono::seconds(30)) {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(body());
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Names any copy of the program may be called, and keys, that the file
// format has to escape.
const std::vector<std::string> kHostileSections = {
    "FH_SW_SHARED_SETTINGS", "fh_sw_shared_settings", "NIGHTLY-REPORT", "my mailer",
    "[bracket]", "a]b[c", "100%", "%41", "%U0041", "a=b;c#d,e", "été ☃ 😀", "General", "general",
    "GENERAL", "%general", "", "back\\slash", "slash/name", " lead and trail ", "quote\"d", "@at",
    "tab\there", "#hash", ";semi", "\xff\xfe not utf-8"};
const std::vector<std::string> kHostileKeys = {
    "SEND_TO_ADDRESS_TEXTBOX", "MAIN-Left", "key", "Key", "a key=with;stuff#", "[x]", "ключ",
    "percent%", "back\\slash", "slash/key", " spaced ", "@k", "\"q\"", "ends with slash/", "//"};
const std::vector<std::string> kHostileValues = {
    "", " ", "plain", "line1\r\nline2\r\n", "cr\ronly", "lf\nonly", "mixed\r\n\n\r\rend",
    "\"quoted\"", "a=b", "semi;colon", "#hash", "comma, list", "100%", "%41", "back\\slash", "\\",
    "ends with backslash\\", "  leading", "trailing  ", "\ttabs\t", " \t ", "@at", "@@double",
    "@ByteArray(x)", "@Invalid()", "@String(x)", "@Size(1 2)", "é ünïcödé ☃ 😀",
    std::string("nul\0" "1byte", 10), std::string("\0", 1), "\x01\x1f\x7f ctl\x1b" "abc",
    "\\x41 and \\n literally", "[not a section]", "key=value\n[Section]\nother=1",
    "\xff\xfe not utf-8 \xC3", "\xC3", "'single' `back` ?", std::string(5000, 'x') + "\n" + "y"};

TEST(IniSettingsBackend, HostileNamesAndValuesRoundTripExactly) {
    TempDir dir;
    const std::string path = dir.file("FH_SENDWARDEN.ini");
    // Each section gets a fixed key and one of the hostile keys, with values
    // that differ from section to section, so that a mix-up shows.
    auto keyOf = [](std::size_t s) { return kHostileKeys[s % kHostileKeys.size()]; };
    auto valueOf = [](std::size_t s) { return kHostileValues[(s * 7) % kHostileValues.size()]; };
    {
        IniSettingsBackend backend(path);
        std::string error;
        for (std::size_t s = 0; s < kHostileSections.size(); ++s) {
            ASSERT_TRUE(backend.write(kHostileSections[s], "SUBJECT_TEXTBOX", "s" + std::to_string(s), error))
                << error;
            ASSERT_TRUE(backend.write(kHostileSections[s], keyOf(s), valueOf(s), error)) << error;
        }
        for (std::size_t k = 0; k < kHostileKeys.size(); ++k) {
            ASSERT_TRUE(backend.write("keys", kHostileKeys[k], "k" + std::to_string(k), error)) << error;
        }
        for (std::size_t v = 0; v < kHostileValues.size(); ++v) {
            ASSERT_TRUE(backend.write("values", "v" + std::to_string(v), kHostileValues[v], error)) << error;
        }
        // Overwriting replaces, also with a value of another length or form.
        ASSERT_TRUE(backend.write("values", "v0", "now several\r\nlines", error)) << error;
        ASSERT_TRUE(backend.write("values", "v3", "", error)) << error;
    }
    IniSettingsBackend fresh(path);  // reads only what is on disk
    for (std::size_t s = 0; s < kHostileSections.size(); ++s) {
        EXPECT_EQ(fresh.read(kHostileSections[s], "SUBJECT_TEXTBOX"), "s" + std::to_string(s))
            << "section [" << kHostileSections[s] << "]";
        EXPECT_EQ(fresh.read(kHostileSections[s], keyOf(s)), valueOf(s))
            << "section [" << kHostileSections[s] << "] key [" << keyOf(s) << "]";
    }
    for (std::size_t k = 0; k < kHostileKeys.size(); ++k) {
        EXPECT_EQ(fresh.read("keys", kHostileKeys[k]), "k" + std::to_string(k)) << "key [" << kHostileKeys[k] << "]";
    }
    for (std::size_t v = 1; v < kHostileValues.size(); ++v) {
        EXPECT_EQ(fresh.read("values", "v" + std::to_string(v)), v == 3 ? "" : kHostileValues[v]) << "value " << v;
    }
    EXPECT_EQ(fresh.read("values", "v0"), "now several\r\nlines");
    // Names compare case-sensitively and are not trimmed.
    EXPECT_EQ(fresh.read("values", "V1"), std::nullopt);
    EXPECT_EQ(fresh.read("Values", "v1"), std::nullopt);
    EXPECT_EQ(fresh.read("keys", "KEY"), std::nullopt);
    EXPECT_EQ(fresh.read("keys", "spaced"), std::nullopt);
    EXPECT_EQ(fresh.read("my mailer ", "SUBJECT_TEXTBOX"), std::nullopt);
    EXPECT_EQ(fresh.read("absent", "key"), std::nullopt);
    // The file is plain text: a header or a key on every line.
    std::istringstream lines(ReadFile(path));
    std::string line;
    while (std::getline(lines, line)) {
        EXPECT_TRUE(line.empty() || line.front() == '[' || line.find('=') != std::string::npos) << line;
    }
}

TEST(IniSettingsBackend, WritesTheQSettingsLayout) {
    TempDir dir;
    const std::string path = dir.file("FH_SENDWARDEN.ini");
    IniSettingsBackend backend(path);
    std::string error;
    ASSERT_TRUE(backend.write("NIGHTLY REPORT", "MESSAGE_TEXTBOX", "Hi,\r\n\"all\" 100%\\", error));
    ASSERT_TRUE(backend.write("NIGHTLY REPORT", "MAIN-Left", "-1500", error));
    ASSERT_TRUE(backend.write("General", "k", " @x ", error));
    ASSERT_TRUE(backend.write("", "top", "@x", error));
    ASSERT_TRUE(backend.write("été", "a/b c", std::string("\0" "1;", 3), error));
    EXPECT_EQ(ReadFile(path),
              "[NIGHTLY%20REPORT]\n"
              "MESSAGE_TEXTBOX=\"Hi,\\r\\n\\\"all\\\" 100%\\\\\"\n"
              "MAIN-Left=-1500\n"
              "\n[%General]\n"
              "k=\" @x \"\n"
              "\n[General]\n"
              "top=@@x\n"
              "\n[%E9t%E9]\n"
              "a\\b%20c=\"\\0\\x31;\"\n");
}

TEST(IniSettingsBackend, HandEditedFileIsReadAndKeptAround) {
    TempDir dir;
    const std::string path = dir.file("FH_SENDWARDEN.ini");
    WriteFile(path,
              "\xEF\xBB\xBF; my settings\r\n"
              "top=1\r\n"
              "this line is garbage\r\n"
              "[ NIGHTLY ]\r\n"
              "  SUBJECT_TEXTBOX =  Daily report  \r\n"
              "# comment=not a key\r\n"
              "SEND_TO_ADDRESS_TEXTBOX=a@x.org, b@y.org\r\n"
              "stray=\"unclosed quote\r\n"
              "SMTP_SERVER_ADDRESS_PORT_TEXTBOX=smtp.x.org:25 ; note\r\n"
              "été=raw utf-8 key\r\n"
              "%E9t%E9x=\"quoted \" joined\r\n"
              "MESSAGE_TEXTBOX=one\\\r\n two\r\n"
              "=no key\r\n"
              "[General]\r\n"
              "general=g\r\n"
              "[NIGHTLY]\r\n"
              "SUBJECT_TEXTBOX=later wins\r\n"
              "[unclosed\r\n"
              "k=v");
    IniSettingsBackend backend(path);
    EXPECT_EQ(backend.read("", "top"), "1");
    EXPECT_EQ(backend.read("", "general"), "g");
    EXPECT_EQ(backend.read("NIGHTLY", "SUBJECT_TEXTBOX"), "later wins");
    EXPECT_EQ(backend.read("NIGHTLY", "# comment"), std::nullopt);
    EXPECT_EQ(backend.read("NIGHTLY", "SEND_TO_ADDRESS_TEXTBOX"), "a@x.org, b@y.org");
    EXPECT_EQ(backend.read("NIGHTLY", "stray"), "unclosed quote");
    EXPECT_EQ(backend.read("NIGHTLY", "SMTP_SERVER_ADDRESS_PORT_TEXTBOX"), "smtp.x.org:25");
    EXPECT_EQ(backend.read("NIGHTLY", "été"), "raw utf-8 key");
    EXPECT_EQ(backend.read("NIGHTLY", "étéx"), "quoted joined");
    EXPECT_EQ(backend.read("NIGHTLY", "MESSAGE_TEXTBOX"), "one two");
    EXPECT_EQ(backend.read("unclosed", "k"), "v");

    // A write changes its own line only; comments and unknown lines stay.
    std::string error;
    ASSERT_TRUE(backend.write("NIGHTLY", "SUBJECT_TEXTBOX", "new", error)) << error;
    ASSERT_TRUE(backend.write("unclosed", "k2", "v2", error)) << error;
    ASSERT_TRUE(backend.write("NIGHTLY", "ATTACHMENT_TICKBOX", "1", error)) << error;
    const std::string text = ReadFile(path);
    EXPECT_EQ(text.rfind("\xEF\xBB\xBF; my settings\r\ntop=1\r\nthis line is garbage\r\n", 0), 0u) << text;
    EXPECT_NE(text.find("# comment=not a key\r\n"), std::string::npos);
    EXPECT_NE(text.find("SUBJECT_TEXTBOX=new\r\nATTACHMENT_TICKBOX=1\n[unclosed\r\nk=v\nk2=v2\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(backend.read("NIGHTLY", "SUBJECT_TEXTBOX"), "new");
    EXPECT_EQ(backend.read("NIGHTLY", "MESSAGE_TEXTBOX"), "one two");
    EXPECT_EQ(backend.read("unclosed", "k"), "v");
}

// A hand-edited file may end in the middle of a line, even in the middle of
// an escape; what a write adds after it must not be joined to that line.
TEST(IniSettingsBackend, WritesAfterAFileThatEndsOddly) {
    const std::vector<std::pair<std::string, std::string>> tails = {
        {"[S]\nk=v", "v"},        {"[S]\nk=v\\", "v"},   {"[S]\nk=v\\\r", "v"},
        {"[S]\nk=v\\\n", "v"}, {"[S]\nk=\"v", "v"}, {"[S]\nk=v\\\r\n", "v"}};
    for (const auto& [text, value] : tails) {
        TempDir dir;
        const std::string path = dir.file("FH_SENDWARDEN.ini");
        WriteFile(path, text);
        IniSettingsBackend backend(path);
        EXPECT_EQ(backend.read("S", "k"), value) << text;
        std::string error;
        ASSERT_TRUE(backend.write("S", "k2", "2", error)) << error;
        ASSERT_TRUE(backend.write("T", "new", "1", error)) << error;
        EXPECT_EQ(backend.read("S", "k"), value) << text;
        EXPECT_EQ(backend.read("S", "k2"), "2") << text;
        EXPECT_EQ(backend.read("T", "new"), "1") << text;
    }
}

std::string WriterKey(int copy, int i) {
    std::string key = "c";
    key += std::to_string(copy);
    key += '-';
    key += std::to_string(i);
    return key;
}

// Two copies of the program saving at the same moment, each its own keys.
void RunTwoWriters(bool sameSection) {
    TempDir dir;
    const std::string path = dir.file("FH_SENDWARDEN.ini");
    int gate[2];
    ASSERT_EQ(::pipe(gate), 0);
    std::vector<pid_t> children;
    for (int c = 0; c < 2; ++c) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(gate[1]);
            char byte;
            (void)::read(gate[0], &byte, 1);  // both start when the gate closes
            IniSettingsBackend backend(path);
            const std::string section = sameSection ? "COPY" : "COPY" + std::to_string(c);
            for (int i = 0; i < 500; ++i) {
                std::string error;
                const std::string key = WriterKey(c, i);
                if (!backend.write(section, key, "value;" + key + "\n", error)) ::_exit(1);
            }
            ::_exit(0);
        }
        children.push_back(pid);
    }
    ::close(gate[0]);
    ::close(gate[1]);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (pid_t pid : children) {
        int status = 0;
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) ::kill(pid, SIGKILL);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a writer failed";
    }
    IniSettingsBackend backend(path);
    int found = 0;
    for (int c = 0; c < 2; ++c) {
        const std::string section = sameSection ? "COPY" : "COPY" + std::to_string(c);
        for (int i = 0; i < 500; ++i) {
            const std::string key = WriterKey(c, i);
            found += backend.read(section, key) == "value;" + key + "\n";
        }
    }
    EXPECT_EQ(found, 1000);
    EXPECT_FALSE(fs::exists(path + ".tmp"));
    EXPECT_FALSE(fs::exists(path + ".lock"));
}

TEST(IniSettingsBackend, TwoProcessesWritingOneSectionLoseNothing) { RunTwoWriters(true); }
TEST(IniSettingsBackend, TwoProcessesWritingTwoSectionsLoseNothing) { RunTwoWriters(false); }

// A copy killed in the middle of saving: the file always parses and keeps
// every value whose write had returned.
TEST(IniSettingsBackend, KilledWhileSavingLeavesACompleteFile) {
    TempDir dir;
    const std::string path = dir.file("FH_SENDWARDEN.ini");
    auto counterValue = [](int i) { return std::to_string(i) + std::string(300 + i % 50, '#'); };
    std::map<std::string, std::string> mustHold;
    std::mt19937 random(12345);
    const std::regex lineForm(R"((\[Kill\])|(r\d+-k\d+=v\d+)|(counter=\d+#+)|())");
    for (int round = 0; round < 20; ++round) {
        int report[2];
        ASSERT_EQ(::pipe(report), 0);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::close(report[0]);
            IniSettingsBackend backend(path);
            for (int i = 0;; ++i) {
                std::string error;
                const std::string n = std::to_string(i);
                if (!backend.write("Kill", "r" + std::to_string(round) + "-k" + n, "v" + n, error)) ::_exit(1);
                if (!backend.write("Kill", "counter", counterValue(i), error)) ::_exit(1);
                if (::write(report[1], &i, sizeof i) != sizeof i) ::_exit(1);
            }
        }
        ::close(report[1]);
        std::this_thread::sleep_for(std::chrono::microseconds(200 + random() % 10000));
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the saving copy stopped by itself";
        int last = -1, i = 0;
        while (::read(report[0], &i, sizeof i) == sizeof i) last = i;
        ::close(report[0]);

        for (int j = 0; j <= last; ++j) {
            mustHold["r" + std::to_string(round) + "-k" + std::to_string(j)] = "v" + std::to_string(j);
        }
        std::istringstream lines(ReadFile(path));
        std::string line;
        while (std::getline(lines, line)) {
            ASSERT_TRUE(std::regex_match(line, lineForm)) << "round " << round << ": torn line " << line;
        }
        IniSettingsBackend fresh(path);
        for (const auto& [key, value] : mustHold) {
            ASSERT_EQ(fresh.read("Kill", key), value) << "round " << round << " key " << key;
        }
        // The counter holds the last reported value, or the next one when
        // that save was complete before the kill.
        const auto counter = fresh.read("Kill", "counter");
        if (last >= 0) {
            EXPECT_TRUE(counter == counterValue(last) || counter == counterValue(last + 1)) << *counter;
        }
        if (fs::exists(path)) {  // none before the first save
            EXPECT_EQ(ModeOf(path), 0600);
        }
        // Left behind when the kill came during a write, owner-only as well.
        for (const char* leftover : {".lock", ".tmp"}) {
            if (fs::exists(path + leftover)) {
                EXPECT_EQ(ModeOf(path + leftover), 0600) << leftover;
            }
        }
    }
    // A lock file left behind by a killed copy does not stop the next write.
    std::string error;
    EXPECT_TRUE(IniSettingsBackend(path).write("Kill", "after", "1", error)) << error;
}

TEST(IniSettingsBackend, FilesAreOwnerOnlyAndTheFolderIsCreated) {
    TempDir dir(false);
    const mode_t oldMask = ::umask(022);
    const std::string folder = dir.file("config/deeper");
    const std::string path = folder + "/FH_SENDWARDEN.ini";
    IniSettingsBackend backend(path);
    std::string error;
    const bool written = backend.write("S", "SMTP_PASSWORD_TEXTBOX", "secret", error);
    ::umask(oldMask);
    ASSERT_TRUE(written) << error;
    EXPECT_EQ(ModeOf(dir.file("config")), 0700);
    EXPECT_EQ(ModeOf(folder), 0700);
    EXPECT_EQ(ModeOf(path), 0600);
    // The lock file exists only while a write is under way.
    EXPECT_FALSE(fs::exists(path + ".lock"));
    EXPECT_FALSE(fs::exists(path + ".tmp"));

    // A file that someone opened up is narrowed again by the next write.
    ::chmod(path.c_str(), 0644);
    ASSERT_TRUE(backend.write("S", "k", "v", error)) << error;
    EXPECT_EQ(ModeOf(path), 0600);
    EXPECT_EQ(IniSettingsBackend(path).read("S", "SMTP_PASSWORD_TEXTBOX"), "secret");
}

TEST(IniSettingsBackend, WriteIntoReadOnlyFolderFailsAndKeepsTheOldFile) {
    TempDir dir;
    const std::string folder = dir.file("ro");
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    // Root ignores folder permissions: run the writer as an ordinary user.
    const uid_t nobody = 65534;
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(dir.path().c_str(), nobody, nobody), 0);
        ASSERT_EQ(::chown(folder.c_str(), nobody, nobody), 0);
    }
    const std::string path = folder + "/FH_SENDWARDEN.ini";
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const int code = RunInChild([&] {
        if (::geteuid() == 0 && (::setgid(nobody) != 0 || ::setuid(nobody) != 0)) return 10;
        IniSettingsBackend backend(path);
        std::string error;
        if (!backend.write("S", "k", "old", error)) return 11;
        const std::string before = ReadFile(path);
        if (::chmod(folder.c_str(), 0500) != 0) return 12;
        const bool written = backend.write("S", "k", "new", error);
        (void)!::write(pipeFds[1], error.data(), error.size());
        if (written) return 13;
        if (ReadFile(path) != before || backend.read("S", "k") != "old") return 14;
        return 0;
    });
    ::close(pipeFds[1]);
    char buf[512];
    const ssize_t n = ::read(pipeFds[0], buf, sizeof buf);
    ::close(pipeFds[0]);
    const std::string error(buf, n > 0 ? std::size_t(n) : 0);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(error, "cannot write " + path + ": Permission denied");
}

TEST(IniSettingsBackend, UnreadableFileIsNotOverwritten) {
    TempDir dir;
    // A folder where the file should be: it cannot be read, so a write must
    // not replace it with a file holding only the new value.
    const std::string path = dir.file("FH_SENDWARDEN.ini");
    ASSERT_EQ(::mkdir(path.c_str(), 0700), 0);
    IniSettingsBackend backend(path);
    std::string error;
    EXPECT_FALSE(backend.write("S", "k", "v", error));
    EXPECT_EQ(error, "cannot read " + path + ": Is a directory");
    EXPECT_TRUE(fs::is_directory(path));
    EXPECT_EQ(backend.read("S", "k"), std::nullopt);

    IniSettingsBackend nowhere("");
    EXPECT_FALSE(nowhere.write("S", "k", "v", error));
    EXPECT_FALSE(error.empty());
}

TEST(IniSettingsBackend, WriteThroughSymbolicLinkKeepsTheLink) {
    TempDir dir;
    const std::string real = dir.file("real.ini");
    const std::string link = dir.file("FH_SENDWARDEN.ini");
    WriteFile(real, "[S]\nother=1\n");
    ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);
    IniSettingsBackend backend(link);
    std::string error;
    ASSERT_TRUE(backend.write("S", "k", "v", error)) << error;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadFile(real), "[S]\nother=1\nk=v\n");
}

TEST(IniSettingsBackend, DefaultPathFollowsXdgConfigHome) {
    ScopedEnv home("HOME", "/home/tester");
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", "/srv/conf");
        EXPECT_EQ(IniSettingsBackend::DefaultPath(), "/srv/conf/FH_SENDWARDEN.ini");
    }
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", "");
        EXPECT_EQ(IniSettingsBackend::DefaultPath(), "/home/tester/.config/FH_SENDWARDEN.ini");
    }
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", nullptr);
        EXPECT_EQ(IniSettingsBackend::DefaultPath(), "/home/tester/.config/FH_SENDWARDEN.ini");
    }
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", "relative/conf");  // not absolute: ignored
        EXPECT_EQ(IniSettingsBackend::DefaultPath(), "/home/tester/.config/FH_SENDWARDEN.ini");
    }
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", nullptr);
        ScopedEnv noHome("HOME", nullptr);
        const std::string path = IniSettingsBackend::DefaultPath();
        EXPECT_EQ(path.substr(0, 1), "/");
        EXPECT_EQ(path.substr(path.size() > 26 ? path.size() - 26 : 0), "/.config/FH_SENDWARDEN.ini");
    }
}

TEST(LinuxExecutableName, IsTheBaseNameOfTheRunningProgram) {
    LinuxExecutableName name;
    EXPECT_EQ(name.baseName(), "unit_tests");
    EXPECT_EQ(RunningExecutablePath(), fs::canonical("/proc/self/exe").string());
}

}  // namespace
}  // namespace fhsw
