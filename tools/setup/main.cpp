// fh-sendwarden-setup: fills in a Profile without a display, through the same
// windows the program uses, for demos and scripted tests.
//
//   fh-sendwarden-setup PROFILE [CONTROL=VALUE]... [TLS=no|open|yes|auto]
//   fh-sendwarden-setup --help        (every field with its caption and values)
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

// The fields a profile is filled in with: the control, the control whose
// text is its caption on screen, and what it takes.
struct Field {
    const char* name;
    const char* captionFrom;
    const char* values;
};

const std::vector<Field>& SettingsFields() {
    static const std::vector<Field> fields = {
        {"INSTALL_FOLDER_TEXTBOX", "INSTALL_FOLDER_LABEL_TEXTBOX",
         "folder that holds SendEmail.exe (e.g. a link to /usr/bin/sendemail)"},
        {"SEND_FROM_ADDRESS_TEXTBOX", "FROM_LABEL", "sender address"},
        {"SEND_TO_ADDRESS_TEXTBOX", "TO_LABEL", "recipient addresses, separated by commas"},
        {"SEND_CC_ADDRESS_TEXTBOX", "CC_LABEL", "copy recipients, separated by commas"},
        {"SEND_BCC_ADDRESS_TEXTBOX", "BCC_LABEL", "blind-copy recipients, separated by commas"},
        {"SMTP_SERVER_ADDRESS_PORT_TEXTBOX", "SMTP_SERVER_PORT_LABEL", "host:port, e.g. mail.example.org:587"},
        {"SMTP_USERNAME_TEXTBOX", "SMTP_USERNAME_LABEL", "log-in name; empty: no log-in"},
        {"SMTP_PASSWORD_TEXTBOX", "SMTP_PASSWORD_LABEL", "password (stored in clear text)"},
        {"TLS", "TLS_FRAME", "no | open | yes | auto  (open: no box ticked, sends as no)"},
        {"SUBJECT_TEXTBOX", "SUBJECT_MESSAGE_LABEL", "subject line"},
        {"MESSAGE_TEXTBOX", "SUBJECT_MESSAGE_LABEL", "message text; \\n is a line break (here only)"},
        {"FILE_AS_MESSAGE_TICKBOX", "FILE_AS_MESSAGE_TICKBOX", "0 | 1: send the message file below instead"},
        {"MESSAGE_FILE_LOCATION_TEXTBOX", "MESSAGE_FILE_LOCATION_LABEL", "full path of a text file"},
        {"ATTACHMENT_TICKBOX", "ATTACHMENT_TICKBOX", "0 | 1: attach the file below"},
        {"FILE_ATTACHMENT_TEXTBOX", "FILE_ATTACHMENT_LABEL", "full path of the file to attach"},
    };
    return fields;
}

const std::vector<Field>& MainWindowFields() {
    static const std::vector<Field> fields = {
        {"AUTOSTART_TICKBOX", "AUTOSTART_TICKBOX", "0 | 1: send 10 s after the program starts"},
        {"AUTOCLOSE_TICKBOX", "AUTOCLOSE_TICKBOX", "0 | 1: close 10 s after the send"},
        {"P4P_TICKBOX", "P4P_TICKBOX", "0 | 1: wait until SendEmail.exe has ended"},
        {"SE_EXE_OUTPUT_WINDOW_TICKBOX", "SE_EXE_OUTPUT_WINDOW_TICKBOX", "0 | 1: show the mail client in a terminal"},
        {"AlwaysOnTopTimer_TICKBOX", "AlwaysOnTopTimer_TICKBOX", "0 | 1: keep the main window on top"},
    };
    return fields;
}

std::string CaptionOf(const fhsw::Window& w, const Field& f) {
    const fhsw::Control* c = w.find(f.captionFrom);
    std::string caption = c ? c->text() : "";
    // Some captions carry an example after the name ("SENDEMAIL HOME - EXAMPLE - ...").
    for (const char* example : {" - EXAMPLE", " - e.g."}) {
        const std::size_t at = caption.find(example);
        if (at != std::string::npos) caption.resize(at);
    }
    const std::string name = f.name;
    if (name == "SUBJECT_TEXTBOX") return caption + std::string(" (subject)");
    if (name == "MESSAGE_TEXTBOX") return caption + std::string(" (message)");
    return caption;
}

// Lists every field with its caption in the windows and what it takes.
void PrintFields(std::FILE* out, const fhsw::Window& settings, const fhsw::Window& main) {
    auto section = [&](const char* title, const fhsw::Window& w, const std::vector<Field>& fields) {
        std::fprintf(out, "\n%s\n", title);
        for (const Field& f : fields) {
            std::string quoted = "\"";
            quoted.append(CaptionOf(w, f)).append("\"");
            std::fprintf(out, "  %-34s %-36s %s\n", f.name, quoted.c_str(), f.values);
        }
    };
    section("Fields of the settings window (\"Settings\"):", settings, SettingsFields());
    section("Options of the main window:", main, MainWindowFields());
}

void PrintUsage(std::FILE* out, const char* self) {
    std::fprintf(out,
                 "usage: %s PROFILE [FIELD=VALUE]...\n"
                 "Fills in the profile PROFILE (the file name of a program copy) and saves it as the\n"
                 "settings window's SAVE does: the settings, the runner script and the message file.\n"
                 "Fields not given keep their stored values.\n",
                 self);
}

int Run(const std::vector<std::string>& argv) {
    const int argc = static_cast<int>(argv.size());
    const bool help = argc >= 2 && (argv[1] == "--help" || argv[1] == "-h");
    if (argc < 2 || help) {
        // Captions come from the windows themselves, built on an empty store.
        fhsw::MemorySettingsBackend memory;
        fhsw::FixedExecutableName none("HELP");
        fhsw::SettingsStore blank(memory, none);
        fhsw::VirtualScheduler scheduler;
        NoWindows host;
        fhsw::UiContext ui{scheduler, host};
        fhsw::NoZOrder zorder;
        fhsw::PlatformServices platform = fhsw::MakePlatformServices();
        fhsw::AppContext app{ui, blank, *platform.launcher, *platform.processes, zorder,
                             *platform.files, fhsw::RunFileNames::Native(), platform.settingsLocation};
        fhsw::MainWindow main(app);
        fhsw::SettingsMainWindow settings(app, main);
        std::FILE* out = help ? stdout : stderr;
        PrintUsage(out, argv[0].c_str());
        PrintFields(out, settings, main);
        std::fprintf(out, "\nSettings are kept in %s\n", platform.settingsLocation.c_str());
        return help ? 0 : 2;
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
            if (value != "no" && value != "open" && value != "yes" && value != "auto") {
                std::fprintf(stderr, "fh-sendwarden-setup: TLS takes no, open, yes or auto, not %s\n",
                             value.c_str());
                return 2;
            }
            const fhsw::TlsState s = value == "open"   ? fhsw::TlsState::Open
                                     : value == "yes"  ? fhsw::TlsState::Yes
                                     : value == "auto" ? fhsw::TlsState::Auto
                                                       : fhsw::TlsState::No;
            settings.tls().bringTo(s);
        } else if (!Apply(settings, name, value) && !Apply(main, name, value)) {
            std::fprintf(stderr, "fh-sendwarden-setup: no such field: %s\n", name.c_str());
            PrintFields(stderr, settings, main);
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
