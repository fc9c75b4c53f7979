#include "platform/windows/win32_text.h"

#include <windows.h>

#include <algorithm>

namespace fhsw {

std::wstring Widen(std::string_view utf8) {
    const int size = static_cast<int>(utf8.size());
    std::wstring out(std::max(::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0), 0), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, out.data(), static_cast<int>(out.size()));
    return out;
}

std::string Narrow(std::wstring_view utf16) {
    const int size = static_cast<int>(utf16.size());
    std::string out(std::max(::WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size, nullptr, 0, nullptr, nullptr), 0),
                    '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size, out.data(), static_cast<int>(out.size()), nullptr, nullptr);
    return out;
}

std::string SystemMessage(unsigned long code) {
    wchar_t text[1024];
    DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                               1024, nullptr);
    while (n > 0 && (text[n - 1] == L'\r' || text[n - 1] == L'\n' || text[n - 1] == L' ')) --n;
    return n > 0 ? Narrow({text, n}) : "system error " + std::to_string(code);
}

void HandleCloser::operator()(void* handle) const { ::CloseHandle(handle); }

UniqueHandle Own(void* handle) { return UniqueHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle); }

std::vector<unsigned char> TokenUserOf(void* process) {
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(process, TOKEN_QUERY, &raw)) return {};
    const UniqueHandle token(raw);
    DWORD size = 0;
    ::GetTokenInformation(raw, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> user(size);
    if (size < sizeof(TOKEN_USER) || !::GetTokenInformation(raw, TokenUser, user.data(), size, &size)) return {};
    return user;
}

}  // namespace fhsw
