#include "platform/windows/win32_text.h"

#include <windows.h>

#include <climits>

namespace fhsw {

namespace {

bool WidenWith(std::string_view utf8, DWORD flags, std::wstring& out) {
    out.clear();
    if (utf8.empty()) return true;
    if (utf8.size() > static_cast<std::size_t>(INT_MAX)) return false;
    const int inLen = static_cast<int>(utf8.size());
    const int n = ::MultiByteToWideChar(CP_UTF8, flags, utf8.data(), inLen, nullptr, 0);
    if (n <= 0) return false;
    out.resize(static_cast<std::size_t>(n));
    return ::MultiByteToWideChar(CP_UTF8, flags, utf8.data(), inLen, out.data(), n) == n;
}

}  // namespace

std::wstring Widen(std::string_view utf8) {
    std::wstring out;
    WidenWith(utf8, 0, out);
    return out;
}

bool WidenStrict(std::string_view utf8, std::wstring& out) {
    return WidenWith(utf8, MB_ERR_INVALID_CHARS, out);
}

std::string Narrow(std::wstring_view utf16) {
    std::string out;
    if (utf16.empty() || utf16.size() > static_cast<std::size_t>(INT_MAX)) return out;
    const int inLen = static_cast<int>(utf16.size());
    const int n =
        ::WideCharToMultiByte(CP_UTF8, 0, utf16.data(), inLen, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return out;
    out.resize(static_cast<std::size_t>(n));
    if (::WideCharToMultiByte(CP_UTF8, 0, utf16.data(), inLen, out.data(), n, nullptr, nullptr) !=
        n) {
        out.clear();
    }
    return out;
}

std::string SystemMessage(unsigned long code) {
    wchar_t* buffer = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text;
    if (n > 0 && buffer != nullptr) text.assign(buffer, n);
    if (buffer != nullptr) ::LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) {
        text.pop_back();
    }
    if (text.empty()) return "system error " + std::to_string(code);
    return Narrow(text);
}

}  // namespace fhsw
