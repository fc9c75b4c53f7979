// The geometry rule every window follows: read "<prefix>-Left", "-Top",
// "-Width", "-Height" from the Profile before the window is shown; store
// "-Left" and "-Top" when it is saved or closed. Sizes are never stored.
// A stored place that would leave the window's title bar on none of the
// host's screens gives way to the default place.
#pragma once

#include <string>
#include <vector>

#include "store/settings_store.h"
#include "ui/window.h"

namespace fhsw {

void LoadWindowGeometry(Window& w, const SettingsStore& store, const std::string& prefix,
                        float defaultWidth, float defaultHeight);
void StoreWindowPosition(const Window& w, SettingsStore& store, const std::string& prefix);
// What StoreWindowPosition stores, for a save that stores more in one go.
std::vector<SettingValue> PositionValues(const Window& w, const std::string& section, const std::string& prefix);

}  // namespace fhsw
