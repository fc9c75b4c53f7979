// Where a program file finds the runner-script interpreter: beside itself
// first, then where the package installed it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

#include "platform/linux/runner_location.h"

namespace fhsw {
namespace {

namespace fs = std::filesystem;

TEST(RunnerLocation, BesideTheProgramFirstThenTheInstalledOne) {
    const fs::path root = fs::temp_directory_path() / ("fhsw-runner-location-" + std::to_string(::getpid()));
    fs::remove_all(root);
    const fs::path copy = root / "opt/mailers/NIGHTLY-REPORT";
    const fs::path beside = root / "opt/mailers/fh-sendwarden-run";
    const fs::path installed = root / "usr/libexec/fh-sendwarden/fh-sendwarden-run";
    const fs::path second = root / "usr/bin/fh-sendwarden-run";
    auto make = [](const fs::path& p, mode_t mode) {
        fs::create_directories(p.parent_path());
        std::ofstream(p) << "#!/bin/sh\n";
        ::chmod(p.c_str(), mode);
    };
    struct Case {
        const char* what;
        std::vector<std::pair<fs::path, mode_t>> present;
        fs::path expected;
    } cases[] = {
        {"nothing anywhere: the place beside, for the failure to name", {}, beside},
        {"only the installed one", {{installed, 0755}}, installed},
        {"beside wins over installed", {{beside, 0755}, {installed, 0755}}, beside},
        {"beside but not executable", {{beside, 0644}, {installed, 0755}}, installed},
        {"a folder by that name beside", {{installed, 0755}}, installed},
        {"the first installed place that has one", {{second, 0755}}, second},
    };
    for (const Case& c : cases) {
        fs::remove_all(root);
        fs::create_directories(copy.parent_path());
        if (std::string(c.what).find("folder") != std::string::npos) fs::create_directories(beside);
        for (const auto& [path, mode] : c.present) make(path, mode);
        EXPECT_EQ(FindRunnerInterpreter(copy, {installed.string(), "", second.string()}), c.expected.string())
            << c.what;
    }
    fs::remove_all(root);
}

}  // namespace
}  // namespace fhsw
