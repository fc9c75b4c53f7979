// The settings store with a large settings file against a small one, in the
// program's own windows (their logic, without a screen): the reads when the
// main window opens, opening the settings window, and one SAVE after the
// subject was changed, in two shapes: as the window does it today (one
// write per value) and as it is to do it (the two run files staged, every
// value in one write, the install folder of every profile read, to find
// profiles that share one, the run files committed). Real settings file, real run
// files; files measured alternately, each round on a fresh copy that has not
// changed for a few seconds (as a file saved long before the program
// starts). Prints medians, ranges and the ratios to the first file; asserts
// nothing.
//
//   settings_bench grow SOURCE TARGET PROFILE COUNT
//       TARGET: SOURCE with COUNT-1 copies of the PROFILE section under other
//       names (JOB-0001, ...), as a machine with many mailers has.
//   settings_bench measure PROFILE ROUNDS FILE...
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <tuple>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "forms/main_window.h"
#include "forms/settings_main_window.h"
#include "platform/linux/ini_settings_backend.h"
#include "platform/linux/files_linux.h"
#include "tests/support/test_app.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

int Grow(const std::string& source, const std::string& target, const std::string& profile, int count) {
    const std::string text = ReadFile(source);
    const std::string header = "[" + profile + "]\n";
    const std::size_t at = text.find(header);
    if (at == std::string::npos) {
        std::fprintf(stderr, "no section [%s] in %s\n", profile.c_str(), source.c_str());
        return 1;
    }
    std::size_t end = text.find("\n[", at + header.size());
    end = end == std::string::npos ? text.size() : end + 1;
    std::string body = text.substr(at + header.size(), end - at - header.size());
    if (!body.empty() && body.back() != '\n') body += '\n';
    std::ofstream out(target, std::ios::binary);
    out << text;
    if (!text.empty() && text.back() != '\n') out << '\n';
    for (int i = 1; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "JOB-%04d", i);
        out << "\n[" << name << "]\n" << body;
    }
    return out.good() ? 0 : 1;
}

struct Figures {
    std::vector<double> startup, opening, save, batchSave;
};

// Passes everything on; keeps the values of the writes while `log` is set.
class Recorder final : public fhsw::SettingsBackend {
public:
    explicit Recorder(fhsw::SettingsBackend& inner) : inner_(inner) {}
    std::optional<std::string> read(const std::string& section, const std::string& key) override {
        return inner_.read(section, key);
    }
    bool writeAll(const std::vector<fhsw::SettingValue>& values, std::string& error) override {
        if (log) log->insert(log->end(), values.begin(), values.end());
        return inner_.writeAll(values, error);
    }
    std::vector<std::string> sections() override { return inner_.sections(); }
    std::vector<fhsw::SettingValue>* log = nullptr;

private:
    fhsw::SettingsBackend& inner_;
};

// One round on one file: the main window opens, Settings opens, the subject
// changes, SAVE: pressed (batch empty: it is kept in `batch`), or as a batch.
void Round(const std::string& file, const std::string& profile, int round, std::vector<fhsw::SettingValue>& batch,
           Figures& f) {
    using namespace fhsw;
    IniSettingsBackend backend(file);
    Recorder recorder(backend);
    FixedExecutableName exe(profile);
    SettingsStore store(recorder, exe);
    VirtualScheduler sched;
    test::ScriptedHost host;
    UiContext ui{sched, host};
    test::FakeLauncher launcher;
    test::FakeProcesses processes;
    test::FakeZOrder zorder;
    LinuxFiles files;
    AppContext app{ui, store, launcher, processes, zorder, files, RunFileNames::Native()};

    auto start = Clock::now();
    MainWindow main(app);
    main.show();
    f.startup.push_back(Ms(Clock::now() - start));

    Clock::time_point opened{};
    host.scripts["FH_SENDWARDEN_SETTINGS_MAIN"] = [&](Window& w) {
        opened = Clock::now();
        auto& settings = static_cast<SettingsMainWindow&>(w);
        const std::string subject = "Nightly report, round " + std::to_string(round);
        settings.SUBJECT_TEXTBOX.type(subject);
        const auto before = Clock::now();
        if (batch.empty()) {
            recorder.log = &batch;
            settings.SAVE_BUTTON.press();
            recorder.log = nullptr;
            f.save.push_back(Ms(Clock::now() - before));
            return;
        }
        for (SettingValue& v : batch)
            if (v.key == "SUBJECT_TEXTBOX") v.value = subject;
        // Both run files staged, the values stored, every profile's install
        // folder read, both run files committed.
        std::string error;
        const std::string folder = settings.INSTALL_FOLDER_TEXTBOX.text();
        const auto message = files.stage(folder + app.runFiles.messageFile, settings.MESSAGE_TEXTBOX.text(),
                                         TextFileKind::MessageFile, true, error);
        const auto script = files.stage(folder + app.runFiles.runnerScript, settings.OUTPUT_COMMAND_TEXTBOX.text(),
                                        TextFileKind::RunnerScript, true, error);
        bool ok = message && script && store.WriteSettings(batch, error);
        std::size_t sharing = 0;
        for (const std::string& section : store.Sections())
            sharing += section != profile && store.ReadSetting(section, "INSTALL_FOLDER_TEXTBOX", "") == folder;
        ok = ok && message->commit(error) && script->commit(error);
        f.batchSave.push_back(Ms(Clock::now() - before));
        if (!ok) std::fprintf(stderr, "round %d: %s (%zu others share it)\n", round, error.c_str(), sharing);
    };
    start = Clock::now();
    main.SETTINGS_BUTTON.press();
    f.opening.push_back(Ms(opened - start));
}

