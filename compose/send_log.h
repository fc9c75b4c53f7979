// How a send went, judged from how the runner script ended and from the lines
// that the mail client added to its log ("SENDEMAIL-LOG.txt") during the run.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace fhsw {

// At most this much of a run's part of the log is read: its end.
inline constexpr std::size_t kSendLogTailBytes = 1 << 20;
// A reason longer than this is cut at a character and ends in "...".
inline constexpr std::size_t kMaxReasonBytes = 1000;

struct SendRun {
    int runnerStatus = -1;  // the runner script's exit status; -1: not known
    // What the log holds beyond its size before the launch (at most its last
    // kSendLogTailBytes); nothing when there is no plain file to read.
    std::optional<std::string> logAdded;
    std::string logFile;  // "": no install folder known, the log is not asked
    std::string folder;   // the install folder
    bool mailClientFound = true;  // SendEmail.exe is a file in the folder
};

// Why the send failed, as ShownReason gives it; "" when it was sent.
std::string JudgeSend(const SendRun& run);

// A reason as the status line and stderr show it: valid UTF-8 on one line
// (control characters and runs of blanks become one blank, bytes that are
// not UTF-8 become U+FFFD), at most kMaxReasonBytes long.
std::string ShownReason(std::string_view text);

}  // namespace fhsw
