// A window's Profile fields: the TLS choice (three tick boxes "no", "yes"
// and "auto" that together hold one of four states), and the fields to and
// from the settings store by the field table, each control named with its
// key. Used by the main settings and shared settings windows and by the
// setup tool.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "compose/profile_fields.h"
#include "forms/app_context.h"
#include "store/settings_store.h"
#include "ui/window.h"

namespace fhsw {

enum class TlsState { No, Open, Yes, Auto };

struct TlsTickBoxes {
    TickBox& no;
    TickBox& yes;
    TickBox& autoBox;

    // Puts the boxes in state No, as designed, and installs the change
    // rules. `setting` (may be empty) receives the TLS text "no", "yes" or
    // "auto" whenever the rules set it.
    void wire(std::function<void(const std::string&)> setting);
    TlsState state() const;
    // Brings the boxes into `target` by setting their states, so that the
    // change rules run as they would for clicks, whatever the current state.
    void bringTo(TlsState target);
    // Reads the three stored keys of `section` and sets the boxes from them,
    // "no", "yes", then "auto".
    void loadFrom(const SettingsStore& store, const std::string& section);
};

// Which fields a window holds: the settings window's, or only the shared ones.
enum class FieldSet { Settings, Shared };

// Sets up what both profile windows show alike: the folder's caption field,
// read-only and skipped by Tab, and the password masked unless "Show
// Password" is ticked.
void WireFolderAndPassword(TextBox& folderCaption, TickBox& showPassword, TextBox& password);
// A control's value as stored: its text, or its tick state as "0" or "1".
std::string ControlValue(const Control& c);
// The field's value, from the window's control of that name.
std::string FieldValue(const Window& w, const ProfileField& f);
// Sets a control from the value stored in `section` under its name (`def`
// when absent): a tick box's state ("1" ticks it; a value that does not
// convert reads as `def`), or the text.
void LoadControl(Control& c, const SettingsStore& store, const std::string& section, const char* def = "");

// Reads the fields of `set` from `section` into their controls, in table
// order, the TLS boxes through `tls`. A one-line text longer than a command
// line carries is cut to that length, and the window's notice names it.
void LoadFields(Window& w, const SettingsStore& store, const std::string& section, FieldSet set,
                TlsTickBoxes& tls);

// Appends the fields of `set` to `values` as they are stored, in table order.
void AppendFieldValues(const Window& w, const std::string& section, FieldSet set, std::vector<SettingValue>& values);

// What fh-sendwarden-setup does: sets the fields named by `assignments`
// (FIELD=VALUE; TLS=no|open|yes|auto) in the current Profile's settings
// window and saves it; the main window's options are stored with the
// settings, in one go. Fields not named keep their stored values. Returns 0
// when saved, 1 when not saved, 2 for a wrong assignment; nothing is stored
// unless it returns 0. `messages` gets what the user should read.
int SetupProfile(AppContext& app, const std::vector<std::string>& assignments, std::string& messages);
// Every field the setup tool takes, with its caption and what it takes.
std::string SetupFieldList();

}  // namespace fhsw
