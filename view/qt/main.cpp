// FH-SendWarden: start-up. Builds the platform services and the Qt side, then
// opens the main window; the program ends when the main window has closed.
#include <QApplication>
#include <QFont>

#include <cstdio>
#include <cstdlib>

#include "forms/main_window.h"
#include "platform/platform_services.h"
#include "view/qt/qt_runtime_dir.h"
#include "view/qt/qt_scheduler.h"
#include "view/qt/qt_window_host.h"
#include "view/qt/qt_z_order.h"

int main(int argc, char** argv) {
    fhsw::EnsureRuntimeDir();
    QApplication qapp(argc, argv);
    // The window layouts are drawn in twips for a narrow 8-point face.
    QFont face("DejaVu Sans Condensed");
    face.setPointSizeF(8);
    QApplication::setFont(face);
    fhsw::PlatformServices platform = fhsw::MakePlatformServices();
    fhsw::QtScheduler scheduler;
    fhsw::QtWindowHost host;
    fhsw::UiContext ui{scheduler, host};
    fhsw::SettingsStore store(*platform.settings, *platform.executable);
    // The main window also shows it in the window in front.
    store.onWriteError = [](const std::string& message) {
        std::fprintf(stderr, "fh-sendwarden: %s\n", message.c_str());
    };
    std::unique_ptr<fhsw::ZOrder> zorder = fhsw::MakeZOrder(host);
    fhsw::AppContext app{ui,
                         store,
                         *platform.launcher,
                         *platform.processes,
                         *zorder,
                         *platform.files,
                         fhsw::RunFileNames::Native(),
                         platform.settingsLocation,
                         fhsw::MainWindow::SendTimeoutFrom(std::getenv("FHSW_SEND_TIMEOUT_SECONDS"))};
    fhsw::MainWindow mainWindow(app);
    mainWindow.show();
    if (mainWindow.isClosed()) return mainWindow.exitStatus();
    const int status = qapp.exec();
    // However the event loop ended, the closing steps store the window's state.
    if (!mainWindow.isClosed()) mainWindow.close();
    // What became of the last send (0: sent, or nothing sent).
    return status != 0 ? status : mainWindow.exitStatus();
}
