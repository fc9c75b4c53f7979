// Text files on Linux, CR LF line end. The runner script and the log are
// UTF-8 (the locale's encoding); the message file is ISO-8859-1, the
// character set the mail client declares for the body it reads from it.
//
// A file is never written in place: the text goes to a new temporary file
// in the same folder, which is then renamed over the old name. A reader or
// a second writer sees the old file or the new one, never a mix; a program
// killed while writing leaves the old file. A name held by anything but a
// regular file (a symbolic link, a folder, a FIFO) is refused and left
// untouched, so that nothing is ever written through a planted link.
#pragma once

#include "platform/files.h"

namespace fhsw {

class LinuxFiles final : public Files {
public:
    // Only the message file has characters it cannot hold: those beyond
    // U+00FF (and bytes that are not UTF-8, given as U+FFFD).
    std::optional<char32_t> firstUnwritable(const std::string& text, TextFileKind kind) override;
    // ownerOnly: the file is made 0600; otherwise an existing file keeps
    // its mode and a new one is 0644.
    std::unique_ptr<StagedFile> stage(const std::string& path, const std::string& text,
                                      TextFileKind kind, bool ownerOnly, std::string& error) override;
    bool isFile(const std::string& path) override;
    std::optional<std::uintmax_t> fileSize(const std::string& path) override;
    std::optional<std::string> readFrom(const std::string& path, std::uintmax_t offset,
                                        std::size_t max) override;
    std::string openToOthers(const std::string& path) override;
    bool secureLog(const std::string& path, std::string& error) override;
};

// UTF-8 to ISO-8859-1; false at the first character it cannot hold, which
// is left in `bad`.
bool Utf8ToLatin1(const std::string& utf8, std::string& latin1, char32_t& bad);

}  // namespace fhsw
