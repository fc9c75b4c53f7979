#include "compose/composer.h"

#include <algorithm>

#include "compose/batch_parsing.h"
#include "compose/sendemail_contract.h"

namespace fhsw {

ComposedScript ComposeRunnerScript(const ComposerFields& f, const RunFileNames& names) {
    ComposedScript out;
    // A field's line breaks become blanks; the field is named once, in the
    // order it first appears on the line.
    auto oneLine = [&out](const std::string& value, const ProfileField* field) {
        bool joined = false;
        std::string v = JoinLineBreaks(value, joined);
        std::vector<const ProfileField*>& named = out.joinedLineBreaks;
        if (joined && field && std::find(named.begin(), named.end(), field) == named.end()) named.push_back(field);
        return v;
    };
    const std::string folder = oneLine(f.installFolder, &kInstallFolder);
    const std::string from = oneLine(f.sendFrom, &kSendFrom);
    CmdLineWriter cmd;
    std::string line;
    auto put = [&](const std::string& commandText) {
        std::string written = cmd.write(commandText);
        line += written;
        return written;
    };
    put(CrtProgramPath(folder + names.sendEmailExe));
    put(DASH_F_TB + CrtQuoted(from));
    put(DASH_T_TB + CrtQuoted(oneLine(f.sendTo, &kSendTo)));
    put(DASH_CC_TB + CrtQuoted(oneLine(f.sendCc, &kSendCc)));
    put(DASH_BCC_TB + CrtQuoted(oneLine(f.sendBcc, &kSendBcc)));
    put(DASH_U_TB + CrtQuoted(oneLine(f.subject, &kSubject)));
    out.messageCommand = put(DASH_O_TB + CrtQuoted(f.fileAsMessage ? oneLine(f.messageFileLocation, &kMessageFile)
                                                                    : folder + names.messageFile));
    put(DASH_S_TB + CrtQuoted(oneLine(f.smtpServer, &kSmtpServer)));
    const std::string user = oneLine(f.smtpUser, &kSmtpUser), password = oneLine(f.smtpPassword, &kSmtpPassword);
    put(DASH_XU_TB + CrtQuoted(user));
    put(DASH_XP_TB + CrtQuoted(password));
    put(DASH_REPLY_TO_TB + CrtBare(from));
    put(DASH_L_TB + CrtQuoted(folder + names.logFile));
    put(DASH_TLS_TB + CrtBare(oneLine(f.tls, nullptr)));
    put(DASH_TLS_U_TB + CrtBare(user));
    put(DASH_TLS_P_TB + CrtBare(password));
    put(std::string(DASH_Q_TB) + DASH_V_TB);
    if (f.attachment)
        out.attachmentCommand = put(DASH_A_TB + CrtQuoted(oneLine(f.fileAttachment, &kFileAttachment)));

    out.text = BAT_FILE_TOP_COMMANDS_TB + line;
    out.commandLineLength = CharCount(line);
    return out;
}

ComposerFields ComposerFields::From(const std::function<std::string(const ProfileField&)>& v, std::string tls) {
    return {v(kInstallFolder), v(kSendFrom),     v(kSendTo),        v(kSendCc),
            v(kSendBcc),       v(kSubject),      v(kSmtpServer),    v(kSmtpUser),
            v(kSmtpPassword),  v(kFileAsMessage) == "1", v(kMessageFile), v(kAttachment) == "1",
            v(kFileAttachment), std::move(tls)};
}

std::string LaunchText(const std::string& installFolder, const RunFileNames& names) {
    return SM_TB + installFolder + names.runnerScript + SM_TB;
}

}  // namespace fhsw
