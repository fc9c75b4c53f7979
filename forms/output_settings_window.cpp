#include "forms/output_settings_window.h"

#include "forms/settings_main_window.h"
#include "forms/main_window.h"
#include "forms/profile_form.h"

namespace fhsw {

OutputSettingsWindow::OutputSettingsWindow(AppContext& app, SettingsMainWindow& settings)
    : PlacedWindow(app, "FH_SENDWARDEN_OUTPUT_SETTINGS", "FH-SENDWARDEN - OUTPUT SETTINGS", &settings,
                   "OUTPUT_SETTINGS", 8670, 7560),
      FH_SENDWARDEN_OUTPUT_SETTINGS_TITLE(*this, "FH_SENDWARDEN_OUTPUT_SETTINGS_TITLE",
                                          "FH-SENDWARDEN - OUTPUT SETTINGS", {120, 120, 8340, 375}),
      OUTPUT_COMMAND_TEXTBOX(*this, "OUTPUT_COMMAND_TEXTBOX", "", {120, 600, 8340, 5400}),  // filled when it opens
      SE_EXE_OUTPUT_WINDOW_TICKBOX(*this, "SE_EXE_OUTPUT_WINDOW_TICKBOX",
                                   "Show SendEmail.exe \"Command Line\" Output Window",
                                   {120, 6180, 6000, 375}),
      OK_BUTTON(*this, "OK_BUTTON", "OK", {6960, 6120, 1500, 495}),
      settings_(settings) {
    StyleAsTitle(FH_SENDWARDEN_OUTPUT_SETTINGS_TITLE);
    FH_SENDWARDEN_OUTPUT_SETTINGS_TITLE.setAlign(Align::Center);
    OUTPUT_COMMAND_TEXTBOX.setMultiLine(true);
    OUTPUT_COMMAND_TEXTBOX.setReadOnly(true);
    setDefaultButton(&OK_BUTTON);

    SE_EXE_OUTPUT_WINDOW_TICKBOX.onChange = [this] {
        settings_.mainWindow().SE_EXE_OUTPUT_WINDOW_TICKBOX.setState(SE_EXE_OUTPUT_WINDOW_TICKBOX.state());
        app_.store.writeTick(kOutputWindow.key, SE_EXE_OUTPUT_WINDOW_TICKBOX.state());
    };
    OK_BUTTON.onPress = [this] {
        storePlace();
        close();
    };
}

void OutputSettingsWindow::load() {
    PlacedWindow::load();
    OUTPUT_COMMAND_TEXTBOX.setText(settings_.OUTPUT_COMMAND_TEXTBOX.text());
    LoadControl(SE_EXE_OUTPUT_WINDOW_TICKBOX, app_.store, app_.store.ProfileName());
}

}  // namespace fhsw
