// Text files on Linux, CR LF line end. The runner script and the log are
// UTF-8 (the locale's encoding); the message file is ISO-8859-1, the
// character set the mail client declares for the body it reads from it.
//
// A file is never written in place: stage() writes the text to a new file in
// the same folder, commit() swaps it into the file's place in one step and
// keeps the old file aside for undo() (see LinuxStagedFile). A reader or a
// second writer sees the old file or the new one, never a mix; a program
// killed while saving leaves the old file, and the next save removes the
// temporary files it left (they may hold the password). A name held by
// anything but a regular file (a symbolic link, a folder, a FIFO) is refused
// and left untouched, so that nothing is ever written through a planted link.
// No call waits on a FIFO or a device.
#pragma once

#include "platform/files.h"

namespace fhsw {

class LinuxFiles final : public Files {
public:
    // Only the message file has characters it cannot hold: those beyond
    // U+00FF (and bytes that are not UTF-8, given as U+FFFD).
    std::optional<char32_t> firstUnwritable(const std::string& text, TextFileKind kind) override;
    // ownerOnly: the file is made 0600; otherwise an existing file keeps
    // its mode and a new one is 0644. Temporary files: "." + name + ".XXXXXX",
    // each locked (flock) by its save while that lives.
    std::unique_ptr<StagedFile> stage(const std::string& path, const std::string& text,
                                      TextFileKind kind, bool ownerOnly, std::string& error) override;
    bool isFile(const std::string& path) override;
    std::optional<std::uintmax_t> fileSize(const std::string& path) override;
    std::optional<std::string> readFrom(const std::string& path, std::uintmax_t offset,
                                        std::size_t max) override;
    std::string openToOthers(const std::string& path) override;
    // A missing log is made empty with mode 0600; ours that others may read
    // is made 0600; a link, a non-file or a file of another user is refused.
    bool secureLog(const std::string& path, std::string& error) override;
};

}  // namespace fhsw
