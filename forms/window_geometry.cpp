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
    store.writeNumber(prefix + "-Left", w.left());
    store.writeNumber(prefix + "-Top", w.top());
}

}  // namespace fhsw
