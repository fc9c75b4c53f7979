#include "forms/log_manager_window.h"

#include "forms/main_window.h"
#include "compose/profile_fields.h"

namespace fhsw {

namespace {
constexpr float kReportHeight = 1050;  // twips the window grows by to show a report
// The editor: notepad.exe on Windows, the desktop's opener elsewhere, with
// the path quoted so that a folder with blanks opens the right file.
#ifdef _WIN32
constexpr const char *kEditor = "notepad.exe ", *kQuote = "";
#else
constexpr const char *kEditor = "xdg-open ", *kQuote = "\"";
#endif
}  // namespace

LogManagerWindow::LogManagerWindow(AppContext& app, MainWindow& main)
    : PlacedWindow(app, "FH_SENDWARDEN_LOG_MANAGER", "FH-SENDWARDEN - LOG MANAGER", &main, "LOG_MANAGER", 3525, 2160),
      CLEAR_LOG_BUTTON(*this, "CLEAR_LOG_BUTTON", "CLEAR LOG", {120, 120, 1935, 495}),
      ENABLE_TICKBOX(*this, "ENABLE_TICKBOX", "Enable", {2175, 240, 1140, 255}),
      OPEN_LOG_BUTTON(*this, "OPEN_LOG_BUTTON", "Open Log In Notepad", {120, 735, 3195, 375}),
      OK_BUTTON(*this, "OK_BUTTON", "OK", {120, 1230, 3195, 375}),
      LOG_REPORT_LABEL(*this, "LOG_REPORT_LABEL", "", {120, 1725, 3195, 975}),
      NOTEPAD_TEXTBOX(*this, "NOTEPAD_TEXTBOX", kEditor, {}),
      SE_LOG_FILE_TEXTBOX(*this, "SE_LOG_FILE_TEXTBOX", app.runFiles.logFile, {}),
      INSTALL_FOLDER_TEXTBOX(*this, "INSTALL_FOLDER_TEXTBOX", "", {}),
      OPEN_LOG_COMMAND_TEXTBOX(*this, "OPEN_LOG_COMMAND_TEXTBOX", "OPEN LOG", {}),
      EMPTY_TEXTBOX(*this, "EMPTY_TEXTBOX", "", {}) {
    CLEAR_LOG_BUTTON.setEnabled(false);
    LOG_REPORT_LABEL.setForeground(colours::Red);
    LOG_REPORT_LABEL.setVisible(false);
    for (TextBox* hidden : {&NOTEPAD_TEXTBOX, &SE_LOG_FILE_TEXTBOX, &INSTALL_FOLDER_TEXTBOX,
                            &OPEN_LOG_COMMAND_TEXTBOX, &EMPTY_TEXTBOX})
        hidden->setVisible(false);
    setDefaultButton(&OK_BUTTON);

    ENABLE_TICKBOX.onChange = [this] { CLEAR_LOG_BUTTON.setEnabled(ENABLE_TICKBOX.state() == 1); };
    OPEN_LOG_BUTTON.onPress = [this] { openLog(); };
    CLEAR_LOG_BUTTON.onPress = [this] { clearLog(); };
    OK_BUTTON.onPress = [this] {
        storePlace();
        close();
    };
}

void LogManagerWindow::load() {
    PlacedWindow::load();
    INSTALL_FOLDER_TEXTBOX.setText(app_.store.readText(kInstallFolder.key));
    OPEN_LOG_COMMAND_TEXTBOX.setText(NOTEPAD_TEXTBOX.text() + kQuote + logPath() + kQuote);
}

std::string LogManagerWindow::logPath() const {
    return INSTALL_FOLDER_TEXTBOX.text() + SE_LOG_FILE_TEXTBOX.text();
}

void LogManagerWindow::report(const std::string& text) {
    if (!LOG_REPORT_LABEL.visible()) setHeight(height() + kReportHeight);
    LOG_REPORT_LABEL.setText(text);
    LOG_REPORT_LABEL.setVisible(true);
}

void LogManagerWindow::openLog() {
    if (INSTALL_FOLDER_TEXTBOX.text().empty())
        return report("Cannot open the log: no SENDEMAIL HOME folder is saved in Settings.");
    if (!app_.files.isFile(logPath()))
        return report("Cannot open " + logPath() + ": no such file (nothing was sent yet?).");
    LaunchResult result = app_.launcher.launch(OPEN_LOG_COMMAND_TEXTBOX.text(), true);
    if (!result.ok) report("Cannot open " + logPath() + ": " + result.error);
}

void LogManagerWindow::clearLog() {
    std::string error;
    if (INSTALL_FOLDER_TEXTBOX.text().empty())
        report("Log not cleared: no SENDEMAIL HOME folder is saved in Settings.");
    // Private: the mail client logs the SMTP log-in there.
    else if (!app_.files.writeLine(logPath(), EMPTY_TEXTBOX.text(), TextFileKind::Log, true, error))
        report("Cannot clear " + logPath() + ": " + error);
    ENABLE_TICKBOX.setState(0);
    CLEAR_LOG_BUTTON.setEnabled(false);
}

}  // namespace fhsw
