// The settings file on Linux, through the backend and through the program's
// own windows: a file that the program wrote before it kept its settings
// through QSettings saves the same run files; names and values the format
// must escape come back exactly; only this user's own regular file is read;
// copies saving at once lose nothing; a lock held by another copy fails a
// save; a kill leaves a whole file and, after the next save, nothing else.
#include "platform/linux/ini_settings_backend.h"

#include <gtest/gtest.h>
#include <sys/file.h>

#include <fcntl.h>
#include <map>
#include <regex>

#include "linux_test_support.h"
#include "support/scoped_env.h"

namespace fhsw::test {
namespace {

// A scratch folder in memory where there is one: saves sync to disk.
struct SettingsFolder : TempFolder {
    SettingsFolder() : TempFolder(::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : fs::temp_directory_path().string()) {}
    const std::string ini = *this / "FH_SENDWARDEN.ini";
};

::testing::AssertionResult Save(IniSettingsBackend& backend, const std::vector<SettingValue>& values) {
    std::string error;
    if (backend.writeAll(values, error)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << error;
}

// tests/data/settings_compat holds a settings file that the program wrote
// before it kept its settings through QSettings, and the run files that its
// SAVE wrote (README.md there says how), into /tmp/fhsw-store-compat/...,
// here a scratch folder.
TEST(SettingsFile, AFileOfTheOldProgramSavesTheSameRunFilesAndHostileValuesComeBack) {
    const std::string data = std::string(FHSW_SOURCE_DIR) + "/tests/data/settings_compat/";
    SettingsFolder dir;
    const auto moved = [&](const std::string& name) {
        return std::regex_replace(ReadFile(data + name), std::regex("/tmp/fhsw-store-compat"), dir.path);
    };
    const std::string home = dir / "SendEmail Ω", profile = "Nächtlicher Bericht #2 ☃";
    ASSERT_TRUE(fs::create_directory(home));
    WriteFile(dir.ini, moved("FH_SENDWARDEN.ini"), 0600);
    IniSettingsBackend backend(dir.ini);
    EXPECT_EQ(backend.sections(), (std::vector<std::string>{"General", profile}));
    EXPECT_EQ(backend.read("General", "SUBJECT_TEXTBOX"), "a section named General");

    // SAVE in the settings window, as fh-sendwarden-setup presses it.
    ScopedEnv xdg("XDG_CONFIG_HOME", dir.path.c_str());
    const ProcessResult r = RunProcess({std::string(FHSW_BINARY_DIR) + "/fh-sendwarden-setup", profile}, dir.path);
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* name : {"SENDEMAIL-RUNNER.BAT", "SENDEMAIL-MESSAGE.txt"})
        EXPECT_EQ(ReadFile(home + "/" + name), moved(name)) << name;
    EXPECT_EQ(ReadFile(dir.ini), moved("FH_SENDWARDEN.ini")) << "the same values: the file as it was";
    // Names that a copy of the program may be called, keys and values that
    // the format has to escape: written anew by QSettings, the file holds them
    // and the old values exactly, for this user alone.
    const std::vector<std::string> odd = {"FH_SW_SHARED_SETTINGS", "fh_sw_shared_settings", "[a]b=c;d#,e", "%general",
                                          " lead ", "quote\"d", "back\\slash", "été ☃ 😀", "%U0041"};
    const std::vector<std::string> values = {"@ByteArray(x)", "@Invalid()", "cr\ronly\nlf\r\n", "\x01\x1f\x7f\x1b",
                                             std::string("nul\0" "1", 5), "a, b", " lead", "ends\\", "k=v\n[S]\n#x;y",
                                             "\\x41", "", std::string(5000, 'x')};
    std::vector<SettingValue> table;
    for (std::size_t i = 0; i < values.size(); ++i)
        table.push_back({odd[i % odd.size()], "k" + std::to_string(i) + "=" + odd[(i + 2) % odd.size()], values[i]});
    ASSERT_TRUE(Save(backend, table));
    IniSettingsBackend fresh(dir.ini);
    for (const SettingValue& v : table) {
        EXPECT_EQ(fresh.read(v.section, v.key), v.value) << v.section;
        EXPECT_EQ(backend.read(v.section, v.key), v.value) << "as the writer keeps it: " << v.section;
    }
    EXPECT_EQ(fresh.read(profile, "SMTP_PASSWORD_TEXTBOX"), "p@ss\"w;rd=#%\\");
    EXPECT_EQ(fresh.read("Fh_sw_shared_settings", table[1].key), std::nullopt) << "names compare case-sensitively";
    EXPECT_EQ(ModeOf(dir.ini), 0600);
    // Typed by hand, an unquoted list is the text.
    WriteFile(dir.ini, "[N]\nk=a@example.org, b@example.org ; note\n");
    EXPECT_EQ(IniSettingsBackend(dir.ini).read("N", "k"), "a@example.org, b@example.org");
}

// Anything but this user's own regular file (or a link of this user to one)
// as the settings file, also as another user of the machine would plant it
// in a settings folder that all may write to (like /tmp): reads give the
// defaults at once and say why, once; saves fail with the reason and leave
// it as it is. A link of ours is saved through and stays.
TEST(SettingsFile, OnlyThisUsersOwnRegularFileIsReadOrWritten) {
    SettingsFolder dir;
    ::chmod(dir.path.c_str(), 0711);
    const std::string mine = WriteFile(dir / "mine.ini", "[N]\nk=mine\n");
    const std::string F = " FH_SENDWARDEN.ini", notFile = "it is not a regular file";
    std::vector<std::tuple<std::string, std::string, std::string>> cases = {  // folder, what stands there, reason
        {"fifo", "mkfifo -m 600" + F, notFile},
        {"device", "ln -s /dev/null" + F, notFile},
        {"folder", "mkdir" + F, "Is a directory"},
        {"dangling", "ln -s " + dir / "gone" + F, "it is a symbolic link to a file that is not there"}};
    if (const auto other = OtherUser()) {
        const std::string theirs = "it belongs to another user (" + other->name + ")";
        cases.push_back({"planted", "!printf \"[N]\\nk=/tmp/x.bat\\n\" >" + F + "; chmod 666" + F, theirs});
        cases.push_back({"planted-link", "!ln -s " + mine + F,
                         "it is a symbolic link of another user (" + other->name + ")"});
        cases.push_back({"link-to-theirs", "ln -s " + dir / "planted/FH_SENDWARDEN.ini" + F, theirs});
    }
    ::alarm(60);  // a read that waits ends the tests here
    for (const auto& [name, plant, reason] : cases) {
        SCOPED_TRACE(name);
        const std::string folder = dir / name, path = folder + "/FH_SENDWARDEN.ini";
        ASSERT_TRUE(Plant(folder, plant));
        struct stat before {}, after {};
        ASSERT_EQ(::lstat(path.c_str(), &before), 0);
        ScopedEnv xdg("XDG_CONFIG_HOME", folder.c_str());
        IniSettingsBackend backend(IniSettingsBackend::DefaultPath());
        std::string out, error;
        backend.onReadError = [&](const std::string& message) { out += message + "\n"; };
        for (int i = 0; i < 3; ++i) out += backend.read("N", "k").value_or("-") + "\n";
        out += (backend.write("N", "k", "v", error) ? "written" : error) + "\n";
        EXPECT_EQ(out, "cannot read " + path + ": " + reason + "; the settings read as their defaults\n-\n-\n-\n" +
                           "cannot write " + path + ": " + reason + "\n");
        ::lstat(path.c_str(), &after);
        EXPECT_TRUE(after.st_ino == before.st_ino && after.st_mtim.tv_nsec == before.st_mtim.tv_nsec) << "touched";
        EXPECT_EQ(backend.openToOthers(), folder + " is writable by other users (mode 1777)");
    }
    ::alarm(0);
    EXPECT_EQ(ReadFile(mine), "[N]\nk=mine\n");
    fs::create_symlink(mine, dir.ini);
    IniSettingsBackend backend(dir.ini);
    ASSERT_TRUE(Save(backend, {{"N", "k", "new"}}));
    EXPECT_TRUE(fs::is_symlink(dir.ini));
    EXPECT_EQ(IniSettingsBackend(mine).read("N", "k"), "new");
    EXPECT_EQ(ModeOf(mine), 0600);
}

// A copy of the program in a child process that starts when `gate` (if any)
// closes and makes `saves` saves into `path` (or saves on until killed), each of a
// value of its own and a password of 300-350 bytes; it writes the number of
// each save that returned to `report` (unless -1).
pid_t SavingCopy(const std::string& path, const std::string& prefix, int saves, const int* gate, int report = -1) {
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    char byte;
    if (gate && ::close(gate[1]) == 0) (void)!::read(gate[0], &byte, 1);
    IniSettingsBackend backend(path);
    for (int i = 0; i != saves; ++i) {
        const std::string password(300 + i % 50, '#');
        if (!Save(backend, {{"S", prefix + std::to_string(i), "v"}, {"S", "SMTP_PASSWORD_TEXTBOX", password}}) ||
            (report >= 0 && ::write(report, &i, sizeof i) != sizeof i)) {
            ::_exit(1);
        }
    }
    ::_exit(0);
}

// Three copies saving at the same moment, again and again, each its own
// keys (so that only the file's time stamps tell most versions apart): every
// value saved is in the file at the end, and a copy that last saved the file
// sees them at its next read, as does one that last read it.
TEST(SettingsFile, CopiesSavingAtOnceLoseNothingAndAHeldLockFailsASave) {
    SettingsFolder dir;
    IniSettingsBackend savedLast(dir.ini), readLast(dir.ini);
    ASSERT_TRUE(Save(savedLast, {{"S", "k", "v"}}));
    ASSERT_EQ(readLast.read("S", "k"), "v");
    int gate[2];
    ASSERT_EQ(::pipe(gate), 0);
    std::vector<pid_t> copies;
    for (const char* prefix : {"a", "b", "c"}) copies.push_back(SavingCopy(dir.ini, prefix, 40, gate));
    ::close(gate[1]);
    for (pid_t pid : copies) EXPECT_EQ(WaitChild(pid), 0) << "a copy could not save";
    for (IniSettingsBackend* backend : {&savedLast, &readLast}) {
        int lost = 0;
        for (const std::string prefix : {"a", "b", "c"})
            for (int i = 0; i < 40; ++i) lost += backend->read("S", prefix + std::to_string(i)) != "v";
        EXPECT_EQ(lost, 0);
    }
    // Another copy holds the lock and does not let go: a save gives up, says
    // why and leaves the file as it was. Once the holder is gone (its lock
    // with it), saves go through.
    const std::string before = ReadFile(dir.ini);
    const int held = ::open((dir.ini + ".lock").c_str(), O_RDONLY);  // a lock of its own, as another copy's
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    std::string error;
    EXPECT_FALSE(savedLast.writeAll({{"S", "k", "new"}, {"S", "k2", "new"}}, error));
    EXPECT_EQ(error, "cannot write " + dir.ini + ": another copy of the program has been saving it for more than 10 s");
    EXPECT_EQ(ReadFile(dir.ini) + savedLast.read("S", "k").value_or("-"), before + "v");
    ::close(held);  // as a copy that dies lets go
    EXPECT_TRUE(Save(savedLast, {{"S", "k", "new"}}));
    EXPECT_EQ(dir.count(), 2u) << "the file and its lock";
}

// A copy killed at any moment of saving: the file is whole and holds every
// save that had returned; the next save removes what the killed one left
// (its copy of the file holds the password). The file is its owner's alone
// from the first save on, and so is the folder made for it.
TEST(SettingsFile, KilledWhileSavingLeavesAWholeFileAndNothingElse) {
    SettingsFolder dir;
    const std::string folder = dir / "config", path = folder + "/FH_SENDWARDEN.ini";
    const mode_t oldMask = ::umask(022);
    std::vector<std::string> mustHold;  // the last save that returned in each round, and all before it
    for (int round = 0; round < 20; ++round) {
        const std::string prefix = "r" + std::to_string(round) + "-";
        int report[2], last = -1;
        ASSERT_EQ(::pipe(report), 0);
        const pid_t pid = SavingCopy(path, prefix, -1, nullptr, report[1]);
        ::close(report[1]);
        std::this_thread::sleep_for(std::chrono::microseconds(2000 + round * 4177 % 20000));
        ::kill(pid, SIGKILL);
        ASSERT_EQ(WaitChild(pid), -1) << "the saving copy stopped by itself";
        for (int i = 0; ::read(report[0], &i, sizeof i) == sizeof i;) last = i;
        ::close(report[0]);
        if (last >= 0) mustHold.push_back(prefix + std::to_string(last));
        IniSettingsBackend fresh(path);
        for (const std::string& key : mustHold) ASSERT_EQ(fresh.read("S", key), "v") << key;
    }
    IniSettingsBackend backend(path);
    ASSERT_TRUE(Save(backend, {{"S", "after", "1"}}));
    ::umask(oldMask);
    EXPECT_EQ(ModeOf(folder), 0700);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 2) << "the file and its lock";
}

}  // namespace
}  // namespace fhsw::test
