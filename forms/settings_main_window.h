// The main settings window FH_SENDWARDEN_SETTINGS_MAIN: edits the mail
// settings of the current Profile, composes the runner script once a second
// and, on SAVE, stores the Profile and writes the run files.
#pragma once

#include <string>
#include <vector>

#include "compose/composer.h"
#include "forms/placed_window.h"
#include "forms/profile_form.h"

namespace fhsw {

class MainWindow;

class SettingsMainWindow : public PlacedWindow {
public:
    SettingsMainWindow(AppContext& app, MainWindow& main);

    Label FH_SENDWARDEN_SETTINGS_TITLE;
    TextBox INSTALL_FOLDER_LABEL_TEXTBOX;
    TextBox INSTALL_FOLDER_TEXTBOX;
    Label FROM_LABEL;
    TextBox SEND_FROM_ADDRESS_TEXTBOX;
    Label TO_LABEL;
    TextBox SEND_TO_ADDRESS_TEXTBOX;
    Label CC_LABEL;
    TextBox SEND_CC_ADDRESS_TEXTBOX;
    Label BCC_LABEL;
    TextBox SEND_BCC_ADDRESS_TEXTBOX;
    Label SMTP_SERVER_PORT_LABEL;
    TextBox SMTP_SERVER_ADDRESS_PORT_TEXTBOX;
    Label SMTP_USERNAME_LABEL;
    TextBox SMTP_USERNAME_TEXTBOX;
    Label SMTP_PASSWORD_LABEL;
    TextBox SMTP_PASSWORD_TEXTBOX;
    TickBox SHOW_PASSWORD_TICKBOX;
    Frame TLS_FRAME;
    TickBox TLS_NO_TICKBOX;
    TickBox TLS_YES_TICKBOX;
    TickBox TLS_AUTO_TICKBOX;
    Button OUTPUT_SETTINGS_BUTTON;
    TickBox FILE_AS_MESSAGE_TICKBOX;
    TickBox ATTACHMENT_TICKBOX;
    Button IMPORT_SHARED_SETTINGS_BUTTON;
    Label SUBJECT_MESSAGE_LABEL;
    Label SAVE_REPORT_LABEL;  // what went wrong at the last SAVE, if anything
    TextBox SUBJECT_TEXTBOX;
    TextBox MESSAGE_TEXTBOX;
    Button CANCEL_BUTTON;
    Button SAVE_BUTTON;
    Label MESSAGE_FILE_LOCATION_LABEL;
    TextBox MESSAGE_FILE_LOCATION_TEXTBOX;
    Label FILE_ATTACHMENT_LABEL;
    TextBox FILE_ATTACHMENT_TEXTBOX;
    TextBox OUTPUT_COMMAND_TEXTBOX;
    // Composer outputs and the TLS text, kept in invisible fields.
    TextBox TLS_TB_SETTING;
    TextBox ATTACHMENT_COMMAND_TB;
    TextBox MESSAGE_COMMAND_TB;
    Timer OUTPUT_COMMAND_TIMER;

    MainWindow& mainWindow() const { return main_; }
    TlsTickBoxes& tls() { return tls_; }

    // One tick of the composer: rebuilds the runner script from the fields.
    ComposedScript compose();

    // SAVE: checks the fields, then writes the run files and stores the
    // settings, `alsoStore` with them, all or nothing. True when saved;
    // SAVE_REPORT_LABEL says why not, or what to look out for.
    bool save(const std::vector<SettingValue>& alsoStore = {});

protected:
    void load() override;

private:
    std::string refusal(const ComposedScript& script);  // why SAVE must write nothing, "" when it may
    std::string write(const ComposedScript& script, const std::vector<SettingValue>& values);
    std::string warnings(const ComposedScript& script);

    MainWindow& main_;
    TlsTickBoxes tls_;
};

}  // namespace fhsw
