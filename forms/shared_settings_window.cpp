#include "forms/shared_settings_window.h"

#include "forms/settings_main_window.h"

namespace fhsw {

SharedSettingsWindow::SharedSettingsWindow(AppContext& app, SettingsMainWindow& settings)
    : PlacedWindow(app, "FH_SENDWARDEN_SETTINGS_SHARED", "FH-SENDWARDEN - SETTINGS - SHARED", &settings,
                   "SHARED-SETTINGS", 9960, 4695),
      FH_SENDWARDEN_SHARED_SETTINGS_TITLE(*this, "FH_SENDWARDEN_SHARED_SETTINGS_TITLE",
                                          "FH-SENDWARDEN - SHARED SETTINGS", {120, 120, 5400, 375}),
      TLS_FRAME(*this, "TLS_FRAME", kTlsCaption, {7440, 60, 2295, 1140}),
      TLS_NO_TICKBOX(*this, kTlsNo.key, kTlsNo.caption, {7560, 330, 1000, 255}),
      TLS_YES_TICKBOX(*this, kTlsYes.key, kTlsYes.caption, {7560, 600, 1000, 255}),
      TLS_AUTO_TICKBOX(*this, kTlsAuto.key, kTlsAuto.caption, {7560, 870, 1000, 255}),
      INSTALL_FOLDER_LABEL_TEXTBOX(*this, "INSTALL_FOLDER_LABEL_TEXTBOX", kInstallFolder.label(),
                                   {120, 600, 4575, 255}),
      INSTALL_FOLDER_TEXTBOX(*this, kInstallFolder.key, "", {120, 855, 4575, 315}),
      SMTP_SERVER_PORT_LABEL(*this, "SMTP_SERVER_PORT_LABEL", kSmtpServer.label(), {120, 1260, 4575, 255}),
      SMTP_SERVER_ADDRESS_PORT_TEXTBOX(*this, kSmtpServer.key, "", {120, 1515, 4575, 315}),
      SMTP_USERNAME_LABEL(*this, "SMTP_USERNAME_LABEL", kSmtpUser.caption, {120, 1920, 4575, 255}),
      SMTP_USERNAME_TEXTBOX(*this, kSmtpUser.key, "", {120, 2175, 4575, 315}),
      SMTP_PASSWORD_LABEL(*this, "SMTP_PASSWORD_LABEL", kSmtpPassword.caption, {120, 2580, 1575, 255}),
      SHOW_PASSWORD_TICKBOX(*this, "SHOW_PASSWORD_TICKBOX", "Show Password", {1800, 2580, 2100, 255}),
      SMTP_PASSWORD_TEXTBOX(*this, kSmtpPassword.key, "", {120, 2835, 4575, 315}),
      FROM_LABEL(*this, "FROM_LABEL", kSendFrom.caption, {4920, 1320, 555, 255}),
      SEND_FROM_ADDRESS_TEXTBOX(*this, kSendFrom.key, "", {5520, 1290, 4215, 315}),
      TO_LABEL(*this, "TO_LABEL", kSendTo.caption, {4920, 1710, 555, 255}),
      SEND_TO_ADDRESS_TEXTBOX(*this, kSendTo.key, "", {5520, 1680, 4215, 315}),
      CC_LABEL(*this, "CC_LABEL", kSendCc.caption, {4920, 2100, 555, 255}),
      SEND_CC_ADDRESS_TEXTBOX(*this, kSendCc.key, "", {5520, 2070, 4215, 315}),
      BCC_LABEL(*this, "BCC_LABEL", kSendBcc.caption, {4920, 2490, 555, 255}),
      SEND_BCC_ADDRESS_TEXTBOX(*this, kSendBcc.key, "", {5520, 2460, 4215, 315}),
      Line1(*this, "Line1", {4800, 600, 0, 2550}),
      Line2(*this, "Line2", {120, 3300, 9615, 0}),
      IMPORT_THESE_SHARED_SETTINGS_BUTTON(*this, "IMPORT_THESE_SHARED_SETTINGS_BUTTON",
                                          "IMPORT THESE SHARED SETTINGS", {120, 3480, 3255, 495}),
      SAVE_SETTINGS_BUTTON(*this, "SAVE_SETTINGS_BUTTON", "SAVE SETTINGS", {3495, 3480, 2175, 495}),
      CANCEL_BUTTON(*this, "CANCEL_BUTTON", "Cancel", {5790, 3480, 1815, 495}),
      OK_BUTTON(*this, "OK_BUTTON", "OK", {7725, 3480, 2010, 495}),
      settings_(settings),
      tls_{TLS_NO_TICKBOX, TLS_YES_TICKBOX, TLS_AUTO_TICKBOX} {
    StyleAsTitle(FH_SENDWARDEN_SHARED_SETTINGS_TITLE);
    WireFolderAndPassword(INSTALL_FOLDER_LABEL_TEXTBOX, SHOW_PASSWORD_TICKBOX, SMTP_PASSWORD_TEXTBOX);
    setDefaultButton(&OK_BUTTON);
    setCancelButton(&CANCEL_BUTTON);

    tls_.wire(nullptr);
    SAVE_SETTINGS_BUTTON.onPress = [this] { saveSettings(); };
    IMPORT_THESE_SHARED_SETTINGS_BUTTON.onPress = [this] { importSettings(); };
    OK_BUTTON.onPress = [this] {
        storePlace();
        close();
    };
    CANCEL_BUTTON.onPress = [this] { close(); };
}

void SharedSettingsWindow::load() {
    PlacedWindow::load();
    LoadFields(*this, app_.store, kSharedProfile, FieldSet::Shared, tls_);
}

// The position, then the shared values: all or none.
void SharedSettingsWindow::saveSettings() {
    std::vector<SettingValue> values = placeValues();
    AppendFieldValues(*this, kSharedProfile, FieldSet::Shared, values);
    if (std::string error; !app_.store.WriteSettings(values, error))
        setNotice("!!! SHARED SETTINGS NOT SAVED: " + error + " !!!");
}

void SharedSettingsWindow::importSettings() {
    // The settings window's fields carry the same names as ours.
    for (const ProfileField* f : kProfileFields)
        if (f->shared && f->kind == FieldKind::Text) settings_.find(f->key)->setText(find(f->key)->text());
    settings_.tls().bringTo(tls_.state());
}

}  // namespace fhsw
