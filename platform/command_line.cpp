#include "platform/command_line.h"

namespace fhsw {

namespace {

bool IsCrtBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::vector<std::string> SplitCrtCommandLine(std::string_view line) {
    std::vector<std::string> argv(1);
    const std::size_t n = line.size();
    std::size_t i = 0;
    // The program name: quotes group and are removed; nothing else is special.
    for (bool inQuotes = false; i < n && (inQuotes || !IsCrtBlank(line[i])); ++i) {
        if (line[i] == '"') inQuotes = !inQuotes;
        else argv[0] += line[i];
    }
    while (true) {
        while (i < n && IsCrtBlank(line[i])) ++i;
        if (i == n) return argv;
        std::string& arg = argv.emplace_back();
        for (bool inQuotes = false; i < n && (inQuotes || !IsCrtBlank(line[i]));) {
            std::size_t backslashes = 0;
            for (; i < n && line[i] == '\\'; ++i) ++backslashes;
            if (i == n || line[i] != '"') {
                arg.append(backslashes, '\\');
                if (i < n && (inQuotes || !IsCrtBlank(line[i]))) arg += line[i++];
                continue;
            }
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
        }
    }
}

}  // namespace fhsw
