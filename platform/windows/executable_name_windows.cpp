#include "platform/windows/executable_name_windows.h"

#include <windows.h>

#include "platform/windows/win32_text.h"

namespace fhsw {

WindowsExecutableName::WindowsExecutableName() {
    std::wstring path(32768, L'\0');  // the longest path there is
    path.resize(::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    name_ = BaseNameOfPath(Narrow(path));
}

}  // namespace fhsw
