// fh-sendwarden-setup: fills in a Profile without a display, through the same
// windows the program uses, for demos and scripted tests.
//
//   fh-sendwarden-setup PROFILE [CONTROL=VALUE]... [TLS=no|open|yes|auto]
//
// CONTROL is a field or tick box of the main settings window (for example
// SEND_TO_ADDRESS_TEXTBOX=ops@example.org, ATTACHMENT_TICKBOX=1) or one of
// the main window's tick boxes (AUTOSTART_TICKBOX=1, P4P_TICKBOX=1, ...).
// The settings window is then saved, which writes the run files, and the
// main window is closed, which stores its options. "\n" in the value of
// MESSAGE_TEXTBOX, the one multi-line field, stands for a line break (CR LF);
// every other value is stored as given, so that Windows paths such as
// C:\nightly keep their backslashes. On Windows the arguments are read as
// UTF-16 and stored as typed, whatever the code page.
#include <cstdio>
#include <string>
#include <vector>

#include "forms/settings_main_window.h"
#include "forms/main_window.h"
#include "platform/platform_services.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/command_line.h"
#include "platform/windows/win32_text.h"
#endif

namespace {

class NoWindows final : public fhsw::WindowHost {
public:
    void show(fhsw::Window&) override {}
    void runModal(fhsw::Window& dialog) override { dialog.close(); }
};

std::string Unescape(const std::string& s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size() && s[i + 1] == 'n') {
            out += "\r\n";
            ++i;
        } else {
            out += s[i];
        }
    }
    return out;
}

bool Apply(fhsw::Window& w, const std::string& name, const std::string& value) {
    fhsw::Control* c = w.find(name);
    if (auto* t = dynamic_cast<fhsw::TextBox*>(c)) {
        t->setText(value);
        return true;
    }
    if (auto* b = dynamic_cast<fhsw::TickBox*>(c)) {
        b->setState(value == "1" ? 1 : 0);
        return true;
    }
    return false;
}

int Run(const std::vector<std::string>& argv) {
    const int argc = static_cast<int>(argv.size());
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PROFILE [CONTROL=VALUE]... [TLS=no|open|yes|auto]\n", argv[0].c_str());
        return 2;
    }
    fhsw::PlatformServices platform = fhsw::MakePlatformServices();
    fhsw::VirtualScheduler scheduler;
    NoWindows host;
    fhsw::UiContext ui{scheduler, host};
    fhsw::FixedExecutableName profile(argv[1]);
    fhsw::SettingsStore store(*platform.settings, profile);
    bool storeFailed = false;
    store.onWriteError = [&](const std::string& m) {
        std::fprintf(stderr, "fh-sendwarden-setup: %s\n", m.c_str());
        storeFailed = true;
    };
    fhsw::NoZOrder zorder;
    fhsw::AppContext app{ui, store, *platform.launcher, *platform.processes, zorder,
                         *platform.files, fhsw::RunFileNames::Native(), platform.settingsLocation};
    fhsw::MainWindow main(app);
    main.show();
    fhsw::SettingsMainWindow settings(app, main);
    settings.show();
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto eq = arg.find('=');
        if (eq == std::string::npos) {
            std::fprintf(stderr, "fh-sendwarden-setup: expected CONTROL=VALUE, got %s\n", argv[i].c_str());
            return 2;
        }
        const std::string name = arg.substr(0, eq);
        const std::string value =
            name == "MESSAGE_TEXTBOX" ? Unescape(arg.substr(eq + 1)) : arg.substr(eq + 1);
        if (name == "TLS") {
            const fhsw::TlsState s = value == "open"   ? fhsw::TlsState::Open
                                     : value == "yes"  ? fhsw::TlsState::Yes
                                     : value == "auto" ? fhsw::TlsState::Auto
                                                       : fhsw::TlsState::No;
            settings.tls().bringTo(s);
        } else if (!Apply(settings, name, value) && !Apply(main, name, value)) {
            std::fprintf(stderr, "fh-sendwarden-setup: no such field: %s\n", name.c_str());
            return 2;
        }
    }
    settings.SAVE_BUTTON.press();
    const std::string report = settings.SAVE_REPORT_LABEL.text();
    settings.close();
    main.close();
    if (!report.empty()) std::fprintf(stderr, "fh-sendwarden-setup: %s\n", report.c_str());
    if (storeFailed || report.find("NOT SAVED") != std::string::npos) return 1;
    std::printf("profile %s saved in %s\n", argv[1].c_str(), platform.settingsLocation.c_str());
    return 0;
}

}  // namespace

#ifdef _WIN32
// The arguments as typed: the UTF-16 command line split by the C runtime's
// rules (the narrow argv would carry them in the ANSI code page, with
// best-fit stand-ins such as 'O' for 'Ω').
int main() { return Run(fhsw::SplitCrtCommandLine(fhsw::Narrow(::GetCommandLineW()))); }
#else
int main(int argc, char** argv) { return Run(std::vector<std::string>(argv, argv + argc)); }
#endif
