// Helpers of the Windows tests: folders and registry sections of their own,
// whole files, the stand-in mail client and its records, environment
// variables, waiting.
#pragma once

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/windows/registry_settings_backend.h"
#include "platform/windows/win32_text.h"

namespace fhsw::test {

namespace fs = std::filesystem;

// The stand-in SendEmail.exe beside the running test program.
inline std::wstring StubPath() {
    std::wstring path(32768, L'\0');
    path.resize(::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return fs::path(path).replace_filename(L"SendEmail.exe");
}

// A fresh folder (or one named `nameInside` in it) under the temporary
// folder, removed with all it holds.
struct TempFolder {
    explicit TempFolder(const std::wstring& inside = L"")
        : root(fs::temp_directory_path() / (L"fhsw-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                                            std::to_wstring(++counter))),
          dir(inside.empty() ? root : root / inside) {
        fs::create_directories(dir);
    }
    ~TempFolder() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    std::wstring path() const { return dir.wstring(); }
    std::string utf8() const { return Narrow(path()); }
    static inline int counter = 0;
    const fs::path root, dir;
};

// A section of the registry store of its own, removed afterwards.
struct ScratchSection {
    std::string name;
    explicit ScratchSection(const std::string& suffix = "")
        : name("FHSW-TEST-" + std::to_string(::GetCurrentProcessId()) + suffix) {}
    ~ScratchSection() { ::RegDeleteTreeW(HKEY_CURRENT_USER, key().c_str()); }
    std::wstring key() const { return Widen(std::string(RegistrySettingsBackend::kRootKey) + "\\" + name); }
};

// The names in a folder.
using Names = std::set<std::wstring>;
inline Names FolderEntries(const std::wstring& folder) {
    Names names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(fs::path(folder), ec)) names.insert(entry.path().filename());
    return names;
}

// A whole file ("" when there is none), and a file made with these bytes.
inline std::string ReadBytes(const std::wstring& path) {
    std::ifstream in(fs::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline bool WriteBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream out(fs::path(path), std::ios::binary);
    return static_cast<bool>(out << bytes << std::flush);
}

// Sets an environment variable of this process (none of the tests' own is
// set before) and removes it at the end of the scope.
struct ScopedEnv {
    const wchar_t* name;
    ScopedEnv(const wchar_t* name, const std::wstring& value) : name(name) {
        ::SetEnvironmentVariableW(name, value.c_str());
    }
    ~ScopedEnv() { ::SetEnvironmentVariableW(name, nullptr); }
};

// Waits up to ten seconds for `done()`, and tells whether it came.
template <typename Done>
bool WaitFor(Done done) {
    for (int i = 0; i < 100 && !done(); ++i) ::Sleep(100);
    return done();
}

// The stand-in's records ("ARGC n", "<bytes>:<text>" lines, "END"): the
// argument vectors of its finished records, in order.
inline std::vector<std::vector<std::string>> ReadStubRecords(const std::string& data) {
    std::vector<std::vector<std::string>> runs;
    std::istringstream in(data);
    std::string word;
    std::size_t count = 0, size = 0;
    while (in >> word >> count && word == "ARGC") {
        std::vector<std::string> args(count);
        for (std::string& arg : args) {
            if (!(in >> size) || in.get() != ':') return runs;
            arg.resize(size);
            in.read(arg.data(), static_cast<std::streamsize>(size));
        }
        if (!(in >> word) || word != "END") break;
        runs.push_back(std::move(args));
    }
    return runs;
}

}  // namespace fhsw::test
