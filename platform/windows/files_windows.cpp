#include "platform/windows/files_windows.h"

#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <optional>
#include <vector>

#include "platform/windows/code_point_check.h"
#include "platform/windows/win32_text.h"

namespace fhsw {

namespace {

// The code page a file of this kind is read in: the command interpreter
// reads a batch file in the OEM code page (437, 850, ...); the mail client
// reads the message in the ANSI code page (1252, ...).
UINT CodePageFor(TextFileKind kind) {
    return kind == TextFileKind::RunnerScript ? ::GetOEMCP() : ::GetACP();
}

std::string CodePageName(TextFileKind kind) {
    return kind == TextFileKind::RunnerScript ? "the system's OEM code page"
                                              : "the system's ANSI code page";
}

// Whether `units` (one character) converts to `codePage` as itself, without a
// best-fit stand-in or the default character.
bool Fits(UINT codePage, std::wstring_view units) {
    const bool utf8 = codePage == CP_UTF8;
    BOOL replaced = FALSE;
    return ::WideCharToMultiByte(codePage, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, units.data(),
                                 static_cast<int>(units.size()), nullptr, 0, nullptr,
                                 utf8 ? nullptr : &replaced) > 0 &&
           !replaced;
}

// UTF-16 to the code page of `kind` without best-fit replacements.
bool ToCodePage(const std::wstring& wide, TextFileKind kind, std::string& out,
                std::string& error) {
    out.clear();
    if (wide.empty()) return true;
    if (wide.size() > static_cast<std::size_t>(INT_MAX)) {
        error = "the text is too long";
        return false;
    }
    const UINT codePage = CodePageFor(kind);
    // With UTF-8 as the code page every character fits, and the call takes
    // neither flags nor the "used default" question.
    const bool utf8 = codePage == CP_UTF8;
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    auto convert = [&](char* dest, int destSize, BOOL& usedDefault) {
        usedDefault = FALSE;
        return ::WideCharToMultiByte(codePage, flags, wide.data(), static_cast<int>(wide.size()),
                                     dest, destSize, nullptr, utf8 ? nullptr : &usedDefault);
    };
    BOOL usedDefault = FALSE;
    const int size = convert(nullptr, 0, usedDefault);
    if (size <= 0) {
        const DWORD code = ::GetLastError();
        error = "cannot convert the text to " + CodePageName(kind) + ": " + SystemMessage(code);
        return false;
    }
    if (usedDefault) {
        const auto missing = FirstCharacterNotFitting(
            std::wstring_view(wide), [&](std::wstring_view units) { return Fits(codePage, units); });
        error = "a character cannot be written in " + CodePageName(kind);
        if (missing) error += ": " + CodePointLabel(*missing);
        return false;
    }
    out.resize(static_cast<std::size_t>(size));
    if (convert(out.data(), size, usedDefault) != size || usedDefault) {
        const DWORD code = ::GetLastError();
        error = "cannot convert the text to " + CodePageName(kind) + ": " + SystemMessage(code);
        return false;
    }
    return true;
}

// A protected access list for the current user and the system account only.
class OwnerOnlyDescriptor {
public:
    OwnerOnlyDescriptor() {
        HANDLE token = nullptr;
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
            error_ = ::GetLastError();
            return;
        }
        DWORD size = 0;
        ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        std::vector<unsigned long long> buffer((size + 7) / 8);  // aligned for TOKEN_USER
        wchar_t* sidText = nullptr;
        if (size > 0 &&
            ::GetTokenInformation(token, TokenUser, buffer.data(), size, &size) &&
            ::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid,
                                     &sidText)) {
            // D:P = protected: nothing is inherited from the folder. FA = all
            // access; SY = the system account.
            const std::wstring sddl = L"D:P(A;;FA;;;" + std::wstring(sidText) + L")(A;;FA;;;SY)";
            if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
                    sddl.c_str(), SDDL_REVISION_1, &descriptor_, nullptr)) {
                error_ = ::GetLastError();
                descriptor_ = nullptr;
            }
        } else {
            error_ = ::GetLastError();
        }
        if (sidText != nullptr) ::LocalFree(sidText);
        ::CloseHandle(token);
    }
    ~OwnerOnlyDescriptor() {
        if (descriptor_ != nullptr) ::LocalFree(descriptor_);
    }
    OwnerOnlyDescriptor(const OwnerOnlyDescriptor&) = delete;
    OwnerOnlyDescriptor& operator=(const OwnerOnlyDescriptor&) = delete;

    PSECURITY_DESCRIPTOR get() const { return descriptor_; }
    // Why there is no descriptor.
    DWORD error() const { return error_; }

    PACL dacl() const {
        BOOL present = FALSE, defaulted = FALSE;
        PACL acl = nullptr;
        if (descriptor_ == nullptr ||
            !::GetSecurityDescriptorDacl(descriptor_, &present, &acl, &defaulted) || !present) {
            return nullptr;
        }
        return acl;
    }

