#include "platform/linux/executable_name_linux.h"
#include "platform/linux/ini_settings_backend.h"
#include "platform/linux/launcher_linux.h"
#include "platform/linux/process_query_linux.h"
#include "platform/linux/runner_location.h"
#include "platform/linux/files_linux.h"
#include "platform/platform_services.h"

namespace fhsw {

PlatformServices MakePlatformServices() {
    PlatformServices p;
    auto ini = std::make_unique<IniSettingsBackend>(IniSettingsBackend::DefaultPath());
    p.settingsLocation = ini->path();
    p.settings = std::move(ini);
    p.executable = std::make_unique<LinuxExecutableName>();
    // The runner-script interpreter lies beside the program in a build folder;
    // a program file copied anywhere else (one copy per mailer) uses the one
    // that the package installed.
    p.launcher = std::make_unique<LinuxLauncher>(
        FindRunnerInterpreter(RunningExecutablePath(), InstalledRunnerInterpreters()));
    p.processes = std::make_unique<LinuxProcessQuery>();
    p.files = std::make_unique<LinuxFiles>();
    return p;
}

}  // namespace fhsw
