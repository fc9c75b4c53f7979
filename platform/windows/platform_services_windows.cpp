#include "platform/platform_services.h"
#include "platform/windows/executable_name_windows.h"
#include "platform/windows/launcher_windows.h"
#include "platform/windows/process_query_windows.h"
#include "platform/windows/registry_settings_backend.h"
#include "platform/windows/files_windows.h"

namespace fhsw {

PlatformServices MakePlatformServices() {
    PlatformServices p;
    p.settings = std::make_unique<RegistrySettingsBackend>();
    p.settingsLocation = "THE WINDOWS REGISTRY";
    p.executable = std::make_unique<WindowsExecutableName>();
    p.launcher = std::make_unique<WindowsLauncher>();
    p.processes = std::make_unique<WindowsProcessQuery>();
    p.files = std::make_unique<WindowsFiles>();
    return p;
}

}  // namespace fhsw
