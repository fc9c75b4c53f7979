// The settings file on Linux, through the backend and through the program's
// own windows: a file that the program wrote before it kept its settings
// through QSettings reads back the same and saves the same run files; names
// and values the format must escape come back exactly; only this user's own
// regular file is read; copies saving at once lose nothing; a kill leaves a
// whole file and, after the next save, nothing else.
#include "platform/linux/ini_settings_backend.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "forms/main_window.h"
#include "forms/settings_main_window.h"
#include "platform/linux/executable_name_linux.h"
#include "platform/linux/files_linux.h"
#include "support/other_user.h"
#include "support/scoped_env.h"
#include "support/test_app.h"

namespace fhsw {
namespace {

namespace fs = std::filesystem;

// A scratch folder, in memory where there is one.
struct TempDir {
    std::string path = [] {
        std::string dir = ::access("/dev/shm", W_OK) ? fs::temp_directory_path().string() : "/dev/shm";
        return std::string(::mkdtemp((dir += "/fhsw-settings-XXXXXX").data()));
    }();
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    std::string file(const std::string& name = "FH_SENDWARDEN.ini") const { return path + "/" + name; }
    std::set<std::string> names() const {
        std::set<std::string> out;
        for (const auto& e : fs::directory_iterator(path)) out.insert(e.path().filename().string());
        return out;
    }
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
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

::testing::AssertionResult Save(IniSettingsBackend& backend, const std::vector<SettingValue>& values) {
    std::string error;
    if (backend.writeAll(values, error)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << error;
}

// tests/data/settings_compat holds a settings file that the program wrote
// before it kept its settings through QSettings, and the run files that its
// SAVE wrote (README.md there says how). Its install folder,
// /tmp/fhsw-store-compat/..., is a fresh folder here.
TEST(SettingsFile, TodaysFileReadsBackTheSameAndSavesTheSameRunFiles) {
    const std::string data = std::string(FHSW_SOURCE_DIR) + "/tests/data/settings_compat/";
    TempDir dir;
    auto moved = [&](std::string text) {
        return std::regex_replace(text, std::regex("/tmp/fhsw-store-compat"), dir.path);
    };
    const std::string home = dir.path + "/SendEmail Ω";
    ASSERT_TRUE(fs::create_directory(home));
    std::ofstream(dir.file(), std::ios::binary) << moved(ReadFile(data + "FH_SENDWARDEN.ini"));
    ::chmod(dir.file().c_str(), 0600);
    const std::string profile = "Nächtlicher Bericht #2 ☃";
    const std::map<std::string, std::string> given = {
        {"SMTP_PASSWORD_TEXTBOX", "p@ss\"w;rd=#%\\"},
        {"SEND_CC_ADDRESS_TEXTBOX", " audit@example.org; x=y "},
        {"SEND_BCC_ADDRESS_TEXTBOX", "@bcc@example.org"},
        {"SUBJECT_TEXTBOX", "Bericht 100% fertig \\ [General] #1 ☃ 😀"},
        {"MESSAGE_TEXTBOX", "Grüße aus Köln,\r\n\"quoted\"; a=b, c#d\r\n\ttab and ; semicolon\r\n"
                            "back\\slash at the end\\\\\r\n\r\n[Section]\r\nkey=value\r\nlast line ÿ"}};
    IniSettingsBackend backend(dir.file());
    for (const auto& [key, value] : given) EXPECT_EQ(backend.read(profile, key), value) << key;
    EXPECT_EQ(backend.read("General", "SUBJECT_TEXTBOX"), "a section named General");
    EXPECT_EQ(backend.sections(), (std::vector<std::string>{"General", profile}));

    // SAVE in the settings window, as fh-sendwarden-setup presses it.
    FixedExecutableName exe(profile);
    SettingsStore store(backend, exe);
    VirtualScheduler scheduler;
    test::ScriptedHost host;
    UiContext ui{scheduler, host};
    test::FakeLauncher launcher;
    test::FakeProcesses processes;
    test::FakeZOrder zorder;
    LinuxFiles files;
    AppContext app{ui, store, launcher, processes, zorder, files, RunFileNames::Linux()};
    MainWindow main(app);
    main.show();
    SettingsMainWindow settings(app, main);
    settings.show();
    settings.SAVE_BUTTON.press();
    for (const char* name : {"/SENDEMAIL-RUNNER.BAT", "/SENDEMAIL-MESSAGE.txt"}) {
        EXPECT_EQ(ReadFile(home + name), moved(ReadFile(data + name))) << name;
    }
    // Nothing changed: the file stays as it was. Written anew by QSettings, it
    // holds the same values, for this user alone.
    EXPECT_EQ(ReadFile(dir.file()), moved(ReadFile(data + "FH_SENDWARDEN.ini")));
    ASSERT_TRUE(Save(backend, {{profile, "ADDED", "1"}}));
    IniSettingsBackend fresh(dir.file());
    for (const auto& [key, value] : given) EXPECT_EQ(fresh.read(profile, key), value) << key;
    EXPECT_EQ(ModeOf(dir.file()), 0600);
}

// Names that a copy of the program may be called, keys and values that the
// file format has to escape.
TEST(SettingsFile, NamesAndValuesComeBackExactly) {
    const std::vector<std::string> sections = {
        "FH_SW_SHARED_SETTINGS", "fh_sw_shared_settings", "my mailer", "[bracket]", "a]b[c", "100%", "%41",
        "%U0041", "a=b;c#d,e", "été ☃ 😀", "General", "%general", "back\\slash", " lead and trail ",
        "quote\"d", "@at", "tab\there", "#hash", ";semi", ""};
    const std::vector<std::string> keys = {"SEND_TO_ADDRESS_TEXTBOX", "MAIN-Left", "a key=with;stuff#", "[x]",
                                           "ключ 😀", "percent%", " spaced ", "@k", "\"q\""};
    const std::vector<std::string> values = {
        "", " ", "line1\r\nline2\r\n", "cr\ronly", "\"quoted\"", "a=b", "semi;colon", "#hash", "comma, list",
        "back\\slash", "ends with backslash\\", "  leading", "trailing  ", "\ttabs\t", "@at", "@@double",
        "@ByteArray(x)", "@Invalid()", "é ünïcödé ☃ 😀", std::string("nul\0" "1", 5),
        "\x01\x1f\x7f ctl\x1b" "abc",
        "\\x41 and \\n literally", "key=value\n[Section]\nother=1", std::string(5000, 'x')};
    std::vector<SettingValue> table;
    for (std::size_t s = 0; s < sections.size(); ++s) {
        table.push_back({sections[s], keys[s % keys.size()], values[(s * 7) % values.size()]});
        table.push_back({sections[s], "SUBJECT_TEXTBOX", "s" + std::to_string(s)});
    }
    for (std::size_t v = 0; v < values.size(); ++v) table.push_back({"values", "v" + std::to_string(v), values[v]});
    TempDir dir;
    IniSettingsBackend writer(dir.file());
    ASSERT_TRUE(Save(writer, table));
    IniSettingsBackend fresh(dir.file());
    for (const SettingValue& v : table) {
        EXPECT_EQ(fresh.read(v.section, v.key), v.value) << v.section << " / " << v.key;
        EXPECT_EQ(writer.read(v.section, v.key), v.value) << "as the writer keeps it: " << v.section;
    }
    EXPECT_EQ(fresh.read("Values", "V1"), std::nullopt) << "names compare case-sensitively";
    std::set<std::string> profiles(sections.begin(), sections.end() - 1);
    profiles.insert("values");
    const std::vector<std::string> listed = fresh.sections();
    EXPECT_EQ(std::set<std::string>(listed.begin(), listed.end()), profiles);
}

// Files as a person may leave them: the value that the file shows is read,
// before and after a save of another value.
TEST(SettingsFile, HandEditedFilesAreRead) {
    const std::vector<std::array<std::string, 4>> files = {  // text, section, key, value
        {"\xEF\xBB\xBF; my settings\r\n[N]\r\nk=1\r\n", "N", "k", "1"},
        {"[N]\nSEND_TO_ADDRESS_TEXTBOX=a@example.org, b@example.org\n", "N", "SEND_TO_ADDRESS_TEXTBOX",
         "a@example.org, b@example.org"},
        {"[ N ]\n  k =  spaced out  \n", "N", "k", "spaced out"},
        {"[N]\nk=smtp.x.org:25 ; note\n", "N", "k", "smtp.x.org:25"},
        {"[N]\nk=first\n[M]\nk=m\n[N]\nk=later wins\n", "N", "k", "later wins"},
        {"[%GENERAL]\nk=from before\n", "GENERAL", "k", "from before"}};
    for (const auto& [text, section, key, value] : files) {
        SCOPED_TRACE(text);
        TempDir dir;
        std::ofstream(dir.file(), std::ios::binary) << text;
        IniSettingsBackend backend(dir.file());
        EXPECT_EQ(backend.read(section, key), value);
        ASSERT_TRUE(Save(backend, {{section, "added", "2"}}));
        EXPECT_EQ(IniSettingsBackend(dir.file()).read(section, key), value);
    }
}

// A settings file kept elsewhere and linked into place (as tools that manage
// such files do): saves go to the linked file, the link stays.
TEST(SettingsFile, ALinkOfOursIsSavedThrough) {
    TempDir dir;
    ASSERT_TRUE(fs::create_directory(dir.file("dotfiles")));
    std::ofstream(dir.file("dotfiles/FH_SENDWARDEN.ini")) << "[S]\nk=old\n";
    fs::create_symlink(dir.file("dotfiles/FH_SENDWARDEN.ini"), dir.file());
    IniSettingsBackend backend(dir.file());
    ASSERT_TRUE(Save(backend, {{"S", "k", "new"}}));
    EXPECT_TRUE(fs::is_symlink(dir.file()));
    EXPECT_EQ(IniSettingsBackend(dir.file("dotfiles/FH_SENDWARDEN.ini")).read("S", "k"), "new");
    EXPECT_EQ(ModeOf(dir.file("dotfiles/FH_SENDWARDEN.ini")), 0600);
}

// Anything but this user's own regular file as the settings file, also as
// another user of the machine would plant it in a settings folder that all
// may write to (like /tmp): reads give the defaults at once and say why,
// once; saves fail with the reason and leave it as it is.
TEST(SettingsFile, OnlyThisUsersOwnRegularFileIsRead) {
    TempDir dir;
    ::chmod(dir.path.c_str(), 0711);
    const std::string mine = dir.file("mine.ini");
    std::ofstream(mine) << "[NIGHTLY]\nSE_RUNNER_BAT_LOCATION_TEXTBOX=mine\n";
    const std::string pipe = "it is a named pipe (FIFO), not a regular file";
    struct Case {
        std::string folder, plant, reason;  // plant: a shell command, of the other user when `theirs`
        bool theirs = false;
    };
    std::vector<Case> cases = {
        {"fifo", "mkfifo -m 600 F", pipe},
        {"link-to-fifo", "mkfifo -m 600 fifo && ln -s $PWD/fifo F", pipe},
        {"device", "ln -s /dev/null F", "it is a device, not a regular file"},
        {"folder", "mkdir F", "Is a directory"},
        {"dangling", "ln -s " + dir.file("gone") + " F", "it is a symbolic link to a file that is not there"}};
    const auto other = test::OtherUser();
    if (other) {
        const std::string theirs = "it belongs to another user (" + other->name + ")";
        const std::string text = "[NIGHTLY]\\nSE_RUNNER_BAT_LOCATION_TEXTBOX=/tmp/x.bat\\n";
        cases.push_back({"planted", "printf \"" + text + "\" >F; chmod 666 F", theirs, true});
        cases.push_back({"planted-link", "ln -s " + mine + " F",
                         "it is a symbolic link of another user (" + other->name + ")", true});
        cases.push_back({"link-to-theirs", "ln -s " + dir.file("planted/FH_SENDWARDEN.ini") + " F", theirs});
    }
    ::alarm(60);  // a read that waits ends the tests here
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        const std::string folder = dir.file(c.folder), path = folder + "/FH_SENDWARDEN.ini";
        ASSERT_EQ(::mkdir(folder.c_str(), 0700) | ::chmod(folder.c_str(), 01777), 0);
        const std::string command =
            "cd " + folder + " && " + std::regex_replace(c.plant, std::regex("\\bF\\b"), "FH_SENDWARDEN.ini");
        ASSERT_TRUE(c.theirs ? test::AsOtherUser(*other, command) : std::system(command.c_str()) == 0);
        struct stat before {}, after {};
        ASSERT_EQ(::lstat(path.c_str(), &before), 0);
        test::ScopedEnv xdg("XDG_CONFIG_HOME", folder.c_str());
        IniSettingsBackend backend(IniSettingsBackend::DefaultPath());
        std::string out, error;
        backend.onReadError = [&](const std::string& message) { out += message + "\n"; };
        for (int i = 0; i < 3; ++i) {
            out += backend.read("NIGHTLY", "SE_RUNNER_BAT_LOCATION_TEXTBOX").value_or("-") + "\n";
        }
        out += (backend.write("NIGHTLY", "k", "v", error) ? "written" : error) + "\n";
        EXPECT_EQ(out, "cannot read " + path + ": " + c.reason + "; the settings read as their defaults\n" +
                           "-\n-\n-\ncannot write " + path + ": " + c.reason + "\n");
        ::lstat(path.c_str(), &after);
        EXPECT_TRUE(after.st_ino == before.st_ino && after.st_mtim.tv_nsec == before.st_mtim.tv_nsec) << "touched";
        EXPECT_EQ(backend.openToOthers(), folder + " is writable by other users (mode 1777)");
    }
    ::alarm(0);
    EXPECT_EQ(ReadFile(mine), "[NIGHTLY]\nSE_RUNNER_BAT_LOCATION_TEXTBOX=mine\n");
}

// Three copies saving at the same moment, again and again, each in its own
// section, overwriting values with others of the same length (so that only
// the file's time stamps tell the versions apart): every value saved is in
// the file at the end, and a copy that last saved the file sees them at its
// next read, as does one that last read it.
TEST(SettingsFile, CopiesSavingAtOnceLoseNothing) {
    TempDir dir;
    constexpr int kCopies = 3, kSaves = 40;
    auto name = [](std::string text, int n) { return text.append(std::to_string(n)); };
    std::vector<SettingValue> start;
    for (int c = 0; c < kCopies; ++c)
        for (int i = 0; i < kSaves; ++i) start.push_back({name("COPY", c), name("k", i), "old"});
    IniSettingsBackend savedLast(dir.file()), readLast(dir.file());
    ASSERT_TRUE(Save(savedLast, start));
    ASSERT_EQ(readLast.read("COPY0", "k0"), "old");
    int gate[2];
    ASSERT_EQ(::pipe(gate), 0);
    std::vector<pid_t> copies;
    for (int c = 0; c < kCopies; ++c) {
        if (const pid_t pid = ::fork(); pid != 0) {
            copies.push_back(pid);
            continue;
        }
        ::close(gate[1]);
        char byte;
        (void)!::read(gate[0], &byte, 1);  // all start when the gate closes
        IniSettingsBackend backend(dir.file());
        for (int i = 0; i < kSaves; ++i)
            if (!Save(backend, {{name("COPY", c), name("k", i), "new"}})) ::_exit(1);
        ::_exit(0);
    }
    ::close(gate[0]);
    ::close(gate[1]);
    for (pid_t pid : copies) EXPECT_EQ(WaitChild(pid), 0) << "a copy could not save";
    for (IniSettingsBackend* backend : {&savedLast, &readLast}) {
        int lost = 0;
        for (const SettingValue& v : start) lost += backend->read(v.section, v.key) != "new";
        EXPECT_EQ(lost, 0);
    }
    EXPECT_EQ(dir.names(), (std::set<std::string>{"FH_SENDWARDEN.ini", "FH_SENDWARDEN.ini.lock"}));
}

// A copy killed at any moment of saving: the file is whole and holds every
// save that had returned; the next save removes what the killed one left
// (its copy of the file holds the password). The file is its owner's alone
// from the first save on, and so is the folder made for it.
TEST(SettingsFile, KilledWhileSavingLeavesAWholeFileAndNothingElse) {
    TempDir dir;
    const std::string folder = dir.file("config"), path = folder + "/FH_SENDWARDEN.ini";
    auto counter = [](int i) { return std::to_string(i) + std::string(300 + i % 50, '#'); };
    std::map<std::string, std::string> mustHold;
    const mode_t oldMask = ::umask(022);
    for (int round = 0; round < 20; ++round) {
        const std::string prefix = "r" + std::to_string(round) + "-k";
        int report[2];
        ASSERT_EQ(::pipe(report), 0);
        const pid_t pid = ::fork();
        if (pid == 0) {  // saves on until killed, reporting each save that returned
            IniSettingsBackend backend(path);
            for (int i = 0;; ++i) {
                if (!Save(backend, {{"Kill", prefix + std::to_string(i), "v" + std::to_string(i)},
                                    {"Kill", "SMTP_PASSWORD_TEXTBOX", counter(i)}}) ||
                    ::write(report[1], &i, sizeof i) < 0) {
                    ::_exit(1);
                }
            }
        }
        ::close(report[1]);
        std::this_thread::sleep_for(std::chrono::microseconds(2000 + round * 4177 % 20000));
        ::kill(pid, SIGKILL);
        ASSERT_EQ(WaitChild(pid), -1) << "the saving copy stopped by itself";
        int last = -1, i = 0;
        while (::read(report[0], &i, sizeof i) == sizeof i) last = i;
        ::close(report[0]);
        for (int j = 0; j <= last; ++j) mustHold[prefix + std::to_string(j)] = "v" + std::to_string(j);
        IniSettingsBackend fresh(path);
        for (const auto& [key, value] : mustHold) ASSERT_EQ(fresh.read("Kill", key), value) << round;
        const auto password = fresh.read("Kill", "SMTP_PASSWORD_TEXTBOX");
        EXPECT_TRUE(last < 0 || password == counter(last) || password == counter(last + 1));
        if (fs::exists(path)) {
            EXPECT_EQ(ModeOf(path), 0600);
        }
    }
    IniSettingsBackend backend(path);
    ASSERT_TRUE(Save(backend, {{"Kill", "after", "1"}}));
    ::umask(oldMask);
    EXPECT_EQ(ModeOf(folder), 0700);
    std::set<std::string> left;
    for (const auto& e : fs::directory_iterator(folder)) left.insert(e.path().filename().string());
    EXPECT_EQ(left, (std::set<std::string>{"FH_SENDWARDEN.ini", "FH_SENDWARDEN.ini.lock"}));
}

// Another copy holds the save lock and does not let go: a save waits 10 s
// once, then says why; the saves that follow at once do not wait again (a
// SAVE of today stores its values one by one). After the lock is free, saves
// go through.
TEST(SettingsFile, AHeldLockMakesASaveWaitOnceThenReport) {
    TempDir dir;
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    if (holder == 0) {
        const int fd = ::open(dir.file("FH_SENDWARDEN.ini.lock").c_str(), O_RDONLY | O_CREAT, 0600);
        if (fd < 0 || ::flock(fd, LOCK_EX) != 0) ::_exit(1);
        (void)!::write(ready[1], "x", 1);
        ::pause();
    }
    char byte;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    IniSettingsBackend backend(dir.file());
    std::string error;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 20; ++i) {
        EXPECT_FALSE(backend.write("S", "k" + std::to_string(i), "v", error));
        EXPECT_EQ(error, "cannot write " + dir.file() +
                             ": another copy of the program has been saving it for more than 10 s");
    }
    const auto waited = std::chrono::steady_clock::now() - start;
    // Not a measure of speed: 20 waits would take 200 s.
    EXPECT_LT(waited, std::chrono::seconds(30));
    EXPECT_GE(waited, std::chrono::seconds(9));
    ::kill(holder, SIGKILL);
    WaitChild(holder);
    EXPECT_TRUE(Save(backend, {{"S", "k", "v"}})) << "a lock left by a process that died";
    EXPECT_EQ(backend.read("S", "k"), "v");
}

// A save that fails leaves the file as it was and says why; what it could
// not store is not stored later either (by the next save, which succeeds).
TEST(SettingsFile, AFailedSaveLeavesEverythingAsItWas) {
    TempDir dir;
    const std::string folder = dir.file("ro"), path = folder + "/FH_SENDWARDEN.ini";
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    // Root ignores folder permissions: the saving copy runs as nobody.
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
        if (backend.writeAll({{"S", "k", "new"}, {"S", "k2", "new"}}, error)) ::_exit(13);
        if (error != "cannot write " + path + ": Permission denied") ::_exit(14);
        if (ReadFile(path) != before || backend.read("S", "k") != "old") ::_exit(15);
        if (::chmod(folder.c_str(), 0700) != 0 || !backend.write("S", "other", "1", error)) ::_exit(16);
        IniSettingsBackend fresh(path);
        ::_exit(fresh.read("S", "k") == "old" && !fresh.read("S", "k2") ? 0 : 17);
    }
    EXPECT_EQ(WaitChild(pid, 30), 0) << "13: saved, 14: another reason, 15: file changed, 17: stored later";
}

TEST(SettingsFile, DefaultPathFollowsXdgConfigHome) {
    test::ScopedEnv home("HOME", "/home/tester");
    // The variable counts only when it holds an absolute path.
    for (const char* xdg : {"/srv/conf", "", static_cast<const char*>(nullptr), "relative/conf"}) {
        test::ScopedEnv env("XDG_CONFIG_HOME", xdg);
        const std::string folder = xdg && *xdg == '/' ? xdg : "/home/tester/.config";
        EXPECT_EQ(IniSettingsBackend::DefaultPath(), folder + "/FH_SENDWARDEN.ini") << (xdg ? xdg : "-");
    }
    test::ScopedEnv xdg("XDG_CONFIG_HOME", nullptr);
    test::ScopedEnv noHome("HOME", nullptr);  // the home folder from the user database
    const std::regex fromPasswd("/(.*/)?\\.config/FH_SENDWARDEN\\.ini");
    EXPECT_TRUE(std::regex_match(IniSettingsBackend::DefaultPath(), fromPasswd));
}

TEST(LinuxExecutableName, IsTheBaseNameOfTheRunningProgram) {
    EXPECT_EQ(LinuxExecutableName().baseName(), "unit_tests");
    EXPECT_EQ(RunningExecutablePath(), fs::canonical("/proc/self/exe").string());
}

}  // namespace
}  // namespace fhsw
