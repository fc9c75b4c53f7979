// The fields of a Profile in one table: the store key (also the name of the
// control that shows the field), how the user knows it, what it holds and
// who reads it. The windows, the setup tool and the composer all read this
// table; nothing else spells a field's key.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "compose/sendemail_contract.h"

namespace fhsw {

enum class FieldKind { Text, Tick, Tls };  // Tls: one of the three TLS tick boxes
enum class FieldHome { Settings, Main };    // the window whose control shows it

struct ProfileField {
    const char* key;
    const char* caption;  // beside the field on screen; names it in reports
    FieldKind kind = FieldKind::Text;
    const char* def = "";  // read when the key is absent
    bool shared = false;   // also kept in the shared profile
    bool multiLine = false;
    FieldHome home = FieldHome::Settings;
    // Reaches the mail client as an argument of its own, so that a leading
    // "-" would make it a switch; with `onlyWhen`, only while that tick box
    // is ticked.
    bool argument = false;
    const ProfileField* onlyWhen = nullptr;
    const char* example = "";  // follows the caption in the windows' labels
    const char* help = "";     // what the setup tool says it takes

    std::string label() const { return std::string(caption) + example; }
    short tickDefault() const { return def[0] == '1'; }
};

// In the order the settings window reads and SAVE stores them; the shared
// fields come first, in the shared settings window's order.
inline constexpr ProfileField kInstallFolder{.key = "INSTALL_FOLDER_TEXTBOX", .caption = "SENDEMAIL HOME",
    .shared = true, .argument = true, .example = " - EXAMPLE - C:\\SendEmail",
    .help = "folder that holds SendEmail.exe (e.g. a link to /usr/bin/sendemail)"};
inline constexpr ProfileField kSmtpServer{.key = "SMTP_SERVER_ADDRESS_PORT_TEXTBOX", .caption = "SMTP SERVER:PORT",
    .shared = true, .argument = true, .example = " - e.g. IP:25 or FQDN:25",
    .help = "host:port, e.g. mail.example.org:587"};
inline constexpr ProfileField kSmtpUser{.key = "SMTP_USERNAME_TEXTBOX", .caption = "SMTP USERNAME", .shared = true,
    .argument = true, .help = "log-in name; empty: no log-in"};
// On Linux the password reaches the mail client on its standard input.
inline constexpr ProfileField kSmtpPassword{.key = "SMTP_PASSWORD_TEXTBOX", .caption = "SMTP PASSWORD",
    .shared = true, .argument = kPasswordOnCommandLine, .help = "password (stored in clear text)"};
inline constexpr ProfileField kSendFrom{.key = "SEND_FROM_ADDRESS_TEXTBOX", .caption = "From", .shared = true,
    .argument = true, .help = "sender address"};
inline constexpr ProfileField kSendTo{.key = "SEND_TO_ADDRESS_TEXTBOX", .caption = "To", .shared = true,
    .argument = true, .help = "recipient addresses, separated by commas"};
inline constexpr ProfileField kSendCc{.key = "SEND_CC_ADDRESS_TEXTBOX", .caption = "Cc", .shared = true,
    .argument = true, .help = "copy recipients, separated by commas"};
inline constexpr ProfileField kSendBcc{.key = "SEND_BCC_ADDRESS_TEXTBOX", .caption = "Bcc", .shared = true,
    .argument = true, .help = "blind-copy recipients, separated by commas"};
inline constexpr ProfileField kTlsNo{.key = "TLS_NO_TICKBOX", .caption = "no", .kind = FieldKind::Tls, .def = "1",
    .shared = true};
inline constexpr ProfileField kTlsYes{.key = "TLS_YES_TICKBOX", .caption = "yes", .kind = FieldKind::Tls,
    .def = "0", .shared = true};
inline constexpr ProfileField kTlsAuto{.key = "TLS_AUTO_TICKBOX", .caption = "auto", .kind = FieldKind::Tls,
    .def = "0", .shared = true};
inline constexpr ProfileField kSubject{.key = "SUBJECT_TEXTBOX", .caption = "SUBJECT", .argument = true,
    .help = "subject line"};
inline constexpr ProfileField kMessage{.key = "MESSAGE_TEXTBOX", .caption = "MESSAGE", .multiLine = true,
    .help = "message text; \\n is a line break (here only)"};
inline constexpr ProfileField kAttachment{.key = "ATTACHMENT_TICKBOX", .caption = "Attach File To Email",
    .kind = FieldKind::Tick, .def = "0", .help = "0 | 1: attach the file below"};
inline constexpr ProfileField kFileAsMessage{.key = "FILE_AS_MESSAGE_TICKBOX", .caption = "Use TXT File As Message",
    .kind = FieldKind::Tick, .def = "0", .help = "0 | 1: send the message file below instead"};
inline constexpr ProfileField kMessageFile{.key = "MESSAGE_FILE_LOCATION_TEXTBOX",
    .caption = "MESSAGE - FILE FULL LOCATION", .argument = true, .onlyWhen = &kFileAsMessage,
    .help = "full path of a text file"};
inline constexpr ProfileField kFileAttachment{.key = "FILE_ATTACHMENT_TEXTBOX",
    .caption = "ATTACHMENT - FILE FULL LOCATION", .argument = true, .onlyWhen = &kAttachment,
    .help = "full path of the file to attach"};
// The main window's options.
inline constexpr ProfileField kAutoStart{.key = "AUTOSTART_TICKBOX", .caption = "AutoStart", .kind = FieldKind::Tick,
    .def = "0", .home = FieldHome::Main, .help = "0 | 1: send 10 s after the program starts"};
inline constexpr ProfileField kAutoClose{.key = "AUTOCLOSE_TICKBOX", .caption = "AutoClose", .kind = FieldKind::Tick,
    .def = "0", .home = FieldHome::Main, .help = "0 | 1: close 10 s after the send"};
inline constexpr ProfileField kPauseForProcess{.key = "P4P_TICKBOX", .caption = "Pause-4-Process SendEmail.exe",
    .kind = FieldKind::Tick, .def = "0", .home = FieldHome::Main, .help = "0 | 1: wait until SendEmail.exe has ended"};
inline constexpr ProfileField kOutputWindow{.key = "SE_EXE_OUTPUT_WINDOW_TICKBOX",
    .caption = "SendEmail.exe Output Window", .kind = FieldKind::Tick, .def = "0", .home = FieldHome::Main,
    .help = "0 | 1: show the mail client in a terminal"};
inline constexpr ProfileField kAlwaysOnTop{.key = "AlwaysOnTopTimer_TICKBOX", .caption = "Always On Top",
    .kind = FieldKind::Tick, .def = "0", .home = FieldHome::Main, .help = "0 | 1: keep the main window on top"};

inline constexpr const ProfileField* kProfileFields[] = {
    &kInstallFolder, &kSmtpServer, &kSmtpUser, &kSmtpPassword, &kSendFrom, &kSendTo, &kSendCc, &kSendBcc,
    &kTlsNo, &kTlsYes, &kTlsAuto, &kSubject, &kMessage, &kAttachment, &kFileAsMessage, &kMessageFile,
    &kFileAttachment, &kAutoStart, &kAutoClose, &kPauseForProcess, &kOutputWindow, &kAlwaysOnTop};

// The TLS boxes' frame, and the one value that stands for all three in the
// setup tool.
inline constexpr char kTlsCaption[] = "TLS";
inline constexpr char kTlsHelp[] = "no | open | yes | auto  (open: no box ticked, sends as no)";

// The field stored under `key`; nullptr when none is.
const ProfileField* FindField(std::string_view key);

// Whether a byte continues a UTF-8 character (10xxxxxx): text cut before it
// cuts a character.
inline bool IsUtf8Continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }
// The length of the UTF-8 character at the start of `s` (not empty); 0 when
// it is not one.
std::size_t Utf8Length(std::string_view s);
// Characters (code points) of UTF-8 text, and its first `n` characters.
std::size_t CharCount(std::string_view utf8);
std::string_view FirstChars(std::string_view utf8, std::size_t n);

// A character as a report names it: "\"é\" (U+00E9)", or "(U+0000)" when it
// shows nothing.
std::string DescribeChar(char32_t c);

// Why `value` cannot be saved in `field`, "" when it can: a control
// character (other than a tab, and the line breaks that the one-line fields
// send as blanks), a one-line value longer than a command line carries, or
// (when `asArgument`) a leading "-". The caller names the field.
std::string ValueRefusal(const ProfileField& field, std::string_view value, bool asArgument);

}  // namespace fhsw
