#include "forms/profile_form.h"

#include <cstdio>
#include <optional>
#include <utility>

#include "forms/main_window.h"
#include "forms/settings_main_window.h"

namespace fhsw {

namespace {
// "\n" in the multi-line message stands for a line break; every other value
// is taken as given, so that Windows paths such as C:\nightly keep theirs.
std::string Unescape(std::string s) {
    for (std::size_t at = 0; (at = s.find("\\n", at)) != std::string::npos; at += 2) s.replace(at, 2, "\r\n");
    return s;
}

constexpr const char* kTlsStates[] = {"no", "open", "yes", "auto"};  // in TlsState's order
}  // namespace

std::string SetupFieldList() {
    std::string out = "\nFields of the settings window (\"Settings\"):\n";
    auto add = [&out](const char* name, const char* caption, const char* help) {
        char quoted[128], line[512];
        std::snprintf(quoted, sizeof quoted, "\"%s\"", caption);
        std::snprintf(line, sizeof line, "  %-34s %-36s %s\n", name, quoted, help);
        out += line;
    };
    for (const ProfileField* f : kProfileFields) {
        if (f == &kAutoStart) out += "\nOptions of the main window:\n";
        if (f == &kTlsNo) add(kTlsCaption, kTlsCaption, kTlsHelp);
        if (f->kind != FieldKind::Tls) add(f->key, f->caption, f->help);
    }
    return out;
}

int SetupProfile(AppContext& app, const std::vector<std::string>& assignments, std::string& messages) {
    std::vector<std::pair<const ProfileField*, std::string>> fields;
    std::vector<SettingValue> options;
    std::optional<TlsState> tls;
    for (const std::string& arg : assignments) {
        const auto eq = arg.find('=');
        const std::string name = arg.substr(0, eq), value = eq == std::string::npos ? "" : arg.substr(eq + 1);
        const ProfileField* f = FindField(name);
        std::optional<TlsState> state;
        for (int i = 0; i < 4; ++i)
            if (value == kTlsStates[i]) state = static_cast<TlsState>(i);
        if (eq == std::string::npos) messages = "expected FIELD=VALUE, got " + arg;
        else if (name == kTlsCaption && !state) messages = "TLS takes no, open, yes or auto, not " + value;
        else if (name == kTlsCaption) tls = state;
        else if (!f || f->kind == FieldKind::Tls) messages = "no such field: " + name + "\n" + SetupFieldList();
        else if (f->kind == FieldKind::Tick && value != "0" && value != "1")
            messages = name + " (\"" + f->caption + "\") takes 0 or 1, not " + value;
        else if (f->home == FieldHome::Main) options.push_back({app.store.ProfileName(), f->key, value});
        else fields.emplace_back(f, f->multiLine ? Unescape(value) : value);
        if (!messages.empty()) return 2;
    }

    // Settings that cannot be read would be saved back as their defaults.
    std::string readError;
    auto previous = std::exchange(app.store.onReadError(), [&](const std::string& m) { readError = m; });
    int status = 1;
    {
        MainWindow main(app);
        SettingsMainWindow settings(app, main);
        settings.show();
        if (readError.empty()) {
            for (const auto& [f, value] : fields) {
                Control* c = settings.find(f->key);
                if (f->kind == FieldKind::Tick) static_cast<TickBox*>(c)->setState(value == "1");
                else c->setText(value);
            }
            if (tls) settings.tls().bringTo(*tls);
            status = settings.save(options) ? 0 : 1;
            messages = settings.notice();
            const std::string& report = settings.SAVE_REPORT_LABEL.text();
            messages += (messages.empty() || report.empty() ? "" : "\n") + report;
        } else {
            messages = "cannot read the settings (" + readError + "): nothing saved";
        }
    }
    app.store.onReadError() = std::move(previous);
    return status;
}

}  // namespace fhsw
