// The Windows platform for real, each part as the windows use it.
//
// Files of the install folder: bytes in the code pages of their readers,
// characters that cannot travel refused and named, staged text committed and
// undone exactly, a killed save's leftovers removed, folders and pipes never
// written through or waited on, access lists.
//
// The registry store, with values and names that other stores trip over:
// line breaks, quotes, backslashes, '%' (never expanded), non-ASCII of every
// plane, empty and very long values; a batch stored whole or not at all; the
// sections listed.
//
// The launcher and process watch: batch scripts in folders whose names the
// command interpreter would otherwise expand or take apart run exactly that
// folder's script, hidden or in a console of their own; a missing script is
// reported; a stop ends the script with the mail client it started, and its
// end and exit status are seen; the mail client is found by its image name in
// any case. (Other programs start directly: the Log Manager's editor in
// non_ascii_folder_test.cpp.)
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "compose/composer.h"
#include "platform/windows/files_windows.h"
#include "platform/windows/launcher_windows.h"
#include "platform/windows/process_query_windows.h"
#include "platform/windows/registry_settings_backend.h"
#include "win_test_support.h"

namespace fhsw::test {
namespace {

using K = TextFileKind;

// The runner script must hold what both the command interpreter (OEM) and
// the mail client reading its arguments (ANSI) read as typed.
TEST(WindowsFiles, EachKindIsWrittenInItsReadersCodePagesOrRefusedNamingTheCharacter) {
    // The bytes below are those of the code pages of an en-US system.
    if ((::GetOEMCP() != 437 && ::GetOEMCP() != 850) || ::GetACP() != 1252)
        GTEST_SKIP() << "code pages " << ::GetOEMCP() << " and " << ::GetACP();
    const struct {
        K kind;
        std::string text, bytes, refused;  // the file's bytes, or the character named
    } cases[] = {
        {K::MessageFile, "Caf\u00e9 \u20ac \u2019 \u00fc\r\nline 2", "Caf\xe9 \x80 \x92 \xfc\r\nline 2\r\n", ""},
        {K::RunnerScript, "\u03a9mega", "", "U+03A9"},     // in 437, not in 1252: arrives as "Omega"
        {K::RunnerScript, "price \u20ac5", "", "U+20AC"},  // in 1252 only
        {K::MessageFile, "x\u3000y", "", "U+3000"},
        {K::RunnerScript, "-u \uff02a", "", "U+FF02"},  // a best-fit stand-in would be a real quote
        {K::Log, "ok \U0001F600", "", "U+1F600"},
    };
    TempFolder dir;
    WindowsFiles files;
    const std::wstring path = dir.path() + L"\\f.txt";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::string error;
        ::DeleteFileW(path.c_str());
        EXPECT_EQ(files.firstUnwritable(c.text, c.kind).value_or(0),
                  c.refused.empty() ? 0 : std::stoul(c.refused.substr(2), nullptr, 16));
        EXPECT_EQ(files.writeLine(Narrow(path), c.text, c.kind, false, error), c.refused.empty()) << error;
        EXPECT_EQ(ReadBytes(path), c.bytes);
        EXPECT_NE(error.find(c.refused), std::string::npos) << error;
    }
}

// Also: a save that was killed leaves its staged text (which may hold the
// password) and the old file it put aside: the next save beside the same
// file removes them, but not a running save's, nor anything else.
TEST(WindowsFiles, StagedTextReplacesWholeAndUndoPutsBackExactlyWhatWasThere) {
    WindowsFiles files;
    for (const bool existed : {false, true}) {
        SCOPED_TRACE(existed ? "over an old file" : "where there was none");
        TempFolder dir(L"caf\u00e9");
        const std::wstring target = dir.path() + L"\\SENDEMAIL-RUNNER.BAT";
        ASSERT_TRUE(!existed || WriteBytes(target, "old"));
        const Names before = FolderEntries(dir.path());
        std::string error;
        auto staged = files.stage(Narrow(target), "new", K::RunnerScript, true, error);
        ASSERT_TRUE(staged) << error;
        EXPECT_EQ(ReadBytes(target), existed ? "old" : "") << "nothing in place before commit";
        ASSERT_TRUE(staged->commit(error)) << error;
        EXPECT_EQ(ReadBytes(target), "new\r\n");
        ASSERT_TRUE(staged->undo(error)) << error;
        EXPECT_EQ(ReadBytes(target), existed ? "old" : "");
        staged.reset();
        EXPECT_EQ(FolderEntries(dir.path()), before);

        // Staged while a killed save's files lie there (the first two): those
        // go, the others stay.
        auto running = files.stage(Narrow(target), "running", K::RunnerScript, true, error);
        for (const wchar_t* name : {L"SENDEMAIL-RUNNER.BAT.fhsw4242-1.tmp", L"SENDEMAIL-RUNNER.BAT.fhsw4242-2.tmp",
                                    L"SENDEMAIL-RUNNER.BAT.bak", L"SENDEMAIL-RUNNER.BAT.fhswX-1.tmp",
                                    L"SENDEMAIL-MESSAGE.txt.fhsw4242-1.tmp"})
            ASSERT_TRUE(WriteBytes(dir.path() + L"\\" + name, "x"));
        files.stage(Narrow(target), "dropped", K::RunnerScript, true, error).reset();
        ASSERT_TRUE(running && running->commit(error)) << error;
        running.reset();
        EXPECT_EQ(FolderEntries(dir.path()), (Names{L"SENDEMAIL-MESSAGE.txt.fhsw4242-1.tmp", L"SENDEMAIL-RUNNER.BAT",
                                                    L"SENDEMAIL-RUNNER.BAT.bak", L"SENDEMAIL-RUNNER.BAT.fhswX-1.tmp"}));
        EXPECT_EQ(ReadBytes(target), "running\r\n");
    }
}

// Wine makes a Unix link for a symbolic link, which lists as nothing, and
// has no junctions: only folders and read-only files are tried here.
TEST(WindowsFiles, NeverWritesThroughOrReplacesAFolderOrAReadOnlyFile) {
    WindowsFiles files;
    for (int row = 0; row < 4; ++row) {
        const bool folder = row < 2, afterStaging = row % 2;  // put there between stage() and commit()
        SCOPED_TRACE(std::string(folder ? "folder" : "read-only file") + (afterStaging ? " after staging" : ""));
        TempFolder dir;
        const std::wstring target = dir.path() + L"\\SENDEMAIL-RUNNER.BAT";
        auto occupy = [&] {
            return folder ? ::CreateDirectoryW(target.c_str(), nullptr) != FALSE
                          : WriteBytes(target, "old") && ::SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY);
        };
        ASSERT_TRUE(afterStaging || occupy());
        std::string error;
        auto staged = files.stage(Narrow(target), "@echo pwned", K::RunnerScript, true, error);
        EXPECT_EQ(staged != nullptr, afterStaging) << error;
        ASSERT_TRUE(!afterStaging || occupy());
        EXPECT_FALSE(staged && staged->commit(error));
        EXPECT_NE(error.find(Narrow(target)), std::string::npos) << error;
        staged.reset();
        EXPECT_EQ(FolderEntries(dir.path()), Names{L"SENDEMAIL-RUNNER.BAT"});
        EXPECT_EQ(ReadBytes(target), folder ? "" : "old");
        ::SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

TEST(WindowsFiles, LooksAtPlainFilesOnlyAndNeverWaitsOnAPipe) {
    TempFolder dir(L"caf\u00e9 \u03a9");
    const std::wstring file = dir.path() + L"\\log \u00e9.txt", missing = dir.path() + L"\\SENDEMAIL-LOG.txt";
    ASSERT_TRUE(WriteBytes(file, "0123456789"));
    // A pipe that anyone connecting would wait on for ever.
    const std::wstring pipe = L"fhsw-test-" + std::to_wstring(::GetCurrentProcessId());
    const HANDLE server =
        ::CreateNamedPipeW((L"\\\\.\\pipe\\" + pipe).c_str(), PIPE_ACCESS_DUPLEX, PIPE_NOWAIT, 4, 0, 0, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    WindowsFiles files;
    for (const std::wstring& path :
         {dir.path(), L"\\\\.\\pipe\\" + pipe, L"//./pipe/" + pipe, L"\\\\?\\PIPE\\" + pipe, missing}) {
        const std::string p = Narrow(path);
        std::string error;
        EXPECT_FALSE(files.isFile(p)) << p;
        EXPECT_EQ(files.fileSize(p), std::nullopt) << p;
        EXPECT_EQ(files.readFrom(p, 0, 100), std::nullopt) << p;
        // The mail client's log: a missing one is made; what is not a plain file is refused.
        EXPECT_EQ(files.secureLog(p, error), path == missing) << p;
        EXPECT_NE(error.find(path == missing ? "" : p), std::string::npos) << error;
    }
    EXPECT_TRUE(files.isFile(Narrow(missing)));
    const std::string p = Narrow(file);
    EXPECT_TRUE(files.isFile(p));
    EXPECT_EQ(files.fileSize(p), 10u);
    EXPECT_EQ((std::vector{files.readFrom(p, 4, 100), files.readFrom(p, 20, 100), files.readFrom(p, 0, 3)}),
              (std::vector<std::optional<std::string>>{"456789", "0123456789", "789"}));
    EXPECT_FALSE(::ConnectNamedPipe(server, nullptr));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_PIPE_LISTENING)) << "nobody connected";
    ::CloseHandle(server);
}

// The entries of a file's access list in SDDL ("(A;;FA;;;SY)").
std::set<std::string> Aces(const std::wstring& path) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    wchar_t* text = nullptr;
    ::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                            nullptr, &descriptor);
    ::ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                           &text, nullptr);
    const std::string sddl = text ? Narrow(text) : "";
    std::set<std::string> aces;
    for (std::size_t at = sddl.find('('); at != std::string::npos; at = sddl.find('(', at + 1))
        aces.insert(sddl.substr(at, sddl.find(')', at) - at + 1));
    ::LocalFree(text);
    ::LocalFree(descriptor);
    return aces;
}

