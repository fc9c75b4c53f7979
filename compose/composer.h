// The runner-script composer: turns the mail settings of the main settings
// window into the text of "SENDEMAIL-RUNNER.BAT", the banner followed by one
// SendEmail.exe command line.
//
// Every value reaches SendEmail.exe exactly as typed. The command line is
// written for two parsers, the command interpreter and the program's C
// runtime (see compose/batch_parsing.h): '%' is doubled everywhere, a '"'
// inside a value becomes \" (with the backslashes before it doubled), and
// outside quotes the characters ^ & | < > ( ) get a '^'. A value that holds
// a '"' is written with all its quotes as ^" (and its special characters
// with carets), so that the interpreter's quote flag never depends on it.
// Values without such characters appear exactly as typed, so an ordinary
// script reads as the plain concatenation of fragments and values.
// The values after "-o reply-to=", "-o username=", "-o password=" and
// "-o tls=" are unquoted unless they hold a blank or a tab.
//
// Line breaks cannot travel on a command line: in every field, each CR LF,
// lone CR or lone LF becomes one blank and the field is named in
// `joinedLineBreaks` (only fields that reach the line are looked at).
//
// The install folder: a '%' in it is doubled like anywhere else and arrives
// intact. A '"' cannot be part of a program path (no Windows file name holds
// one, and both the interpreter and the C runtime strip quotes from the
// program name), so it is left out of the program path; in the message-file
// and log-file values it is passed on escaped, as typed.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "compose/profile_fields.h"
#include "compose/run_files.h"

namespace fhsw {

struct ComposerFields {
    std::string installFolder, sendFrom, sendTo, sendCc, sendBcc, subject;
    std::string smtpServer, smtpUser, smtpPassword;
    bool fileAsMessage = false; std::string messageFileLocation;
    bool attachment = false;    std::string fileAttachment;
    std::string tls = "no";     // TLS_TB_SETTING: "no", "yes" or "auto"

    // From whatever holds the fields: `value` gives a field's text, or its
    // tick state as "0" or "1".
    static ComposerFields From(const std::function<std::string(const ProfileField&)>& value, std::string tls);
};

// The longest line, in characters, that the command interpreter reads from a
// batch file; the rest of a longer line is cut off or the line refused.
inline constexpr std::size_t kMaxBatchLineLength = 8191;

struct ComposedScript {
    std::string attachmentCommand;  // ATTACHMENT_COMMAND_TB
    std::string messageCommand;     // MESSAGE_COMMAND_TB
    std::string text;               // OUTPUT_COMMAND_TEXTBOX: banner + one command line, no line end
    std::vector<const ProfileField*> joinedLineBreaks;  // one-line fields whose line breaks became blanks
    // Characters (code points) of the command line as it stands in the
    // script, escapes included: that is what the interpreter reads, before
    // it removes anything. Each is one byte in the script's code page.
    std::size_t commandLineLength = 0;
    bool tooLong() const { return commandLineLength > kMaxBatchLineLength; }
};

// attachmentCommand and messageCommand are the pieces exactly as they stand
// in `text` (escaped for their place in the line).
ComposedScript ComposeRunnerScript(const ComposerFields& f, const RunFileNames& names);

// The launch text: a double quote, the folder, names.runnerScript, a double quote.
std::string LaunchText(const std::string& installFolder, const RunFileNames& names);

}  // namespace fhsw
