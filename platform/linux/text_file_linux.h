// Text files on Linux: UTF-8 (the locale's encoding), CR LF line end.
#pragma once

#include "platform/text_file.h"

namespace fhsw {

class LinuxTextFileWriter final : public TextFileWriter {
public:
    bool writeLine(const std::string& path, const std::string& text, bool ownerOnly,
                   std::string& error) override;
};

}  // namespace fhsw
