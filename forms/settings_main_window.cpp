#include "forms/settings_main_window.h"

#include <cstdio>
#include <utility>

#include "forms/window_geometry.h"

#include "compose/sendemail_contract.h"
#include "forms/output_settings_window.h"
#include "forms/shared_settings_window.h"
#include "forms/main_window.h"

namespace fhsw {

namespace {
constexpr const char* kPrefix = "SETTINGS_MAIN";

// Every stored text field with its visible caption, in the window's order.
constexpr std::pair<const char*, const char*> kCaptions[] = {
    {"INSTALL_FOLDER_TEXTBOX", "SENDEMAIL HOME"},
    {"SEND_FROM_ADDRESS_TEXTBOX", "From"},
    {"SEND_TO_ADDRESS_TEXTBOX", "To"},
    {"SEND_CC_ADDRESS_TEXTBOX", "Cc"},
    {"SEND_BCC_ADDRESS_TEXTBOX", "Bcc"},
    {"SMTP_SERVER_ADDRESS_PORT_TEXTBOX", "SMTP SERVER:PORT"},
    {"SMTP_USERNAME_TEXTBOX", "SMTP USERNAME"},
    {"SMTP_PASSWORD_TEXTBOX", "SMTP PASSWORD"},
    {"SUBJECT_TEXTBOX", "SUBJECT"},
    {"MESSAGE_TEXTBOX", "MESSAGE"},
    {"MESSAGE_FILE_LOCATION_TEXTBOX", "MESSAGE - FILE FULL LOCATION"},
    {"FILE_ATTACHMENT_TEXTBOX", "ATTACHMENT - FILE FULL LOCATION"},
};

std::string Utf8Of(char32_t c) {
    std::string out;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

// "€" (U+20AC)
std::string Describe(char32_t c) {
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
    const bool printable = c >= 0x20 && c != 0x7F && !(c >= 0x80 && c < 0xA0) && c != 0xFFFD;
    return (printable ? "\"" + Utf8Of(c) + "\" (" : std::string("(")) + code + ")";
}
}  // namespace

std::string SettingsMainWindow::Caption(const std::string& key) {
    for (const auto& [k, caption] : kCaptions)
        if (key == k) return caption;
    return key;
}

SettingsMainWindow::SettingsMainWindow(AppContext& app, MainWindow& main)
    : Window(app.ui, "FH_SENDWARDEN_SETTINGS_MAIN", "FH-SENDWARDEN - SETTINGS - MAIN", &main),
      FH_SENDWARDEN_SETTINGS_TITLE(*this, "FH_SENDWARDEN_SETTINGS_TITLE", "FH-SENDWARDEN - SETTINGS",
                                   {120, 120, 4575, 375}),
      INSTALL_FOLDER_LABEL_TEXTBOX(*this, "INSTALL_FOLDER_LABEL_TEXTBOX",
                                   "SENDEMAIL HOME - EXAMPLE - C:\\SendEmail", {120, 600, 4575, 255}),
      INSTALL_FOLDER_TEXTBOX(*this, "INSTALL_FOLDER_TEXTBOX", "", {120, 855, 4575, 315}),
      FROM_LABEL(*this, "FROM_LABEL", "From", {120, 1290, 555, 255}),
      SEND_FROM_ADDRESS_TEXTBOX(*this, "SEND_FROM_ADDRESS_TEXTBOX", "", {720, 1260, 3975, 315}),
      TO_LABEL(*this, "TO_LABEL", "To", {120, 1650, 555, 255}),
      SEND_TO_ADDRESS_TEXTBOX(*this, "SEND_TO_ADDRESS_TEXTBOX", "", {720, 1620, 3975, 315}),
      CC_LABEL(*this, "CC_LABEL", "Cc", {120, 2010, 555, 255}),
      SEND_CC_ADDRESS_TEXTBOX(*this, "SEND_CC_ADDRESS_TEXTBOX", "", {720, 1980, 3975, 315}),
      BCC_LABEL(*this, "BCC_LABEL", "Bcc", {120, 2370, 555, 255}),
      SEND_BCC_ADDRESS_TEXTBOX(*this, "SEND_BCC_ADDRESS_TEXTBOX", "", {720, 2340, 3975, 315}),
      SMTP_SERVER_PORT_LABEL(*this, "SMTP_SERVER_PORT_LABEL", "SMTP SERVER:PORT - e.g. IP:25 or FQDN:25",
                             {4920, 120, 4695, 255}),
      SMTP_SERVER_ADDRESS_PORT_TEXTBOX(*this, "SMTP_SERVER_ADDRESS_PORT_TEXTBOX", "",
                                       {4920, 375, 4695, 315}),
      SMTP_USERNAME_LABEL(*this, "SMTP_USERNAME_LABEL", "SMTP USERNAME", {4920, 780, 2295, 255}),
      SMTP_USERNAME_TEXTBOX(*this, "SMTP_USERNAME_TEXTBOX", "", {4920, 1035, 2295, 315}),
      SMTP_PASSWORD_LABEL(*this, "SMTP_PASSWORD_LABEL", "SMTP PASSWORD", {4920, 1440, 2295, 255}),
      SMTP_PASSWORD_TEXTBOX(*this, "SMTP_PASSWORD_TEXTBOX", "", {4920, 1695, 2295, 315}),
      SHOW_PASSWORD_TICKBOX(*this, "SHOW_PASSWORD_TICKBOX", "Show Password", {7560, 2160, 2055, 255}),
      TLS_FRAME(*this, "TLS_FRAME", "TLS", {7440, 780, 2175, 1230}),
      TLS_NO_TICKBOX(*this, "TLS_NO_TICKBOX", "no", {7560, 1050, 1000, 255}),
      TLS_YES_TICKBOX(*this, "TLS_YES_TICKBOX", "yes", {7560, 1350, 1000, 255}),
      TLS_AUTO_TICKBOX(*this, "TLS_AUTO_TICKBOX", "auto", {7560, 1650, 1000, 255}),
      OUTPUT_SETTINGS_BUTTON(*this, "OUTPUT_SETTINGS_BUTTON", "OUTPUT SETTINGS",
                             {4920, 2160, 2295, 375}),
      FILE_AS_MESSAGE_TICKBOX(*this, "FILE_AS_MESSAGE_TICKBOX", "Use TXT File As Message",
                              {120, 2760, 2400, 255}),
      ATTACHMENT_TICKBOX(*this, "ATTACHMENT_TICKBOX", "Attach File To Email", {2640, 2760, 2100, 255}),
      IMPORT_SHARED_SETTINGS_BUTTON(*this, "IMPORT_SHARED_SETTINGS_BUTTON", "SHARED SETTINGS",
                                    {4920, 2700, 2295, 375}),
      SUBJECT_MESSAGE_LABEL(*this, "SUBJECT_MESSAGE_LABEL", "SUBJECT & MESSAGE", {120, 3120, 2400, 255}),
      SAVE_REPORT_LABEL(*this, "SAVE_REPORT_LABEL", "", {7335, 2445, 2280, 915}),
      SUBJECT_TEXTBOX(*this, "SUBJECT_TEXTBOX", "", {120, 3375, 8100, 315}),
      MESSAGE_TEXTBOX(*this, "MESSAGE_TEXTBOX", "", {120, 3735, 8100, 540}),
      CANCEL_BUTTON(*this, "CANCEL_BUTTON", "CANCEL", {8340, 3375, 1275, 435}),
      SAVE_BUTTON(*this, "SAVE_BUTTON", "SAVE", {8340, 3900, 1275, 435}),
      MESSAGE_FILE_LOCATION_LABEL(*this, "MESSAGE_FILE_LOCATION_LABEL", "MESSAGE - FILE FULL LOCATION",
                                  {120, 4320, 4575, 255}),
      MESSAGE_FILE_LOCATION_TEXTBOX(*this, "MESSAGE_FILE_LOCATION_TEXTBOX", "", {120, 4560, 4575, 315}),
      FILE_ATTACHMENT_LABEL(*this, "FILE_ATTACHMENT_LABEL", "ATTACHMENT - FILE FULL LOCATION",
                            {4920, 4320, 4695, 255}),
      FILE_ATTACHMENT_TEXTBOX(*this, "FILE_ATTACHMENT_TEXTBOX", "", {4920, 4560, 4695, 315}),
      OUTPUT_COMMAND_TEXTBOX(*this, "OUTPUT_COMMAND_TEXTBOX", kComposerPlaceholder,
                             {120, 7560, 9495, 2895}),
      TLS_TB_SETTING(*this, "TLS_TB_SETTING", "no", {0, 0, 0, 0}),
      ATTACHMENT_COMMAND_TB(*this, "ATTACHMENT_COMMAND_TB", "", {0, 0, 0, 0}),
      MESSAGE_COMMAND_TB(*this, "MESSAGE_COMMAND_TB", "", {0, 0, 0, 0}),
      OUTPUT_COMMAND_TIMER(*this, "OUTPUT_COMMAND_TIMER"),
      app_(app),
      main_(main),
      tls_{TLS_NO_TICKBOX, TLS_YES_TICKBOX, TLS_AUTO_TICKBOX} {
    StyleAsTitle(FH_SENDWARDEN_SETTINGS_TITLE);
    INSTALL_FOLDER_LABEL_TEXTBOX.setReadOnly(true);
    INSTALL_FOLDER_LABEL_TEXTBOX.setTabStop(false);
    SMTP_PASSWORD_TEXTBOX.setPasswordChar("*");
    TLS_NO_TICKBOX.setState(1);
    TLS_YES_TICKBOX.setEnabled(false);
    TLS_AUTO_TICKBOX.setEnabled(false);
    SAVE_REPORT_LABEL.setForeground(colours::Red);
    SAVE_REPORT_LABEL.setBold(true);
    MESSAGE_TEXTBOX.setMultiLine(true);
    MESSAGE_FILE_LOCATION_TEXTBOX.setEnabled(false);
    FILE_ATTACHMENT_TEXTBOX.setEnabled(false);
    OUTPUT_COMMAND_TEXTBOX.setMultiLine(true);
    for (TextBox* hidden : {&TLS_TB_SETTING, &ATTACHMENT_COMMAND_TB, &MESSAGE_COMMAND_TB})
        hidden->setVisible(false);
    setDefaultButton(&SAVE_BUTTON);
    setCancelButton(&CANCEL_BUTTON);

    tls_.wire([this](const std::string& text) { TLS_TB_SETTING.setText(text); });
    SHOW_PASSWORD_TICKBOX.onChange = [this] {
        SMTP_PASSWORD_TEXTBOX.setPasswordChar(SHOW_PASSWORD_TICKBOX.ticked() ? "" : "*");
    };
    ATTACHMENT_TICKBOX.onChange = [this] {
        FILE_ATTACHMENT_TEXTBOX.setEnabled(ATTACHMENT_TICKBOX.ticked());
    };
    FILE_AS_MESSAGE_TICKBOX.onChange = [this] { applyMessageFileEnabling(); };
    OUTPUT_COMMAND_TIMER.onTick = [this] { compose(); };
    SAVE_BUTTON.onPress = [this] { save(); };
    CANCEL_BUTTON.onPress = [this] { close(); };
    IMPORT_SHARED_SETTINGS_BUTTON.onPress = [this] {
        SharedSettingsWindow dialog(app_, *this);
        showModal(dialog);
    };
    OUTPUT_SETTINGS_BUTTON.onPress = [this] {
        OutputSettingsWindow dialog(app_, *this);
        showModal(dialog);
    };
}

void SettingsMainWindow::applyMessageFileEnabling() {
    const bool fromFile = FILE_AS_MESSAGE_TICKBOX.ticked();
    MESSAGE_TEXTBOX.setEnabled(!fromFile);
    MESSAGE_FILE_LOCATION_TEXTBOX.setEnabled(fromFile);
}

void SettingsMainWindow::load() {
    SettingsStore& store = app_.store;
    LoadWindowGeometry(*this, store, kPrefix, 9840, 5400);
    INSTALL_FOLDER_TEXTBOX.setText(store.readText("INSTALL_FOLDER_TEXTBOX"));
    SMTP_SERVER_ADDRESS_PORT_TEXTBOX.setText(store.readText("SMTP_SERVER_ADDRESS_PORT_TEXTBOX"));
    SMTP_USERNAME_TEXTBOX.setText(store.readText("SMTP_USERNAME_TEXTBOX"));
    SMTP_PASSWORD_TEXTBOX.setText(store.readText("SMTP_PASSWORD_TEXTBOX"));
    SEND_FROM_ADDRESS_TEXTBOX.setText(store.readText("SEND_FROM_ADDRESS_TEXTBOX"));
    SEND_TO_ADDRESS_TEXTBOX.setText(store.readText("SEND_TO_ADDRESS_TEXTBOX"));
    SEND_CC_ADDRESS_TEXTBOX.setText(store.readText("SEND_CC_ADDRESS_TEXTBOX"));
    SEND_BCC_ADDRESS_TEXTBOX.setText(store.readText("SEND_BCC_ADDRESS_TEXTBOX"));
    tls_.loadFrom(store, store.ProfileName());
    SUBJECT_TEXTBOX.setText(store.readText("SUBJECT_TEXTBOX"));
    MESSAGE_TEXTBOX.setText(store.readText("MESSAGE_TEXTBOX"));
    ATTACHMENT_TICKBOX.setState(store.readTick("ATTACHMENT_TICKBOX"));
    FILE_AS_MESSAGE_TICKBOX.setState(store.readTick("FILE_AS_MESSAGE_TICKBOX"));
    MESSAGE_FILE_LOCATION_TEXTBOX.setText(store.readText("MESSAGE_FILE_LOCATION_TEXTBOX"));
    FILE_ATTACHMENT_TEXTBOX.setText(store.readText("FILE_ATTACHMENT_TEXTBOX"));

    OUTPUT_COMMAND_TIMER.setInterval(1000);
    OUTPUT_COMMAND_TIMER.start();
    SMTP_PASSWORD_TEXTBOX.setPasswordChar(SHOW_PASSWORD_TICKBOX.ticked() ? "" : "*");
    applyMessageFileEnabling();
    FILE_ATTACHMENT_TEXTBOX.setEnabled(ATTACHMENT_TICKBOX.ticked());
}

void SettingsMainWindow::unload() { StoreWindowPosition(*this, app_.store, kPrefix); }

ComposerFields SettingsMainWindow::fields() const {
    ComposerFields f;
    f.installFolder = INSTALL_FOLDER_TEXTBOX.text();
    f.sendFrom = SEND_FROM_ADDRESS_TEXTBOX.text();
    f.sendTo = SEND_TO_ADDRESS_TEXTBOX.text();
    f.sendCc = SEND_CC_ADDRESS_TEXTBOX.text();
    f.sendBcc = SEND_BCC_ADDRESS_TEXTBOX.text();
    f.subject = SUBJECT_TEXTBOX.text();
    f.smtpServer = SMTP_SERVER_ADDRESS_PORT_TEXTBOX.text();
    f.smtpUser = SMTP_USERNAME_TEXTBOX.text();
    f.smtpPassword = SMTP_PASSWORD_TEXTBOX.text();
    f.fileAsMessage = FILE_AS_MESSAGE_TICKBOX.state() == 1;
    f.messageFileLocation = MESSAGE_FILE_LOCATION_TEXTBOX.text();
    f.attachment = ATTACHMENT_TICKBOX.state() == 1;
    f.fileAttachment = FILE_ATTACHMENT_TEXTBOX.text();
    f.tls = TLS_TB_SETTING.text();
    return f;
}

ComposedScript SettingsMainWindow::compose() {
    ComposedScript script = ComposeRunnerScript(fields(), app_.runFiles);
    ATTACHMENT_COMMAND_TB.setText(script.attachmentCommand);
    MESSAGE_COMMAND_TB.setText(script.messageCommand);
    OUTPUT_COMMAND_TEXTBOX.setText(script.text);
    return script;
}

// A character that cannot reach the mail, or a folder that cannot be
// launched, stops SAVE before it stores or writes anything.
std::string SettingsMainWindow::refusal() {
    if (INSTALL_FOLDER_TEXTBOX.text().find('"') != std::string::npos) {
        return "!!! NOT SAVED: SENDEMAIL HOME holds a double quote (\"), which cannot be part of "
               "a folder name - nothing saved !!!";
    }
    for (const auto& [key, caption] : kCaptions) {
        const Control* field = find(key);
        if (field == nullptr) continue;
        // The typed message travels in the message file, the rest in the
        // runner script: each file holds what its reader can read.
        const TextFileKind kind = std::string(key) == "MESSAGE_TEXTBOX" ? TextFileKind::MessageFile
                                                                        : TextFileKind::RunnerScript;
        if (const auto c = app_.files.firstUnwritable(field->text(), kind)) {
            return "!!! NOT SAVED: " + std::string(caption) + " holds " + Describe(*c) +
                   ", which cannot be sent - nothing saved !!!";
        }
    }
    return {};
}

void SettingsMainWindow::save() {
    if (std::string why = refusal(); !why.empty()) {
        SAVE_REPORT_LABEL.setText(why);
        return;
    }
    // The script must hold the fields as they stand now, not as the last
    // tick of the composer saw them.
    const ComposedScript script = compose();
    if (script.tooLong()) {
        // cmd.exe would cut the line short and send without the switches at
        // its end: nothing is stored or written.
        SAVE_REPORT_LABEL.setText("!!! NOT SAVED: the SendEmail.exe command line is " +
                                  std::to_string(script.commandLineLength) +
                                  " characters long, cmd.exe reads at most " +
                                  std::to_string(kMaxBatchLineLength) +
                                  " - shorten the fields !!!");
        return;
    }
    SettingsStore& store = app_.store;
    StoreWindowPosition(*this, store, kPrefix);
    store.writeText("INSTALL_FOLDER_TEXTBOX", INSTALL_FOLDER_TEXTBOX.text());
    store.writeText("SMTP_SERVER_ADDRESS_PORT_TEXTBOX", SMTP_SERVER_ADDRESS_PORT_TEXTBOX.text());
    store.writeText("SMTP_USERNAME_TEXTBOX", SMTP_USERNAME_TEXTBOX.text());
    store.writeText("SMTP_PASSWORD_TEXTBOX", SMTP_PASSWORD_TEXTBOX.text());
    store.writeText("SEND_FROM_ADDRESS_TEXTBOX", SEND_FROM_ADDRESS_TEXTBOX.text());
    store.writeText("SEND_TO_ADDRESS_TEXTBOX", SEND_TO_ADDRESS_TEXTBOX.text());
    store.writeText("SEND_CC_ADDRESS_TEXTBOX", SEND_CC_ADDRESS_TEXTBOX.text());
    store.writeText("SEND_BCC_ADDRESS_TEXTBOX", SEND_BCC_ADDRESS_TEXTBOX.text());
    store.writeTick("TLS_NO_TICKBOX", TLS_NO_TICKBOX.state());
    store.writeTick("TLS_YES_TICKBOX", TLS_YES_TICKBOX.state());
    store.writeTick("TLS_AUTO_TICKBOX", TLS_AUTO_TICKBOX.state());
    store.writeText("SUBJECT_TEXTBOX", SUBJECT_TEXTBOX.text());
    store.writeText("MESSAGE_TEXTBOX", MESSAGE_TEXTBOX.text());
    store.writeTick("ATTACHMENT_TICKBOX", ATTACHMENT_TICKBOX.state());
    store.writeTick("FILE_AS_MESSAGE_TICKBOX", FILE_AS_MESSAGE_TICKBOX.state());
    store.writeText("MESSAGE_FILE_LOCATION_TEXTBOX", MESSAGE_FILE_LOCATION_TEXTBOX.text());
    store.writeText("FILE_ATTACHMENT_TEXTBOX", FILE_ATTACHMENT_TEXTBOX.text());

    const std::string& folder = INSTALL_FOLDER_TEXTBOX.text();
    main_.SE_RUNNER_BAT_LOCATION_TEXTBOX.setText(LaunchText(folder, app_.runFiles));
    store.writeText("SE_RUNNER_BAT_LOCATION_TEXTBOX", main_.SE_RUNNER_BAT_LOCATION_TEXTBOX.text());
    main_.SEND_TO_ADDRESS_TEXTBOX.setText(SEND_TO_ADDRESS_TEXTBOX.text());
    main_.SUBJECT_TEXTBOX.setText(SUBJECT_TEXTBOX.text());

    std::string report;
    auto writeRunFile = [&](const std::string& path, const std::string& text, TextFileKind kind) {
        std::string error;
        if (app_.files.writeLine(path, text, kind, true, error)) return true;
        report = "!!! NOT SAVED: " + path + ": " + error + " !!!";
        return false;
    };
    if (folder.empty()) {
        // Never scatter run files into the root folder.
        report = "!!! NOT SAVED: no SENDEMAIL HOME folder given - run files not written !!!";
    } else if (writeRunFile(folder + app_.runFiles.messageFile, MESSAGE_TEXTBOX.text(),
                            TextFileKind::MessageFile) &&
        writeRunFile(folder + app_.runFiles.runnerScript, script.text, TextFileKind::RunnerScript) &&
        !script.joinedLineBreaks.empty()) {
        report = "Line breaks in " + Caption(script.joinedLineBreaks.front()) + " are sent as blanks";
    }
    SAVE_REPORT_LABEL.setText(report);
    CANCEL_BUTTON.setText("Close");
}

}  // namespace fhsw
