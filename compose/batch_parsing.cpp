#include "compose/batch_parsing.h"

#include "platform/command_line.h"

#include <algorithm>
#include <cctype>

namespace fhsw {

namespace {

bool IsCrtBlank(char c) { return c == ' ' || c == '\t'; }
bool IsCmdOperator(char c) { return c == '&' || c == '|' || c == '<' || c == '>'; }
bool NeedsCaret(char c) { return c == '^' || IsCmdOperator(c) || c == '(' || c == ')'; }

// The C-runtime form of `value` (without surrounding quotes): a run of
// backslashes before a '"' is doubled and the quote escaped; a run at the end
// is doubled when `quoted` (it precedes the closing quote), else kept.
std::string CrtEscape(std::string_view value, bool quoted) {
    std::string out;
    size_t backslashes = 0;
    for (char c : value) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            out.append(2 * backslashes + 1, '\\');
        } else {
            out.append(backslashes, '\\');
        }
        backslashes = 0;
        out += c;
    }
    out.append(quoted ? 2 * backslashes : backslashes, '\\');
    return out;
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string_view TrimLeft(std::string_view s) {
    while (!s.empty() && IsCrtBlank(s.front())) s.remove_prefix(1);
    return s;
}

// The interpreter's two phases of a line: "%%" becomes "%", then quotes
// toggle the quote flag and outside quotes a caret is removed and the next
// character kept plain. false with the reason for what runner scripts do
// not hold.
bool ReadCmdLine(std::string_view line, std::string& out, std::string& error) {
    std::string expanded;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '%' && line.substr(i, 2) != "%%")
            return error = "variable expansion (%) is not supported", false;
        expanded += line[i];
        if (line[i] == '%') ++i;
    }
    bool inQuotes = false;
    for (std::size_t i = 0; i < expanded.size(); ++i) {
        char c = expanded[i];
        if (c == '"') {
            inQuotes = !inQuotes;
        } else if (!inQuotes && c == '^') {
            if (i + 1 == expanded.size())
                return error = "line continuation (^ at the end of a line) is not supported", false;
            c = expanded[++i];
        } else if (!inQuotes && IsCmdOperator(c)) {
            return error = "redirection, pipes and command chaining (& | < >) are not supported", false;
        }
        out += c;
    }
    return true;
}

}  // namespace

// ---- Writing -------------------------------------------------------------

std::string CrtQuoted(std::string_view value) { return '"' + CrtEscape(value, true) + '"'; }

std::string CrtBare(std::string_view value) {
    if (std::any_of(value.begin(), value.end(), IsCrtBlank)) return CrtQuoted(value);
    return CrtEscape(value, false);
}

std::string CrtProgramPath(std::string_view path) {
    std::string out = "\"";
    for (char c : path)
        if (c != '"') out += c;
    return out + '"';
}

std::string JoinLineBreaks(std::string_view value, bool& joined) {
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        char c = value[i];
        if (c == '\r' || c == '\n') {
            joined = true;
            if (c == '\r' && i + 1 < value.size() && value[i + 1] == '\n') ++i;
            out += ' ';
        } else {
            out += c;
        }
    }
    return out;
}

namespace {

// Whether C-runtime text holds a literal quote: a '"' after an odd run of
// backslashes. Also true when its delimiter quotes do not pair up.
bool HoldsLiteralQuote(std::string_view text) {
    size_t backslashes = 0, quotes = 0;
    for (char c : text) {
        if (c == '"') {
            if (backslashes % 2 == 1) return true;
            ++quotes;
        }
        backslashes = c == '\\' ? backslashes + 1 : 0;
    }
    return quotes % 2 == 1;
}

}  // namespace

std::string CmdLineWriter::write(std::string_view commandText) {
    const bool escapeQuotes = HoldsLiteralQuote(commandText);
    bool inQuotes = false;
    std::string out;
    for (char c : commandText) {
        if (c == '%') {
            out += '%';  // a single '%' would start a variable
        } else if (c == '"') {
            if (escapeQuotes) out += '^';
            else inQuotes = !inQuotes;
        } else if (!inQuotes && NeedsCaret(c)) {
            out += '^';
        }
        out += c;
    }
    return out;
}

// ---- Reading -------------------------------------------------------------

RunnerLine ParseRunnerLine(std::string_view rawLine) {
    using Kind = RunnerLine::Kind;
    RunnerLine r;
    std::string line;
    for (char c : rawLine)
        if (c != '\r') line += c;  // the interpreter drops every CR
    std::string_view rest = TrimLeft(line);
    if (!rest.empty() && rest.front() == '@') {
        r.shown = false;
        rest = TrimLeft(rest.substr(1));
    }
    r.display = std::string(rest);
    if (rest.empty()) return r;
    // A remark ends the reading: nothing after REM is expanded or checked.
    if (Lower(rest.substr(0, rest.find_first_of(" \t"))) == "rem") {
        r.kind = Kind::Remark;
        return r;
    }
    r.kind = Kind::Unsupported;
    std::string plain;
    if (!ReadCmdLine(rest, plain, r.text)) return r;
    r.display = plain;
    const std::size_t end = std::min(plain.find_first_of(" \t."), plain.size());
    const std::string word = Lower(plain.substr(0, end));
    const std::string arg = end < plain.size() ? plain.substr(end + 1) : "";
    std::string state = Lower(TrimLeft(arg));
    state.erase(state.find_last_not_of(" \t") + 1);
    if (word == "echo" && end < plain.size() && (plain[end] == '.' || !state.empty())) {
        const bool sets = plain[end] != '.' && (state == "on" || state == "off");
        r.kind = sets ? Kind::EchoState : Kind::Echo;
        r.text = sets ? state : arg;
    } else if (word == "title" && end < plain.size() && plain[end] != '.') {
        r.kind = Kind::Title;
        r.text = arg;
    } else if (r.argv = SplitCrtCommandLine(plain); r.argv.front().find('/') != std::string::npos) {
        r.kind = Kind::Program;
    } else {
        r.text = "only ECHO, TITLE, REM and programs named by their path are understood";
    }
    return r;
}

}  // namespace fhsw
