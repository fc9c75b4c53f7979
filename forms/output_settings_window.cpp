#include "forms/output_settings_window.h"
#include "forms/window_geometry.h"

#include "forms/settings_main_window.h"
#include "forms/main_window.h"

namespace fhsw {

namespace {
constexpr const char* kPrefix = "OUTPUT_SETTINGS";

std::string DesignText() {
    std::string text = "OUTPUT COMMAND WINDOW\r\n";
    for (int i = 1; i <= 25; ++i) text += std::to_string(i) + "\r\n";
    return text;
}
}  // namespace

OutputSettingsWindow::OutputSettingsWindow(AppContext& app, SettingsMainWindow& settings)
    : Window(app.ui, "FH_SENDWARDEN_OUTPUT_SETTINGS", "FH-SENDWARDEN - OUTPUT SETTINGS", &settings),
      FH_SENDWARDEN_OUTPUT_SETTINGS_TITLE(*this, "FH_SENDWARDEN_OUTPUT_SETTINGS_TITLE",
                                          "FH-SENDWARDEN - OUTPUT SETTINGS", {120, 120, 8340, 375}),
      OUTPUT_COMMAND_TEXTBOX(*this, "OUTPUT_COMMAND_TEXTBOX", DesignText(), {120, 600, 8340, 5400}),
      SE_EXE_OUTPUT_WINDOW_TICKBOX(*this, "SE_EXE_OUTPUT_WINDOW_TICKBOX",
                                   "Show SendEmail.exe \"Command Line\" Output Window",
                                   {120, 6180, 6000, 375}),
      OK_BUTTON(*this, "OK_BUTTON", "OK", {6960, 6120, 1500, 495}),
      app_(app),
      settings_(settings) {
    StyleAsTitle(FH_SENDWARDEN_OUTPUT_SETTINGS_TITLE);
    FH_SENDWARDEN_OUTPUT_SETTINGS_TITLE.setAlign(Align::Center);
    OUTPUT_COMMAND_TEXTBOX.setMultiLine(true);
    OUTPUT_COMMAND_TEXTBOX.setReadOnly(true);
    setDefaultButton(&OK_BUTTON);

    SE_EXE_OUTPUT_WINDOW_TICKBOX.onChange = [this] {
        const std::int16_t state = SE_EXE_OUTPUT_WINDOW_TICKBOX.state();
        settings_.mainWindow().SE_EXE_OUTPUT_WINDOW_TICKBOX.setState(state == 1 ? 1 : 0);
        app_.store.writeTick("SE_EXE_OUTPUT_WINDOW_TICKBOX", state);
    };
    OK_BUTTON.onPress = [this] {
        StoreWindowPosition(*this, app_.store, kPrefix);
        close();
    };
}

void OutputSettingsWindow::load() {
    LoadWindowGeometry(*this, app_.store, kPrefix, 8670, 7560);
    OUTPUT_COMMAND_TEXTBOX.setText(settings_.OUTPUT_COMMAND_TEXTBOX.text());
    SE_EXE_OUTPUT_WINDOW_TICKBOX.setState(app_.store.readTick("SE_EXE_OUTPUT_WINDOW_TICKBOX"));
}

void OutputSettingsWindow::unload() { StoreWindowPosition(*this, app_.store, kPrefix); }

}  // namespace fhsw
