// How the Windows launcher turns a launch text into a CreateProcessW command
// line. Portable, so that it can be checked on any build machine.
//
// The launch text is a program or script path, in double quotes or not,
// followed by any arguments. A batch script (.BAT or .CMD) cannot be started
// on its own: it runs through the command interpreter. Its folder never
// appears on the interpreter's command line, where "%NAME%" in it would be
// expanded (and "!" taken for a delayed variable): the interpreter starts in
// the script's folder and is given only the file name,
//     "<interpreter>" /v:off /s /c "".\<file name>" <arguments>"
// with `currentDirectory` set to the folder. ".\" keeps the interpreter from
// looking anywhere else; the quotes keep & ( ) ^ and blanks of the name
// plain; /v:off keeps '!' plain whatever the registry says about delayed
// expansion (the script's own lines need that too). With /s the interpreter
// removes exactly the outer pair of quotes and runs what is left. Arguments
// after the script path are passed as written.
//
// The interpreter cannot start in a network folder (\\server\share\...):
// such a script is named by its whole path, which is refused when it holds a
// '%', as is a file name with a '%' (the interpreter would expand it). A
// bare name ("run.bat") is left to the interpreter's search.
//
// Anything else ("notepad.exe C:\x\LOG.txt") is handed to CreateProcessW as
// it is; CreateProcessW itself resolves an unquoted path with blanks.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace fhsw {

struct WindowsLaunchPlan {
    std::string error;          // set when there is nothing that can be started
    std::string program;        // the first token, quotes removed
    bool throughInterpreter = false;
    std::string commandLine;    // for CreateProcessW; its program is the
                                // interpreter when throughInterpreter is set
    // throughInterpreter: the folder the interpreter starts in; empty: this
    // program's own.
    std::string currentDirectory;
};

inline WindowsLaunchPlan PlanWindowsLaunch(std::string_view text, const std::string& interpreter) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);

    WindowsLaunchPlan plan;
    // A line break would end the command for the interpreter and leave the
    // rest to run as a command of its own; a NUL would cut the line short.
    if (text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) {
        plan.error = "the command holds a line break";
        return plan;
    }
    std::string_view arguments;
    if (!text.empty() && text.front() == '"') {
        const std::size_t close = text.find('"', 1);
        plan.program = std::string(text.substr(1, close == std::string_view::npos ? close : close - 1));
        if (close != std::string_view::npos) arguments = text.substr(close + 1);
    } else {
        const std::size_t end = std::min(text.size(), text.find_first_of(" \t"));
        plan.program = std::string(text.substr(0, end));
        arguments = text.substr(end);
    }
    if (plan.program.empty()) {
        plan.error = "empty command";
        return plan;
    }
    std::string lower = plan.program;
    for (char& c : lower) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    if (!lower.ends_with(".bat") && !lower.ends_with(".cmd")) {
        plan.commandLine = std::string(text);
        return plan;
    }
    const std::size_t slash = plan.program.find_last_of("\\/");
    const bool network = plan.program.rfind("\\\\", 0) == 0 || plan.program.rfind("//", 0) == 0;
    std::string named = plan.program;
    if (slash != std::string::npos && !network) {
        plan.currentDirectory = plan.program.substr(0, slash == 0 ? 1 : slash);
        if (plan.currentDirectory.size() == 2 && plan.currentDirectory[1] == ':')
            plan.currentDirectory += '\\';  // "C:" alone is that drive's current folder
        named = ".\\" + plan.program.substr(slash + 1);
    }
    if (named.find('%') != std::string::npos) {
        plan.error = "cannot start " + plan.program + ": the command interpreter would expand the % in " +
                     (network ? "a network path" : "the file name");
        plan.currentDirectory.clear();
        return plan;
    }
    plan.throughInterpreter = true;
    plan.commandLine = "\"" + interpreter + "\" /v:off /s /c \"\"" + named + "\"" + std::string(arguments) + "\"";
    return plan;
}

}  // namespace fhsw
