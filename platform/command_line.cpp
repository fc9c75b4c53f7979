#include "platform/command_line.h"

namespace fhsw {

namespace {

bool IsCrtBlank(char c) { return c == ' ' || c == '\t'; }

std::size_t SkipCrtBlanks(std::string_view s, std::size_t i) {
    while (i < s.size() && IsCrtBlank(s[i])) ++i;
    return i;
}

}  // namespace

std::vector<std::string> SplitCrtCommandLine(std::string_view line) {
    std::vector<std::string> argv;
    std::size_t i = 0;
    const std::size_t n = line.size();

    // Program name: quotes group and are removed; nothing else is special.
    std::string program;
    bool inQuotes = false;
    for (; i < n; ++i) {
        if (line[i] == '"') {
            inQuotes = !inQuotes;
        } else if (!inQuotes && IsCrtBlank(line[i])) {
            break;
        } else {
            program += line[i];
        }
    }
    argv.push_back(program);

    while (true) {
        i = SkipCrtBlanks(line, i);
        if (i >= n) break;
        std::string arg;
        inQuotes = false;
        while (i < n && (inQuotes || !IsCrtBlank(line[i]))) {
            std::size_t backslashes = 0;
            while (i < n && line[i] == '\\') {
                ++backslashes;
                ++i;
            }
            if (i < n && line[i] == '"') {
                arg.append(backslashes / 2, '\\');
                if (backslashes % 2 == 1) {
                    arg += '"';
                } else if (inQuotes && i + 1 < n && line[i + 1] == '"') {
                    arg += '"';  // "" inside quotes: a literal quote, quoting ends
                    ++i;
                    inQuotes = false;
                } else {
                    inQuotes = !inQuotes;
                }
                ++i;
            } else {
                arg.append(backslashes, '\\');
                if (i < n && (inQuotes || !IsCrtBlank(line[i]))) arg += line[i++];
            }
        }
        argv.push_back(std::move(arg));
    }
    return argv;
}

}  // namespace fhsw
