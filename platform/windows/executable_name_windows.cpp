#include "platform/windows/executable_name_windows.h"

#include <windows.h>

#include "platform/windows/win32_text.h"

namespace fhsw {

std::string RunningExecutablePath() {
    // Paths may be longer than MAX_PATH; the call cuts them to the buffer
    // and says so only by filling it completely.
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), size);
        if (n == 0) return {};
        if (n < size) {
            buffer.resize(n);
            return Narrow(buffer);
        }
        if (buffer.size() >= 32768) return {};
        buffer.resize(buffer.size() * 2);
    }
}

std::string WindowsExecutableName::baseName() {
    std::call_once(once_, [this] { name_ = BaseNameOfPath(RunningExecutablePath()); });
    return name_;
}

}  // namespace fhsw
