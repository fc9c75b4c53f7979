// The install folder's files on Windows, always through wide paths (a UTF-8
// path handed to a narrow API would be read in the ANSI code page).
//
// Text: CR LF line end, no byte-order mark, in the code page of the program
// that reads it: the runner script in the OEM code page (the command
// interpreter's), the message file and the log in the ANSI code page (the
// mail client's). The runner script's characters must also fit the ANSI code
// page: the interpreter hands the mail client its arguments, which it reads
// in that code page. A character that does not fit is refused and named
// ("U+FF02"), never replaced: a best-fit stand-in (a fullwidth quote written
// as a real quote, say) would change the meaning of a command line.
//
// stage() writes the text to "<file>.fhsw<process>-<n>.tmp" beside the file
// and holds it open without delete sharing; commit() renames the old file
// aside under such a name (held the same way) and the new one into its place;
// undo() removes the new one and renames the old one back. stage() removes
// such files that a killed save left behind; a running save's files cannot
// be removed and stay. A folder, a link, a junction or anything else but a
// plain file in the file's place is never written through or replaced, nor
// is a read-only file.
//
// `ownerOnly`: the file gets a protected access list that lets only the
// current user (and the system account) at it.
//
// isFile, fileSize, readFrom: plain files on a disk. No call opens a path
// that names a pipe or a device (\\.\pipe\..., \\server\pipe\...): it is
// refused by its name.
//
// openToOthers: the owner and the access list of the file or folder itself
// (not of the folders above it). Others are all but this user, the system
// account and the administrators.
//
// secureLog: refuses a link, a junction, anything but a plain file, and a
// file of another owner; makes this user's own file private when others may
// read it; makes a missing log as an empty private file.
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
