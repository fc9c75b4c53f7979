// The platform operations of the running program, made once at start-up.
#pragma once

#include <memory>
#include <string>

#include "platform/executable_name.h"
#include "platform/launcher.h"
#include "platform/process_query.h"
#include "platform/settings_backend.h"
#include "platform/files.h"

namespace fhsw {

struct PlatformServices {
    std::unique_ptr<SettingsBackend> settings;
    std::unique_ptr<ExecutableName> executable;
    std::unique_ptr<Launcher> launcher;
    std::unique_ptr<ProcessQuery> processes;
    std::unique_ptr<Files> files;
    // Where saved settings live, in words for the user.
    std::string settingsLocation;
};

PlatformServices MakePlatformServices();

}  // namespace fhsw
