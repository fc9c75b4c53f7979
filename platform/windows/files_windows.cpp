#include "platform/windows/files_windows.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/windows/code_point_check.h"
#include "platform/windows/win32_text.h"

namespace fhsw {

namespace {

// The code pages a file of this kind must hold its text in, the file's own
// first. The command interpreter reads the runner script in the OEM code
// page and hands the mail client its arguments, which it reads in the ANSI
// code page; the message file and the log are the mail client's own.
std::vector<UINT> CodePagesFor(TextFileKind kind) {
    if (kind == TextFileKind::RunnerScript) return {::GetOEMCP(), ::GetACP()};
    return {::GetACP()};
}

// Whether `units` converts to `codePage` as itself, without a best-fit
// stand-in or the default character.
bool Fits(UINT codePage, std::wstring_view units) {
    if (units.empty()) return true;
    if (units.size() > static_cast<std::size_t>(INT_MAX)) return false;
    const bool utf8 = codePage == CP_UTF8;
    BOOL replaced = FALSE;
    return ::WideCharToMultiByte(codePage, utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS,
                                 units.data(), static_cast<int>(units.size()), nullptr, 0, nullptr,
                                 utf8 ? nullptr : &replaced) > 0 &&
           !replaced;
}

// The first character that one of the code pages of `kind` cannot hold, and
// which code page that is.
std::optional<char32_t> FirstUnfit(std::wstring_view wide, TextFileKind kind, UINT* page = nullptr) {
    const std::vector<UINT> pages = CodePagesFor(kind);
    auto fits = [&](std::wstring_view units) {
        for (UINT p : pages) {
            if (!Fits(p, units)) {
                if (page) *page = p;
                return false;
            }
        }
        return true;
    };
    if (fits(wide)) return std::nullopt;  // the whole text at once: the usual case
    return FirstCharacterNotFitting(wide, fits);
}

// The user this program runs as.
PSID CurrentUser() {
    static const std::vector<unsigned long long> token = [] {  // aligned for TOKEN_USER
        std::vector<unsigned long long> buffer;
        HANDLE h = nullptr;
        if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &h)) return buffer;
        DWORD size = 0;
        ::GetTokenInformation(h, TokenUser, nullptr, 0, &size);
        buffer.resize((size + 7) / 8);
        if (size == 0 || !::GetTokenInformation(h, TokenUser, buffer.data(), size, &size))
            buffer.clear();
        ::CloseHandle(h);
        return buffer;
    }();
    return token.empty() ? nullptr : reinterpret_cast<const TOKEN_USER*>(token.data())->User.Sid;
}

// A protected access list for the current user and the system account only
// (D:P: nothing inherited from the folder; FA: all access; SY: the system).
struct OwnerOnly {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    PACL dacl = nullptr;
    DWORD error = ERROR_SUCCESS;
    OwnerOnly() {
        wchar_t* sid = nullptr;
        BOOL present = FALSE, defaulted = FALSE;
        if (!CurrentUser() || !::ConvertSidToStringSidW(CurrentUser(), &sid) ||
            !::ConvertStringSecurityDescriptorToSecurityDescriptorW(
                (L"D:P(A;;FA;;;" + std::wstring(sid) + L")(A;;FA;;;SY)").c_str(), SDDL_REVISION_1,
                &descriptor, nullptr) ||
            !::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted)) {
            error = ::GetLastError();
            dacl = nullptr;
        }
        if (sid) ::LocalFree(sid);
    }
    ~OwnerOnly() { ::LocalFree(descriptor); }
    OwnerOnly(const OwnerOnly&) = delete;
    OwnerOnly& operator=(const OwnerOnly&) = delete;
};

