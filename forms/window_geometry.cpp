#include "forms/window_geometry.h"

namespace fhsw {

void LoadWindowGeometry(Window& w, const SettingsStore& store, const std::string& prefix,
                        float defaultWidth, float defaultHeight) {
    w.setLeft(store.readNumber(prefix + "-Left", 1000));
    w.setTop(store.readNumber(prefix + "-Top", 1000));
    w.setWidth(store.readNumber(prefix + "-Width", defaultWidth));
    w.setHeight(store.readNumber(prefix + "-Height", defaultHeight));
}

void StoreWindowPosition(const Window& w, SettingsStore& store, const std::string& prefix) {
    for (const SettingValue& v : PositionValues(w, store.ProfileName(), prefix))
        store.WriteSetting(v.section, v.key, v.value);
}

std::vector<SettingValue> PositionValues(const Window& w, const std::string& section, const std::string& prefix) {
    return {{section, prefix + "-Left", FormatNumber(w.left())}, {section, prefix + "-Top", FormatNumber(w.top())}};
}

}  // namespace fhsw
