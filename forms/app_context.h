// Everything a window reaches outside itself: the toolkit side, the settings
// store and the platform operations. Built once at start-up (or by a test).
#pragma once

#include <string>

#include "compose/run_files.h"
#include "platform/launcher.h"
#include "platform/process_query.h"
#include "platform/files.h"
#include "platform/z_order.h"
#include "store/settings_store.h"
#include "ui/window.h"

namespace fhsw {

struct AppContext {
    UiContext& ui;
    SettingsStore& store;
    Launcher& launcher;
    ProcessQuery& processes;
    ZOrder& zorder;
    Files& files;
    RunFileNames runFiles = RunFileNames::Native();
    // Where saved settings live, in words for the About window.
    std::string settingsLocation = "THE WINDOWS REGISTRY";
    // How long a watched send may take before it is stopped and reported.
    int sendTimeoutSeconds = 600;
};

}  // namespace fhsw