class FileHandle {
public:
    explicit FileHandle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
    ~FileHandle() { close(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    FileHandle(FileHandle&& other) noexcept : h_(std::exchange(other.h_, INVALID_HANDLE_VALUE)) {}
    FileHandle& operator=(FileHandle&& other) noexcept {
        if (this != &other) close(), h_ = std::exchange(other.h_, INVALID_HANDLE_VALUE);
        return *this;
    }
    bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return h_; }
    // Closes now and reports whether that worked.
    bool close() { return !valid() || ::CloseHandle(std::exchange(h_, INVALID_HANDLE_VALUE)); }

private:
    HANDLE h_;
};

// What stands at `path` itself (a link is not followed): nothing, a plain
// file (read-only or not), or something that must not be replaced (a folder,
// a symbolic link or junction, a device). With `keep`, a plain file's handle,
// opened for `access` with `share`, is kept there.
enum class Occupant { None, File, ReadOnly, Other };

Occupant Look(const std::wstring& path, DWORD& error, FileHandle* keep = nullptr, DWORD access = 0,
              DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE) {
    FileHandle h(::CreateFileW(path.c_str(), access | FILE_READ_ATTRIBUTES, share, nullptr, OPEN_EXISTING,
                               FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    error = h.valid() && ::GetFileInformationByHandle(h.get(), &info) ? ERROR_SUCCESS : ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return Occupant::None;
    if (error != ERROR_SUCCESS || ::GetFileType(h.get()) != FILE_TYPE_DISK ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)))
        return Occupant::Other;
    if (keep) *keep = std::move(h);
    return info.dwFileAttributes & FILE_ATTRIBUTE_READONLY ? Occupant::ReadOnly : Occupant::File;
}

// Why a new file may not take the place of what Look() found; "" when it may.
std::string Refusal(const std::string& path, Occupant occupant, DWORD error) {
    if (occupant == Occupant::ReadOnly) return "will not replace " + path + ": it is read-only";
    if (occupant != Occupant::Other) return {};
    return error == ERROR_SUCCESS ? "will not replace " + path +
                                        ": it is not a plain file (a folder, a symbolic link or a junction)"
                                  : "cannot look at " + path + ": " + SystemMessage(error);
}

// Temporary files beside a target are named "<target>.fhsw<process>-<n>.tmp".
constexpr const wchar_t* kTemporaryMark = L".fhsw";

std::wstring TemporaryName(const std::wstring& target) {
    static std::atomic<unsigned> counter{0};
    return target + kTemporaryMark + std::to_wstring(::GetCurrentProcessId()) + L"-" +
           std::to_wstring(++counter) + L".tmp";
}

bool IsTemporaryOf(std::wstring_view candidate, std::wstring_view name) {
    const std::wstring prefix = std::wstring(name) + kTemporaryMark;
    if (candidate.size() < prefix.size() + 7 || candidate.substr(0, prefix.size()) != prefix ||
        candidate.substr(candidate.size() - 4) != L".tmp")
        return false;
    const std::wstring_view middle = candidate.substr(prefix.size(), candidate.size() - prefix.size() - 4);
    const std::size_t dash = middle.find(L'-');
    if (dash == 0 || dash == std::wstring_view::npos || dash + 1 == middle.size()) return false;
    for (std::size_t i = 0; i < middle.size(); ++i)
        if (i != dash && (middle[i] < L'0' || middle[i] > L'9')) return false;
    return true;
}

// Removes what a save of this program that was killed left beside `target`.
// A save that runs holds its files open without delete sharing: they stay.
void RemoveStaleTemporaries(const std::wstring& target) {
    const std::size_t slash = target.find_last_of(L"\\/");
    const std::wstring folder = slash == std::wstring::npos ? L"" : target.substr(0, slash + 1);
    const std::wstring name = target.substr(folder.size());
    WIN32_FIND_DATAW found{};
    const HANDLE find = ::FindFirstFileW((target + kTemporaryMark + L"*.tmp").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        if (IsTemporaryOf(found.cFileName, name) &&
            !(found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
            ::DeleteFileW((folder + found.cFileName).c_str());
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
}

// The NT form of a path ("\??\C:\..."), the one a rename by handle takes: a
// bare name would land in the current folder under Wine.
std::wstring NtPath(const std::wstring& path) {
    std::wstring full(::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr), L'\0');
    full.resize(::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr));
    if (full.rfind(L"\\\\?\\", 0) == 0 || full.rfind(L"\\\\.\\", 0) == 0) return L"\\??\\" + full.substr(4);
    if (full.rfind(L"\\\\", 0) == 0) return L"\\??\\UNC\\" + full.substr(2);
    return L"\\??\\" + full;
}

// Gives the file open as `file` the name `ntPath`, never over another file.
bool RenameTo(HANDLE file, const std::wstring& ntPath) {
    const DWORD bytes = static_cast<DWORD>(ntPath.size() * sizeof(wchar_t));
    std::vector<unsigned long long> buffer((sizeof(FILE_RENAME_INFO) + bytes) / 8 + 1);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = FALSE;
    info->FileNameLength = bytes;
    std::memcpy(info->FileName, ntPath.data(), bytes);
    return ::SetFileInformationByHandle(file, FileRenameInfo, info,
                                        static_cast<DWORD>(buffer.size() * 8));
}

// The file open as `file` goes when its last handle closes.
bool DeleteOnClose(HANDLE file) {
    FILE_DISPOSITION_INFO info{TRUE};
    return ::SetFileInformationByHandle(file, FileDispositionInfo, &info, sizeof info);
}

bool WriteAll(HANDLE file, const std::string& bytes, std::string& error) {
    for (std::size_t done = 0; done < bytes.size();) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0) {
            error = SystemMessage(::GetLastError());
            return false;
        }
        done += written;
    }
    return true;
}

