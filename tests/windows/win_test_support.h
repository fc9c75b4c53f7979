// Helpers of the Windows tests: folders and registry sections of their own,
// whole files, the stand-in mail client, environment variables, the
// stand-in's records.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/windows/registry_settings_backend.h"
#include "platform/windows/win32_text.h"

namespace fhsw::test {

// The folder that holds the running test program (and SendEmail.exe).
inline std::wstring ProgramFolder() {
    std::wstring path(32768, L'\0');
    const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(n);
    return path.substr(0, path.find_last_of(L"\\/"));
}

inline std::wstring StubPath() { return ProgramFolder() + L"\\SendEmail.exe"; }

// Removes a folder and everything in it; links are removed, not followed.
inline void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW found{};
    const HANDLE h = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + L"\\" + name;
            const bool dir = found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
            const bool link = found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT;
            ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (dir && !link) RemoveTree(path);
            else if (dir) ::RemoveDirectoryW(path.c_str());
            else ::DeleteFileW(path.c_str());
        } while (::FindNextFileW(h, &found));
        ::FindClose(h);
    }
    ::RemoveDirectoryW(folder.c_str());
}

// A fresh folder under the temporary folder, removed with all it holds.
class TempFolder {
public:
    explicit TempFolder(const std::wstring& nameInside = L"") {
        wchar_t base[MAX_PATH + 1];
        ::GetTempPathW(MAX_PATH + 1, base);
        static int counter = 0;
        root_ = std::wstring(base) + L"fhsw-test-" + std::to_wstring(::GetCurrentProcessId()) +
                L"-" + std::to_wstring(++counter);
        ::CreateDirectoryW(root_.c_str(), nullptr);
        path_ = root_;
        if (!nameInside.empty()) {
            path_ += L"\\" + nameInside;
            if (!::CreateDirectoryW(path_.c_str(), nullptr))
                ADD_FAILURE() << "cannot create " << Narrow(path_);
        }
    }
    ~TempFolder() { RemoveTree(root_); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::wstring& path() const { return path_; }
    std::string utf8() const { return Narrow(path_); }

private:
    std::wstring root_, path_;
};

// A section of the registry store of its own, removed afterwards.
struct ScratchSection {
    std::string name;
    explicit ScratchSection(const std::string& suffix = "")
        : name("FHSW-TEST-" + std::to_string(::GetCurrentProcessId()) + suffix) {}
    ~ScratchSection() {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, key().c_str());
        ::RegDeleteKeyW(HKEY_CURRENT_USER, key().c_str());
    }
    std::wstring key() const { return Widen(std::string(RegistrySettingsBackend::kRootKey) + "\\" + name); }
};

// The names in a folder, sorted.
inline std::vector<std::wstring> FolderEntries(const std::wstring& folder) {
    std::vector<std::wstring> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(folder), ec))
        names.push_back(entry.path().filename().wstring());
    std::sort(names.begin(), names.end());
    return names;
}

// A whole file ("" when there is none), and a file made with these bytes.
inline std::string ReadBytes(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline bool WriteBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream out(std::filesystem::path(path), std::ios::binary);
    return static_cast<bool>(out << bytes << std::flush);
}

// Sets or removes an environment variable of this process for a scope.
class ScopedEnvW {
public:
    ScopedEnvW(const wchar_t* name, const std::wstring* value) : name_(name) {
        wchar_t buffer[32768];
        const DWORD n = ::GetEnvironmentVariableW(name, buffer, 32768);
        if (n > 0 && n < 32768) old_ = std::wstring(buffer, n), hadOld_ = true;
        ::SetEnvironmentVariableW(name, value ? value->c_str() : nullptr);
    }
    ~ScopedEnvW() { ::SetEnvironmentVariableW(name_, hadOld_ ? old_.c_str() : nullptr); }
    ScopedEnvW(const ScopedEnvW&) = delete;
    ScopedEnvW& operator=(const ScopedEnvW&) = delete;

private:
    const wchar_t* name_;
    std::wstring old_;
    bool hadOld_ = false;
};

// The stand-in's records ("ARGC n", "<bytes>:<text>" lines, "END"): the
// argument vectors of its runs, in order.
inline std::vector<std::vector<std::string>> ReadStubRecords(const std::string& data) {
    std::vector<std::vector<std::string>> runs;
    std::size_t at = 0;
    auto line = [&](std::string& out) {
        const std::size_t end = data.find('\n', at);
        if (end == std::string::npos) return false;
        out = data.substr(at, end - at);
        at = end + 1;
        return true;
    };
    std::string head;
    while (line(head)) {
        if (head.rfind("ARGC ", 0) != 0) break;
        const int count = std::stoi(head.substr(5));
        std::vector<std::string> args;
        for (int i = 0; i < count; ++i) {
            const std::size_t colon = data.find(':', at);
            if (colon == std::string::npos) return runs;
            const std::size_t size = std::stoul(data.substr(at, colon - at));
            args.push_back(data.substr(colon + 1, size));
            at = colon + 1 + size + 1;  // and the '\n'
        }
        std::string end;
        if (!line(end) || end != "END") break;
        runs.push_back(std::move(args));
    }
    return runs;
}

}  // namespace fhsw::test
