#include "platform/windows/process_query_windows.h"

#include <windows.h>
#include <tlhelp32.h>

#include <climits>

#include "platform/windows/win32_text.h"

namespace fhsw {

namespace {

class Handle {
public:
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() {
        if (h_ != nullptr && h_ != INVALID_HANDLE_VALUE) ::CloseHandle(h_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE h_;
};

// The TOKEN_USER of a process, or nothing when its token cannot be read.
std::vector<unsigned char> TokenUserOf(HANDLE process) {
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(process, TOKEN_QUERY, &raw)) return {};
    const Handle token(raw);
    DWORD size = 0;
    ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (size < sizeof(TOKEN_USER)) return {};
    std::vector<unsigned char> user(size);
    if (!::GetTokenInformation(token.get(), TokenUser, user.data(), size, &size)) return {};
    return user;
}

PSID SidOf(const std::vector<unsigned char>& tokenUser) {
    return reinterpret_cast<const TOKEN_USER*>(tokenUser.data())->User.Sid;
}

}  // namespace

WindowsProcessQuery::WindowsProcessQuery() : user_(TokenUserOf(::GetCurrentProcess())) {
    DWORD session = 0;
    haveSession_ = ::ProcessIdToSessionId(::GetCurrentProcessId(), &session) != 0;
    session_ = session;
}

bool WindowsProcessQuery::ours(unsigned long processId) const {
    if (processId == ::GetCurrentProcessId()) return true;
    const Handle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) return false;
    const std::vector<unsigned char> user = TokenUserOf(process.get());
    if (!user.empty() && !user_.empty()) return ::EqualSid(SidOf(user), SidOf(user_)) != 0;
    DWORD session = 0;
    return haveSession_ && ::ProcessIdToSessionId(processId, &session) && session == session_;
}

bool WindowsProcessQuery::isProcessRunning(const std::string& imageName) {
    // An image name is a file name: never empty, never a path.
    if (imageName.empty() || imageName.find_first_of(std::string("\\/\0", 3)) != std::string::npos) {
        return false;
    }
    const std::wstring wanted = Widen(imageName);
    if (wanted.size() > static_cast<std::size_t>(INT_MAX)) return false;

    const Handle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return false;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
         more = ::Process32NextW(snapshot.get(), &entry)) {
        if (::CompareStringOrdinal(entry.szExeFile, -1, wanted.c_str(), static_cast<int>(wanted.size()),
                                   TRUE) == CSTR_EQUAL &&
            ours(entry.th32ProcessID)) {
            return true;
        }
    }
    return false;
}

}  // namespace fhsw