// Which file a handle is open on, whatever its name.
struct FileId {
    DWORD volume = 0, high = 0, low = 0;
    explicit FileId(HANDLE h) {
        BY_HANDLE_FILE_INFORMATION info{};
        if (::GetFileInformationByHandle(h, &info))
            volume = info.dwVolumeSerialNumber, high = info.nFileIndexHigh, low = info.nFileIndexLow;
    }
    friend bool operator==(const FileId&, const FileId&) = default;
};

// The staged text is held open without delete sharing until commit(), and
// so is the old file once commit() has put it aside: no other save's
// clean-up can remove them. The new file is let go at once, for its readers.
class WindowsStagedFile final : public StagedFile {
public:
    WindowsStagedFile(std::string path, std::wstring target, FileHandle staged)
        : path_(std::move(path)), target_(std::move(target)), ntTarget_(NtPath(target_)),
          staged_(std::move(staged)) {}
    ~WindowsStagedFile() override {
        if (staged_.valid()) DeleteOnClose(staged_.get());
        if (old_.valid()) DeleteOnClose(old_.get());
    }
    bool commit(std::string& error) override {
        if (!staged_.valid()) return true;
        // Looked at again: something may have come meanwhile.
        DWORD code = ERROR_SUCCESS;
        const Occupant now = Look(target_, code, &old_, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE);
        if (std::string why = Refusal(path_, now, code); !why.empty()) return fail(std::move(why), error);
        if (now == Occupant::File && !RenameTo(old_.get(), NtPath(TemporaryName(target_))))
            return fail("cannot replace " + path_ + ": " + SystemMessage(::GetLastError()), error);
        if (!RenameTo(staged_.get(), ntTarget_)) {
            code = ::GetLastError();
            if (old_.valid()) RenameTo(old_.get(), ntTarget_);
            return fail("cannot replace " + path_ + ": " + SystemMessage(code), error);
        }
        committed_ = FileId(staged_.get());
        staged_.close();
        return true;
    }
    bool undo(std::string& error) override {
        if (!committed_) return true;
        // The new file, unless another hand has replaced it meanwhile.
        FileHandle now;
        DWORD code = ERROR_SUCCESS;
        Look(target_, code, &now, DELETE);
        std::string why;
        if (!now.valid() || !(FileId(now.get()) == *committed_))
            why = code == ERROR_SUCCESS ? "another file has taken its place" : SystemMessage(code);
        else if (!DeleteOnClose(now.get()) || !now.close()) why = SystemMessage(::GetLastError());
        if (!why.empty()) {
            error = "cannot remove the new " + path_ + ": " + why;
            return false;
        }
        committed_.reset();
        // Left where it was put aside, under its temporary name, if this fails.
        if (old_.valid() && !RenameTo(old_.get(), ntTarget_))
            return fail("cannot put back the old " + path_ + ": " + SystemMessage(::GetLastError()), error);
        old_.close();
        return true;
    }

private:
    // Lets go of the old file wherever it is now: it is not removed.
    bool fail(std::string why, std::string& error) {
        old_.close();
        error = std::move(why);
        return false;
    }

