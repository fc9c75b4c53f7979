// The install folder's files on Windows, for real: bytes in the code pages
// of their readers, characters that cannot travel refused and named, staged
// text committed and undone exactly, a killed save's leftovers removed,
// links, folders and pipes never followed or waited on, access lists.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "platform/windows/files_windows.h"
#include "win_test_support.h"

namespace fhsw::test {
namespace {

using K = TextFileKind;
using Names = std::vector<std::wstring>;

std::string Me() {
    HANDLE token = nullptr;
    std::vector<unsigned long long> buffer(128);
    DWORD size = 0;
    wchar_t* text = nullptr;
    std::string out;
    if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token) &&
        ::GetTokenInformation(token, TokenUser, buffer.data(), 1024, &size) &&
        ::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text))
        out = Narrow(text);
    ::LocalFree(text);
    ::CloseHandle(token);
    return out;
}

// The entries of an access list in SDDL ("(A;;FA;;;SY)"), sorted.
std::vector<std::string> Aces(const std::wstring& path) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    wchar_t* text = nullptr;
    std::vector<std::string> aces;
    if (::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                nullptr, nullptr, nullptr, &descriptor) == ERROR_SUCCESS &&
        ::ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1,
                                                               DACL_SECURITY_INFORMATION, &text, nullptr)) {
        const std::string sddl = Narrow(text);
        for (std::size_t at = sddl.find('('); at != std::string::npos; at = sddl.find('(', at + 1))
            aces.push_back(sddl.substr(at, sddl.find(')', at) - at + 1));
    }
    ::LocalFree(text);
    ::LocalFree(descriptor);
    std::sort(aces.begin(), aces.end());
    return aces;
}

void SetAcl(const std::wstring& path, const std::string& sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(Widen(sddl).c_str(), SDDL_REVISION_1,
                                                                       &descriptor, nullptr));
    ::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
    EXPECT_EQ(::SetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT,
                                      DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                      nullptr, nullptr, dacl, nullptr),
              static_cast<DWORD>(ERROR_SUCCESS));
    ::LocalFree(descriptor);
}

// The runner script must hold what both the command interpreter (OEM) and
// the mail client reading its arguments (ANSI) read as typed.
TEST(WindowsFiles, EachKindIsWrittenInItsReadersCodePagesOrRefusedNamingTheCharacter) {
    // The bytes below are those of the code pages of an en-US system.
    if ((::GetOEMCP() != 437 && ::GetOEMCP() != 850) || ::GetACP() != 1252)
        GTEST_SKIP() << "code pages " << ::GetOEMCP() << " and " << ::GetACP();
    const struct {
        K kind;
        std::string text, bytes;  // the file's bytes, or ""
        char32_t refused;         // or 0
    } cases[] = {
        {K::RunnerScript, "Caf\u00e9 r\u00e9sum\u00e9 \u00fc \u00bd", "Caf\x82 r\x82sum\x82 \x81 \xab\r\n", 0},
        {K::MessageFile, "Caf\u00e9 \u20ac \u2019 \u00fc\r\nline 2", "Caf\xe9 \x80 \x92 \xfc\r\nline 2\r\n", 0},
        {K::Log, "", "\r\n", 0},
        {K::RunnerScript, "\u03a9mega", "", 0x3A9},    // in 437, not in 1252: arrives as "Omega"
        {K::RunnerScript, "x \u2591", "", 0x2591},     // in 437 only
        {K::RunnerScript, "price \u20ac5", "", 0x20AC},  // in 1252 only
        {K::MessageFile, "\u03a9mega", "", 0x3A9},
        {K::MessageFile, "x\u3000y", "", 0x3000},
        {K::RunnerScript, "-u \uff02a", "", 0xFF02},  // a best-fit stand-in would be a real quote
        {K::Log, "ok \U0001F600", "", 0x1F600},
    };
    TempFolder dir;
    WindowsFiles files;
    const std::string path = dir.utf8() + "\\f.txt";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::string error;
        ::DeleteFileW(Widen(path).c_str());
        EXPECT_EQ(files.firstUnwritable(c.text, c.kind), c.refused ? std::optional(c.refused) : std::nullopt);
        EXPECT_EQ(files.writeLine(path, c.text, c.kind, false, error), c.refused == 0) << error;
        EXPECT_EQ(ReadBytes(Widen(path)), c.bytes);
        if (c.refused) {
            char label[16];
            std::snprintf(label, sizeof label, "U+%04X", static_cast<unsigned>(c.refused));
            EXPECT_NE(error.find(label), std::string::npos) << error;
        }
    }
    EXPECT_EQ(FolderEntries(dir.path()), Names{}) << "a refused text leaves nothing";
}

