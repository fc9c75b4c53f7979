#include "forms/tls_choice.h"

#include "store/settings_store.h"

namespace fhsw {

void TlsTickBoxes::wire(std::function<void(const std::string&)> setting) {
    auto set = [setting](const char* text) {
        if (setting) setting(text);
    };
    no.onChange = [this, set] {
        set("no");
        const bool ticked = no.ticked();
        yes.setState(0);
        yes.setEnabled(!ticked);
        autoBox.setState(0);
        autoBox.setEnabled(!ticked);
    };
    // Ticking "yes" or "auto" locks the other two; unticking it goes back to
    // state No.
    auto exclusive = [this, set](TickBox& own, TickBox& other, const char* text) {
        if (own.ticked()) {
            set(text);
            no.setState(0);
            no.setEnabled(false);
            other.setState(0);
            other.setEnabled(false);
        } else {
            set("no");
            no.setState(1);
            no.setEnabled(true);
            other.setState(0);
            other.setEnabled(false);
        }
    };
    yes.onChange = [this, exclusive] { exclusive(yes, autoBox, "yes"); };
    autoBox.onChange = [this, exclusive] { exclusive(autoBox, yes, "auto"); };
}

TlsState TlsTickBoxes::state() const {
    if (no.ticked()) return TlsState::No;
    if (yes.ticked()) return TlsState::Yes;
    if (autoBox.ticked()) return TlsState::Auto;
    return TlsState::Open;
}

void TlsTickBoxes::bringTo(TlsState target) {
    // Through state No to state Open, from where every state is one tick away.
    yes.setState(0);
    autoBox.setState(0);
    no.setState(0);
    if (target == TlsState::No) no.setState(1);
    if (target == TlsState::Yes) yes.setState(1);
    if (target == TlsState::Auto) autoBox.setState(1);
}

void TlsTickBoxes::loadStored(std::int16_t n, std::int16_t y, std::int16_t a) {
    auto isTick = [](std::int16_t v) { return v == 0 || v == 1; };
    if (!isTick(n) || !isTick(y) || !isTick(a) || n + y + a > 1) {
        n = 1;
        y = 0;
        a = 0;
    }
    no.setState(n);
    yes.setState(y);
    autoBox.setState(a);
}

void TlsTickBoxes::loadFrom(const SettingsStore& store, const std::string& section) {
    const std::int16_t n = store.readTickIn(section, "TLS_NO_TICKBOX", 1);
    const std::int16_t y = store.readTickIn(section, "TLS_YES_TICKBOX", 0);
    const std::int16_t a = store.readTickIn(section, "TLS_AUTO_TICKBOX", 0);
    loadStored(n, y, a);
}

}  // namespace fhsw
