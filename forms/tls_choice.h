// The TLS choice: three tick boxes "no", "yes" and "auto" that together hold
// one of four states. Used by the main settings and shared settings windows.
#pragma once

#include <functional>
#include <string>

#include "ui/controls.h"

namespace fhsw {

class SettingsStore;

enum class TlsState { No, Open, Yes, Auto };

struct TlsTickBoxes {
    TickBox& no;
    TickBox& yes;
    TickBox& autoBox;

    // Installs the change rules. `setting` (may be empty) receives the TLS
    // text "no", "yes" or "auto" whenever the rules set it.
    void wire(std::function<void(const std::string&)> setting);
    TlsState state() const;
    // Brings the boxes into `target` by setting their states, so that the
    // change rules run as they would for clicks, whatever the current state.
    void bringTo(TlsState target);
    // Sets the boxes from stored values in the order "no", "yes", "auto".
    // Values that no save ever writes (two ticks, a value other than 0 or
    // 1) are read as the default state No.
    void loadStored(std::int16_t no, std::int16_t yes, std::int16_t autoValue);
    // Reads the three stored keys of `section` and applies them.
    void loadFrom(const SettingsStore& store, const std::string& section);
};

}  // namespace fhsw