TEST(WindowsFiles, StagedTextReplacesWholeAndUndoPutsBackExactlyWhatWasThere) {
    WindowsFiles files;
    for (const bool existed : {false, true}) {
        SCOPED_TRACE(existed ? "over an old file" : "where there was none");
        TempFolder dir(L"caf\u00e9");
        const std::wstring target = dir.path() + L"\\SENDEMAIL-RUNNER.BAT";
        const std::string old(2000, 'o');
        ASSERT_TRUE(!existed || WriteBytes(target, old));
        const Names before = FolderEntries(dir.path());
        std::string error;
        auto staged = files.stage(Narrow(target), "new", K::RunnerScript, true, error);
        ASSERT_TRUE(staged) << error;
        EXPECT_EQ(ReadBytes(target), existed ? old : "") << "nothing in place before commit";
        ASSERT_TRUE(staged->commit(error)) << error;
        EXPECT_EQ(ReadBytes(target), "new\r\n");
        ASSERT_TRUE(staged->undo(error)) << error;
        EXPECT_EQ(ReadBytes(target), existed ? old : "");
        staged.reset();
        EXPECT_EQ(FolderEntries(dir.path()), before);

        // Committed and kept: the new file alone; staged and dropped: no change.
        ASSERT_TRUE(files.writeLine(Narrow(target), "kept", K::RunnerScript, true, error)) << error;
        EXPECT_FALSE(files.writeLine(Narrow(target), "\U0001F600", K::RunnerScript, true, error));
        files.stage(Narrow(target), "dropped", K::RunnerScript, true, error).reset();
        EXPECT_EQ(ReadBytes(target), "kept\r\n");
        EXPECT_EQ(FolderEntries(dir.path()), Names{L"SENDEMAIL-RUNNER.BAT"});
    }
    std::string error;
    TempFolder dir;
    EXPECT_FALSE(files.writeLine(dir.utf8() + "\\missing\\x.txt", "x", K::Log, false, error));
    EXPECT_NE(error.find("missing"), std::string::npos) << error;
}

// A save that was killed leaves its staged text (which may hold the
// password) and the old file it put aside: the next save beside the same
// file removes them, but not a running save's, nor anything else.
TEST(WindowsFiles, StaleTemporariesOfAKilledSaveGoLiveOnesAndOthersStay) {
    TempFolder dir;
    WindowsFiles files;
    const std::string target = dir.utf8() + "\\SENDEMAIL-MESSAGE.txt";
    std::string error;
    auto running = files.stage(target, "running", K::MessageFile, true, error);
    ASSERT_TRUE(running) << error;
    const Names killed = {L"SENDEMAIL-MESSAGE.txt.fhsw4242-1.tmp", L"SENDEMAIL-MESSAGE.txt.fhsw4242-2.tmp"};
    const Names others = {L"SENDEMAIL-MESSAGE.txt.bak", L"SENDEMAIL-MESSAGE.txt.fhswX-1.tmp",
                          L"SENDEMAIL-RUNNER.BAT.fhsw4242-1.tmp", L"notes.fhsw1-1.tmp"};
    for (const Names* names : {&killed, &others})
        for (const std::wstring& name : *names) ASSERT_TRUE(WriteBytes(dir.path() + L"\\" + name, "x"));
    auto next = files.stage(target, "next", K::MessageFile, true, error);
    ASSERT_TRUE(next) << error;
    const Names entries = FolderEntries(dir.path());
    for (const std::wstring& name : killed)
        EXPECT_EQ(std::count(entries.begin(), entries.end(), name), 0) << Narrow(name);
    for (const std::wstring& name : others)
        EXPECT_EQ(std::count(entries.begin(), entries.end(), name), 1) << Narrow(name);
    EXPECT_EQ(entries.size(), others.size() + 2) << "both staged texts are there";
    ASSERT_TRUE(running->commit(error)) << error;
    EXPECT_EQ(ReadBytes(Widen(target)), "running\r\n");
}