void SetAcl(const std::wstring& path, const std::string& sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(Widen(sddl).c_str(), SDDL_REVISION_1,
                                                                       &descriptor, nullptr));
    EXPECT_TRUE(::SetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, descriptor));
    ::LocalFree(descriptor);
}

// Wine keeps no access lists: it derives them from the Unix file mode, where
// only the "others" bits stand for Everyone; the lists set below read back
// as far as the mode can hold them, and none is enforced.
TEST(WindowsFiles, RunFilesAndTheLogAreForThisUserAloneAndOpenFoldersAreNamed) {
    const std::vector<unsigned char> user = TokenUserOf(::GetCurrentProcess());
    wchar_t* sid = nullptr;
    ASSERT_TRUE(::ConvertSidToStringSidW(reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid, &sid));
    const std::string me = Narrow(sid);
    ::LocalFree(sid);
    const std::set<std::string> mine = {"(A;;FA;;;" + me + ")", "(A;;FA;;;SY)"};
    TempFolder dir;
    WindowsFiles files;
    std::string error;
    // A run file that was open to everyone: owner-only afterwards.
    const std::wstring runner = dir.path() + L"\\SENDEMAIL-RUNNER.BAT", log = dir.path() + L"\\SENDEMAIL-LOG.txt";
    ASSERT_TRUE(WriteBytes(runner, "x"));
    SetAcl(runner, "D:P(A;;FA;;;WD)");
    ASSERT_TRUE(files.writeLine(Narrow(runner), "y", K::RunnerScript, true, error)) << error;
    EXPECT_EQ(Aces(runner), mine);
    // The log: made, private, when missing; made private when others may read it.
    EXPECT_TRUE(files.secureLog(Narrow(log), error)) << error;
    EXPECT_EQ(Aces(log), mine);
    SetAcl(log, "D:P(A;;FA;;;" + me + ")(A;;FR;;;WD)");
    EXPECT_TRUE(files.secureLog(Narrow(log), error)) << error;
    EXPECT_EQ(Aces(log), mine);

    // Who else may change files in the folder: not Everyone who may only read.
    for (const std::string everyone : {"0x1200a9", "FA"}) {
        SetAcl(dir.path(), "D:P(A;OICI;FA;;;" + me + ")(A;OICI;" + everyone + ";;;WD)");
        const std::string why = files.openToOthers(dir.utf8());
        EXPECT_EQ(why.find("Everyone") != why.npos && why.find(dir.utf8()) != why.npos, everyone == "FA") << why;
    }
}


