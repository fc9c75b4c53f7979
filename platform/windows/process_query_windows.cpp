#include "platform/windows/process_query_windows.h"

#include <windows.h>
#include <tlhelp32.h>

#include <climits>

#include "platform/windows/win32_text.h"

namespace fhsw {

bool WindowsProcessQuery::isProcessRunning(const std::string& imageName) {
    // An image name is a file name: never empty, never a path.
    if (imageName.empty() || imageName.find_first_of(std::string("\\/\0", 3)) != std::string::npos) {
        return false;
    }
    const std::wstring wanted = Widen(imageName);
    if (wanted.size() > static_cast<std::size_t>(INT_MAX)) return false;

    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return false;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    bool found = false;
    for (BOOL more = ::Process32FirstW(snapshot, &entry); more && !found;
         more = ::Process32NextW(snapshot, &entry)) {
        found = ::CompareStringOrdinal(entry.szExeFile, -1, wanted.c_str(),
                                       static_cast<int>(wanted.size()), TRUE) == CSTR_EQUAL;
    }
    ::CloseHandle(snapshot);
    return found;
}

}  // namespace fhsw
