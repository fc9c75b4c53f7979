#include "platform/windows/process_query_windows.h"

#include <windows.h>
#include <tlhelp32.h>

#include "platform/windows/win32_text.h"

namespace fhsw {

namespace {

PSID SidOf(const std::vector<unsigned char>& tokenUser) {
    return reinterpret_cast<const TOKEN_USER*>(tokenUser.data())->User.Sid;
}

}  // namespace

WindowsProcessQuery::WindowsProcessQuery() : user_(TokenUserOf(::GetCurrentProcess())) {
    ::ProcessIdToSessionId(::GetCurrentProcessId(), &session_);
}

bool WindowsProcessQuery::ours(unsigned long processId) const {
    if (processId == ::GetCurrentProcessId()) return true;
    const UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process) return false;
    const std::vector<unsigned char> user = TokenUserOf(process.get());
    if (!user.empty() && !user_.empty()) return ::EqualSid(SidOf(user), SidOf(user_)) != 0;
    DWORD session = 0;
    return session_ != ~0ul && ::ProcessIdToSessionId(processId, &session) && session == session_;
}

bool WindowsProcessQuery::isProcessRunning(const std::string& imageName) {
    // An image name is a file name: never empty, never a path.
    if (imageName.empty() || imageName.find_first_of(std::string("\\/\0", 3)) != std::string::npos) return false;
    const std::wstring wanted = Widen(imageName);
    const UniqueHandle snapshot = Own(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = snapshot && ::Process32FirstW(snapshot.get(), &entry); more;
         more = ::Process32NextW(snapshot.get(), &entry)) {
        if (::CompareStringOrdinal(entry.szExeFile, -1, wanted.c_str(), static_cast<int>(wanted.size()), TRUE) ==
                CSTR_EQUAL &&
            ours(entry.th32ProcessID))
            return true;
    }
    return false;
}

}  // namespace fhsw
