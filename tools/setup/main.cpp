// fh-sendwarden-setup: fills in a Profile without a display, through the same
// windows the program uses, for demos and scripted tests.
//
//   fh-sendwarden-setup PROFILE [CONTROL=VALUE]... [TLS=no|open|yes|auto]
//   fh-sendwarden-setup --help        (every field with its caption and values)
//
// CONTROL is a field or tick box of the main settings window (for example
// SEND_TO_ADDRESS_TEXTBOX=ops@example.org, ATTACHMENT_TICKBOX=1) or one of
// the main window's tick boxes (AUTOSTART_TICKBOX=1, P4P_TICKBOX=1, ...).
// The settings window is then saved as its SAVE does, which writes the run
// files, and the main window's options are stored with it; a value SAVE
// refuses stores nothing (forms/profile_form.h). On Windows the arguments
// are read as UTF-16 and stored as typed, whatever the code page.
#include <cstdio>
#include <string>
#include <vector>

#include "forms/profile_form.h"
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

int Run(const std::vector<std::string>& argv) {
    fhsw::PlatformServices platform = fhsw::MakePlatformServices();
    const bool help = argv.size() >= 2 && (argv[1] == "--help" || argv[1] == "-h");
    if (argv.size() < 2 || help) {
        std::FILE* out = help ? stdout : stderr;
        std::fprintf(out,
                     "usage: %s PROFILE [FIELD=VALUE]...\n"
                     "Fills in the profile PROFILE (the file name of a program copy) and saves it as the\n"
                     "settings window's SAVE does: the settings, the runner script and the message file.\n"
                     "Fields not given keep their stored values.\n%s\nSettings are kept in %s\n",
                     argv[0].c_str(), fhsw::SetupFieldList().c_str(), platform.settingsLocation.c_str());
        return help ? 0 : 2;
    }
    fhsw::VirtualScheduler scheduler;
    NoWindows host;
    fhsw::UiContext ui{scheduler, host};
    fhsw::FixedExecutableName profile(argv[1]);
    fhsw::SettingsStore store(*platform.settings, profile);
    fhsw::NoZOrder zorder;
    fhsw::AppContext app{ui, store, *platform.launcher, *platform.processes, zorder,
                         *platform.files, fhsw::RunFileNames::Native(), platform.settingsLocation};
    std::string messages;
    const int status = fhsw::SetupProfile(app, {argv.begin() + 2, argv.end()}, messages);
    if (!messages.empty()) std::fprintf(stderr, "fh-sendwarden-setup: %s\n", messages.c_str());
    if (status == 0) std::printf("profile %s saved in %s\n", argv[1].c_str(), platform.settingsLocation.c_str());
    return status;
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
