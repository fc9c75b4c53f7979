// Text files on Windows: CR LF line end, no byte-order mark, in the code page
// of the program that reads them: the runner script in the OEM code page
// (the command interpreter reads batch files in it), the message file and
// the log in the ANSI code page (the mail client's).
//
// A character that the code page cannot hold makes the write fail, naming
// the character ("U+FF02"), instead of being replaced: a best-fit stand-in
// (a fullwidth quote written as a real quote, say) would change the meaning
// of a command line in a batch script. `firstUnwritable` answers the same
// question beforehand, per kind.
//
// A write is whole or nothing: the text goes to a new file in the same
// folder, which then replaces the old one (MoveFileExW, write-through). A
// folder, a symbolic link, a junction or anything else but a plain file in
// the file's place is never written through or replaced: the write fails,
// naming the file.
//
// `ownerOnly`: the file gets a protected access list that lets only the
// current user (and the system account) at it. The files that need it live
// in the install folder, which may be open to other users of the machine.
#pragma once

#include "platform/files.h"

namespace fhsw {

class WindowsFiles final : public Files {
public:
    std::optional<char32_t> firstUnwritable(const std::string& text, TextFileKind kind) override;
    std::unique_ptr<StagedFile> stage(const std::string& path, const std::string& text,
                                      TextFileKind kind, bool ownerOnly, std::string& error) override;
    bool isFile(const std::string& path) override;
    std::optional<std::uintmax_t> fileSize(const std::string& path) override;
    std::optional<std::string> readFrom(const std::string& path, std::uintmax_t offset,
                                        std::size_t max) override;
    std::string openToOthers(const std::string& path) override;
    bool secureLog(const std::string& path, std::string& error) override;
};

}  // namespace fhsw