void Print(const char* what, const std::vector<Figures>& all, std::vector<double> Figures::*field,
           const std::vector<std::string>& names) {
    auto summary = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        const std::size_t n = v.size();
        return std::vector<double>{n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2, v.front(), v.back()};
    };
    if ((all[0].*field).empty()) return;
    const double base = summary(all[0].*field)[0];
    for (std::size_t i = 0; i < all.size(); ++i) {
        const auto s = summary(all[i].*field);
        std::printf("  %-22s %-28s median %8.3f ms (%.3f-%.3f)  %.2fx\n", what, names[i].c_str(), s[0], s[1], s[2],
                    s[0] / base);
    }
}

int Measure(const std::string& profile, int rounds, const std::vector<std::string>& sources) {
    std::vector<std::string> names;
    std::vector<std::string> texts;
    for (const std::string& s : sources) {
        texts.push_back(ReadFile(s));
        struct stat st {};
        ::stat(s.c_str(), &st);
        const std::string size = st.st_size < 10240 ? std::to_string(st.st_size) + " bytes"
                                                      : std::to_string(st.st_size / 1024) + " KB";
        names.push_back(s.substr(s.find_last_of('/') + 1) + " (" + size + ")");
    }
    // Every round on its own copy, made beforehand and left alone long
    // enough that its time stamps alone tell that it did not change.
    char pattern[] = "/tmp/fhsw-settings-bench-XXXXXX";
    const std::string dir = ::mkdtemp(pattern);
    std::vector<std::vector<std::string>> copies(sources.size());
    for (std::size_t i = 0; i < sources.size(); ++i) {
        for (int r = 0; r < rounds; ++r) {
            const std::string copy = dir + "/f" + std::to_string(i) + "-r" + std::to_string(r) + ".ini";
            std::ofstream(copy, std::ios::binary) << texts[i];
            ::chmod(copy.c_str(), 0600);
            // On disk, as a file that a save left behind.
            const int fd = ::open(copy.c_str(), O_RDONLY);
            if (fd >= 0) {
                ::fsync(fd);
                ::close(fd);
            }
            copies[i].push_back(copy);
        }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2200));
    std::vector<Figures> all(sources.size());
    std::vector<std::vector<fhsw::SettingValue>> batches(sources.size());
    for (int r = 0; r < rounds; ++r) {
        for (std::size_t k = 0; k < sources.size(); ++k) {
            const std::size_t i = (k + std::size_t(r)) % sources.size();  // alternate who goes first
            // Odd rounds save as a batch what the even round before stored.
            if (r % 2 == 0) batches[i].clear();
            Round(copies[i][std::size_t(r)], profile, r, batches[i], all[i]);
        }
    }
    std::printf("settings store in the windows' logic, %d rounds, files alternating (ratio to the first file):\n",
                rounds);
    Print("main window opens", all, &Figures::startup, names);
    Print("Settings opens", all, &Figures::opening, names);
    Print("SAVE, a write a value", all, &Figures::save, names);
    Print("SAVE as one batch", all, &Figures::batchSave, names);
    std::printf("  (SAVE as one batch: both run files staged, the %zu values in one write, every profile's\n"
                "  install folder read, both run files committed)\n", batches[0].size());
    std::string command = "rm -rf '" + dir + "'";
    return std::system(command.c_str()) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "grow" && argc == 6) return Grow(argv[2], argv[3], argv[4], std::atoi(argv[5]));
    if (mode == "measure" && argc >= 5) {
        return Measure(argv[2], std::max(1, std::atoi(argv[3])), std::vector<std::string>(argv + 4, argv + argc));
    }
    std::fprintf(stderr,
                 "usage: %s grow SOURCE TARGET PROFILE COUNT\n"
                 "       %s measure PROFILE ROUNDS FILE...\n",
                 argv[0], argv[0]);
    return 2;
}