TEST(RegistryStore, HostileValuesAndNamesRoundTrip) {
    const std::vector<std::pair<std::string, std::string>> pairs = {
        {"SUBJECT_TEXTBOX", ""},
        {"name with blanks", "two\r\nlines\nand\ra lone CR"},
        {"%TEMP%", "C:\\nope\\tab\\"},
        {"q\"uote", "\"quoted\" and \\\"escaped\\\""},
        {"back\\slash", "%PATH% %TEMP% 100%"},
        {"\u03a9mega \U0001F600", "!x! ^ & | < > ( ) caf\u00e9 \u03a9 \u4e2d \U0001F600"},
        {std::string(200, 'k'), std::string(100000, 'L') + "\u03a9"},
    };
    RegistrySettingsBackend store;
    ScratchSection scratch(" \u03a9 \U0001F600 %TEMP% \"q\"");
    std::string error;
    for (const auto& [name, value] : pairs) ASSERT_TRUE(store.write(scratch.name, name, value, error)) << error;
    for (const auto& [name, value] : pairs) EXPECT_EQ(store.read(scratch.name, name), value) << name;
    // Names compare without regard to case, as in the registry.
    EXPECT_EQ(store.read(scratch.name, "\u03a9MEGA \U0001F600"), pairs[5].second);
    EXPECT_FALSE(store.read(scratch.name, "absent"));
    // Stored as plain text (REG_SZ), so that '%' is not expanded by other readers.
    EXPECT_EQ(::RegGetValueW(HKEY_CURRENT_USER, scratch.key().c_str(), L"back\\slash", RRF_RT_REG_SZ | RRF_NOEXPAND,
                             nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_FALSE(store.write("", "k", "v", error));
    EXPECT_FALSE(store.write("s", "", "v", error));
}

// A value that the registry refuses (a section name longer than a key name
// may be) in the middle of a batch: every value before it goes back to what
// it was, of its own type, or away, and a section made for the batch goes.
TEST(RegistryStore, ABatchIsStoredWholeOrNotAtAll) {
    RegistrySettingsBackend store;
    ScratchSection a("-a \u03a9"), made("-made"), later("-later");
    std::string error;
    ASSERT_TRUE(store.write(a.name, "TEXT", "old", error)) << error;
    const DWORD five = 5;
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, a.key().c_str(), L"NUMBER", REG_DWORD, &five, sizeof five),
              ERROR_SUCCESS);
    const std::string refused(300, 'S');
    std::vector<SettingValue> batch = {{a.name, "TEXT", "new"}, {a.name, "NUMBER", "new"},
                                       {a.name, "ABSENT", "new"}, {made.name, "K", "new"},
                                       {refused, "K", "x"}, {later.name, "K", "new"}};
    EXPECT_FALSE(store.writeAll(batch, error));
    EXPECT_NE(error.find(refused), std::string::npos) << error;
    auto now = [&] {
        std::vector<std::optional<std::string>> values;
        for (const SettingValue& v : batch)
            if (v.section != refused) values.push_back(store.read(v.section, v.key));
        return values;
    };
    EXPECT_EQ(now(), (std::vector<std::optional<std::string>>{"old", "5", std::nullopt, std::nullopt, std::nullopt}));
    EXPECT_EQ(std::ranges::count(store.sections(), a.name), 1);
    EXPECT_EQ(std::ranges::count(store.sections(), made.name), 0);

    batch.erase(batch.begin() + 4);
    ASSERT_TRUE(store.writeAll(batch, error)) << error;
    EXPECT_EQ(now(), std::vector<std::optional<std::string>>(5, "new"));
    for (const ScratchSection* s : {&a, &made, &later})
        EXPECT_EQ(std::ranges::count(store.sections(), s->name), 1) << s->name;
}