TEST(WindowsFiles, NeverWritesThroughOrReplacesALinkAFolderOrAReadOnlyFile) {
    WindowsFiles files;
    const struct {
        const char* what;
        bool afterStaging;  // put in place between stage() and commit()
    } cases[] = {{"folder", false}, {"folder", true}, {"read-only file", false}, {"link", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.what) + (c.afterStaging ? " after staging" : ""));
        TempFolder dir;
        const std::wstring target = dir.path() + L"\\SENDEMAIL-RUNNER.BAT";
        const std::wstring elsewhere = dir.path() + L"\\elsewhere.txt";
        auto occupy = [&] {
            if (c.what == std::string("folder")) return ::CreateDirectoryW(target.c_str(), nullptr) != FALSE;
            if (c.what == std::string("read-only file"))
                return WriteBytes(target, "old") && ::SetFileAttributesW(target.c_str(), FILE_ATTRIBUTE_READONLY);
            const bool made = WriteBytes(elsewhere, "precious") &&
                              ::CreateSymbolicLinkW(target.c_str(), elsewhere.c_str(), 0x2 /* unprivileged */);
            const DWORD attributes = ::GetFileAttributesW(target.c_str());
            return made && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
        };
        if (!c.afterStaging && !occupy()) {
            // Wine makes a Unix link to the Windows path, which lists as nothing.
            std::cout << "  no " << c.what << " that lists as such here: not tried\n";
            continue;
        }
        std::string error;
        auto staged = files.stage(Narrow(target), "@echo pwned", K::RunnerScript, true, error);
        if (c.afterStaging) {
            ASSERT_TRUE(staged) << error;
            ASSERT_TRUE(occupy());
        }
        EXPECT_FALSE(staged && staged->commit(error));
        EXPECT_NE(error.find(Narrow(target)), std::string::npos) << error;
        staged.reset();
        const bool link = c.what == std::string("link");
        const Names left = link ? Names{L"SENDEMAIL-RUNNER.BAT", L"elsewhere.txt"}
                                : Names{L"SENDEMAIL-RUNNER.BAT"};
        EXPECT_EQ(FolderEntries(dir.path()), left);
        EXPECT_EQ(ReadBytes(elsewhere), link ? "precious" : "");
        EXPECT_EQ(ReadBytes(target), c.what == std::string("read-only file") ? "old" : "");
    }
}

TEST(WindowsFiles, LooksAtPlainFilesOnlyAndNeverWaitsOnAPipe) {
    TempFolder dir(L"caf\u00e9 \u03a9");
    const std::wstring file = dir.path() + L"\\log \u00e9.txt";
    ASSERT_TRUE(WriteBytes(file, "0123456789"));
    // A pipe that anyone connecting would wait on for ever.
    const std::wstring pipe = L"\\\\.\\pipe\\fhsw-test-" + std::to_wstring(::GetCurrentProcessId());
    const HANDLE server = ::CreateNamedPipeW(pipe.c_str(), PIPE_ACCESS_DUPLEX, PIPE_NOWAIT, 4, 0, 0, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    struct Row {
        std::wstring path;
        std::optional<std::uintmax_t> size;
        std::vector<std::optional<std::string>> reads;  // from 4, from 20, the last 3
    };
    const std::vector<std::optional<std::string>> none(3);
    const Row rows[] = {
        {file, 10, {"456789", "0123456789", "789"}},
        {dir.path(), std::nullopt, none},
        {dir.path() + L"\\missing.txt", std::nullopt, none},
        {pipe, std::nullopt, none},
        {L"//./pipe/fhsw-test-" + std::to_wstring(::GetCurrentProcessId()), std::nullopt, none},
        {L"\\\\?\\pipe\\fhsw-test-" + std::to_wstring(::GetCurrentProcessId()), std::nullopt, none},
    };
    WindowsFiles files;
    for (const Row& r : rows) {
        const std::string path = Narrow(r.path);
        EXPECT_EQ(files.isFile(path), r.size.has_value()) << path;
        EXPECT_EQ(files.fileSize(path), r.size) << path;
        EXPECT_EQ((std::vector{files.readFrom(path, 4, 100), files.readFrom(path, 20, 100),
                               files.readFrom(path, 0, 3)}),
                  r.reads) << path;
    }
    EXPECT_FALSE(::ConnectNamedPipe(server, nullptr));
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_PIPE_LISTENING)) << "nobody connected";
    ::CloseHandle(server);
}

