// What the program's windows share: each keeps its place in the Profile
// ("<prefix>-Left" and "-Top"), read with its size ("-Width", "-Height",
// never stored) when it opens and stored when it closes; a dialog's OK
// stores it as well before it closes the window. Dialogs are shown modally
// over the window that opens them.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "forms/app_context.h"
#include "forms/window_geometry.h"

namespace fhsw {

class PlacedWindow : public Window {
public:
    PlacedWindow(AppContext& app, std::string name, std::string caption, Window* owner, const char* prefix,
                 float width, float height)
        : Window(app.ui, std::move(name), std::move(caption), owner), app_(app), prefix_(prefix),
          designWidth_(width), designHeight_(height) {}

protected:
    void load() override { LoadWindowGeometry(*this, app_.store, prefix_, designWidth_, designHeight_); }
    void unload() override { storePlace(); }
    void storePlace() { StoreWindowPosition(*this, app_.store, prefix_); }
    // The place, for a save that stores it with other values in one go.
    std::vector<SettingValue> placeValues() const { return PositionValues(*this, app_.store.ProfileName(), prefix_); }

    AppContext& app_;

private:
    const char* prefix_;
    float designWidth_, designHeight_;
};

// Shows a new `Dialog` owned by `owner`, modally; returns once it has closed.
template <class Dialog, class Owner>
void ShowDialog(AppContext& app, Owner& owner) {
    Dialog dialog(app, owner);
    owner.showModal(dialog);
}

}  // namespace fhsw
