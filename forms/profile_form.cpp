#include "forms/profile_form.h"

#include "compose/composer.h"

namespace fhsw {

void TlsTickBoxes::wire(std::function<void(const std::string&)> setting) {
    no.setState(1);
    yes.setEnabled(false);
    autoBox.setEnabled(false);
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
        const bool ticked = own.ticked();
        set(ticked ? text : "no");
        no.setState(ticked ? 0 : 1);
        no.setEnabled(!ticked);
        other.setState(0);
        other.setEnabled(false);
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

void TlsTickBoxes::loadFrom(const SettingsStore& store, const std::string& section) {
    auto read = [&](const ProfileField& f) { return store.readTickIn(section, f.key, f.tickDefault()); };
    const std::int16_t n = read(kTlsNo), y = read(kTlsYes), a = read(kTlsAuto);  // in this order
    // Values that no save writes (two ticks, a value other than 0 or 1) read as state No.
    const bool stored = n >= 0 && y >= 0 && a >= 0 && n + y + a <= 1;
    no.setState(stored ? n : 1);
    yes.setState(stored ? y : 0);
    autoBox.setState(stored ? a : 0);
}

namespace {
bool InSet(const ProfileField& f, FieldSet set) {
    return f.home == FieldHome::Settings && (set == FieldSet::Settings || f.shared);
}
}  // namespace

void WireFolderAndPassword(TextBox& folderCaption, TickBox& showPassword, TextBox& password) {
    folderCaption.setReadOnly(true);
    folderCaption.setTabStop(false);
    showPassword.onChange = [&showPassword, &password] { password.setPasswordChar(showPassword.ticked() ? "" : "*"); };
    showPassword.onChange();
}

std::string ControlValue(const Control& c) {
    if (c.kind() == ControlKind::TickBox) return std::to_string(static_cast<const TickBox&>(c).state());
    return c.text();
}

std::string FieldValue(const Window& w, const ProfileField& f) { return ControlValue(*w.find(f.key)); }

void LoadControl(Control& c, const SettingsStore& store, const std::string& section, const char* def) {
    if (c.kind() == ControlKind::TickBox)
        static_cast<TickBox&>(c).setState(store.readTickIn(section, c.name(), def[0] == '1'));
    else
        c.setText(store.ReadSetting(section, c.name(), def));
}

void LoadFields(Window& w, const SettingsStore& store, const std::string& section, FieldSet set,
                TlsTickBoxes& tls) {
    std::string cut;
    for (const ProfileField* f : kProfileFields) {
        if (!InSet(*f, set)) continue;
        if (f->kind == FieldKind::Tls) {
            if (f == &kTlsNo) tls.loadFrom(store, section);  // all three, in their order
        } else if (f->kind == FieldKind::Tick) {
            LoadControl(*w.find(f->key), store, section, f->def);
        } else {
            std::string text = store.ReadSetting(section, f->key, f->def);
            if (!f->multiLine && CharCount(text) > kMaxBatchLineLength) {
                text.resize(FirstChars(text, kMaxBatchLineLength).size());
                cut += (cut.empty() ? "" : ", ") + std::string(f->caption);
            }
            w.find(f->key)->setText(std::move(text));
        }
    }
    if (!cut.empty())
        w.setNotice("!!! " + cut + " held more than a command line carries: cut to " +
                    std::to_string(kMaxBatchLineLength) + " characters !!!");
}

void AppendFieldValues(const Window& w, const std::string& section, FieldSet set, std::vector<SettingValue>& values) {
    for (const ProfileField* f : kProfileFields)
        if (InSet(*f, set)) values.push_back({section, f->key, FieldValue(w, *f)});
}

}  // namespace fhsw
