#include "compose/composer.h"

#include "compose/batch_parsing.h"
#include "compose/sendemail_contract.h"

namespace fhsw {

ComposedScript ComposeRunnerScript(const ComposerFields& f, const RunFileNames& names) {
    ComposedScript out;
    // Fields in the order they first appear on the line.
    auto oneLine = [&out](const std::string& value, const char* controlName) {
        bool joined = false;
        std::string v = JoinLineBreaks(value, joined);
        if (joined) out.joinedLineBreaks.push_back(controlName);
        return v;
    };
    const std::string folder = oneLine(f.installFolder, "INSTALL_FOLDER_TEXTBOX");
    const std::string from = oneLine(f.sendFrom, "SEND_FROM_ADDRESS_TEXTBOX");
    const std::string to = oneLine(f.sendTo, "SEND_TO_ADDRESS_TEXTBOX");
    const std::string cc = oneLine(f.sendCc, "SEND_CC_ADDRESS_TEXTBOX");
    const std::string bcc = oneLine(f.sendBcc, "SEND_BCC_ADDRESS_TEXTBOX");
    const std::string subject = oneLine(f.subject, "SUBJECT_TEXTBOX");
    const std::string messageFile =
        f.fileAsMessage ? oneLine(f.messageFileLocation, "MESSAGE_FILE_LOCATION_TEXTBOX")
                        : folder + names.messageFile;
    const std::string server = oneLine(f.smtpServer, "SMTP_SERVER_ADDRESS_PORT_TEXTBOX");
    const std::string user = oneLine(f.smtpUser, "SMTP_USERNAME_TEXTBOX");
    const std::string password = oneLine(f.smtpPassword, "SMTP_PASSWORD_TEXTBOX");
    const std::string tls = oneLine(f.tls, "TLS_TB_SETTING");
    const std::string attachment =
        f.attachment ? oneLine(f.fileAttachment, "FILE_ATTACHMENT_TEXTBOX") : std::string();

    CmdLineWriter cmd;
    std::string line;
    auto put = [&](const std::string& commandText) {
        std::string written = cmd.write(commandText);
        line += written;
        return written;
    };
    put(CrtProgramPath(folder + names.sendEmailExe));
    put(DASH_F_TB + CrtQuoted(from));
    put(DASH_T_TB + CrtQuoted(to));
    put(DASH_CC_TB + CrtQuoted(cc));
    put(DASH_BCC_TB + CrtQuoted(bcc));
    put(DASH_U_TB + CrtQuoted(subject));
    out.messageCommand = put(DASH_O_TB + CrtQuoted(messageFile));
    put(DASH_S_TB + CrtQuoted(server));
    put(DASH_XU_TB + CrtQuoted(user));
    put(DASH_XP_TB + CrtQuoted(password));
    put(DASH_REPLY_TO_TB + CrtBare(from));
    put(DASH_L_TB + CrtQuoted(folder + names.logFile));
    put(DASH_TLS_TB + CrtBare(tls));
    put(DASH_TLS_U_TB + CrtBare(user));
    put(DASH_TLS_P_TB + CrtBare(password));
    put(std::string(DASH_Q_TB) + DASH_V_TB);
    if (f.attachment) out.attachmentCommand = put(DASH_A_TB + CrtQuoted(attachment));

    out.text = BAT_FILE_TOP_COMMANDS_TB + line;
    for (char c : line)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++out.commandLineLength;
    return out;
}

std::string LaunchText(const std::string& installFolder, const RunFileNames& names) {
    return SM_TB + installFolder + names.runnerScript + SM_TB;
}

}  // namespace fhsw
