// Helpers at the boundary to the Win32 API: the program keeps UTF-8, the wide
// functions take UTF-16; kernel handles closed when they go. Windows builds
// only; the header needs no Windows headers (a HANDLE is a void*).
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace fhsw {

// UTF-8 to UTF-16; a malformed byte becomes U+FFFD.
std::wstring Widen(std::string_view utf8);
// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string Narrow(std::wstring_view utf16);
// The system's own words for an error code, without the line end.
std::string SystemMessage(unsigned long code);

// A kernel handle that is closed when it goes. Own() takes one in charge;
// INVALID_HANDLE_VALUE, which some calls return for none, becomes null.
struct HandleCloser {
    void operator()(void* handle) const;
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;
UniqueHandle Own(void* handle);

// The TOKEN_USER of a process (given by its handle); empty when its token
// cannot be read.
std::vector<unsigned char> TokenUserOf(void* process);

}  // namespace fhsw
