#include "forms/settings_main_window.h"

#include <cctype>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

#include "compose/sendemail_contract.h"
#include "forms/main_window.h"
#include "forms/output_settings_window.h"
#include "forms/shared_settings_window.h"

namespace fhsw {

namespace {
constexpr std::size_t kMaxNames = 5;  // named in one warning

// A folder or profile name as the platform compares it: Windows without
// regard to case or to the kind of separator; a folder without the
// separators at its end.
std::string Folded(std::string name) {
#ifdef _WIN32
    for (char& c : name) c = c == '/' ? '\\' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
#endif
    while (name.size() > 1 && (name.back() == '/' || name.back() == '\\')) name.pop_back();
    return name;
}

// Whether the end of a file (a character may be cut at either end) holds
// non-ASCII text that reads as UTF-8.
bool NonAsciiUtf8(std::string_view s) {
    while (!s.empty() && IsUtf8Continuation(s[0])) s.remove_prefix(1);
    bool nonAscii = false;
    for (std::size_t n; !s.empty(); s.remove_prefix(n)) {
        if ((n = Utf8Length(s)) == 0) return nonAscii && s.size() < 4;
        nonAscii = nonAscii || n > 1;
    }
    return nonAscii;
}
}  // namespace

SettingsMainWindow::SettingsMainWindow(AppContext& app, MainWindow& main)
    : PlacedWindow(app, "FH_SENDWARDEN_SETTINGS_MAIN", "FH-SENDWARDEN - SETTINGS - MAIN", &main,
                   "SETTINGS_MAIN", 9840, 5400),
      FH_SENDWARDEN_SETTINGS_TITLE(*this, "FH_SENDWARDEN_SETTINGS_TITLE", "FH-SENDWARDEN - SETTINGS",
                                   {120, 120, 4575, 375}),
      INSTALL_FOLDER_LABEL_TEXTBOX(*this, "INSTALL_FOLDER_LABEL_TEXTBOX", kInstallFolder.label(),
                                   {120, 600, 4575, 255}),
      INSTALL_FOLDER_TEXTBOX(*this, kInstallFolder.key, "", {120, 855, 4575, 315}),
      FROM_LABEL(*this, "FROM_LABEL", kSendFrom.caption, {120, 1290, 555, 255}),
      SEND_FROM_ADDRESS_TEXTBOX(*this, kSendFrom.key, "", {720, 1260, 3975, 315}),
      TO_LABEL(*this, "TO_LABEL", kSendTo.caption, {120, 1650, 555, 255}),
      SEND_TO_ADDRESS_TEXTBOX(*this, kSendTo.key, "", {720, 1620, 3975, 315}),
      CC_LABEL(*this, "CC_LABEL", kSendCc.caption, {120, 2010, 555, 255}),
      SEND_CC_ADDRESS_TEXTBOX(*this, kSendCc.key, "", {720, 1980, 3975, 315}),
      BCC_LABEL(*this, "BCC_LABEL", kSendBcc.caption, {120, 2370, 555, 255}),
      SEND_BCC_ADDRESS_TEXTBOX(*this, kSendBcc.key, "", {720, 2340, 3975, 315}),
      SMTP_SERVER_PORT_LABEL(*this, "SMTP_SERVER_PORT_LABEL", kSmtpServer.label(), {4920, 120, 4695, 255}),
      SMTP_SERVER_ADDRESS_PORT_TEXTBOX(*this, kSmtpServer.key, "", {4920, 375, 4695, 315}),
      SMTP_USERNAME_LABEL(*this, "SMTP_USERNAME_LABEL", kSmtpUser.caption, {4920, 780, 2295, 255}),
      SMTP_USERNAME_TEXTBOX(*this, kSmtpUser.key, "", {4920, 1035, 2295, 315}),
      SMTP_PASSWORD_LABEL(*this, "SMTP_PASSWORD_LABEL", kSmtpPassword.caption, {4920, 1440, 2295, 255}),
      SMTP_PASSWORD_TEXTBOX(*this, kSmtpPassword.key, "", {4920, 1695, 2295, 315}),
      SHOW_PASSWORD_TICKBOX(*this, "SHOW_PASSWORD_TICKBOX", "Show Password", {7560, 2160, 2055, 255}),
      TLS_FRAME(*this, "TLS_FRAME", kTlsCaption, {7440, 780, 2175, 1230}),
      TLS_NO_TICKBOX(*this, kTlsNo.key, kTlsNo.caption, {7560, 1050, 1000, 255}),
      TLS_YES_TICKBOX(*this, kTlsYes.key, kTlsYes.caption, {7560, 1350, 1000, 255}),
      TLS_AUTO_TICKBOX(*this, kTlsAuto.key, kTlsAuto.caption, {7560, 1650, 1000, 255}),
      OUTPUT_SETTINGS_BUTTON(*this, "OUTPUT_SETTINGS_BUTTON", "OUTPUT SETTINGS",
                             {4920, 2160, 2295, 375}),
      FILE_AS_MESSAGE_TICKBOX(*this, kFileAsMessage.key, kFileAsMessage.caption, {120, 2760, 2400, 255}),
      ATTACHMENT_TICKBOX(*this, kAttachment.key, kAttachment.caption, {2640, 2760, 2100, 255}),
      IMPORT_SHARED_SETTINGS_BUTTON(*this, "IMPORT_SHARED_SETTINGS_BUTTON", "SHARED SETTINGS",
                                    {4920, 2700, 2295, 375}),
      SUBJECT_MESSAGE_LABEL(*this, "SUBJECT_MESSAGE_LABEL", kSubject.caption + std::string(" & ") + kMessage.caption,
                            {120, 3120, 2400, 255}),
      SAVE_REPORT_LABEL(*this, "SAVE_REPORT_LABEL", "", {7335, 2445, 2280, 915}),
      SUBJECT_TEXTBOX(*this, kSubject.key, "", {120, 3375, 8100, 315}),
      MESSAGE_TEXTBOX(*this, kMessage.key, "", {120, 3735, 8100, 540}),
      CANCEL_BUTTON(*this, "CANCEL_BUTTON", "CANCEL", {8340, 3375, 1275, 435}),
      SAVE_BUTTON(*this, "SAVE_BUTTON", "SAVE", {8340, 3900, 1275, 435}),
      MESSAGE_FILE_LOCATION_LABEL(*this, "MESSAGE_FILE_LOCATION_LABEL", kMessageFile.caption, {120, 4320, 4575, 255}),
      MESSAGE_FILE_LOCATION_TEXTBOX(*this, kMessageFile.key, "", {120, 4560, 4575, 315}),
      FILE_ATTACHMENT_LABEL(*this, "FILE_ATTACHMENT_LABEL", kFileAttachment.caption, {4920, 4320, 4695, 255}),
      FILE_ATTACHMENT_TEXTBOX(*this, kFileAttachment.key, "", {4920, 4560, 4695, 315}),
      OUTPUT_COMMAND_TEXTBOX(*this, "OUTPUT_COMMAND_TEXTBOX", OUTPUT_COMMAND_PLACEHOLDER,
                             {120, 7560, 9495, 2895}),
      TLS_TB_SETTING(*this, "TLS_TB_SETTING", "no", {0, 0, 0, 0}),
      ATTACHMENT_COMMAND_TB(*this, "ATTACHMENT_COMMAND_TB", "", {0, 0, 0, 0}),
      MESSAGE_COMMAND_TB(*this, "MESSAGE_COMMAND_TB", "", {0, 0, 0, 0}),
      OUTPUT_COMMAND_TIMER(*this, "OUTPUT_COMMAND_TIMER"),
      main_(main),
      tls_{TLS_NO_TICKBOX, TLS_YES_TICKBOX, TLS_AUTO_TICKBOX} {
    StyleAsTitle(FH_SENDWARDEN_SETTINGS_TITLE);
    WireFolderAndPassword(INSTALL_FOLDER_LABEL_TEXTBOX, SHOW_PASSWORD_TICKBOX, SMTP_PASSWORD_TEXTBOX);
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
    ATTACHMENT_TICKBOX.onChange = [this] { FILE_ATTACHMENT_TEXTBOX.setEnabled(ATTACHMENT_TICKBOX.ticked()); };
    FILE_AS_MESSAGE_TICKBOX.onChange = [this] {
        MESSAGE_TEXTBOX.setEnabled(!FILE_AS_MESSAGE_TICKBOX.ticked());
        MESSAGE_FILE_LOCATION_TEXTBOX.setEnabled(FILE_AS_MESSAGE_TICKBOX.ticked());
    };
    OUTPUT_COMMAND_TIMER.onTick = [this] { compose(); };
    SAVE_BUTTON.onPress = [this] { save(); };
    CANCEL_BUTTON.onPress = [this] { close(); };
    IMPORT_SHARED_SETTINGS_BUTTON.onPress = [this] { ShowDialog<SharedSettingsWindow>(app_, *this); };
    OUTPUT_SETTINGS_BUTTON.onPress = [this] { ShowDialog<OutputSettingsWindow>(app_, *this); };
}

void SettingsMainWindow::load() {
    PlacedWindow::load();
    LoadFields(*this, app_.store, app_.store.ProfileName(), FieldSet::Settings, tls_);

    OUTPUT_COMMAND_TIMER.setInterval(1000);
    OUTPUT_COMMAND_TIMER.start();
    // The fields that follow a tick box follow it now, changed or not.
    for (TickBox* box : {&FILE_AS_MESSAGE_TICKBOX, &ATTACHMENT_TICKBOX}) box->onChange();
}

ComposedScript SettingsMainWindow::compose() {
    const auto value = [this](const ProfileField& f) { return FieldValue(*this, f); };
    ComposedScript script = ComposeRunnerScript(ComposerFields::From(value, TLS_TB_SETTING.text()), app_.runFiles);
    ATTACHMENT_COMMAND_TB.setText(script.attachmentCommand);
    MESSAGE_COMMAND_TB.setText(script.messageCommand);
    OUTPUT_COMMAND_TEXTBOX.setText(script.text);
    return script;
}

// What cannot reach the mail as typed, or a folder that cannot be launched,
// stops SAVE before it stores or writes anything.
std::string SettingsMainWindow::refusal(const ComposedScript& script) {
    const std::string& folder = INSTALL_FOLDER_TEXTBOX.text();
    const std::string home = kInstallFolder.caption;
    if (folder.empty()) return "no " + home + " folder given";
    if (folder.find('"') != std::string::npos)
        return home + " holds a double quote (\"), which cannot be part of a folder name";
    for (const ProfileField* f : kProfileFields) {
        if (f->home != FieldHome::Settings || f->kind != FieldKind::Text) continue;
        const std::string& value = find(f->key)->text();
        const bool asArgument = f->argument && (!f->onlyWhen || FieldValue(*this, *f->onlyWhen) == "1");
        std::string why = ValueRefusal(*f, value, asArgument);
        // The typed message travels in the message file, the rest in the
        // runner script: each file holds what its reader can read.
        const auto kind = f == &kMessage ? TextFileKind::MessageFile : TextFileKind::RunnerScript;
        if (const auto c = why.empty() ? app_.files.firstUnwritable(value, kind) : std::nullopt)
            why = "holds " + DescribeChar(*c) + ", which cannot be sent";
        if (!why.empty()) return f->caption + (" " + why);
    }
    // cmd.exe would cut a longer line short and send without the switches at its end.
    if (script.tooLong())
        return "the SendEmail.exe command line is " + std::to_string(script.commandLineLength) +
               " characters long, cmd.exe reads at most " + std::to_string(kMaxBatchLineLength) +
               " - shorten the fields";
    return {};
}

// Stages both run files, puts them in place and stores the settings; on a
// failure puts back what it had put in place.
std::string SettingsMainWindow::write(const ComposedScript& script, const std::vector<SettingValue>& values) {
    struct RunFile {
        std::string path, text;
        TextFileKind kind;
        std::unique_ptr<StagedFile> staged = nullptr;
        bool committed = false;
    };
    const std::string& folder = INSTALL_FOLDER_TEXTBOX.text();
    RunFile files[] = {
        {folder + app_.runFiles.messageFile, DoubleLeadingDots(MESSAGE_TEXTBOX.text()), TextFileKind::MessageFile},
        {folder + app_.runFiles.runnerScript, script.text, TextFileKind::RunnerScript}};
    std::string error, why;
    for (RunFile& f : files)
        if (!(f.staged = app_.files.stage(f.path, f.text, f.kind, true, error)))
            return "cannot write " + f.path + ": " + error;
    for (RunFile& f : files)
        if (why.empty() && !(f.committed = f.staged->commit(error))) why = "cannot write " + f.path + ": " + error;
    if (why.empty() && !app_.store.WriteSettings(values, error)) why = "cannot store the settings: " + error;
    for (RunFile& f : files)
        if (!why.empty() && f.committed && !f.staged->undo(error))
            why += "; " + f.path + " keeps the new text: " + error;
    return why;
}

// What is saved but will not work as the user may think.
std::string SettingsMainWindow::warnings(const ComposedScript& script) {
    std::string report;
    const auto add = [&report](const std::string& warning) { report += (report.empty() ? "" : "\n") + warning; };
    const auto names = [](const std::vector<std::string>& all) {
        std::string list;
        for (std::size_t i = 0; i < all.size() && i < kMaxNames; ++i) list += (i ? ", " : "") + all[i];
        return all.size() > kMaxNames ? list + " and " + std::to_string(all.size() - kMaxNames) + " more" : list;
    };
    std::vector<std::string> joined;
    for (const ProfileField* f : script.joinedLineBreaks) joined.push_back(f->caption);
    if (!joined.empty()) add("Line breaks in " + names(joined) + " are sent as blanks");
    if (kMessageFileSentAsLatin1 && FILE_AS_MESSAGE_TICKBOX.ticked()) {
        const auto sample = app_.files.readFrom(MESSAGE_FILE_LOCATION_TEXTBOX.text(), 0, 256 * 1024);
        if (sample && NonAsciiUtf8(*sample))
            add(kMessageFile.caption + std::string(" is UTF-8: SendEmail.exe sends it as ISO-8859-1, "
                                                   "so its non-ASCII letters arrive garbled"));
    }
    const std::string& folder = INSTALL_FOLDER_TEXTBOX.text();
    const std::string home = kInstallFolder.caption;
    if (const std::string exe = folder + app_.runFiles.sendEmailExe; !app_.files.isFile(exe))
        add("No mail client at " + exe + " yet: a send fails until it is there");
    // Profiles that share the folder overwrite each other's runner script.
    std::vector<std::string> sharing;
    const std::string profile = Folded(app_.store.ProfileName()), key = Folded(folder);
    for (const std::string& section : app_.store.Sections())
        if (Folded(section) != profile && Folded(section) != Folded(kSharedProfile) &&
            Folded(app_.store.ReadSetting(section, kInstallFolder.key, "")) == key)
            sharing.push_back(section);
    if (!sharing.empty())
        add(home + " is also that of " + names(sharing) + ": each SAVE overwrites the other's runner script");
    if (std::string why = app_.files.openToOthers(folder); !why.empty()) add(home + ": " + why);
    if (std::string why = app_.store.OpenToOthers(); !why.empty()) add("Settings: " + why);
    return report;
}

bool SettingsMainWindow::save(const std::vector<SettingValue>& alsoStore) {
    // The script must hold the fields as they stand now, not as the last
    // tick of the composer saw them.
    const ComposedScript script = compose();
    const std::string profile = app_.store.ProfileName();
    const std::string launch = LaunchText(INSTALL_FOLDER_TEXTBOX.text(), app_.runFiles);
    std::string why = refusal(script);
    if (why.empty()) {
        std::vector<SettingValue> values = placeValues();
        AppendFieldValues(*this, profile, FieldSet::Settings, values);
        values.push_back({profile, main_.SE_RUNNER_BAT_LOCATION_TEXTBOX.name(), launch});
        values.insert(values.end(), alsoStore.begin(), alsoStore.end());
        why = write(script, values);
    }
    if (!why.empty()) {
        SAVE_REPORT_LABEL.setText("!!! NOT SAVED: " + why + " !!!");
        return false;
    }
    main_.SE_RUNNER_BAT_LOCATION_TEXTBOX.setText(launch);
    main_.SEND_TO_ADDRESS_TEXTBOX.setText(SEND_TO_ADDRESS_TEXTBOX.text());
    main_.SUBJECT_TEXTBOX.setText(SUBJECT_TEXTBOX.text());
    SAVE_REPORT_LABEL.setText(warnings(script));
    CANCEL_BUTTON.setText("Close");
    return true;
}

}  // namespace fhsw
