#include "compose/send_log.h"

#include <algorithm>

#include "compose/profile_fields.h"
#include "compose/sendemail_contract.h"

namespace fhsw {

namespace {

// The mail client's log lines: "<time> <host> sendemail[<pid>]: ERROR => <reason>".
constexpr std::string_view kErrorMark = "ERROR => ";
// A server's refusal of a recipient, logged before the mail client gives up.
constexpr std::string_view kReplyMark = "WARNING => Received:";
constexpr std::string_view kNoRecipients = "No recipients were accepted";
// A server certificate that the system does not trust (a relay's own, or one
// of an authority the system does not know): the README tells what to do.
constexpr std::string_view kUntrusted = "certificate verify failed";
constexpr std::string_view kUntrustedHint =
    " - the system does not trust the server's certificate: see \"A relay with a certificate of its own\" in the README";
// The runner's exit status when it could not start a program:
// fh-sendwarden-run's, and cmd.exe's "is not recognized".
constexpr int kNotStartedLinux = 127;
constexpr int kNotStartedWindows = 9009;

// The mail client's own reason: the text after "ERROR => " on the first line
// that has one, with the server's reply when no recipient was accepted; ""
// when no line has one.
std::string MailClientError(std::string_view log) {
    std::string_view reply;
    while (!log.empty()) {
        const std::size_t end = std::min(log.find('\n'), log.size());
        std::string_view line = log.substr(0, end);
        log.remove_prefix(std::min(end + 1, log.size()));
        if (const std::size_t at = line.find(kReplyMark); at != std::string_view::npos) {
            reply = line.substr(at + kReplyMark.size());
            continue;
        }
        const std::size_t at = line.find(kErrorMark);
        if (at == std::string_view::npos) continue;
        line.remove_prefix(at);
        while (line.substr(0, kErrorMark.size()) == kErrorMark) line.remove_prefix(kErrorMark.size());
        std::string reason = ShownReason(line);
        if (reason.empty()) return std::string(SENDEMAIL_IMAGE_NAME) + " reported an error";
        if (!reply.empty() && line.find(kNoRecipients) != std::string_view::npos)
            reason += " The server replied: " + std::string(reply);
        if (line.find(kUntrusted) != std::string_view::npos) reason += kUntrustedHint;
        return ShownReason(reason);
    }
    return {};
}

}  // namespace

std::string ShownReason(std::string_view text) {
    std::string shown;
    while (!text.empty()) {
        const std::size_t n = Utf8Length(text);
        const unsigned char b = static_cast<unsigned char>(text[0]);
        const bool control = b < 0x20 || b == 0x7F ||
                             (b == 0xC2 && n == 2 && static_cast<unsigned char>(text[1]) < 0xA0);
        if (control || b == ' ') {
            if (!shown.empty() && shown.back() != ' ') shown += ' ';
        } else {
            shown += n == 0 ? std::string_view("\xEF\xBF\xBD") : text.substr(0, n);
        }
        text.remove_prefix(n == 0 ? 1 : n);
    }
    if (!shown.empty() && shown.back() == ' ') shown.pop_back();
    if (shown.size() > kMaxReasonBytes) {
        std::size_t cut = kMaxReasonBytes - 3;
        while (IsUtf8Continuation(shown[cut])) --cut;
        shown.resize(cut);
        if (shown.back() == ' ') shown.pop_back();
        shown += "...";
    }
    return shown;
}

std::string JudgeSend(const SendRun& run) {
    const std::string_view added = run.logAdded ? std::string_view(*run.logAdded) : std::string_view();
    const int status = run.runnerStatus;
    std::string reason = MailClientError(added);
    if (!reason.empty()) return reason;
    if ((status == kNotStartedLinux || status == kNotStartedWindows) && !run.mailClientFound)
        reason = std::string(SENDEMAIL_IMAGE_NAME) + " was not found in " + run.folder;
    else if (status < 0)
        reason = "the runner script ended, how is not known";
    else if (status > 0)
        reason = "the runner script ended with status " + std::to_string(status);
    else if (!run.logFile.empty() && added.empty())
        reason = std::string(SENDEMAIL_IMAGE_NAME) + " wrote nothing to " + run.logFile +
                 " - was it started?";
    return ShownReason(reason);
}

}  // namespace fhsw