TEST(WindowsLauncher, ScriptsInHostileFoldersRunThemselvesOnly) {
    TempFolder root;
    const std::wstring mark = root.path() + L"\\ran.txt";
    ScopedEnv marking(L"FHSW_TEST_MARK", mark);
    // A script that tells which one it is.
    auto script = [](const std::string& id) { return "@echo off\r\necho " + id + ">>\"%FHSW_TEST_MARK%\"\r\n"; };
    // Decoys where an expanded or cut-off folder name would point.
    const std::vector<std::wstring> folders = {L"%TEMP%", L"%PATH%", L"a!b!", L"c^d", L"e & f", L"(g)", L"h i",
                                               L"caf\u00e9 \u03a9", L"x %TEMP% & (y)! ^%%", L"%FHSW_TEST_MARK%"};
    ASSERT_TRUE(WriteBytes(root.path() + L"\\SENDEMAIL-RUNNER.BAT", script("decoy")));
    WindowsLauncher launcher;
    for (const std::wstring& name : folders) {
        // Hidden or in a console of its own (the last), the script is found the same way.
        const bool visible = &name == &folders.back();
        const std::wstring folder = root.path() + L"\\" + name;
        ::CreateDirectoryW(folder.c_str(), nullptr);
        const std::string id = "case" + std::to_string(&name - &folders[0]);
        ASSERT_TRUE(WriteBytes(folder + L"\\SENDEMAIL-RUNNER.BAT", script(id)));
        ::DeleteFileW(mark.c_str());
        const LaunchResult r = launcher.launch(LaunchText(Narrow(folder), RunFileNames::Windows()), visible);
        ASSERT_TRUE(r.ok) << r.error;
        WaitFor([&] { return ReadBytes(mark).ends_with("\n"); });
        EXPECT_EQ(ReadBytes(mark), id + "\r\n") << Narrow(name);
    }
    const std::string missing = root.utf8() + "\\%TEMP%\\x\\SENDEMAIL-RUNNER.BAT";
    const LaunchResult r = launcher.launch("\"" + missing + "\"", false);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find(missing), std::string::npos) << r.error;
}

