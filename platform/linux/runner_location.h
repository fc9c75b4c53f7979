// Where the program finds the runner-script interpreter fh-sendwarden-run.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace fhsw {

// The interpreter beside the program file if there is an executable one,
// else the first executable of the installed places; when none is there,
// the path beside the program (so that a launch failure names it).
std::string FindRunnerInterpreter(const std::filesystem::path& program,
                                  const std::vector<std::string>& installed);

// The installed places compiled into this build (the package's libexec and
// bin folders under the install prefix).
std::vector<std::string> InstalledRunnerInterpreters();

}  // namespace fhsw
