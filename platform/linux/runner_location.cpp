#include "platform/linux/runner_location.h"

#include <system_error>
#include <unistd.h>

namespace fhsw {

namespace {

bool isExecutableFile(const std::filesystem::path& p) {
    std::error_code ec;
    return std::filesystem::is_regular_file(p, ec) && ::access(p.c_str(), X_OK) == 0;
}

}  // namespace

std::string FindRunnerInterpreter(const std::filesystem::path& program,
                                  const std::vector<std::string>& installed) {
    const std::filesystem::path beside = program.parent_path() / "fh-sendwarden-run";
    if (isExecutableFile(beside)) return beside.string();
    for (const std::string& p : installed)
        if (!p.empty() && isExecutableFile(p)) return p;
    return beside.string();
}

std::vector<std::string> InstalledRunnerInterpreters() {
    std::vector<std::string> places;
#ifdef FHSW_INSTALLED_RUNNER
    places.push_back(FHSW_INSTALLED_RUNNER);
#endif
#ifdef FHSW_INSTALLED_RUNNER_BIN
    places.push_back(FHSW_INSTALLED_RUNNER_BIN);
#endif
    return places;
}

}  // namespace fhsw
