// The fixed texts from which the runner script "SENDEMAIL-RUNNER.BAT" is
// built: the switch fragments of the SendEmail.exe command line, the banner
// that every runner script starts with, and the text the script field holds
// before its first composition. Leading and trailing blanks are part of each
// fragment.
//
// The file-name fragments (SENDEMAIL_EXE_TEXTBOX "\SendEmail.exe",
// SE_EMAIL_MESSAGE_FILE_TEXTBOX "\SENDEMAIL-MESSAGE.txt", SE_LOG_FILE_TEXTBOX
// "\SENDEMAIL-LOG.txt", SENDEMAIL_RUNNER_BAT_FILENAME_TEXTBOX
// "\SENDEMAIL-RUNNER.BAT") live in RunFileNames (compose/run_files.h), so that
// the Windows and the Linux separator share one composer.
#pragma once

#include <string>
#include <string_view>

namespace fhsw {

// Where the mail client gets the SMTP password. On Linux the runner-script
// interpreter hands it to the mail client on its standard input (the mail
// client reads it from there when it gets a user name without -xp), so that
// no other user can read it in the process list; on Windows the command
// line carries it.
// The Linux mail client also declares every message file ISO-8859-1,
// whatever it holds: the letters of a UTF-8 file arrive garbled.
#ifdef _WIN32
inline constexpr bool kPasswordOnCommandLine = true;
inline constexpr bool kMessageFileSentAsLatin1 = false;
#else
inline constexpr bool kPasswordOnCommandLine = false;
inline constexpr bool kMessageFileSentAsLatin1 = true;
#endif

// The message body as the mail client must get it so that every line
// arrives as written: the mail client sends a message file's lines as they
// are (it doubles only the first of a run of lone "." lines), and the SMTP
// server takes the first "." off every line that starts with one. So each
// line's leading "." is doubled here. Lines end at LF, CR LF or a lone CR.
std::string DoubleLeadingDots(std::string_view text);

// The process image name the process watch looks for.
inline constexpr char SENDEMAIL_IMAGE_NAME[] = "SendEmail.exe";

inline constexpr char SM_TB[] = "\"";  // quote mark around quoted values
inline constexpr char DASH_F_TB[] = " -f ";
inline constexpr char DASH_T_TB[] = " -t ";
inline constexpr char DASH_CC_TB[] = " -cc ";
inline constexpr char DASH_BCC_TB[] = " -bcc ";
inline constexpr char DASH_U_TB[] = " -u ";
inline constexpr char DASH_O_TB[] = " -o message-file=";
inline constexpr char DASH_S_TB[] = " -s ";
inline constexpr char DASH_XU_TB[] = " -xu ";
inline constexpr char DASH_XP_TB[] = " -xp ";
inline constexpr char DASH_REPLY_TO_TB[] = " -o reply-to=";
inline constexpr char DASH_L_TB[] = " -l ";
inline constexpr char DASH_TLS_TB[] = " -o tls=";
inline constexpr char DASH_TLS_U_TB[] = " -o username=";
inline constexpr char DASH_TLS_P_TB[] = " -o password=";
inline constexpr char DASH_Q_TB[] = " -q ";
inline constexpr char DASH_V_TB[] = "-v ";  // no leading blank: follows DASH_Q_TB
inline constexpr char DASH_A_TB[] = "-a ";  // no leading blank: follows DASH_V_TB

// The 21 banner lines, each ended by CR LF. Line 13 carries a lone CR inside
// it (the command interpreter drops it) and line 14 ends with a blank.
inline constexpr char BAT_FILE_TOP_COMMANDS_TB[] =
    "TITLE FH-SENDWARDEN\r\n"
    "echo off\r\n"
    "echo ==============================================================\r\n"
    "echo = !!! FERN-HOLLOW - FH-SENDWARDEN - SENDEMAIL-RUNNER.BAT !!! =\r\n"
    "echo ==============================================================\r\n"
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
    "echo =============================\r\n"
    "echo = !!! SENDING EMAIL NOW !!! =\r\n"
    "echo =============================\r\n"
    "echo.\r\n"
    "echo.\r\n"
    "echo.\r\n";

// What OUTPUT_COMMAND_TEXTBOX holds until the composer's first tick; saved
// as a runner script it starts no SendEmail.exe and tells the user why.
inline constexpr char OUTPUT_COMMAND_PLACEHOLDER[] =
    "REM - !!! OUTPUT COMMAND WINDOW ERROR !!! -\r\n"
    "REM - !!! AUTOUPDATE EVERY 1 SECOND !!! -\r\n"
    "REM - !!! SAVED TOO QUICKLY !!! -\r\n"
    "REM - !!! PLEASE ALLOW 1 SECOND FOR AUTOUPDATE BEFORE SAVING !!! \r-\r\n"
    "REM - !!! SORRY, PLEASE TRY \nAGAIN, BUT SLIGHTLY SLOWER\r...!!! -\r\n";

}  // namespace fhsw
