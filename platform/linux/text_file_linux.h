// Text files on Linux: UTF-8 (the locale's encoding), CR LF line end.
#pragma once

#include "platform/text_file.h"

namespace fhsw {

class LinuxTextFileWriter final : public TextFileWriter {
public:
    // UTF-8 holds every character.
    std::optional<char32_t> firstUnwritable(const std::string&, TextFileKind) override {
        return std::nullopt;
    }
    bool writeLine(const std::string& path, const std::string& text, TextFileKind kind,
                   bool ownerOnly, std::string& error) override;
};

}  // namespace fhsw