// The watch finds the mail client by its image name, in any case, and no
// longer once the stop has ended it with the script.
TEST(WindowsLauncher, StopEndsTheScriptAndTheMailClientItStarted) {
    TempFolder root;
    const std::wstring record = root.path() + L"\\record.txt";
    ScopedEnv recording(L"FHSW_STUB_RECORD", record), sleeping(L"FHSW_STUB_SLEEP_MS", L"60000");
    ASSERT_TRUE(
        WriteBytes(root.path() + L"\\SENDEMAIL-RUNNER.BAT", "@echo off\r\n\"" + Narrow(StubPath()) + "\" -q\r\n"));
    WindowsLauncher launcher;
    WindowsProcessQuery processes;
    const LaunchResult r = launcher.launch(LaunchText(root.utf8(), RunFileNames::Windows()), false);
    ASSERT_TRUE(r.ok) << r.error;
    // The stand-in records first, then sleeps: once recorded it is running.
    ASSERT_TRUE(WaitFor([&] { return !ReadBytes(record).empty(); })) << "the script did not start the mail client";
    EXPECT_TRUE(launcher.state(r.id).running);
    for (const char* name : {"SendEmail.exe", "sendemail.EXE"}) EXPECT_TRUE(processes.isProcessRunning(name)) << name;
    // Only whole image names: no part of one, no path, nothing empty.
    for (const char* name : {"SendEmail", "SendEmail.exex", "C:\\SendEmail.exe", ""})
        EXPECT_FALSE(processes.isProcessRunning(name)) << name;
    launcher.stop(r.id);
    WaitFor([&] { return !launcher.state(r.id).running; });
    EXPECT_EQ(launcher.state(r.id), (LaunchState{false, 1}));  // as the stop ended it
    EXPECT_TRUE(WaitFor([&] { return !processes.isProcessRunning("SendEmail.exe"); }))
        << "the mail client outlived the stop";
}

}  // namespace
}  // namespace fhsw::test
