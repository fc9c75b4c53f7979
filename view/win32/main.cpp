// FH-SendWarden on Windows: start-up. Builds the platform services and the
// Win32 side, then opens the main window; the program ends when the main
// window has closed.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "forms/main_window.h"
#include "platform/platform_services.h"
#include "platform/windows/win32_z_order.h"
#include "view/win32/win32_images.h"
#include "view/win32/win32_scheduler.h"
#include "view/win32/win32_window_host.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    fhsw::PlatformServices platform = fhsw::MakePlatformServices();
    fhsw::Win32Images images;
    fhsw::Win32Scheduler scheduler;
    fhsw::Win32WindowHost host(images);
    fhsw::UiContext ui{scheduler, host};
    fhsw::SettingsStore store(*platform.settings, *platform.executable);
    store.onWriteError = [](const std::string& message) {
        std::fprintf(stderr, "fh-sendwarden: %s\n", message.c_str());
        std::fflush(stderr);
    };
    fhsw::Win32ZOrder zorder([&host](const fhsw::Window& window) {
        return reinterpret_cast<fhsw::ZOrder::Handle>(host.hwndOf(window));
    });
    fhsw::AppContext app{ui,
                         store,
                         *platform.launcher,
                         *platform.processes,
                         zorder,
                         *platform.files,
                         fhsw::RunFileNames::Native(),
                         platform.settingsLocation,
                         fhsw::MainWindow::SendTimeoutFrom(std::getenv("FHSW_SEND_TIMEOUT_SECONDS"))};
    fhsw::MainWindow mainWindow(app);
    mainWindow.show();
    if (!mainWindow.isClosed()) host.run();
    // However the message loop ended, the closing steps store the window's
    // state.
    if (!mainWindow.isClosed()) mainWindow.close();
    // What became of the last send (0: sent, or nothing sent).
    return mainWindow.exitStatus();
}
