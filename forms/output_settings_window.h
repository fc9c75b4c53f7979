// The output settings window FH_SENDWARDEN_OUTPUT_SETTINGS: shows the
// composed runner script read-only and carries the output-window option, in
// step with the main window's tick box of the same name.
#pragma once

#include "forms/placed_window.h"

namespace fhsw {

class SettingsMainWindow;

class OutputSettingsWindow : public PlacedWindow {
public:
    OutputSettingsWindow(AppContext& app, SettingsMainWindow& settings);

    Label FH_SENDWARDEN_OUTPUT_SETTINGS_TITLE;
    TextBox OUTPUT_COMMAND_TEXTBOX;
    TickBox SE_EXE_OUTPUT_WINDOW_TICKBOX;
    Button OK_BUTTON;

protected:
    void load() override;

private:
    SettingsMainWindow& settings_;
};

}  // namespace fhsw
