#include "compose/batch_parsing.h"

#include "platform/command_line.h"

#include <algorithm>
#include <array>
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

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsCrtBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsCrtBlank(s.back())) s.remove_suffix(1);
    return s;
}

size_t SkipBlanks(std::string_view s, size_t i) {
    while (i < s.size() && IsCrtBlank(s[i])) ++i;
    return i;
}

// The leading run of letters, lower-cased, and whether it stands alone as a
// command word (not the start of a longer name such as "setup.exe").
struct CommandWord {
    std::string word;
    char next = 0;  // the character after it, 0 at the end of the line
    bool standsAlone = false;
};

CommandWord ReadCommandWord(std::string_view s) {
    CommandWord w;
    size_t i = 0;
    while (i < s.size() && std::isalpha(static_cast<unsigned char>(s[i]))) ++i;
    w.word = Lower(s.substr(0, i));
    w.next = i < s.size() ? s[i] : 0;
    w.standsAlone = !w.word.empty() &&
                    !(std::isalnum(static_cast<unsigned char>(w.next)) || w.next == '_' ||
                      w.next == '-');
    return w;
}

// Built-in commands of the command interpreter that runner scripts never
// hold; running them as programs would be a guess.
constexpr std::array<const char*, 40> kOtherBuiltins = {
    "assoc", "break",  "call",  "cd",    "chdir",  "cls",    "color",    "copy",
    "date",  "del",    "dir",   "endlocal", "erase", "exit", "for",      "ftype",
    "goto",  "if",     "md",    "mkdir", "mklink", "move",   "path",     "pause",
    "popd",  "prompt", "pushd", "rd",    "ren",    "rename", "rmdir",    "set",
    "setlocal", "shift", "start", "time", "type",  "ver",    "verify",   "vol"};

bool IsOtherBuiltin(const std::string& word) {
    return std::any_of(kOtherBuiltins.begin(), kOtherBuiltins.end(),
                       [&](const char* b) { return word == b; });
}

RunnerLine Unsupported(RunnerLine r, std::string why) {
    r.kind = RunnerLine::Kind::Unsupported;
    r.error = std::move(why);
    return r;
}

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
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

std::string CmdProgramToken(std::string_view line) {
    std::string token;
    bool inQuotes = false;
    for (size_t i = SkipBlanks(line, 0); i < line.size(); ++i) {
        char c = line[i];
        if (c == '"') {
            inQuotes = !inQuotes;
        } else if (!inQuotes && (IsCrtBlank(c) || c == ',' || c == ';' || c == '=')) {
            break;
        } else {
            token += c;
        }
    }
    return token;
}

bool ExpandBatchPercents(std::string_view line, std::string& out, std::string& error) {
    out.clear();
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] != '%') {
            out += line[i];
        } else if (i + 1 < line.size() && line[i + 1] == '%') {
            out += '%';
            ++i;
        } else {
            error = "variable expansion (%) is not supported";
            return false;
        }
    }
    return true;
}

bool ProcessCmdSpecials(std::string_view line, std::string& out, std::string& error) {
    out.clear();
    bool inQuotes = false;
    for (size_t i = 0; i < line.size(); ++i) {
        char c = line[i];
        if (c == '"') {
            inQuotes = !inQuotes;
        } else if (inQuotes) {
            // plain inside quotes
        } else if (c == '^') {
            if (i + 1 == line.size()) {
                error = "line continuation (^ at the end of a line) is not supported";
                return false;
            }
            c = line[++i];
        } else if (IsCmdOperator(c)) {
            error = "redirection, pipes and command chaining (& | < >) are not supported";
            return false;
        }
        out += c;
    }
    return true;
}

RunnerLine ParseRunnerLine(std::string_view rawLine) {
    using Kind = RunnerLine::Kind;
    RunnerLine r;
    std::string line;
    for (char c : rawLine)
        if (c != '\r') line += c;  // the interpreter drops every CR

    size_t i = SkipBlanks(line, 0);
    if (i < line.size() && line[i] == '@') {
        r.shown = false;
        i = SkipBlanks(line, i + 1);
    }
    std::string_view rest = std::string_view(line).substr(i);
    if (rest.empty()) return r;
    if (rest.front() == ':') {
        r.kind = Kind::Label;
        return r;
    }
    r.display = std::string(rest);

    // A remark ends the parsing: nothing after REM is expanded or checked.
    CommandWord w = ReadCommandWord(rest);
    if (w.standsAlone && w.word == "rem") {
        r.kind = Kind::Remark;
        return r;
    }

    std::string expanded, processed, error;
    if (!ExpandBatchPercents(rest, expanded, error)) return Unsupported(r, error);
    if (expanded.front() == '(')
        return Unsupported(r, "command blocks in parentheses are not supported");
    if (!ProcessCmdSpecials(expanded, processed, error)) return Unsupported(r, error);
    r.display = processed;

    w = ReadCommandWord(processed);
    if (w.standsAlone && w.word == "echo") {
        std::string_view after = std::string_view(processed).substr(4);
        if (w.next == 0) {
            r.kind = Kind::EchoQuery;
        } else if (w.next == '.') {
            r.kind = Kind::EchoText;
            r.text = std::string(after.substr(1));
        } else if (IsCrtBlank(w.next)) {
            std::string word = Lower(Trim(after));
            if (word == "on" || word == "off") {
                r.kind = Kind::EchoState;
                r.echoOn = word == "on";
            } else if (word.empty()) {
                r.kind = Kind::EchoQuery;
            } else {
                r.kind = Kind::EchoText;
                r.text = std::string(after.substr(1));
            }
        } else {
            return Unsupported(r, "this form of ECHO is not supported");
        }
        return r;
    }
    if (w.standsAlone && w.word == "title") {
        if (w.next != 0 && !IsCrtBlank(w.next))
            return Unsupported(r, "this form of TITLE is not supported");
        r.kind = Kind::Title;
        if (w.next != 0) r.text = processed.substr(6);
        return r;
    }
    if (w.standsAlone && IsOtherBuiltin(w.word))
        return Unsupported(r, "the command " + Upper(w.word) + " is not supported");

    r.kind = Kind::Program;
    r.program = CmdProgramToken(processed);
    r.argv = SplitCrtCommandLine(processed);
    return r;
}

}  // namespace fhsw