    std::string path_;
    std::wstring target_, ntTarget_;
    FileHandle staged_, old_;
    std::optional<FileId> committed_;  // the new file, while in place
};

// Paths that name a pipe or a device rather than a file on a disk: opening a
// named pipe would connect to it, reading it might wait for ever.
bool IsPipeOrDevice(std::wstring path) {
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    auto startsWith = [&](std::wstring_view prefix, std::size_t at = 0) {
        return path.size() >= at + prefix.size() &&
               ::CompareStringOrdinal(path.data() + at, static_cast<int>(prefix.size()), prefix.data(),
                                      static_cast<int>(prefix.size()), TRUE) == CSTR_EQUAL;
    };
    if (startsWith(L"\\\\?\\UNC\\")) {
        path.erase(2, 6);
    } else if (startsWith(L"\\\\?\\") || startsWith(L"\\\\.\\")) {
        return !(path.size() >= 6 && path[5] == L':');  // only a drive: \\?\C:...
    }
    if (!startsWith(L"\\\\")) return false;
    const std::size_t share = path.find(L'\\', 2);  // \\server\pipe\...: a remote pipe
    return share != std::wstring::npos && startsWith(L"pipe", share + 1) &&
           (path.size() == share + 5 || path[share + 5] == L'\\');
}

// A plain file on a disk, opened for `access`, or nothing.
FileHandle OpenPlainFile(const std::string& path, DWORD access) {
    const std::wstring wide = Widen(path);
    if (wide.empty() || IsPipeOrDevice(wide)) return FileHandle();
    FileHandle file(::CreateFileW(wide.c_str(), access,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (file.valid() && (::GetFileType(file.get()) != FILE_TYPE_DISK ||
                         !::GetFileInformationByHandle(file.get(), &info) ||
                         (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)))
        file.close();
    return file;
}

// Those who may do anything anyway (this user, the system account, the
// administrators), and the placeholders that stand for the owner.
bool Trusted(PSID sid) {
    if (sid == nullptr) return false;
    if (CurrentUser() && ::EqualSid(sid, CurrentUser())) return true;
    for (WELL_KNOWN_SID_TYPE type : {WinLocalSystemSid, WinBuiltinAdministratorsSid,
                                     WinCreatorOwnerSid, WinCreatorOwnerRightsSid})
        if (::IsWellKnownSid(sid, type)) return true;
    return false;
}

std::string AccountName(PSID sid) {
    wchar_t name[256], domain[256];
    DWORD nameSize = 256, domainSize = 256;
    SID_NAME_USE use;
    if (::LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use))
        return (domainSize > 0 ? Narrow(domain) + "\\" : std::string()) + Narrow(name);
    wchar_t* text = nullptr;
    std::string out = ::ConvertSidToStringSidW(sid, &text) ? Narrow(text) : "an unknown account";
    ::LocalFree(text);
    return out;
}

// Who other than those trusted the access list lets do any of `rights`; ""
// when nobody. Entries are taken in order, as Windows does: a denial counts
// for the account it names (for all, when it names Everyone) before a grant.
// Another account's groups are not known here: a grant to any other account
// counts, even if a denial to a group of its members would stop it.
std::string OtherWith(PACL dacl, ACCESS_MASK rights) {
    if (dacl == nullptr) return "Everyone";  // no access list: anyone may do anything
    GENERIC_MAPPING mapping{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    ACCESS_MASK deniedToAll = 0;
    std::vector<std::pair<PSID, ACCESS_MASK>> denied;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACE_HEADER* ace = nullptr;
        if (!::GetAce(dacl, i, reinterpret_cast<void**>(&ace)) || (ace->AceFlags & INHERIT_ONLY_ACE) ||
            (ace->AceType != ACCESS_ALLOWED_ACE_TYPE && ace->AceType != ACCESS_DENIED_ACE_TYPE))
            continue;
        auto* entry = reinterpret_cast<ACCESS_ALLOWED_ACE*>(ace);  // the same layout for a denial
        PSID sid = &entry->SidStart;
        ACCESS_MASK mask = entry->Mask;
        ::MapGenericMask(&mask, &mapping);
        if (ace->AceType == ACCESS_DENIED_ACE_TYPE) {
            if (::IsWellKnownSid(sid, WinWorldSid)) deniedToAll |= mask;
            else denied.emplace_back(sid, mask);
            continue;
        }
        if (Trusted(sid)) continue;
        mask &= ~deniedToAll;
        for (const auto& [other, no] : denied)
            if (::EqualSid(other, sid)) mask &= ~no;
        if (mask & rights) return AccountName(sid);
    }
    return {};
}

// What lets others put a file of theirs in a folder, or change a file.
constexpr ACCESS_MASK kChangeRights = FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_DELETE_CHILD |
                                      DELETE | WRITE_DAC | WRITE_OWNER;

// Owner and access list of an open file or folder, freed at the end.
struct Security {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD error;
    explicit Security(HANDLE h)
        : error(::GetSecurityInfo(h, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                  &owner, nullptr, &dacl, nullptr, &descriptor)) {}
    ~Security() { ::LocalFree(descriptor); }
    Security(const Security&) = delete;
    Security& operator=(const Security&) = delete;
};

}  // namespace

