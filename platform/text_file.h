// Text-file output: create or truncate, write one text and CR LF, close.
#pragma once

#include <optional>
#include <string>

namespace fhsw {

// What a file is for decides the 8-bit encoding its text is written in: each
// kind is written the way the program that reads it expects.
enum class TextFileKind {
    RunnerScript,  // SENDEMAIL-RUNNER.BAT, read by the command interpreter
    MessageFile,   // SENDEMAIL-MESSAGE.txt, the body the mail client sends
    Log,           // SENDEMAIL-LOG.txt, the mail client's log
};

class TextFileWriter {
public:
    virtual ~TextFileWriter() = default;
    // The first character of the UTF-8 `text` that a file of this kind cannot
    // hold, as its code point; nothing when every character fits.
    virtual std::optional<char32_t> firstUnwritable(const std::string& text, TextFileKind kind) = 0;
    // `text` is UTF-8; it is written in the encoding of its kind, followed by
    // CR LF. `ownerOnly` restricts the file to its owner (it holds a
    // password). Returns false and the reason when it fails.
    virtual bool writeLine(const std::string& path, const std::string& text, TextFileKind kind,
                           bool ownerOnly, std::string& error) = 0;
};

}  // namespace fhsw
