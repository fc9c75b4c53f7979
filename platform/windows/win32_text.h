// Text at the boundary to the Win32 API: the program keeps UTF-8, the wide
// functions take UTF-16. Windows builds only.
#pragma once

#include <string>
#include <string_view>

namespace fhsw {

// UTF-8 to UTF-16; a malformed byte becomes U+FFFD.
std::wstring Widen(std::string_view utf8);
// UTF-8 to UTF-16; false when the text is not well-formed UTF-8.
bool WidenStrict(std::string_view utf8, std::wstring& out);
// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string Narrow(std::wstring_view utf16);
// The system's own words for an error code, without the line end.
std::string SystemMessage(unsigned long code);

}  // namespace fhsw
