// The main window FH_SENDWARDEN_MAIN: shows the Profile in use, the stored
// recipients and subject and the status of a send run; holds the run
// controller (countdown, launch, process watch, auto-close) and the
// always-on-top option; opens the Settings, Log Manager and About windows.
#pragma once

#include <string>

#include "forms/app_context.h"
#include "ui/window.h"

namespace fhsw {

class MainWindow : public Window {
public:
    explicit MainWindow(AppContext& app);

    // Status texts of the run.
    static constexpr const char* kReady = "READY...";
    static constexpr const char* kCountdown = "EMAIL AUTOSEND IN 10 SECS...";
    static constexpr const char* kSending = "!!! AUTOSENDING EMAIL NOW !!!";
    static constexpr const char* kRunning = "!!! SendEmail.exe IS RUNNING...!!!";
    static constexpr const char* kCompleted = "COMPLETED...";
    static constexpr const char* kClosing = "!!! COMPLETED - CLOSING NOW !!!";
    static constexpr const char* kAborted = "!!! ABORTED !!!";
    static constexpr const char* kClosingAfterDialog = "!!! COMPLETED - CLOSING WHEN DIALOG CLOSES !!!";
    static constexpr const char* kLaunchFailed = "!!! SEND FAILED: ";

    // START/STOP is the default button and first in the focus order.
    Button START_STOP_BUTTON;
    Label FH_SENDWARDEN_TITLE_2;
    Label STATUS_LABEL;
    Label CURRENT_STATUS_LABEL;
    Label EXE_NAME_LABEL;
    Label APP_EXE_NAME_TEXTBOX;
    Label TO_LABEL;
    TextBox SEND_TO_ADDRESS_TEXTBOX;
    Label SUBJECT_LABEL;
    TextBox SUBJECT_TEXTBOX;
    PictureBox Picture1;
    Button LOG_MANAGER_BUTTON;
    Button ABOUT_BUTTON;
    TickBox AUTOSTART_TICKBOX;
    TickBox AUTOCLOSE_TICKBOX;
    TickBox AlwaysOnTopTimer_TICKBOX;
    TickBox SE_EXE_OUTPUT_WINDOW_TICKBOX;
    TickBox P4P_TICKBOX;
    Button SEND_EMAIL_NOW_BUTTON;
    Button SETTINGS_BUTTON;
    Button EXIT_BUTTON;
    TextBox SE_RUNNER_BAT_LOCATION_TEXTBOX;

    Timer AUTOSTART_TIMER;
    Timer AUTOCLOSE_TIMER;
    Timer PROCESS_WATCHER_TIMER;
    Timer AlwaysOnTopTimer;

    AppContext& app() const { return app_; }

protected:
    void load() override;
    void unload() override;

private:
    void storeState();  // what the closing steps and Exit store
    template <class Dialog>
    void openDialog();

    // Run controller.
    void armRunController();
    void startStopPressed();
    void sendEmailNowPressed();
    void countdownElapsed();
    void watchTick();
    void autoCloseElapsed();
    void autoStartChanged();
    bool launchRunner();
    void reportLaunchFailure(const std::string& reason);
    void setStatus(const std::string& text);

    // Always on top.
    void alwaysOnTopChanged();
    void alwaysOnTopTick();

    AppContext& app_;
    bool closeWhenDialogCloses_ = false;
    std::string lastLogged_;
};

}  // namespace fhsw
