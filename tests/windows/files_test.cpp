// The run files on Windows: byte for byte in the code page of their reader,
// characters that cannot travel refused and named, whole-or-nothing
// replacement that never goes through a link or a folder, and the access
// list of owner-only files read back from the file system.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "platform/windows/code_point_check.h"
#include "platform/windows/files_windows.h"
#include "win_test_support.h"

namespace fhsw::test {
namespace {

std::vector<std::wstring> FolderEntries(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    const HANDLE h = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (::FindNextFileW(h, &found));
    ::FindClose(h);
    return names;
}

TEST(WindowsTextFile, EachKindIsWrittenInItsReadersCodePage) {
    // The tables below are those of the code pages of an en-US system.
    if (::GetOEMCP() != 437 && ::GetOEMCP() != 850) GTEST_SKIP() << "OEM code page " << ::GetOEMCP();
    if (::GetACP() != 1252) GTEST_SKIP() << "ANSI code page " << ::GetACP();
    const bool cp437 = ::GetOEMCP() == 437;
    const struct {
        TextFileKind kind;
        std::string text, bytes;
    } cases[] = {
        {TextFileKind::RunnerScript, "Caf\u00e9 r\u00e9sum\u00e9 \u00fc \u00bd",
         "Caf\x82 r\x82sum\x82 \x81 \xab\r\n"},
        {TextFileKind::RunnerScript, "\u03a9 \u2591", cp437 ? "\xea \xb0\r\n" : ""},
        {TextFileKind::MessageFile, "Caf\u00e9 \u20ac \u2019 \u00fc\r\nline 2",
         "Caf\xe9 \x80 \x92 \xfc\r\nline 2\r\n"},
        {TextFileKind::Log, "", "\r\n"},
    };
    TempFolder dir;
    WindowsFiles writer;
    for (const auto& c : cases) {
        if (c.bytes.empty()) continue;
        const std::string path = dir.utf8() + "\\f.txt";
        std::string error;
        ASSERT_TRUE(writer.writeLine(path, c.text, c.kind, false, error)) << error;
        EXPECT_EQ(ReadBytes(Widen(path)), c.bytes) << c.text;
    }
}

TEST(WindowsTextFile, CharactersThatCannotTravelAreNamedPerKind) {
    if (::GetOEMCP() != 437 && ::GetOEMCP() != 850) GTEST_SKIP() << "OEM code page " << ::GetOEMCP();
    if (::GetACP() != 1252) GTEST_SKIP() << "ANSI code page " << ::GetACP();
    using K = TextFileKind;
    const struct {
        const char* text;
        K kind;
        char32_t first;  // 0: every character fits
    } cases[] = {
        {"price \u20ac5", K::RunnerScript, 0x20AC},  // the euro sign: ANSI only
        {"price \u20ac5", K::MessageFile, 0},
        {"\u00e9\u00e8 \u00fc", K::RunnerScript, 0},
        {"\u00e9\u00e8 \u00fc", K::MessageFile, 0},
        {"x\u3000y", K::MessageFile, 0x3000},
        // A best-fit stand-in would turn the fullwidth quote into a real one.
        {"-u \uff02a", K::RunnerScript, 0xFF02},
        {"-u \uff02a", K::MessageFile, 0xFF02},
        {"ok \U0001F600", K::RunnerScript, 0x1F600},
        {"ok \U0001F600", K::Log, 0x1F600},
    };
    WindowsFiles writer;
    TempFolder dir;
    for (const auto& c : cases) {
        const auto got = writer.firstUnwritable(c.text, c.kind);
        if (c.first == 0) {
            EXPECT_FALSE(got) << c.text;
            continue;
        }
        ASSERT_TRUE(got) << c.text;
        EXPECT_EQ(static_cast<unsigned long>(*got), static_cast<unsigned long>(c.first)) << c.text;
        // Writing fails the same way, names the character and leaves nothing.
        const std::wstring path = dir.path() + L"\\refused.txt";
        std::string error;
        EXPECT_FALSE(writer.writeLine(Narrow(path), c.text, c.kind, true, error));
        EXPECT_NE(error.find(CodePointLabel(c.first)), std::string::npos) << error;
        EXPECT_TRUE(FolderEntries(dir.path()).empty());
    }
    // The Greek capital omega is in the OEM code page 437 but not in 1252.
    if (::GetOEMCP() == 437) {
        EXPECT_FALSE(writer.firstUnwritable("\u03a9", K::RunnerScript));
        EXPECT_EQ(writer.firstUnwritable("\u03a9", K::MessageFile), std::optional<char32_t>(0x3A9));
    }
}

TEST(WindowsTextFile, ReplacesWholeAndLeavesNothingBehind) {
    TempFolder dir;
    WindowsFiles writer;
    const std::string path = dir.utf8() + "\\SENDEMAIL-RUNNER.BAT";
    std::string error;
    ASSERT_TRUE(writer.writeLine(path, std::string(100000, 'a'), TextFileKind::RunnerScript, true,
                                 error))
        << error;
    ASSERT_TRUE(writer.writeLine(path, "short", TextFileKind::RunnerScript, true, error)) << error;
    EXPECT_EQ(ReadBytes(Widen(path)), "short\r\n");
    // A refused text leaves the old file as it was.
    EXPECT_FALSE(writer.writeLine(path, "\U0001F600", TextFileKind::RunnerScript, true, error));
    EXPECT_EQ(ReadBytes(Widen(path)), "short\r\n");
    EXPECT_EQ(FolderEntries(dir.path()), std::vector<std::wstring>{L"SENDEMAIL-RUNNER.BAT"});
    // A folder that does not exist: the error says so, nothing is made.
    EXPECT_FALSE(writer.writeLine(dir.utf8() + "\\missing\\x.txt", "x", TextFileKind::Log, false,
                                  error));
    EXPECT_NE(error.find("missing"), std::string::npos) << error;
}

TEST(WindowsTextFile, NeverWritesThroughOrReplacesALinkOrAFolder) {
    TempFolder dir;
    WindowsFiles writer;
    std::string error;
    const std::wstring folderInPlace = dir.path() + L"\\SENDEMAIL-MESSAGE.txt";
    ASSERT_TRUE(::CreateDirectoryW(folderInPlace.c_str(), nullptr));
    EXPECT_FALSE(writer.writeLine(Narrow(folderInPlace), "x", TextFileKind::MessageFile, true, error));
    EXPECT_NE(error.find(Narrow(folderInPlace)), std::string::npos) << error;
    EXPECT_TRUE(::GetFileAttributesW(folderInPlace.c_str()) & FILE_ATTRIBUTE_DIRECTORY);

    // A symbolic link to a file elsewhere: neither the link nor its target changes.
    const std::wstring target = dir.path() + L"\\elsewhere.txt";
    ASSERT_TRUE(WriteBytes(target, "precious"));
    const std::wstring link = dir.path() + L"\\SENDEMAIL-RUNNER.BAT";
    if (!::CreateSymbolicLinkW(link.c_str(), target.c_str(), 0x2 /* unprivileged create */) &&
        !::CreateSymbolicLinkW(link.c_str(), target.c_str(), 0)) {
        GTEST_SKIP() << "no symbolic links here: " << SystemMessage(::GetLastError());
    }
    WIN32_FIND_DATAW entry{};
    const HANDLE find = ::FindFirstFileW(link.c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE || !(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        // Wine makes a Unix link to the Windows path, which nothing can look at.
        GTEST_SKIP() << "the link made here does not list as a reparse point";
    }
    ::FindClose(find);
    EXPECT_FALSE(writer.writeLine(Narrow(link), "@echo pwned", TextFileKind::RunnerScript, true,
                                  error));
    EXPECT_NE(error.find(Narrow(link)), std::string::npos) << error;
    EXPECT_EQ(ReadBytes(target), "precious");
    EXPECT_NE(::FindFirstFileW(link.c_str(), &entry), INVALID_HANDLE_VALUE);
    EXPECT_TRUE(entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

struct Ace {
    std::string sid;
    DWORD mask;
    BYTE type;
};

// The access list of a file as the file system gives it back.
bool ReadDacl(const std::wstring& path, std::vector<Ace>& aces, bool& isProtected) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
        return false;
    }
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    ::GetSecurityDescriptorControl(descriptor, &control, &revision);
    isProtected = control & SE_DACL_PROTECTED;
    aces.clear();
    if (dacl == nullptr) {
        aces.push_back({"<no access list: everyone has full access>", GENERIC_ALL, 0});
    } else {
        for (DWORD i = 0; i < dacl->AceCount; ++i) {
            void* ace = nullptr;
            if (!::GetAce(dacl, i, &ace)) continue;
            auto* header = static_cast<ACE_HEADER*>(ace);
            auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);  // same layout for denied
            wchar_t* text = nullptr;
            ::ConvertSidToStringSidW(reinterpret_cast<PSID>(&allowed->SidStart), &text);
            aces.push_back({text ? Narrow(text) : "?", allowed->Mask, header->AceType});
            if (text) ::LocalFree(text);
        }
    }
    ::LocalFree(descriptor);
    return true;
}

bool RunningUnderWine() {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::string CurrentUserSid() {
    HANDLE token = nullptr;
    ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token);
    std::vector<unsigned long long> buffer(128);
    DWORD size = 0;
    std::string out;
    if (::GetTokenInformation(token, TokenUser, buffer.data(),
                              static_cast<DWORD>(buffer.size() * 8), &size)) {
        wchar_t* text = nullptr;
        ::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text);
        if (text) out = Narrow(text), ::LocalFree(text);
    }
    ::CloseHandle(token);
    return out;
}

// Owner-only files: a protected list that allows the current user and the
// system account and nobody else, also when the file existed before with
// another list. Printed, so that the run shows what the file system keeps.
TEST(WindowsTextFile, OwnerOnlyAccessListReadsBack) {
    TempFolder dir;
    WindowsFiles writer;
    const std::wstring path = dir.path() + L"\\SENDEMAIL-RUNNER.BAT";
    // Before: a file open to everyone.
    PSECURITY_DESCRIPTOR open = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"D:P(A;;FA;;;WD)", SDDL_REVISION_1, &open, nullptr));
    SECURITY_ATTRIBUTES sa{sizeof sa, open, FALSE};
    const HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, &sa, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    ::CloseHandle(h);
    ::LocalFree(open);

    std::vector<Ace> before;
    bool protectedBefore = false;
    ASSERT_TRUE(ReadDacl(path, before, protectedBefore));
    std::cout << "  a file created open to everyone reads back:";
    for (const Ace& a : before) std::cout << " (" << a.sid << " " << std::hex << a.mask << std::dec << ")";
    std::cout << "\n";

    std::string error;
    ASSERT_TRUE(writer.writeLine(Narrow(path), "x", TextFileKind::RunnerScript, true, error)) << error;
    std::vector<Ace> aces;
    bool isProtected = false;
    ASSERT_TRUE(ReadDacl(path, aces, isProtected));
    std::cout << "  owner-only run file reads back: protected=" << isProtected;
    for (const Ace& a : aces) std::cout << " (" << a.sid << " " << std::hex << a.mask << std::dec << ")";
    std::cout << "\n";
    const std::string me = CurrentUserSid();
    ASSERT_FALSE(me.empty());
    std::set<std::string> sids;
    for (const Ace& a : aces) {
        EXPECT_EQ(a.type, ACCESS_ALLOWED_ACE_TYPE);
        sids.insert(a.sid);
    }
    EXPECT_EQ(sids, (std::set<std::string>{me, "S-1-5-18"}));
    // Wine keeps no access list of its own: it derives one from the Unix
    // file mode, where "protected" has no place.
    if (!RunningUnderWine()) {
        EXPECT_TRUE(isProtected);
    }

    // How the run files were restricted before: an existing file opened,
    // truncated and given the owner-only list afterwards.
    const std::wstring old = dir.path() + L"\\old-way.txt";
    ASSERT_TRUE(WriteBytes(old, "x"));
    PSECURITY_DESCRIPTOR ownerOnly = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
        (L"D:P(A;;FA;;;" + Widen(me) + L")(A;;FA;;;SY)").c_str(), SDDL_REVISION_1, &ownerOnly,
        nullptr));
    BOOL present = FALSE, defaulted = FALSE;
    PACL list = nullptr;
    ::GetSecurityDescriptorDacl(ownerOnly, &present, &list, &defaulted);
    const HANDLE existing = ::CreateFileW(old.c_str(), GENERIC_WRITE | WRITE_DAC, 0, nullptr,
                                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(existing, INVALID_HANDLE_VALUE);
    const DWORD rc = ::SetSecurityInfo(existing, SE_FILE_OBJECT,
                                       DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                       nullptr, nullptr, list, nullptr);
    ::CloseHandle(existing);
    ::LocalFree(ownerOnly);
    ASSERT_TRUE(ReadDacl(old, aces, isProtected));
    std::cout << "  an existing file restricted afterwards (SetSecurityInfo " << rc
              << ") reads back: protected=" << isProtected;
    for (const Ace& a : aces) std::cout << " (" << a.sid << " " << std::hex << a.mask << std::dec << ")";
    std::cout << "\n";
}

}  // namespace
}  // namespace fhsw::test
