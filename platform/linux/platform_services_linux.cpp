#include <unistd.h>

#include <filesystem>

#include "platform/linux/executable_name_linux.h"
#include "platform/linux/files_linux.h"
#include "platform/linux/ini_settings_backend.h"
#include "platform/linux/launcher_linux.h"
#include "platform/linux/process_query_linux.h"
#include "platform/platform_services.h"

namespace fhsw {

namespace {

// The runner-script interpreter lies beside the program in a build folder; a
// program file copied anywhere else (one copy per mailer) uses the one that
// the package installed. When neither is there: the path beside the program,
// so that a failed launch names it.
std::string RunnerInterpreter() {
    const std::string beside =
        (std::filesystem::path(RunningExecutablePath()).parent_path() / "fh-sendwarden-run").string();
    for (const std::string& path : {beside, std::string(FHSW_INSTALLED_RUNNER)}) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(path, ec) && ::access(path.c_str(), X_OK) == 0) return path;
    }
    return beside;
}

}  // namespace

PlatformServices MakePlatformServices() {
    PlatformServices p;
    auto ini = std::make_unique<IniSettingsBackend>(IniSettingsBackend::DefaultPath());
    p.settingsLocation = ini->path();
    p.settings = std::move(ini);
    p.executable = std::make_unique<LinuxExecutableName>();
    p.launcher = std::make_unique<LinuxLauncher>(RunnerInterpreter());
    p.processes = std::make_unique<LinuxProcessQuery>();
    p.files = std::make_unique<LinuxFiles>();
    return p;
}

}  // namespace fhsw
