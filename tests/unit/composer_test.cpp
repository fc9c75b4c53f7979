// Whole runner scripts, byte for byte, for the Windows and the Linux file
// names, and the escaping of values that the command interpreter or the C
// runtime would otherwise take apart.
#include <gtest/gtest.h>

#include <string>

#include "compose/composer.h"
#include "compose/sendemail_contract.h"

namespace fhsw {
namespace {

// The banner, spelled out: CR LF after every line, a lone CR inside line 13,
// a trailing blank on line 14.
const std::string kBanner =
    "TITLE FH-SENDWARDEN\r\n"
    "echo off\r\n"
    "echo " + std::string(62, '=') + "\r\n"
    "echo = !!! FERN-HOLLOW - FH-SENDWARDEN - SENDEMAIL-RUNNER.BAT !!! =\r\n"
    "echo " + std::string(62, '=') + "\r\n"
    "echo.\r\n"
    "echo - Automated Runner - SendEmail.exe - Command Line Email Generator / Sender -\r\n"
    "echo - !!! REQUIRES SMTP SERVER !!! -\r\n"
    "echo - !!! SendEmail.exe is ONLY an Email Client !!! -\r\n"
    "echo - DON'T MANUALLY EDIT THIS FILE -\r\n"
    "echo - USE FH-SENDWARDEN TO CONFIGURE -\r\n"
    "echo - IF YOU CAN'T FIND WHAT YOUR LOOKING FOR, PLEASE CONTACT ME !!! -\r\n"
    "echo - THANKS FOR USING FERN-HOLLOW SOFTWARE !!!\r -\r\n"
    "echo - Vireo404 !!! :) \r\n"
    "echo.\r\n"
    "echo " + std::string(29, '=') + "\r\n"
    "echo = !!! SENDING EMAIL NOW !!! =\r\n"
    "echo " + std::string(29, '=') + "\r\n"
    "echo.\r\necho.\r\necho.\r\n";

ComposerFields WorkedExample(const std::string& folder, const std::string& attachment) {
    ComposerFields f;
    f.installFolder = folder;
    f.sendFrom = "backup@example.org";
    f.sendTo = "admin@example.org";
    f.subject = "Nightly backup finished";
    f.smtpServer = "192.0.2.10:25";
    f.smtpUser = "mailer";
    f.smtpPassword = "s3cretPW";
    f.tls = "yes";
    f.attachment = true;
    f.fileAttachment = attachment;
    return f;
}

// The command line of a composed script, after checking the banner.
std::string LineOf(const ComposedScript& s) {
    EXPECT_EQ(s.text.substr(0, kBanner.size()), kBanner);
    return s.text.substr(kBanner.size());
}

TEST(Composer, BannerAndPlaceholderConstants) {
    EXPECT_EQ(std::string(BAT_FILE_TOP_COMMANDS_TB), kBanner);
    EXPECT_EQ(std::string(OUTPUT_COMMAND_PLACEHOLDER),
              "REM - !!! OUTPUT COMMAND WINDOW ERROR !!! -\r\n"
              "REM - !!! AUTOUPDATE EVERY 1 SECOND !!! -\r\n"
              "REM - !!! SAVED TOO QUICKLY !!! -\r\n"
              "REM - !!! PLEASE ALLOW 1 SECOND FOR AUTOUPDATE BEFORE SAVING !!! \r-\r\n"
              "REM - !!! SORRY, PLEASE TRY \nAGAIN, BUT SLIGHTLY SLOWER\r...!!! -\r\n");
    EXPECT_EQ(std::string(SENDEMAIL_IMAGE_NAME), "SendEmail.exe");
}

TEST(Composer, WorkedExampleWindows) {
    ComposedScript s = ComposeRunnerScript(
        WorkedExample("C:\\SendEmail", "C:\\Reports\\backup-summary.txt"), RunFileNames::Windows());
    EXPECT_EQ(s.text,
              kBanner +
                  R"-("C:\SendEmail\SendEmail.exe" -f "backup@example.org" -t "admin@example.org")-"
                  R"-( -cc "" -bcc "" -u "Nightly backup finished")-"
                  R"-( -o message-file="C:\SendEmail\SENDEMAIL-MESSAGE.txt" -s "192.0.2.10:25")-"
                  R"-( -xu "mailer" -xp "s3cretPW" -o reply-to=backup@example.org)-"
                  R"-( -l "C:\SendEmail\SENDEMAIL-LOG.txt" -o tls=yes -o username=mailer)-"
                  R"-( -o password=s3cretPW -q -v -a "C:\Reports\backup-summary.txt")-");
    EXPECT_EQ(s.attachmentCommand, R"-(-a "C:\Reports\backup-summary.txt")-");
    EXPECT_EQ(s.messageCommand, R"-( -o message-file="C:\SendEmail\SENDEMAIL-MESSAGE.txt")-");
    EXPECT_TRUE(s.joinedLineBreaks.empty());
}

TEST(Composer, WorkedExampleLinux) {
    ComposedScript s = ComposeRunnerScript(
        WorkedExample("/opt/sendemail", "/srv/reports/backup-summary.txt"), RunFileNames::Linux());
    EXPECT_EQ(s.text,
              kBanner +
                  R"-("/opt/sendemail/SendEmail.exe" -f "backup@example.org" -t "admin@example.org")-"
                  R"-( -cc "" -bcc "" -u "Nightly backup finished")-"
                  R"-( -o message-file="/opt/sendemail/SENDEMAIL-MESSAGE.txt" -s "192.0.2.10:25")-"
                  R"-( -xu "mailer" -xp "s3cretPW" -o reply-to=backup@example.org)-"
                  R"-( -l "/opt/sendemail/SENDEMAIL-LOG.txt" -o tls=yes -o username=mailer)-"
                  R"-( -o password=s3cretPW -q -v -a "/srv/reports/backup-summary.txt")-");
}

TEST(Composer, AllFieldsEmpty) {
    ComposerFields empty;
    EXPECT_EQ(ComposeRunnerScript(empty, RunFileNames::Windows()).text,
              kBanner +
                  R"-("\SendEmail.exe" -f "" -t "" -cc "" -bcc "" -u "")-"
                  R"-( -o message-file="\SENDEMAIL-MESSAGE.txt" -s "" -xu "" -xp "" -o reply-to=)-"
                  R"-( -l "\SENDEMAIL-LOG.txt" -o tls=no -o username= -o password= -q -v )-");
    ComposedScript linux = ComposeRunnerScript(empty, RunFileNames::Linux());
    EXPECT_EQ(linux.text,
              kBanner +
                  R"-("/SendEmail.exe" -f "" -t "" -cc "" -bcc "" -u "")-"
                  R"-( -o message-file="/SENDEMAIL-MESSAGE.txt" -s "" -xu "" -xp "" -o reply-to=)-"
                  R"-( -l "/SENDEMAIL-LOG.txt" -o tls=no -o username= -o password= -q -v )-");
    EXPECT_EQ(linux.attachmentCommand, "");
    EXPECT_EQ(linux.messageCommand, R"-( -o message-file="/SENDEMAIL-MESSAGE.txt")-");
}

TEST(Composer, AttachmentTickedWithoutPathAndUntickedWithPath) {
    ComposerFields f = WorkedExample("C:\\SendEmail", "");
    ComposedScript ticked = ComposeRunnerScript(f, RunFileNames::Windows());
    EXPECT_EQ(ticked.attachmentCommand, R"-(-a "")-");
    EXPECT_TRUE(LineOf(ticked).ends_with(R"-( -o password=s3cretPW -q -v -a "")-"));

    f.attachment = false;
    f.fileAttachment = "C:\\Reports\\backup-summary.txt";
    ComposedScript unticked = ComposeRunnerScript(f, RunFileNames::Windows());
    EXPECT_EQ(unticked.attachmentCommand, "");
    EXPECT_TRUE(LineOf(unticked).ends_with(" -o password=s3cretPW -q -v "));
    EXPECT_EQ(LineOf(unticked).find("-a "), std::string::npos);
}

TEST(Composer, FileAsMessageWithAndWithoutPath) {
    ComposerFields f = WorkedExample("C:\\SendEmail", "C:\\a.txt");
    f.fileAsMessage = true;
    f.messageFileLocation = "D:\\Mail\\body.txt";
    ComposedScript own = ComposeRunnerScript(f, RunFileNames::Windows());
    EXPECT_EQ(own.messageCommand, R"-( -o message-file="D:\Mail\body.txt")-");
    EXPECT_NE(LineOf(own).find(R"-(-u "Nightly backup finished" -o message-file="D:\Mail\body.txt" -s )-"),
              std::string::npos);

    f.messageFileLocation = "";
    ComposedScript none = ComposeRunnerScript(f, RunFileNames::Windows());
    EXPECT_EQ(none.messageCommand, R"-( -o message-file="")-");
    EXPECT_NE(LineOf(none).find(R"-( -o message-file="" -s "192.0.2.10:25")-"), std::string::npos);
}

TEST(Composer, EachTlsValue) {
    ComposerFields f = WorkedExample("C:\\SendEmail", "C:\\a.txt");
    for (const char* tls : {"no", "yes", "auto"}) {
        f.tls = tls;
        std::string line = LineOf(ComposeRunnerScript(f, RunFileNames::Windows()));
        EXPECT_NE(line.find(R"-(-l "C:\SendEmail\SENDEMAIL-LOG.txt" -o tls=)-" + std::string(tls) +
                            " -o username=mailer"),
                  std::string::npos)
            << tls;
    }
}

TEST(Composer, FolderWithTrailingSeparator) {
    ComposerFields f = WorkedExample("C:\\SendEmail\\", "C:\\a.txt");
    EXPECT_EQ(LineOf(ComposeRunnerScript(f, RunFileNames::Windows())),
              R"-("C:\SendEmail\\SendEmail.exe" -f "backup@example.org" -t "admin@example.org")-"
              R"-( -cc "" -bcc "" -u "Nightly backup finished")-"
              R"-( -o message-file="C:\SendEmail\\SENDEMAIL-MESSAGE.txt" -s "192.0.2.10:25")-"
              R"-( -xu "mailer" -xp "s3cretPW" -o reply-to=backup@example.org)-"
              R"-( -l "C:\SendEmail\\SENDEMAIL-LOG.txt" -o tls=yes -o username=mailer)-"
              R"-( -o password=s3cretPW -q -v -a "C:\a.txt")-");
    f.installFolder = "/opt/sendemail/";
    std::string linux = LineOf(ComposeRunnerScript(f, RunFileNames::Linux()));
    EXPECT_TRUE(linux.starts_with(R"-("/opt/sendemail//SendEmail.exe" -f )-"));
    EXPECT_NE(linux.find(R"-( -l "/opt/sendemail//SENDEMAIL-LOG.txt" )-"), std::string::npos);
}

TEST(Composer, LaunchText) {
    EXPECT_EQ(LaunchText("C:\\SendEmail", RunFileNames::Windows()),
              R"-("C:\SendEmail\SENDEMAIL-RUNNER.BAT")-");
    EXPECT_EQ(LaunchText("/opt/sendemail", RunFileNames::Linux()),
              R"-("/opt/sendemail/SENDEMAIL-RUNNER.BAT")-");
}

// A quote inside the subject flips the command interpreter's quote flag for
// the rest of the line: the '&' that the C runtime sees inside quotes is
// outside them for cmd and needs a caret, while the unquoted password at the
// end is inside cmd's quotes and must not get one.
TEST(ComposerEscaping, QuoteInValueFlipsInterpreterQuoteState) {
    ComposerFields f;
    f.installFolder = "C:\\SendEmail";
    f.sendFrom = "f@x";
    f.sendTo = "t@x";
    f.subject = "say \"hi & bye";
    f.smtpServer = "s:25";
    f.smtpUser = "u";
    f.smtpPassword = "a&b";
    EXPECT_EQ(LineOf(ComposeRunnerScript(f, RunFileNames::Windows())),
              R"-("C:\SendEmail\SendEmail.exe" -f "f@x" -t "t@x" -cc "" -bcc "")-"
              R"-( -u "say \"hi ^& bye" -o message-file="C:\SendEmail\SENDEMAIL-MESSAGE.txt")-"
              R"-( -s "s:25" -xu "u" -xp "a^&b" -o reply-to=f@x)-"
              R"-( -l "C:\SendEmail\SENDEMAIL-LOG.txt" -o tls=no -o username=u)-"
              R"-( -o password=a&b -q -v )-");
}

TEST(ComposerEscaping, PercentSpacesBackslashesAndOperators) {
    ComposerFields f;
    f.installFolder = "C:\\100%";
    f.smtpUser = "dom\\user";
    f.smtpPassword = "50% off & more^";
    f.sendFrom = "a\\\"b";
    f.attachment = true;
    f.fileAttachment = "C:\\dir\\";
    ComposedScript s = ComposeRunnerScript(f, RunFileNames::Windows());
    std::string line = LineOf(s);
    EXPECT_TRUE(line.starts_with(R"-("C:\100%%\SendEmail.exe" -f "a\\\"b" -t "")-")) << line;
    // The sender holds one quote: from there on cmd's quote flag is inverted.
    EXPECT_NE(line.find(R"-( -xu "dom\user" -xp "50%% off ^& more^^")-"), std::string::npos) << line;
    EXPECT_NE(line.find(R"-( -o reply-to=a\\\"b -l "C:\100%%\SENDEMAIL-LOG.txt")-"), std::string::npos)
        << line;
    EXPECT_NE(line.find(R"-( -o username=dom\user -o password="50%% off & more^" -q -v )-"),
              std::string::npos)
        << line;
    EXPECT_TRUE(line.ends_with(R"-(-a "C:\dir\\")-")) << line;
    EXPECT_EQ(s.attachmentCommand, R"-(-a "C:\dir\\")-");
}

TEST(ComposerEscaping, QuoteInFolderIsLeftOutOfProgramPathOnly) {
    ComposerFields f;
    f.installFolder = "C:\\Send\"Mail";
    std::string line = LineOf(ComposeRunnerScript(f, RunFileNames::Windows()));
    EXPECT_TRUE(line.starts_with(R"-("C:\SendMail\SendEmail.exe" -f "" )-")) << line;
    EXPECT_NE(line.find(R"-(message-file="C:\Send\"Mail\SENDEMAIL-MESSAGE.txt")-"), std::string::npos)
        << line;
}

TEST(ComposerEscaping, LineBreaksBecomeBlanksAndAreReported) {
    ComposerFields f;
    f.sendTo = "a@x\r\nb@x\nc@x\rd@x";
    f.subject = "two\nlines";
    f.smtpPassword = "p\r\n";
    f.fileAttachment = "not\nused";  // unticked: not on the line, not reported
    f.messageFileLocation = "not\nused";
    ComposedScript s = ComposeRunnerScript(f, RunFileNames::Linux());
    std::string line = LineOf(s);
    EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos);
    EXPECT_NE(line.find(R"-( -t "a@x b@x c@x d@x" )-"), std::string::npos);
    EXPECT_NE(line.find(R"-( -u "two lines" )-"), std::string::npos);
    EXPECT_NE(line.find(R"-( -o password="p " -q)-"), std::string::npos);
    EXPECT_EQ(s.joinedLineBreaks, (std::vector<std::string>{"SEND_TO_ADDRESS_TEXTBOX", "SUBJECT_TEXTBOX",
                                                            "SMTP_PASSWORD_TEXTBOX"}));
}

}  // namespace
}  // namespace fhsw