private:
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
    DWORD error_ = ERROR_SUCCESS;
};

class FileHandle {
public:
    explicit FileHandle(HANDLE h) : h_(h) {}
    ~FileHandle() {
        if (valid()) ::CloseHandle(h_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return h_; }
    // Closes now and reports whether that worked.
    bool close() {
        const BOOL ok = ::CloseHandle(h_);
        h_ = INVALID_HANDLE_VALUE;
        return ok != FALSE;
    }

private:
    HANDLE h_;
};

}  // namespace

std::optional<char32_t> WindowsFiles::firstUnwritable(const std::string& text,
                                                               TextFileKind kind) {
    std::wstring wide;
    if (!WidenStrict(text, wide)) return U'\uFFFD';
    const UINT codePage = CodePageFor(kind);
    return FirstCharacterNotFitting(std::wstring_view(wide),
                                    [&](std::wstring_view units) { return Fits(codePage, units); });
}

namespace {

// What stands at `path`: nothing, a plain file, or something that must not be
// replaced (a folder, a symbolic link or junction, a device).
enum class Occupant { None, File, Other };

Occupant WhatIsAt(const std::wstring& path, DWORD& error) {
    // The name itself, not what a link points to.
    const HANDLE h = ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING,
                                   FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                                   nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Occupant::None
                                                                                : Occupant::Other;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = ::GetFileInformationByHandle(h, &info);
    const bool disk = ::GetFileType(h) == FILE_TYPE_DISK;
    if (!known) error = ::GetLastError();
    ::CloseHandle(h);
    if (!known || !disk ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT |
                                  FILE_ATTRIBUTE_DEVICE))) {
        return Occupant::Other;
    }
    return Occupant::File;
}

bool RefuseOccupant(const std::string& path, const std::wstring& widePath, std::string& error) {
    DWORD code = ERROR_SUCCESS;
    switch (WhatIsAt(widePath, code)) {
    case Occupant::None:
    case Occupant::File:
        return false;
    case Occupant::Other:
        break;
    }
    if (code == ERROR_SUCCESS) {
        error = "will not replace " + path +
                ": it is not a plain file (a folder, a symbolic link or a junction)";
    } else {
        error = "cannot look at " + path + ": " + SystemMessage(code);
    }
    return true;
}

// A name for the temporary file beside `path`, unused at the time of asking.
std::wstring TemporaryNameBeside(const std::wstring& path, unsigned attempt) {
    static LONG counter = 0;
    const LONG n = ::InterlockedIncrement(&counter);
    return path + L"." + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(n) +
           L"-" + std::to_wstring(attempt) + L".tmp";
}

bool WriteAll(HANDLE file, const std::string& bytes, std::string& error) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk =
            static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data() + done, chunk, &written, nullptr)) {
            error = SystemMessage(::GetLastError());
            return false;
        }
        if (written == 0) {
            error = "the file takes no more data";
            return false;
        }
        done += written;
    }
    return true;
}

}  // namespace

