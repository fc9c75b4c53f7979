// Text files on Windows: the system's ANSI code page, CR LF line end, no
// byte-order mark.
//
// A character that the code page cannot hold makes the write fail, naming
// the character ("U+FF02"), instead of being replaced: a best-fit stand-in
// (a fullwidth quote written as a real quote, say) would change the meaning
// of a command line in a batch script.
//
// `ownerOnly`: the file gets a protected access list that lets only the
// current user (and the system account) at it, also when it existed before.
// The files that need it live in the install folder, which may be open to
// other users of the machine.
#pragma once

#include "platform/text_file.h"

namespace fhsw {

class WindowsTextFileWriter final : public TextFileWriter {
public:
    std::optional<char32_t> firstUnwritable(const std::string& text, TextFileKind kind) override;
    bool writeLine(const std::string& path, const std::string& text, TextFileKind kind,
                   bool ownerOnly, std::string& error) override;
};

}  // namespace fhsw
