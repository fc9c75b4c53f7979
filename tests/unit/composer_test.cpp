// Whole runner scripts, byte for byte, for the Windows and the Linux file
// names (that values arrive as typed, escapes and all, the round trips of
// runner_interpreter_test.cpp and tests/windows/cmd_roundtrip_test.cpp show;
// a whole Linux script, byte for byte, the settings-file compatibility test).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "compose/composer.h"
#include "compose/sendemail_contract.h"

// Designated initializers here leave the other fields at their defaults on purpose.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace fhsw {
namespace {

const std::string kBanner = BAT_FILE_TOP_COMMANDS_TB;
const RunFileNames kWin = RunFileNames::Windows(), kLinux = RunFileNames::Linux();

const ComposerFields kWorkedExample{.installFolder = "C:\\SendEmail", .sendFrom = "backup@example.org",
                                    .sendTo = "admin@example.org", .subject = "Nightly backup finished",
                                    .smtpServer = "192.0.2.10:25", .smtpUser = "mailer", .smtpPassword = "s3cretPW",
                                    .attachment = true, .fileAttachment = "C:\\Reports\\backup-summary.txt",
                                    .tls = "yes"};

const std::string kWorkedWindows =
    R"("C:\SendEmail\SendEmail.exe" -f "backup@example.org" -t "admin@example.org" -cc "" -bcc "")"
    R"( -u "Nightly backup finished" -o message-file="C:\SendEmail\SENDEMAIL-MESSAGE.txt")"
    R"( -s "192.0.2.10:25" -xu "mailer" -xp "s3cretPW" -o reply-to=backup@example.org)"
    R"( -l "C:\SendEmail\SENDEMAIL-LOG.txt" -o tls=yes -o username=mailer -o password=s3cretPW)"
    R"( -q -v -a "C:\Reports\backup-summary.txt")";

// `line` with every `from` replaced by `to`; `from` must occur.
std::string Edit(std::string line, const std::string& from, const std::string& to) {
    if (line.find(from) == std::string::npos) ADD_FAILURE() << "no " << from << " in " << line;
    for (size_t at = 0; (at = line.find(from, at)) != std::string::npos; at += to.size())
        line.replace(at, from.size(), to);
    return line;
}

// The worked example changed one way at a time; each expected script is the
// golden line changed the same way, compared whole.
TEST(Composer, WholeScripts) {
    using F = ComposerFields&;
    const std::string attached = R"(-a "C:\Reports\backup-summary.txt")";
    const std::string typed = R"(message-file="C:\SendEmail\SENDEMAIL-MESSAGE.txt")";
    const struct {
        const char* what;
        void (*change)(ComposerFields&);
        std::string line;
    } cases[] = {
        {"worked example", [](F) {}, kWorkedWindows},
        {"attachment ticked, empty path", [](F f) { f.fileAttachment = ""; },
         Edit(kWorkedWindows, attached, R"(-a "")")},
        {"attachment unticked with a path", [](F f) { f.attachment = false; },
         Edit(kWorkedWindows, attached, "")},
        {"file as message",
         [](F f) { f.fileAsMessage = true, f.messageFileLocation = "D:\\b.txt"; },
         Edit(kWorkedWindows, typed, R"(message-file="D:\b.txt")")},
        {"trailing separator", [](F f) { f.installFolder += "\\"; },
         Edit(kWorkedWindows, R"(C:\SendEmail\)", R"(C:\SendEmail\\)")},
    };
    for (const auto& c : cases) {
        ComposerFields f = kWorkedExample;
        c.change(f);
        const ComposedScript s = ComposeRunnerScript(f, kWin);
        EXPECT_EQ(s.text, kBanner + c.line) << c.what;
        // The fragments are the pieces exactly as they stand in the line.
        EXPECT_TRUE(c.line.ends_with(" -v " + s.attachmentCommand)) << c.what;
        EXPECT_NE(c.line.find('"' + s.messageCommand + " -s "), std::string::npos) << c.what;
    }
}

// cmd.exe reads at most 8191 characters of a batch line; the count is taken on the line
// as written, escapes included, one per character whatever its UTF-8 length.
TEST(ComposerEscaping, CommandLineLengthAsTheInterpreterReadsIt) {
    ComposerFields f = kWorkedExample;
    const size_t base = kWorkedWindows.size() - std::string("Nightly backup finished").size();
    const struct { std::string subject; size_t length; } cases[] = {
        {std::string(8191 - base, 'x'), 8191},
        {std::string(8190 - base, 'x') + "&", 8191},       // quoted: no caret
        {std::string(8188 - base, 'x') + "%%", 8192},      // each % doubled
        {std::string(8190 - base, 'x') + "\xc3\xa9", 8191},  // é: two bytes, one character
    };
    for (const auto& c : cases) {
        f.subject = c.subject;
        EXPECT_EQ(ComposeRunnerScript(f, kWin).commandLineLength, c.length);
    }
}

TEST(ComposerEscaping, LineBreaksBecomeBlanksAndAreReported) {
    ComposerFields f{.sendTo = "a@x\r\nb@x\nc@x\rd@x", .subject = "two\nlines",
                     .smtpPassword = "p\r\n"};
    f.fileAttachment = f.messageFileLocation = "not\nused";  // unticked: neither used nor reported
    const ComposedScript s = ComposeRunnerScript(f, kLinux);
    EXPECT_EQ(s.text, kBanner + R"("/SendEmail.exe" -f "" -t "a@x b@x c@x d@x" -cc "" -bcc "")"
                                R"( -u "two lines" -o message-file="/SENDEMAIL-MESSAGE.txt" -s "")"
                                R"( -xu "" -xp "p " -o reply-to= -l "/SENDEMAIL-LOG.txt" -o tls=no)"
                                R"( -o username= -o password="p " -q -v )");
    EXPECT_EQ(s.joinedLineBreaks, (std::vector<const ProfileField*>{&kSendTo, &kSubject, &kSmtpPassword}));
}

}  // namespace
}  // namespace fhsw