std::optional<char32_t> WindowsFiles::firstUnwritable(const std::string& text, TextFileKind kind) {
    std::wstring wide;
    if (!WidenStrict(text, wide)) return U'\uFFFD';
    return FirstUnfit(wide, kind);
}

std::unique_ptr<StagedFile> WindowsFiles::stage(const std::string& path, const std::string& text,
                                                TextFileKind kind, bool ownerOnly, std::string& error) {
    if (path.empty()) {
        error = "no file name";
        return nullptr;
    }
    std::wstring wide;
    if (!WidenStrict(text, wide) || wide.size() > static_cast<std::size_t>(INT_MAX) - 2) {
        error = "the text is not valid UTF-8 or too long";
        return nullptr;
    }
    wide += L"\r\n";
    UINT page = 0;
    if (const auto c = FirstUnfit(wide, kind, &page)) {
        const bool interpreter = kind == TextFileKind::RunnerScript && page == ::GetOEMCP();
        error = CodePointLabel(*c) + " cannot be written in code page " + std::to_string(page) +
                (interpreter ? ", the command interpreter's" : ", the mail client's");
        return nullptr;
    }
    const UINT codePage = CodePagesFor(kind).front();
    const int size = ::WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(std::max(size, 0)), '\0');
    ::WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), bytes.data(), size,
                          nullptr, nullptr);

    const std::wstring target = Widen(path);
    DWORD code = ERROR_SUCCESS;
    error = Refusal(path, Look(target, code), code);
    if (!error.empty()) return nullptr;
    RemoveStaleTemporaries(target);

    SECURITY_ATTRIBUTES security{sizeof security, nullptr, FALSE};
    std::optional<OwnerOnly> descriptor;
    if (ownerOnly) {
        if (descriptor.emplace().dacl == nullptr) {
            error = "cannot restrict the file to its owner: " + SystemMessage(descriptor->error);
            return nullptr;
        }
        security.lpSecurityDescriptor = descriptor->descriptor;
    }
    // A new file, beside the old one, with the access list given here (or
    // the folder's); nothing of the old file's survives the commit.
    FileHandle file;
    for (int attempt = 0; attempt < 16 && !file.valid(); ++attempt) {
        file = FileHandle(::CreateFileW(TemporaryName(target).c_str(), GENERIC_WRITE | DELETE,
                                        FILE_SHARE_READ, &security, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                        nullptr));
        if (!file.valid() && ::GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (!file.valid()) {
        error = "cannot create a file beside " + path + ": " + SystemMessage(::GetLastError());
        return nullptr;
    }
    if (!WriteAll(file.get(), bytes, error) || !::FlushFileBuffers(file.get())) {
        if (error.empty()) error = SystemMessage(::GetLastError());
        error = "cannot write beside " + path + ": " + error;
        DeleteOnClose(file.get());
        return nullptr;
    }
    return std::make_unique<WindowsStagedFile>(path, target, std::move(file));
}

bool WindowsFiles::isFile(const std::string& path) {
    return OpenPlainFile(path, FILE_READ_ATTRIBUTES).valid();
}

std::optional<std::uintmax_t> WindowsFiles::fileSize(const std::string& path) {
    const FileHandle file = OpenPlainFile(path, FILE_READ_ATTRIBUTES);
    LARGE_INTEGER size{};
    if (!file.valid() || !::GetFileSizeEx(file.get(), &size)) return std::nullopt;
    return static_cast<std::uintmax_t>(size.QuadPart);
}

std::optional<std::string> WindowsFiles::readFrom(const std::string& path, std::uintmax_t offset,
                                                  std::size_t max) {
    const FileHandle file = OpenPlainFile(path, GENERIC_READ);
    LARGE_INTEGER size{};
    if (!file.valid() || !::GetFileSizeEx(file.get(), &size)) return std::nullopt;
    const auto total = static_cast<std::uintmax_t>(size.QuadPart);
    if (total < offset) offset = 0;
    if (total - offset > max) offset = total - max;
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(offset);
    if (!::SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN)) return std::nullopt;
    std::string text(static_cast<std::size_t>(total - offset), '\0');
    std::size_t done = 0;
    for (DWORD got = 1; done < text.size() && got > 0; done += got) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, 1u << 30));
        if (!::ReadFile(file.get(), text.data() + done, chunk, &got, nullptr)) return std::nullopt;
    }
    text.resize(done);
    return text;
}

