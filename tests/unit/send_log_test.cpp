// How a send is judged: the runner script's exit status and the lines the
// mail client added to its log (real lines of Debian's sendemail 1.56). The
// end-to-end sends show a refused recipient's reply, a missing mail client
// and an untrusted certificate with the real program.
#include <gtest/gtest.h>

#include "compose/send_log.h"

namespace fhsw {
namespace {

std::string Line(const std::string& text) { return "Dec 07 02:45:30 vm sendemail[15490]: " + text + "\n"; }
std::string Repeat(const std::string& s, std::size_t n) {
    std::string out;
    while (n--) out += s;
    return out;
}

TEST(SendLog, TheRunnersStatusAndTheRunsLogLinesDecide) {
    const std::string folder = "/srv/mail", log = folder + "/SENDEMAIL-LOG.txt";
    const std::string rejected = "WARNING => The recipient <ops@example.org> was rejected by the mail server, error follows:";
    const std::string noRecipients = "ERROR => Exiting. No recipients were accepted for delivery by the mail server.";
    const std::string timeout = "ERROR => Timeout while reading from 127.0.0.1:25 There was no response after 60 seconds.";
    // The end of a run that logged more than the tail holds: it starts inside
    // a character of a cut line.
    std::string tail = "\x9F" "e] Server: [127.0.0.1:25]\n";
    while (tail.size() < kSendLogTailBytes - 200) tail += Line("DEBUG => evalSMTPresponse() - Found SMTP success code: 250");
    tail += Line(timeout);
    struct Row {
        int status;
        std::optional<std::string> added;
        std::string reason;  // "": sent
        bool mailClientFound = true;
    };
    const std::vector<Row> rows = {
        {0, Line("Email was sent successfully!  From: <a@example.org> To: <ops@example.org> Subject: [Gr\xC3\xBC\xC3\x9F" "e] Server: [127.0.0.1:36341]"), ""},
        {1, Line("ERROR => Connection attempt to 127.0.0.1:1 failed: IO::Socket::INET6: connect: Connection refused"),
         "Connection attempt to 127.0.0.1:1 failed: IO::Socket::INET6: connect: Connection refused"},
        // A visible run's terminal may not pass the status on: the log still tells.
        {0, Line("ERROR => ERROR => SMTP-AUTH: Authentication to x:25 failed.\r"), "SMTP-AUTH: Authentication to x:25 failed."},
        {1, Line(timeout) + Line("ERROR => a later line"), "Timeout while reading from 127.0.0.1:25 There was no response after 60 seconds."},
        // No recipient accepted: the server's last reply, logged just before, tells why.
        {1, Line(rejected) + Line("WARNING => Received: \t550 5.1.1 <ops@example.org>: Recipient address rejected: User unknown in local recipient table") +
                Line("WARNING => The recipient <cc@example.org> was rejected by the mail server, error follows:") +
                Line("WARNING => Received: \t550 5.1.1 <cc@example.org>: Recipient address rejected: User unknown in local recipient table") + Line(noRecipients),
         "Exiting. No recipients were accepted for delivery by the mail server. The server replied: 550 5.1.1 <cc@example.org>: Recipient address rejected: User unknown in local recipient table"},
        // A long reason is shown whole; control characters and bytes that are not UTF-8 are not passed on.
        {1, Line("ERROR => " + Repeat("Grüße ", 120)), Repeat("Grüße ", 119) + "Grüße"},
        {1, Line("ERROR => bad\tline\x1b[31m red\x7f\xC2\x85" "end Gr\xFC\xDF" "e"), "bad line [31m red end Gr\uFFFD\uFFFDe"},
        {1, Line("ERROR => \r"), "SendEmail.exe reported an error"},
        {1, tail, "Timeout while reading from 127.0.0.1:25 There was no response after 60 seconds."},
        // The runner script could not start the mail client.
        {9009, std::nullopt, "SendEmail.exe was not found in /srv/mail", false},
        {127, "", "the runner script ended with status 127"},
        {-1, Line("Email was sent successfully!"), "the runner script ended, how is not known"},
        // Ended well, but the log did not grow (or is no plain file: a FIFO).
        {0, "", "SendEmail.exe wrote nothing to " + log + " - was it started?"},
        {0, std::nullopt, "SendEmail.exe wrote nothing to " + log + " - was it started?"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.reason);
        EXPECT_EQ(JudgeSend({row.status, row.added, log, folder, row.mailClientFound}), row.reason);
    }
    EXPECT_EQ(JudgeSend({0, std::nullopt, "", "", true}), "") << "no install folder: no log to ask";
}

// A reason too long for any screen is cut at a character and says so.
TEST(SendLog, AnOverlongReasonIsCutAtACharacter) {
    for (const std::string& unit : {std::string("é"), std::string("x"), std::string("€ ")}) {
        const std::string full = Repeat(unit, 3000);
        const std::string shown = JudgeSend({1, Line("ERROR => " + full), "", "", true});
        EXPECT_LE(shown.size(), kMaxReasonBytes);
        EXPECT_GT(shown.size(), kMaxReasonBytes - 8);
        ASSERT_EQ(shown.substr(shown.size() - 3), "...");
        const std::string kept = shown.substr(0, shown.size() - 3);
        EXPECT_EQ(full.rfind(kept, 0), 0u);
        EXPECT_NE(static_cast<unsigned char>(full[kept.size()]) & 0xC0, 0x80) << "cut inside a character";
    }
}

}  // namespace
}  // namespace fhsw
