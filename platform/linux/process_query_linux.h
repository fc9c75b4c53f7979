// Whether a process of a given image name is running, from a fresh scan of
// /proc at every call. Only the processes of the user this program runs as
// (its effective user) count: another user's process of the same name is
// none of this copy's business. Each process's folder in /proc is looked at
// once (its owner is the user the process runs as) before anything else of
// it is read. A process that made itself undumpable (a set-user-ID program)
// has a folder owned by root and counts only for root. Nothing is kept
// between calls; calls from several threads at once are safe.
//
// The image name of a Linux process is the file name it was started under:
// the kernel records the last component of the path handed to exec as the
// process's name (comm, at most 15 bytes), also when the file is a script
// run through its #! line or a symbolic link. Names compare without regard to
// ASCII case. A process counts when it is not a zombie and
//   - its comm equals the image name (names up to 15 bytes, as
//     "SendEmail.exe" is), or
//   - it has renamed itself to "<image name> <arguments>" the way Perl
//     programs such as sendemail do: its comm starts with the image name and
//     a space (cut at 15 bytes) and so does its command line.
// A program that merely has such a file as an argument (an editor, or an
// interpreter started by its own name, "perl /x/SendEmail.exe") runs under
// the name of that program, not of the file, and does not count.
#pragma once

#include "platform/process_query.h"

namespace fhsw {

class LinuxProcessQuery final : public ProcessQuery {
public:
    bool isProcessRunning(const std::string& imageName) override;
};

}  // namespace fhsw
