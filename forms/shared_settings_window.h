// The shared settings window FH_SENDWARDEN_SETTINGS_SHARED: edits the shared
// profile that every copy of the program sees, and imports its values into
// the main settings window that opened it.
#pragma once

#include "forms/placed_window.h"
#include "forms/profile_form.h"

namespace fhsw {

class SettingsMainWindow;

class SharedSettingsWindow : public PlacedWindow {
public:
    SharedSettingsWindow(AppContext& app, SettingsMainWindow& settings);

    Label FH_SENDWARDEN_SHARED_SETTINGS_TITLE;
    Frame TLS_FRAME;
    TickBox TLS_NO_TICKBOX;
    TickBox TLS_YES_TICKBOX;
    TickBox TLS_AUTO_TICKBOX;
    TextBox INSTALL_FOLDER_LABEL_TEXTBOX;
    TextBox INSTALL_FOLDER_TEXTBOX;
    Label SMTP_SERVER_PORT_LABEL;
    TextBox SMTP_SERVER_ADDRESS_PORT_TEXTBOX;
    Label SMTP_USERNAME_LABEL;
    TextBox SMTP_USERNAME_TEXTBOX;
    Label SMTP_PASSWORD_LABEL;
    TickBox SHOW_PASSWORD_TICKBOX;
    TextBox SMTP_PASSWORD_TEXTBOX;
    Label FROM_LABEL;
    TextBox SEND_FROM_ADDRESS_TEXTBOX;
    Label TO_LABEL;
    TextBox SEND_TO_ADDRESS_TEXTBOX;
    Label CC_LABEL;
    TextBox SEND_CC_ADDRESS_TEXTBOX;
    Label BCC_LABEL;
    TextBox SEND_BCC_ADDRESS_TEXTBOX;
    Line Line1;
    Line Line2;
    Button IMPORT_THESE_SHARED_SETTINGS_BUTTON;
    Button SAVE_SETTINGS_BUTTON;
    Button CANCEL_BUTTON;
    Button OK_BUTTON;

    TlsTickBoxes& tls() { return tls_; }

protected:
    void load() override;

private:
    void saveSettings();
    void importSettings();

    SettingsMainWindow& settings_;
    TlsTickBoxes tls_;
};

}  // namespace fhsw
