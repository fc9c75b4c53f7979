// Text-file output: create or truncate, write one text and CR LF, close.
#pragma once

#include <string>

namespace fhsw {

class TextFileWriter {
public:
    virtual ~TextFileWriter() = default;
    // `text` is UTF-8; it is written in the platform's 8-bit text encoding,
    // followed by CR LF. `ownerOnly` restricts the file to its owner (it
    // holds a password). Returns false and the reason when it fails.
    virtual bool writeLine(const std::string& path, const std::string& text, bool ownerOnly,
                           std::string& error) = 0;
};

}  // namespace fhsw
