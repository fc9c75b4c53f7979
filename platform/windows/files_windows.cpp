#include "platform/windows/files_windows.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <cwctype>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/windows/win32_text.h"

namespace fhsw {

namespace {

// The text in the code pages its readers read it in, the file's own first:
// the command interpreter reads the runner script in the OEM code page and
// hands the mail client its arguments, which it reads in the ANSI code page;
// the message file and the log are the mail client's own. A character fits a
// code page when it comes back from it as itself, not as a best-fit stand-in
// or the default character.
struct Encoded {
    std::string bytes;              // in the file's own code page
    std::optional<char32_t> unfit;  // the first character that does not fit
    UINT page = 0;                  // the code page it does not fit
};

Encoded Encode(const std::string& text, TextFileKind kind) {
    const std::wstring wide = Widen(text);
    const int size = static_cast<int>(wide.size());
    Encoded e;
    const UINT pages[] = {kind == TextFileKind::RunnerScript ? ::GetOEMCP() : ::GetACP(), ::GetACP()};
    for (const UINT& page : pages) {
        const DWORD flags = page == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
        const int n = ::WideCharToMultiByte(page, flags, wide.data(), size, nullptr, 0, nullptr, nullptr);
        std::string bytes(std::max(n, 0), '\0');
        ::WideCharToMultiByte(page, flags, wide.data(), size, bytes.data(), n, nullptr, nullptr);
        std::wstring back(std::max(::MultiByteToWideChar(page, 0, bytes.data(), n, nullptr, 0), 0), L'\0');
        ::MultiByteToWideChar(page, 0, bytes.data(), n, back.data(), static_cast<int>(back.size()));
        if (&page == pages) e.bytes = std::move(bytes);  // the file's own
        const std::size_t at = std::mismatch(wide.begin(), wide.end(), back.begin(), back.end()).first - wide.begin();
        if (at == wide.size()) continue;
        // A surrogate pair is one character, named by its code point.
        const char32_t first = wide[at], second = at + 1 < wide.size() ? wide[at + 1] : 0;
        const bool pair = first >= 0xD800 && first < 0xDC00 && second >= 0xDC00 && second < 0xE000;
        e.unfit = pair ? 0x10000 + ((first - 0xD800) << 10) + (second - 0xDC00) : first;
        e.page = page;
        break;
    }
    return e;
}

// The user this program runs as.
PSID CurrentUser() {
    static const std::vector<unsigned char> user = TokenUserOf(::GetCurrentProcess());
    return user.empty() ? nullptr : reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid;
}

// A protected access list for the current user and the system account only
// (D:P: nothing inherited from the folder; FA: all access; SY: the system),
// made once; nullptr when it cannot be made.
PSECURITY_DESCRIPTOR OwnerOnly() {
    static const PSECURITY_DESCRIPTOR descriptor = [] {
        wchar_t* sid = nullptr;
        PSECURITY_DESCRIPTOR made = nullptr;
        if (CurrentUser() && ::ConvertSidToStringSidW(CurrentUser(), &sid))
            ::ConvertStringSecurityDescriptorToSecurityDescriptorW(
                (L"D:P(A;;FA;;;" + std::wstring(sid) + L")(A;;FA;;;SY)").c_str(), SDDL_REVISION_1, &made, nullptr);
        ::LocalFree(sid);
        return made;
    }();
    return descriptor;
}

// Paths that name a pipe or a device rather than a file on a disk: opening a
// named pipe would connect to it, reading it might wait for ever.
bool IsPipeOrDevice(std::wstring path) {
    for (wchar_t& c : path) c = c == L'/' ? L'\\' : static_cast<wchar_t>(std::towlower(c));
    if (path.rfind(L"\\\\?\\unc\\", 0) == 0)
        path.erase(2, 6);
    else if (path.rfind(L"\\\\?\\", 0) == 0 || path.rfind(L"\\\\.\\", 0) == 0)
        return !(path.size() >= 6 && path[5] == L':');  // only a drive: \\?\C:...
    // \\server\pipe\...: a remote pipe
    const std::size_t share = path.rfind(L"\\\\", 0) == 0 ? path.find(L'\\', 2) : std::wstring::npos;
    return share != std::wstring::npos &&
           (path.compare(share, std::wstring::npos, L"\\pipe") == 0 || path.compare(share, 6, L"\\pipe\\") == 0);
}

// What stands at a path, opened for `access` and a look at it: the link
// itself unless `follow`; a pipe or a device is never opened.
struct Found {
    UniqueHandle handle;          // null when nothing could be opened
    DWORD error = ERROR_SUCCESS;  // why not, unless it is a pipe or a device
    DWORD attributes = 0;         // with FILE_ATTRIBUTE_DEVICE for anything not on a disk
    std::uintmax_t size = 0;
    bool missing() const { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }
    bool plainFile() const {
        constexpr DWORD kNotPlain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
        return handle && !(attributes & kNotPlain);
    }
};

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

Found Open(const std::wstring& path, DWORD access, bool follow = false, DWORD share = kShareAll) {
    Found f;
    if (IsPipeOrDevice(path)) {
        f.attributes = FILE_ATTRIBUTE_DEVICE;
        return f;
    }
    f.handle = Own(::CreateFileW(path.c_str(), access | FILE_READ_ATTRIBUTES, share, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!f.handle || !::GetFileInformationByHandle(f.handle.get(), &info)) {
        f.error = ::GetLastError();
        f.handle.reset();
        return f;
    }
    const bool disk = ::GetFileType(f.handle.get()) == FILE_TYPE_DISK;
    f.attributes = info.dwFileAttributes | (disk ? 0 : FILE_ATTRIBUTE_DEVICE);
    f.size = (std::uintmax_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    return f;
}

// Which file a handle is open on, whatever its name: volume and index.
using FileId = std::tuple<DWORD, DWORD, DWORD>;

FileId IdOf(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info{};
    ::GetFileInformationByHandle(file, &info);
    return {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
}

// Why a new file may not take the place of what stands there; "" when it may.
std::string Refusal(const std::string& path, const Found& f) {
    if (f.missing()) return {};
    if (f.error != ERROR_SUCCESS) return "cannot look at " + path + ": " + SystemMessage(f.error);
    if (!f.plainFile())
        return "will not replace " + path + ": it is not a plain file (a folder, a symbolic link or a junction)";
    if (f.attributes & FILE_ATTRIBUTE_READONLY) return "will not replace " + path + ": it is read-only";
    return {};
}

// Temporary files beside a target are named "<target>.fhsw<process>-<n>.tmp".
std::wstring TemporaryName(const std::wstring& target) {
    static std::atomic<unsigned> counter{0};
    return target + L".fhsw" + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(++counter) + L".tmp";
}

// Removes what a save of this program that was killed left beside `target`.
// A save that runs holds its files open without delete sharing: they stay.
void RemoveStaleTemporaries(const std::wstring& target) {
    const std::wstring folder = target.substr(0, target.find_last_of(L"\\/") + 1);
    const std::size_t before = target.size() - folder.size() + 5;  // the name and ".fhsw"
    WIN32_FIND_DATAW found{};
    const HANDLE find = ::FindFirstFileW((target + L".fhsw*.tmp").c_str(), &found);
    for (bool more = find != INVALID_HANDLE_VALUE; more; more = ::FindNextFileW(find, &found)) {
        const std::wstring_view name = found.cFileName;
        if (name.size() > before + 4 &&
            name.substr(before, name.size() - before - 4).find_first_not_of(L"0123456789-") == name.npos)
            ::DeleteFileW((folder + found.cFileName).c_str());
    }
    if (find != INVALID_HANDLE_VALUE) ::FindClose(find);
}

// Gives the file open as `file` the name `path`, never over another file.
// A rename by handle takes the NT form of a path ("\??\C:\..."): a bare name
// would land in the current folder under Wine.
bool RenameTo(HANDLE file, const std::wstring& path) {
    std::wstring full(::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr), L'\0');
    full.resize(::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr));
    if (full.rfind(L"\\\\?\\", 0) == 0 || full.rfind(L"\\\\.\\", 0) == 0) full.erase(0, 4);
    else if (full.rfind(L"\\\\", 0) == 0) full.replace(0, 2, L"UNC\\");
    full.insert(0, L"\\??\\");
    const DWORD bytes = static_cast<DWORD>(full.size() * sizeof(wchar_t));
    std::vector<unsigned long long> buffer((sizeof(FILE_RENAME_INFO) + bytes) / 8 + 1);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = FALSE;
    info->FileNameLength = bytes;
    std::memcpy(info->FileName, full.data(), bytes);
    return ::SetFileInformationByHandle(file, FileRenameInfo, info, static_cast<DWORD>(buffer.size() * 8));
}

// The file open as `file` goes when its last handle closes.
bool DeleteOnClose(HANDLE file) {
    FILE_DISPOSITION_INFO info{TRUE};
    return ::SetFileInformationByHandle(file, FileDispositionInfo, &info, sizeof info);
}

// The staged text is held open without delete sharing until commit(), and
// so is the old file once commit() has put it aside: no other save's
// clean-up can remove them. The new file is let go at once, for its readers.
class WindowsStagedFile final : public StagedFile {
public:
    WindowsStagedFile(std::string path, std::wstring target, UniqueHandle staged)
        : path_(std::move(path)), target_(std::move(target)), staged_(std::move(staged)) {}
    ~WindowsStagedFile() override {
        if (staged_) DeleteOnClose(staged_.get());
        if (old_) DeleteOnClose(old_.get());
    }
    bool commit(std::string& error) override {
        if (!staged_) return true;
        // Looked at again: something may have come meanwhile.
        Found now = Open(target_, DELETE, false, FILE_SHARE_READ | FILE_SHARE_WRITE);
        if (std::string why = Refusal(path_, now); !why.empty()) return fail(std::move(why), error);
        old_ = std::move(now.handle);
        if (old_ && !RenameTo(old_.get(), TemporaryName(target_)))
            return fail("cannot replace " + path_ + ": " + SystemMessage(::GetLastError()), error);
        if (!RenameTo(staged_.get(), target_)) {
            const DWORD code = ::GetLastError();
            if (old_) RenameTo(old_.get(), target_);
            return fail("cannot replace " + path_ + ": " + SystemMessage(code), error);
        }
        committed_ = IdOf(staged_.get());
        staged_.reset();
        return true;
    }
    bool undo(std::string& error) override {
        if (!committed_) return true;
        // The new file, unless another hand has replaced it meanwhile.
        Found now = Open(target_, DELETE);
        std::string why;
        if (!now.handle || IdOf(now.handle.get()) != *committed_)
            why = now.error == ERROR_SUCCESS ? "another file has taken its place" : SystemMessage(now.error);
        else if (!DeleteOnClose(now.handle.get()))
            why = SystemMessage(::GetLastError());
        now.handle.reset();  // the new file goes now
        if (!why.empty()) {
            error = "cannot remove the new " + path_ + ": " + why;
            return false;
        }
        committed_.reset();
        // Left where it was put aside, under its temporary name, if this fails.
        if (old_ && !RenameTo(old_.get(), target_))
            return fail("cannot put back the old " + path_ + ": " + SystemMessage(::GetLastError()), error);
        old_.reset();
        return true;
    }

private:
    // Lets go of the old file wherever it is now: it is not removed.
    bool fail(std::string why, std::string& error) {
        old_.reset();
        error = std::move(why);
        return false;
    }

    std::string path_;
    std::wstring target_;
    UniqueHandle staged_, old_;
    std::optional<FileId> committed_;  // the new file, while in place
};

// Those who may do anything anyway (this user, the system account, the
// administrators), and the placeholders that stand for the owner.
bool Trusted(PSID sid) {
    if (sid == nullptr) return false;
    if (CurrentUser() && ::EqualSid(sid, CurrentUser())) return true;
    for (WELL_KNOWN_SID_TYPE type :
         {WinLocalSystemSid, WinBuiltinAdministratorsSid, WinCreatorOwnerSid, WinCreatorOwnerRightsSid})
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

// Who other than those trusted has the open file or folder: its `owner`,
// when that is another account, and the first other account its access list
// lets do any of `rights` (`with`). Entries are taken in order, as Windows
// does: a denial counts for the account it names (for all, when it names
// Everyone) before a grant. Another account's groups are not known here: a
// grant to any other account counts, even if a denial to a group of its
// members would stop it. No access list at all lets anyone do anything.
struct Others {
    DWORD error = ERROR_SUCCESS;
    std::string owner{}, with{};
};

Others OthersOf(HANDLE h, ACCESS_MASK rights) {
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    Others others{::GetSecurityInfo(h, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                    &owner, nullptr, &dacl, nullptr, &descriptor)};
    if (others.error == ERROR_SUCCESS && !Trusted(owner)) others.owner = AccountName(owner);
    if (others.error == ERROR_SUCCESS && dacl == nullptr) others.with = "Everyone";
    GENERIC_MAPPING mapping{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    ACCESS_MASK deniedToAll = 0;
    std::vector<std::pair<PSID, ACCESS_MASK>> denied;
    for (DWORD i = 0; others.error == ERROR_SUCCESS && dacl && others.with.empty() && i < dacl->AceCount; ++i) {
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
        if (mask & rights) others.with = AccountName(sid);
    }
    ::LocalFree(descriptor);
    return others;
}

// What lets others put a file of theirs in a folder, or change a file.
constexpr ACCESS_MASK kChangeRights =
    FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER;

}  // namespace

std::optional<char32_t> WindowsFiles::firstUnwritable(const std::string& text, TextFileKind kind) {
    return Encode(text, kind).unfit;
}

std::unique_ptr<StagedFile> WindowsFiles::stage(const std::string& path, const std::string& text,
                                                TextFileKind kind, bool ownerOnly, std::string& error) {
    const Encoded encoded = Encode(text + "\r\n", kind);
    if (encoded.unfit) {
        char label[16];
        std::snprintf(label, sizeof label, "U+%04X", static_cast<unsigned>(*encoded.unfit));
        error = label + (" cannot be written in code page " + std::to_string(encoded.page));
        return nullptr;
    }
    const std::wstring target = Widen(path);
    if (!(error = Refusal(path, Open(target, 0))).empty()) return nullptr;
    RemoveStaleTemporaries(target);
    SECURITY_ATTRIBUTES security{sizeof security, ownerOnly ? OwnerOnly() : nullptr, FALSE};
    if (ownerOnly && !security.lpSecurityDescriptor) {
        error = "cannot restrict " + path + " to its owner";
        return nullptr;
    }
    // A new file, beside the old one, with the access list given here (or
    // the folder's); nothing of the old file's survives the commit.
    UniqueHandle file = Own(::CreateFileW(TemporaryName(target).c_str(), GENERIC_WRITE | DELETE | FILE_READ_ATTRIBUTES,
                                          FILE_SHARE_READ,
                                          &security, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!file ||
        !::WriteFile(file.get(), encoded.bytes.data(), static_cast<DWORD>(encoded.bytes.size()), &written, nullptr) ||
        !::FlushFileBuffers(file.get())) {
        error = "cannot write beside " + path + ": " + SystemMessage(::GetLastError());
        if (file) DeleteOnClose(file.get());
        return nullptr;
    }
    return std::make_unique<WindowsStagedFile>(path, target, std::move(file));
}

bool WindowsFiles::isFile(const std::string& path) { return Open(Widen(path), 0, true).plainFile(); }

std::optional<std::uintmax_t> WindowsFiles::fileSize(const std::string& path) {
    const Found file = Open(Widen(path), 0, true);
    return file.plainFile() ? std::optional(file.size) : std::nullopt;
}

std::optional<std::string> WindowsFiles::readFrom(const std::string& path, std::uintmax_t offset,
                                                  std::size_t max) {
    const Found file = Open(Widen(path), GENERIC_READ, true);
    if (!file.plainFile()) return std::nullopt;
    if (file.size < offset) offset = 0;
    offset = std::max(offset, file.size - std::min<std::uintmax_t>(file.size, max));
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(offset);
    std::string text(static_cast<std::size_t>(file.size - offset), '\0');
    DWORD got = 0;
    if (!::SetFilePointerEx(file.handle.get(), at, nullptr, FILE_BEGIN) ||
        !::ReadFile(file.handle.get(), text.data(), static_cast<DWORD>(text.size()), &got, nullptr))
        return std::nullopt;
    text.resize(got);
    return text;
}

std::string WindowsFiles::openToOthers(const std::string& path) {
    // Through a link: what counts is the folder the files land in.
    const Found found = Open(Widen(path), READ_CONTROL, true);
    const Others others = found.handle ? OthersOf(found.handle.get(), kChangeRights) : Others{};
    if (!others.owner.empty()) return path + " belongs to " + others.owner;
    if (others.with.empty()) return {};
    return others.with +
           (found.attributes & FILE_ATTRIBUTE_DIRECTORY ? " may add, replace or delete files in " : " may change ") +
           path;
}

bool WindowsFiles::secureLog(const std::string& path, std::string& error) {
    const std::wstring wide = Widen(path);
    Found log = Open(wide, READ_CONTROL | WRITE_DAC);
    if (log.error == ERROR_ACCESS_DENIED) log = Open(wide, READ_CONTROL);
    if (log.missing()) {
        // Made now, private: the mail client appends to it and keeps its access list.
        SECURITY_ATTRIBUTES security{sizeof security, OwnerOnly(), FALSE};
        if (security.lpSecurityDescriptor && Own(::CreateFileW(wide.c_str(), GENERIC_WRITE,
                                                               FILE_SHARE_READ | FILE_SHARE_WRITE, &security,
                                                               CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr)))
            return true;
        log.error = ::GetLastError();
    }
    if (log.error == ERROR_SUCCESS && !log.plainFile()) {
        error = path + " is not a plain file (a folder, a link or a device): the mail client's log would go elsewhere";
        return false;
    }
    if (!log.handle) {
        error = "cannot make " + path + " ready for the mail client: " + SystemMessage(log.error);
        return false;
    }
    const Others others = OthersOf(log.handle.get(), FILE_READ_DATA);
    if (others.error != ERROR_SUCCESS) {
        error = "cannot read the access list of " + path + ": " + SystemMessage(others.error);
        return false;
    }
    if (!others.owner.empty()) {
        error = path + " belongs to " + others.owner + ", not to this user";
        return false;
    }
    if (others.with.empty()) return true;
    // Our own file that others may read (the mail client logs the log-in there): made private.
    // (The descriptor's access list is protected: nothing inherited.)
    const DWORD rc = OwnerOnly() && ::SetKernelObjectSecurity(log.handle.get(), DACL_SECURITY_INFORMATION, OwnerOnly())
                         ? ERROR_SUCCESS
                         : ::GetLastError();
    if (rc == ERROR_SUCCESS) return true;
    error = others.with + " may read " + path + ", which cannot be made private: " + SystemMessage(rc);
    return false;
}

}  // namespace fhsw
