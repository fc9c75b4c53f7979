// How the Windows launcher turns a launch text into a CreateProcessW command
// line. Portable, so that it can be checked on any build machine.
//
// The launch text is a program or script path, in double quotes or not,
// followed by any arguments. A batch script (.BAT or .CMD) cannot be started
// on its own: it runs through the command interpreter as
//     "<ComSpec>" /s /c "<launch text>"
// With /s the interpreter removes exactly the outer pair of quotes and runs
// what is left as it stands, so a quoted script path with blanks and its
// arguments arrive unchanged. Anything else ("notepad.exe C:\x\LOG.txt") is
// handed to CreateProcessW as it is; CreateProcessW itself resolves an
// unquoted path with blanks.
#pragma once

#include <string>
#include <string_view>

namespace fhsw {

struct WindowsLaunchPlan {
    std::string error;          // set when there is nothing that can be started
    std::string program;        // the first token, quotes removed
    bool throughInterpreter = false;
    std::string commandLine;    // for CreateProcessW; its program is comSpec when
                                // throughInterpreter is set
};

inline bool EndsWithIgnoringAsciiCase(std::string_view s, std::string_view suffix) {
    if (s.size() < suffix.size()) return false;
    s.remove_prefix(s.size() - suffix.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        char a = s[i], b = suffix[i];
        if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
        if (a != b) return false;
    }
    return true;
}

inline bool IsBatchScriptPath(std::string_view path) {
    return EndsWithIgnoringAsciiCase(path, ".bat") || EndsWithIgnoringAsciiCase(path, ".cmd");
}

inline WindowsLaunchPlan PlanWindowsLaunch(std::string_view text, std::string_view comSpec) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);

    WindowsLaunchPlan plan;
    if (text.empty()) {
        plan.error = "empty command";
        return plan;
    }
    // A line break would end the command for the interpreter and leave the
    // rest to run as a command of its own; a NUL would cut the line short.
    if (text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) {
        plan.error = "the command holds a line break";
        return plan;
    }
    if (text.front() == '"') {
        const std::size_t close = text.find('"', 1);
        const std::size_t length = close == std::string_view::npos ? text.size() - 1 : close - 1;
        plan.program = std::string(text.substr(1, length));
    } else {
        std::size_t end = 0;
        while (end < text.size() && !blank(text[end])) ++end;
        plan.program = std::string(text.substr(0, end));
    }
    if (plan.program.empty()) {
        plan.error = "empty command";
        return plan;
    }
    if (IsBatchScriptPath(plan.program)) {
        std::string interpreter;
        for (char c : comSpec) {
            if (c != '"') interpreter += c;
        }
        plan.throughInterpreter = true;
        plan.commandLine = "\"" + interpreter + "\" /s /c \"" + std::string(text) + "\"";
    } else {
        plan.commandLine = std::string(text);
    }
    return plan;
}

}  // namespace fhsw
