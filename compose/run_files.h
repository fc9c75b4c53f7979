// Names of the files that live in the install folder, with the separator
// that joins them to the folder on this platform.
#pragma once

#include <filesystem>
#include <string>

namespace fhsw {

struct RunFileNames {
    std::string sendEmailExe;  // "\SendEmail.exe"
    std::string messageFile;   // "\SENDEMAIL-MESSAGE.txt"
    std::string logFile;       // "\SENDEMAIL-LOG.txt"
    std::string runnerScript;  // "\SENDEMAIL-RUNNER.BAT"

    static RunFileNames ForSeparator(const std::string& sep) {
        return {sep + "SendEmail.exe", sep + "SENDEMAIL-MESSAGE.txt", sep + "SENDEMAIL-LOG.txt",
                sep + "SENDEMAIL-RUNNER.BAT"};
    }
    static RunFileNames Windows() { return ForSeparator("\\"); }
    static RunFileNames Linux() { return ForSeparator("/"); }
    static RunFileNames Native() {
        return ForSeparator({static_cast<char>(std::filesystem::path::preferred_separator)});
    }
};

}  // namespace fhsw