// Wine keeps no access lists: it derives them from the Unix file mode, where
// only the "others" bits stand for Everyone; the lists set below read back
// as far as the mode can hold them.
TEST(WindowsFiles, RunFilesAndTheLogAreForThisUserAloneAndOpenFoldersAreNamed) {
    const std::string me = Me();
    ASSERT_FALSE(me.empty());
    const std::vector<std::string> mine = {"(A;;FA;;;" + me + ")", "(A;;FA;;;SY)"};
    TempFolder dir;
    WindowsFiles files;
    std::string error;
    // A run file that was open to everyone: owner-only afterwards.
    const std::wstring runner = dir.path() + L"\\SENDEMAIL-RUNNER.BAT";
    ASSERT_TRUE(WriteBytes(runner, "x"));
    SetAcl(runner, "D:P(A;;FA;;;WD)");
    ASSERT_TRUE(files.writeLine(Narrow(runner), "y", K::RunnerScript, true, error)) << error;
    EXPECT_EQ(Aces(runner), mine);

    // The log: made, private, when missing; made private when others may read it.
    const std::wstring log = dir.path() + L"\\SENDEMAIL-LOG.txt";
    EXPECT_TRUE(files.secureLog(Narrow(log), error)) << error;
    EXPECT_EQ(FolderEntries(dir.path()), (Names{L"SENDEMAIL-LOG.txt", L"SENDEMAIL-RUNNER.BAT"}));
    EXPECT_EQ(Aces(log), mine);
    SetAcl(log, "D:P(A;;FA;;;" + me + ")(A;;FR;;;WD)");
    EXPECT_TRUE(files.secureLog(Narrow(log), error)) << error;
    EXPECT_EQ(Aces(log), mine);
    // What is not a plain file is refused, naming it.
    const std::wstring folderLog = dir.path() + L"\\sub";
    ASSERT_TRUE(::CreateDirectoryW(folderLog.c_str(), nullptr));
    for (const std::wstring& path : {folderLog, std::wstring(L"\\\\.\\pipe\\fhsw-no-such-pipe")}) {
        EXPECT_FALSE(files.secureLog(Narrow(path), error));
        EXPECT_NE(error.find(Narrow(path)), std::string::npos) << error;
    }

    // Who else may change files in a folder, or a file.
    const struct {
        std::string sddl, who;
    } rows[] = {
        {"D:P(A;OICI;FA;;;" + me + ")(A;OICI;FA;;;SY)", ""},
        {"D:P(A;OICI;FA;;;" + me + ")(A;OICI;0x1200a9;;;WD)", ""},  // Everyone reads
        {"D:P(A;OICI;FA;;;" + me + ")(A;OICI;FA;;;WD)", "Everyone"},
    };
    for (const auto& r : rows) {
        TempFolder folder;
        const std::wstring exe = folder.path() + L"\\SendEmail.exe";
        ASSERT_TRUE(WriteBytes(exe, "x"));
        for (const std::wstring& path : {folder.path(), exe}) {
            SetAcl(path, r.sddl);
            const std::string why = files.openToOthers(Narrow(path));
            EXPECT_EQ(r.who.empty() ? why.empty() : why.find(r.who) != why.npos && why.find(Narrow(path)) != why.npos,
                      true) << r.sddl << ": " << why;
        }
    }
    EXPECT_EQ(files.openToOthers(dir.utf8() + "\\missing"), "");
}

}  // namespace
}  // namespace fhsw::test
