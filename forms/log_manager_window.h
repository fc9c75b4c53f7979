// The log manager FH_SENDWARDEN_LOG_MANAGER: opens the mailer's log file in
// the text editor and empties it behind the "Enable" guard.
#pragma once

#include "forms/placed_window.h"

namespace fhsw {

class MainWindow;

class LogManagerWindow : public PlacedWindow {
public:
    LogManagerWindow(AppContext& app, MainWindow& main);

    Button CLEAR_LOG_BUTTON;
    TickBox ENABLE_TICKBOX;
    Button OPEN_LOG_BUTTON;
    Button OK_BUTTON;
    Label LOG_REPORT_LABEL;  // what went wrong, shown below the buttons
    TextBox NOTEPAD_TEXTBOX;
    TextBox SE_LOG_FILE_TEXTBOX;
    TextBox INSTALL_FOLDER_TEXTBOX;
    TextBox OPEN_LOG_COMMAND_TEXTBOX;
    TextBox EMPTY_TEXTBOX;

protected:
    void load() override;

private:
    std::string logPath() const;
    void openLog();
    void clearLog();
    void report(const std::string& text);
};

}  // namespace fhsw
