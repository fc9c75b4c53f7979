// Whether a process of a given image name is running, from a fresh scan of
// /proc at every call. Only the processes of the user this program runs as
// (its effective user) count: another user's process of the same name is
// none of this copy's business. Each process's folder in /proc is looked at
// once (its owner is the user the process runs as) before anything else of
// it is read, so a machine full of other users' processes costs one call per
// process. A process that made itself undumpable (a set-user-ID program) has a
// folder owned by root and counts only for root.
//
// Speed: a look at a process's name costs one read of a file kept open
// from the previous query (its /proc/PID/comm), so a query costs about one
// call per process whether the process is the user's or another's. Such a
// file stays bound to the process it was opened for: once that process has
// gone, a read fails, also when a new process got the same PID, and the file
// is closed and the PID looked at afresh. At most keptFileLimit() files are
// kept (each costs the kernel about a page); processes beyond that are read
// the slow way (open, read, close). Files of processes that were not seen by
// a complete scan are closed. Calls from several threads at once are safe:
// they take turns.
//
// The image name of a Linux process is the file name it was started under:
// the kernel records the last component of the path handed to exec as the
// process's name (comm, at most 15 bytes), also when the file is a script
// run through its #! line or a symbolic link. Names compare without regard to
// ASCII case. A process counts when it is not a zombie and
//   - its comm equals the image name (names up to 15 bytes), or
//   - it has renamed itself to "<image name> <arguments>" the way Perl
//     programs such as sendemail do: its comm starts with the image name and
//     a space (cut at 15 bytes) and so does its command line, or
//   - for longer names: its comm equals the first 15 bytes of the name, and
//     the full name is the file name of argv[0], the start of a renamed
//     command line, or the file name of the script a #! interpreter was
//     given (argv[1], or argv[2] after a single interpreter option).
// A program that merely has such a file as an argument (an editor, or an
// interpreter started by its own name, "perl /x/SendEmail.exe") runs under
// the name of that program, not of the file, and does not count.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <unordered_map>

#include "platform/process_query.h"

namespace fhsw {

class LinuxProcessQuery final : public ProcessQuery {
public:
    // At most this many files are kept open, and never more than half of
    // this process's open-file limit at the time of a query.
    static constexpr std::size_t kDefaultKeptFiles = 2048;
    explicit LinuxProcessQuery(std::size_t maxKeptFiles = kDefaultKeptFiles);
    ~LinuxProcessQuery() override;
    LinuxProcessQuery(const LinuxProcessQuery&) = delete;
    LinuxProcessQuery& operator=(const LinuxProcessQuery&) = delete;

    bool isProcessRunning(const std::string& imageName) override;

    // How many files may be kept now, and how many are.
    std::size_t keptFileLimit() const;
    std::size_t keptFiles() const;

private:
    struct KeptName {
        int fd;
        std::uint64_t seenInScan;
    };
    mutable std::mutex mutex_;
    std::size_t maxKeptFiles_;
    std::unordered_map<pid_t, KeptName> kept_;
    std::uint64_t scan_ = 0;
};

}  // namespace fhsw
