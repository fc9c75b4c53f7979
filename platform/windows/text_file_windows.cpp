#include "platform/windows/text_file_windows.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <climits>
#include <optional>
#include <vector>

#include "platform/windows/code_point_check.h"
#include "platform/windows/win32_text.h"

namespace fhsw {

namespace {

// UTF-16 to the ANSI code page without best-fit replacements.
bool ToAnsiCodePage(const std::wstring& wide, std::string& out, std::string& error) {
    out.clear();
    if (wide.empty()) return true;
    if (wide.size() > static_cast<std::size_t>(INT_MAX)) {
        error = "the text is too long";
        return false;
    }
    // With UTF-8 as the code page every character fits, and the call takes
    // neither flags nor the "used default" question.
    const bool utf8 = ::GetACP() == CP_UTF8;
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    auto convert = [&](const wchar_t* units, int count, char* dest, int destSize,
                       BOOL& usedDefault) {
        usedDefault = FALSE;
        return ::WideCharToMultiByte(CP_ACP, flags, units, count, dest, destSize, nullptr,
                                     utf8 ? nullptr : &usedDefault);
    };
    BOOL usedDefault = FALSE;
    const int count = static_cast<int>(wide.size());
    const int size = convert(wide.data(), count, nullptr, 0, usedDefault);
    if (size <= 0) {
        const DWORD code = ::GetLastError();
        error = "cannot convert the text to the system's code page: " + SystemMessage(code);
        return false;
    }
    if (usedDefault) {
        const auto missing = FirstCharacterNotFitting(
            std::wstring_view(wide), [&](std::wstring_view units) {
                BOOL replaced = FALSE;
                return convert(units.data(), static_cast<int>(units.size()), nullptr, 0,
                               replaced) > 0 &&
                       !replaced;
            });
        error = "a character cannot be written in the system's code page";
        if (missing) error += ": " + CodePointLabel(*missing);
        return false;
    }
    out.resize(static_cast<std::size_t>(size));
    if (convert(wide.data(), count, out.data(), size, usedDefault) != size || usedDefault) {
        const DWORD code = ::GetLastError();
        error = "cannot convert the text to the system's code page: " + SystemMessage(code);
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

std::optional<char32_t> WindowsTextFileWriter::firstUnwritable(const std::string& text,
                                                               TextFileKind) {
    std::wstring wide;
    if (!WidenStrict(text, wide)) return U'\uFFFD';
    std::string bytes, error;
    if (ToAnsiCodePage(wide, bytes, error)) return std::nullopt;
    const bool utf8 = ::GetACP() == CP_UTF8;
    return FirstCharacterNotFitting(std::wstring_view(wide), [&](std::wstring_view units) {
        BOOL replaced = FALSE;
        return ::WideCharToMultiByte(CP_ACP, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, units.data(),
                                     static_cast<int>(units.size()), nullptr, 0, nullptr,
                                     utf8 ? nullptr : &replaced) > 0 &&
               !replaced;
    });
}

bool WindowsTextFileWriter::writeLine(const std::string& path, const std::string& text,
                                      TextFileKind, bool ownerOnly, std::string& error) {
    if (path.empty()) {
        error = "no file name";
        return false;
    }
    std::wstring wide;
    if (!WidenStrict(text, wide)) {
        error = "the text is not valid UTF-8";
        return false;
    }
    wide += L"\r\n";
    std::string bytes;
    if (!ToAnsiCodePage(wide, bytes, error)) return false;

    SECURITY_ATTRIBUTES security{};
    std::optional<OwnerOnlyDescriptor> descriptor;
    if (ownerOnly) {
        descriptor.emplace();
        if (descriptor->get() == nullptr || descriptor->dacl() == nullptr) {
            error = "cannot restrict the file to its owner: " + SystemMessage(descriptor->error());
            return false;
        }
        security.nLength = sizeof security;
        security.lpSecurityDescriptor = descriptor->get();
        security.bInheritHandle = FALSE;
    }
    FileHandle file(::CreateFileW(Widen(path).c_str(),
                                  GENERIC_WRITE | (ownerOnly ? WRITE_DAC : 0), FILE_SHARE_READ,
                                  ownerOnly ? &security : nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        error = SystemMessage(::GetLastError());
        return false;
    }
    // An existing file keeps its access list on CREATE_ALWAYS: replace it
    // before anything is written. A file system without access lists (FAT)
    // has nothing to restrict.
    if (ownerOnly) {
        const DWORD rc = ::SetSecurityInfo(
            file.get(), SE_FILE_OBJECT,
            DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr,
            descriptor->dacl(), nullptr);
        if (rc != ERROR_SUCCESS && rc != ERROR_NOT_SUPPORTED && rc != ERROR_INVALID_FUNCTION) {
            error = "cannot restrict the file to its owner: " + SystemMessage(rc);
            return false;
        }
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(file.get(), bytes.data() + done, chunk, &written, nullptr)) {
            error = SystemMessage(::GetLastError());
            return false;
        }
        if (written == 0) {
            error = "the file takes no more data";
            return false;
        }
        done += written;
    }
    if (!file.close()) {
        error = SystemMessage(::GetLastError());
        return false;
    }
    return true;
}

}  // namespace fhsw