namespace {

class WindowsStagedFile final : public StagedFile {
public:
    WindowsStagedFile(std::wstring temporary, std::wstring target, std::string path)
        : temporary_(std::move(temporary)), target_(std::move(target)), path_(std::move(path)) {}
    ~WindowsStagedFile() override {
        if (!committed_) ::DeleteFileW(temporary_.c_str());
    }
    bool commit(std::string& error) override {
        // Looked at once more: something may have been put in its place meanwhile.
        if (RefuseOccupant(path_, target_, error)) return false;
        if (!::MoveFileExW(temporary_.c_str(), target_.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            error = "cannot replace " + path_ + ": " + SystemMessage(::GetLastError());
            return false;
        }
        committed_ = true;
        return true;
    }
    bool undo(std::string& error) override {
        error = "the old file was not kept";
        return false;
    }

private:
    std::wstring temporary_, target_;
    std::string path_;
    bool committed_ = false;
};

}  // namespace

std::unique_ptr<StagedFile> WindowsFiles::stage(const std::string& path, const std::string& text,
                                                TextFileKind kind, bool ownerOnly, std::string& error) {
    if (path.empty()) {
        error = "no file name";
        return nullptr;
    }
    std::wstring wide;
    if (!WidenStrict(text, wide)) {
        error = "the text is not valid UTF-8";
        return nullptr;
    }
    wide += L"\r\n";
    std::string bytes;
    if (!ToCodePage(wide, kind, bytes, error)) return nullptr;

    const std::wstring target = Widen(path);
    if (RefuseOccupant(path, target, error)) return nullptr;

    SECURITY_ATTRIBUTES security{};
    std::optional<OwnerOnlyDescriptor> descriptor;
    if (ownerOnly) {
        descriptor.emplace();
        if (descriptor->get() == nullptr || descriptor->dacl() == nullptr) {
            error = "cannot restrict the file to its owner: " + SystemMessage(descriptor->error());
            return nullptr;
        }
        security.nLength = sizeof security;
        security.lpSecurityDescriptor = descriptor->get();
        security.bInheritHandle = FALSE;
    }

    // The new text goes to a new file beside the old one, which then takes
    // the old one's place in one step: a reader sees the old file or the new
    // one, never a part, and a failed write leaves the old file as it was.
    // A new file gets the access list given here; nothing of the old file's
    // survives. Renaming over a link replaces the link, never its target.
    std::wstring temporary;
    HANDLE created = INVALID_HANDLE_VALUE;
    for (unsigned attempt = 0; attempt < 16 && created == INVALID_HANDLE_VALUE; ++attempt) {
        temporary = TemporaryNameBeside(target, attempt);
        created = ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, ownerOnly ? &security : nullptr,
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (created == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (created == INVALID_HANDLE_VALUE) {
        error = "cannot create a file beside " + path + ": " + SystemMessage(::GetLastError());
        return nullptr;
    }
    FileHandle file(created);
    auto fail = [&](std::string why) -> std::unique_ptr<StagedFile> {
        if (file.valid()) file.close();
        ::DeleteFileW(temporary.c_str());
        error = std::move(why);
        return nullptr;
    };
    if (!WriteAll(file.get(), bytes, error)) return fail(error);
    if (!::FlushFileBuffers(file.get())) return fail(SystemMessage(::GetLastError()));
    if (!file.close()) return fail(SystemMessage(::GetLastError()));
    return std::make_unique<WindowsStagedFile>(temporary, target, path);
}

bool WindowsFiles::isFile(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesW(Widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<std::uintmax_t> WindowsFiles::fileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(Widen(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return std::nullopt;
    return (static_cast<std::uintmax_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::optional<std::string> WindowsFiles::readFrom(const std::string& path, std::uintmax_t offset,
                                                  std::size_t max) {
    FileHandle file(::CreateFileW(Widen(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid() || ::GetFileType(file.get()) != FILE_TYPE_DISK) return std::nullopt;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size)) return std::nullopt;
    const auto total = static_cast<std::uintmax_t>(size.QuadPart);
    if (total < offset) offset = 0;
    if (total - offset > max) offset = total - max;
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(offset);
    if (!::SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN)) return std::nullopt;
    std::string text(static_cast<std::size_t>(total - offset), '\0');
    DWORD got = 0;
    if (!text.empty() && !::ReadFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &got, nullptr))
        return std::nullopt;
    text.resize(got);
    return text;
}

std::string WindowsFiles::openToOthers(const std::string&) { return {}; }

bool WindowsFiles::secureLog(const std::string&, std::string&) { return true; }

}  // namespace fhsw