std::string WindowsFiles::openToOthers(const std::string& path) {
    // Through a link: what counts is the folder the files land in.
    const FileHandle h(::CreateFileW(Widen(path).c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!h.valid() || !::GetFileInformationByHandle(h.get(), &info)) return {};
    const Security security(h.get());
    if (security.error != ERROR_SUCCESS) return {};
    if (!Trusted(security.owner)) return path + " belongs to " + AccountName(security.owner);
    const std::string who = OtherWith(security.dacl, kChangeRights);
    if (who.empty()) return {};
    return info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY
               ? who + " may add, replace or delete files in " + path
               : who + " may change " + path;
}

bool WindowsFiles::secureLog(const std::string& path, std::string& error) {
    const std::wstring wide = Widen(path);
    if (IsPipeOrDevice(wide)) {
        error = path + " is not a file on a disk";
        return false;
    }
    OwnerOnly ownerOnly;
    FileHandle file;
    DWORD code = ERROR_SUCCESS;
    Occupant occupant = Look(wide, code, &file, READ_CONTROL | WRITE_DAC);
    if (code == ERROR_ACCESS_DENIED) occupant = Look(wide, code, &file, READ_CONTROL);
    if (occupant == Occupant::None) {
        // Made now, private: the mail client appends to it and keeps its access list.
        SECURITY_ATTRIBUTES security{sizeof security, ownerOnly.descriptor, FALSE};
        if (ownerOnly.dacl && FileHandle(::CreateFileW(wide.c_str(), GENERIC_WRITE,
                                                       FILE_SHARE_READ | FILE_SHARE_WRITE, &security,
                                                       CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr))
                                  .valid())
            return true;
        code = ownerOnly.dacl ? ::GetLastError() : ownerOnly.error;
    }
    if (occupant == Occupant::Other && code == ERROR_SUCCESS) {
        error = path + " is not a plain file (a folder, a link or a device): the mail client's "
                       "log would go elsewhere";
        return false;
    }
    if (!file.valid()) {
        error = "cannot make " + path + " ready for the mail client: " + SystemMessage(code);
        return false;
    }
    const Security security(file.get());
    if (security.error != ERROR_SUCCESS) {
        error = "cannot read the access list of " + path + ": " + SystemMessage(security.error);
        return false;
    }
    if (!Trusted(security.owner)) {
        error = path + " belongs to " + AccountName(security.owner) + ", not to this user";
        return false;
    }
    const std::string reader = OtherWith(security.dacl, FILE_READ_DATA);
    if (reader.empty()) return true;
    // Our own file that others may read (the mail client logs the log-in there): made private.
    const DWORD rc = ownerOnly.dacl == nullptr
                         ? ownerOnly.error
                         : ::SetSecurityInfo(file.get(), SE_FILE_OBJECT,
                                             DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                             nullptr, nullptr, ownerOnly.dacl, nullptr);
    if (rc == ERROR_SUCCESS) return true;
    error = reader + " may read " + path + ", which cannot be made private: " + SystemMessage(rc);
    return false;
}

}  // namespace fhsw
