#include "platform/linux/ini_settings_backend.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace fhsw {

namespace {

constexpr const char* kFileName = "FH_SENDWARDEN.ini";
constexpr auto kLockTimeout = std::chrono::seconds(10);

// ---------------------------------------------------------------------------
// UTF-8 and UTF-16 helpers. Names and values are UTF-8 inside the program; the
// file format counts in UTF-16 code units where it escapes characters.

// Decodes one well-formed UTF-8 sequence at `i` and advances past it; on a
// malformed byte advances by one and returns false.
bool DecodeUtf8(std::string_view s, std::size_t& i, char32_t& cp) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        cp = b0;
        ++i;
        return true;
    }
    int len = 0;
    char32_t min = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2, cp = b0 & 0x1F, min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3, cp = b0 & 0x0F, min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        ++i;
        return false;
    }
    if (i + len > s.size()) {
        ++i;
        return false;
    }
    for (int k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return false;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return false;
    }
    i += len;
    return true;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Collects UTF-16 code units (from escapes) and raw bytes into UTF-8,
// pairing surrogates; a lone surrogate becomes U+FFFD.
class Utf8Sink {
public:
    explicit Utf8Sink(std::string& out) : out_(out) {}
    void unit(char16_t u) {
        if (u >= 0xDC00 && u <= 0xDFFF && high_) {
            AppendUtf8(out_, 0x10000 + ((char32_t(high_) - 0xD800) << 10) + (u - 0xDC00));
            high_ = 0;
            return;
        }
        flush();
        if (u >= 0xD800 && u <= 0xDBFF) {
            high_ = u;
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            AppendUtf8(out_, 0xFFFD);
        } else {
            AppendUtf8(out_, u);
        }
    }
    void raw(char c) {
        flush();
        out_ += c;
    }
    void flush() {
        if (high_) AppendUtf8(out_, 0xFFFD);
        high_ = 0;
    }

private:
    std::string& out_;
    char16_t high_ = 0;
};

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
    auto space = [](char c) { return c == ' ' || c == '\t' || c == '\f' || c == '\v'; };
    while (!s.empty() && space(s.front())) s.remove_prefix(1);
    while (!s.empty() && space(s.back())) s.remove_suffix(1);
    return s;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Escaping of section and key names: letters, digits, "_", "-" and "." stand
// for themselves, "/" is written as "\" (but as %2F at the end), every other
// UTF-16 code unit as %XX
// (up to U+00FF) or %UXXXX. Bytes that are not UTF-8 are kept as they are.

void AppendHex(std::string& out, unsigned value, int digits) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) out += kDigits[(value >> shift) & 0xF];
}

void AppendEscapedUnit(std::string& out, char16_t u) {
    if (u <= 0xFF) {
        out += '%';
        AppendHex(out, u, 2);
    } else {
        out += "%U";
        AppendHex(out, u, 4);
    }
}

std::string EscapeName(std::string_view name) {
    std::string out;
    std::size_t i = 0;
    while (i < name.size()) {
        const std::size_t start = i;
        char32_t cp = 0;
        if (!DecodeUtf8(name, i, cp)) {
            out += name[start];
            continue;
        }
        if (cp == '/') {
            // A "\" at the end of a key would escape the "=" after it.
            out += i == name.size() ? "%2F" : "\\";
        } else if ((cp >= 'a' && cp <= 'z') || (cp >= 'A' && cp <= 'Z') || (cp >= '0' && cp <= '9') ||
                   cp == '_' || cp == '-' || cp == '.') {
            out += static_cast<char>(cp);
        } else if (cp < 0x10000) {
            AppendEscapedUnit(out, static_cast<char16_t>(cp));
        } else {
            AppendEscapedUnit(out, static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            AppendEscapedUnit(out, static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        }
    }
    return out;
}

std::string UnescapeName(std::string_view s) {
    std::string out;
    Utf8Sink sink(out);
    std::size_t i = 0;
    while (i < s.size()) {
        const char c = s[i];
        if (c == '\\') {
            sink.raw('/');
            ++i;
            continue;
        }
        if (c != '%' || i + 1 == s.size()) {
            sink.raw(c);
            ++i;
            continue;
        }
        std::size_t first = i + 1;
        std::size_t digits = 2;
        if (s[first] == 'U') {
            ++first;
            digits = 4;
        }
        unsigned value = 0;
        bool ok = first + digits <= s.size();
        for (std::size_t k = 0; ok && k < digits; ++k) {
            const int h = HexValue(s[first + k]);
            ok = h >= 0;
            value = value * 16 + unsigned(h);
        }
        if (!ok) {
            sink.raw('%');
            ++i;
            continue;
        }
        sink.unit(static_cast<char16_t>(value));
        i = first + digits;
    }
    sink.flush();
    return out;
}

// The text between "[" and "]" for a section: the empty name is the
// "General" section of the format, so a section really named "General" (in
// any case) is written "%General".
std::string SectionHeaderName(const std::string& section) {
    if (section.empty()) return "General";
    std::string escaped = EscapeName(section);
    if (EqualsIgnoringAsciiCase(escaped, "general")) return "%" + escaped;
    return escaped;
}

std::string SectionFromHeader(std::string_view name) {
    name = Trim(name);
    if (EqualsIgnoringAsciiCase(name, "general")) return "";
    if (EqualsIgnoringAsciiCase(name, "%general")) return std::string(name.substr(1));
    return UnescapeName(name);
}

// ---------------------------------------------------------------------------
// Escaping of values, as text values are written in the format: control
// characters, "\" and '"' as C escapes; the whole value in double quotes when
// it holds ";", "," or "=" or starts or ends with a blank; a leading "@"
// doubled (a single "@" starts a typed value). Non-ASCII text stays UTF-8.

std::string EscapeValue(std::string_view value) {
    std::string out;
    if (!value.empty() && value.front() == '@') out += '@';
    bool needsQuotes = false;
    bool escapeNextIfHexDigit = false;
    std::size_t i = 0;
    while (i < value.size()) {
        const auto c = static_cast<unsigned char>(value[i]);
        if (c >= 0x80) {
            const std::size_t start = i;
            char32_t cp = 0;
            DecodeUtf8(value, i, cp);
            out.append(value.substr(start, i - start));
            escapeNextIfHexDigit = false;
            continue;
        }
        ++i;
        if (c == ';' || c == ',' || c == '=') needsQuotes = true;
        if (escapeNextIfHexDigit && HexValue(char(c)) >= 0) {
            // "\x1" followed by "a" would read back as "\x1a".
            static constexpr char kLower[] = "0123456789abcdef";
            out += "\\x";
            out += kLower[c >> 4];
            out += kLower[c & 0xF];
            continue;
        }
        escapeNextIfHexDigit = false;
        switch (c) {
        case '\0': out += "\\0"; escapeNextIfHexDigit = true; break;
        case '\a': out += "\\a"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\v': out += "\\v"; break;
        case '"':
        case '\\':
            out += '\\';
            out += char(c);
            break;
        default:
            if (c <= 0x1F) {
                static constexpr char kLower[] = "0123456789abcdef";
                out += "\\x";
                if (c >= 0x10) out += kLower[c >> 4];
                out += kLower[c & 0xF];
                escapeNextIfHexDigit = true;
            } else {
                out += char(c);
            }
        }
    }
    if (needsQuotes || (!out.empty() && (out.front() == ' ' || out.back() == ' '))) {
        return '"' + out + '"';
    }
    return out;
}

// Converts the UTF-8 text of a "@ByteArray(...)" value back to its bytes
// (each character stands for one byte).
std::string Latin1Bytes(std::string_view text) {
    std::string out;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t start = i;
        char32_t cp = 0;
        if (!DecodeUtf8(text, i, cp)) {
            out += text[start];
        } else {
            out += cp <= 0xFF ? static_cast<char>(cp) : '?';
        }
    }
    return out;
}

// Reads a value as written after "=": quotes group, C escapes (\a \b \f \n \r
// \t \v \" \? \' \\, \x hex, octal), a backslash before a line break
// continues the line, unquoted trailing blanks are dropped. A comma outside
// quotes is kept as a comma (the format would make a list of it; a hand-typed
// "a, b" is meant as text). Nothing is returned for "@Invalid()".
std::optional<std::string> UnescapeValue(std::string_view s) {
    std::string out;
    Utf8Sink sink(out);
    bool quoted = false;
    bool inQuotes = false;
    std::size_t i = 0;
    while (i < s.size() && IsBlank(s[i])) ++i;
    std::size_t chopLimit = 0;
    while (i < s.size()) {
        const char c = s[i];
        if (c == '"') {
            ++i;
            quoted = true;
            inQuotes = !inQuotes;
            if (!inQuotes) {
                while (i < s.size() && IsBlank(s[i])) ++i;
            }
            sink.flush();
            chopLimit = out.size();
            continue;
        }
        if (c != '\\') {
            sink.raw(c);
            ++i;
            continue;
        }
        ++i;
        if (i >= s.size()) break;
        const char e = s[i++];
        switch (e) {
        case 'a': sink.unit('\a'); break;
        case 'b': sink.unit('\b'); break;
        case 'f': sink.unit('\f'); break;
        case 'n': sink.unit('\n'); break;
        case 'r': sink.unit('\r'); break;
        case 't': sink.unit('\t'); break;
        case 'v': sink.unit('\v'); break;
        case '"':
        case '?':
        case '\'':
        case '\\': sink.unit(static_cast<char16_t>(e)); break;
        case 'x': {
            if (i >= s.size() || HexValue(s[i]) < 0) break;  // "\x" alone: skipped
            unsigned value = 0;
            while (i < s.size() && HexValue(s[i]) >= 0) value = (value << 4) + unsigned(HexValue(s[i++]));
            sink.unit(static_cast<char16_t>(value));
            break;
        }
        case '\n':
        case '\r':
            if (i < s.size() && (s[i] == '\n' || s[i] == '\r') && s[i] != e) ++i;
            break;
        default:
            if (e >= '0' && e <= '7') {
                unsigned value = unsigned(e - '0');
                while (i < s.size() && s[i] >= '0' && s[i] <= '7') value = (value << 3) + unsigned(s[i++] - '0');
                sink.unit(static_cast<char16_t>(value));
            }
            // any other escaped character is dropped
        }
        chopLimit = out.size();  // escaped blanks are kept
    }
    sink.flush();
    if (!quoted) {
        while (out.size() > chopLimit && IsBlank(out.back())) out.pop_back();
    }

    if (out.empty() || out.front() != '@') return out;
    if (out.back() == ')') {
        if (out.rfind("@ByteArray(", 0) == 0) return Latin1Bytes(std::string_view(out).substr(11, out.size() - 12));
        if (out.rfind("@String(", 0) == 0) return out.substr(8, out.size() - 9);
        if (out == "@Invalid()") return std::nullopt;
    }
    if (out.rfind("@@", 0) == 0) out.erase(0, 1);
    return out;  // other typed values ("@Size(...)" and the like) stay as text
}

// ---------------------------------------------------------------------------
// The file as a list of lines. Lines are kept as they stand so that a write
// changes only the line of its key; comments and lines that do not parse
// survive untouched.

// The name of a value as one path, as the format sees it: the section, a
// slash and the key; keys of the "General" section stand alone. So a "/" in
// a name is a level, and section "a/b" with key "k" is section "a" with key
// "b/k", as for every other reader of the format.
std::string ValuePath(const std::string& section, const std::string& key) {
    return section.empty() ? key : section + "/" + key;
}

struct Line {
    enum Kind { kOther, kHeader, kPair } kind = kOther;
    std::string raw;      // as in the file, line break included
    std::string section;  // header: the section it opens; pair: its section
    std::string path;     // pair: ValuePath() of its section and key
    std::optional<std::string> value;  // pair; nothing for "@Invalid()"
    bool terminated = true;     // ends with a line break of its own
    bool endsInEscape = false;  // the file ends with a backslash that escapes nothing yet
};

struct Document {
    std::string bom;
    std::vector<Line> lines;

    static constexpr std::size_t npos = std::size_t(-1);

    // The line that holds the value: the last one of that name.
    std::size_t find(const std::string& section, const std::string& key) const {
        const std::string path = ValuePath(section, key);
        for (std::size_t i = lines.size(); i-- > 0;) {
            const Line& l = lines[i];
            if (l.kind == Line::kPair && l.path == path) return i;
        }
        return npos;
    }
};

void Classify(Line& line, std::string_view content, std::size_t equals, std::string& section) {
    if (content.empty()) return;
    if (content.front() == '[') {
        const auto close = content.find(']');
        line.kind = Line::kHeader;
        line.section = SectionFromHeader(content.substr(1, close == std::string_view::npos
                                                                ? std::string_view::npos
                                                                : close - 1));
        section = line.section;
        return;
    }
    if (equals == std::string_view::npos) return;  // not a "key=value" line: skipped
    line.kind = Line::kPair;
    line.section = section;
    line.path = ValuePath(section, UnescapeName(Trim(content.substr(0, equals))));
    line.value = UnescapeValue(content.substr(equals + 1));
}

Document Parse(std::string_view data) {
    Document doc;
    std::size_t pos = 0;
    if (data.substr(0, 3) == "\xEF\xBB\xBF") {
        doc.bom = "\xEF\xBB\xBF";
        pos = 3;
    }
    const std::size_t n = data.size();
    auto isBreak = [](char c) { return c == '\n' || c == '\r'; };
    std::string section;  // keys before the first header are in the "General" section
    while (pos < n) {
        const std::size_t start = pos;
        std::size_t i = pos;
        while (i < n && (IsBlank(data[i]) || data[i] == '\f' || data[i] == '\v')) ++i;
        const std::size_t contentStart = i;
        // ";" and "#" start comment lines; ";" also ends a line's content.
        const bool commentLine = i < n && (data[i] == ';' || data[i] == '#');
        bool skipRest = commentLine;
        bool inQuotes = false;
        bool endsInEscape = false;
        std::size_t equals = std::string_view::npos;
        std::size_t contentEnd = std::string_view::npos;
        // A line ends at the first line break that no backslash escapes. A
        // line break inside quotes ends it too: one stray quote must not
        // swallow the rest of the file.
        while (i < n && !isBreak(data[i])) {
            const char c = data[i++];
            if (skipRest) continue;
            if (c == '\\') {
                if (i < n) {
                    const char e = data[i++];
                    if (isBreak(e) && i < n && isBreak(data[i]) && data[i] != e) ++i;
                } else {
                    endsInEscape = true;
                }
            } else if (c == '"') {
                inQuotes = !inQuotes;
            } else if (c == '=' && !inQuotes) {
                if (equals == std::string_view::npos) equals = i - 1 - contentStart;
            } else if (c == ';' && !inQuotes) {
                contentEnd = i - 1;
                skipRest = true;
            }
        }
        if (contentEnd == std::string_view::npos) contentEnd = i;
        const bool terminated = i < n;
        if (i < n) i += (data[i] == '\r' && i + 1 < n && data[i + 1] == '\n') ? 2 : 1;

        Line line;
        line.raw = std::string(data.substr(start, i - start));
        line.terminated = terminated;
        line.endsInEscape = endsInEscape;
        if (!commentLine) {
            Classify(line, data.substr(contentStart, contentEnd - contentStart), equals, section);
        }
        doc.lines.push_back(std::move(line));
        pos = i;
    }
    return doc;
}

// Ends the last line of the file before more lines go after it.
void EndLine(Line& line) {
    if (line.terminated) return;
    if (line.endsInEscape) {
        // "\" at the very end would escape the new line break and join the
        // next line to this one; a blank after it means the same as nothing.
        line.raw += ' ';
    } else if (!line.raw.empty() && line.raw.back() == '\r') {
        // An escaped CR: CR LF would count as one escaped line break.
        line.raw += '\n';
    }
    line.raw += '\n';
    line.terminated = true;
    line.endsInEscape = false;
}

void SetValue(Document& doc, const std::string& section, const std::string& key,
              const std::string& value) {
    Line line;
    line.kind = Line::kPair;
    line.section = section;
    line.path = ValuePath(section, key);
    line.value = value;
    const std::string text = EscapeName(key) + "=" + EscapeValue(value);

    const std::size_t existing = doc.find(section, key);
    if (existing != Document::npos) {
        const std::string& old = doc.lines[existing].raw;
        std::size_t keep = old.size();
        while (keep > 0 && (old[keep - 1] == '\n' || old[keep - 1] == '\r')) --keep;
        line.raw = text + old.substr(keep);
        line.terminated = keep < old.size();
        doc.lines[existing] = std::move(line);
        return;
    }
    line.raw = text + "\n";

    // Add the key to the end of the section's last block.
    std::size_t after = Document::npos;
    std::string current;
    for (std::size_t i = 0; i < doc.lines.size(); ++i) {
        const Line& l = doc.lines[i];
        if (l.kind == Line::kHeader) {
            current = l.section;
            if (current == section) after = i;
        } else if (l.kind == Line::kPair && current == section) {
            after = i;
        }
    }
    if (after != Document::npos) {
        EndLine(doc.lines[after]);
        doc.lines.insert(doc.lines.begin() + std::ptrdiff_t(after + 1), std::move(line));
        return;
    }
    // A new section at the end, after an empty line.
    if (!doc.lines.empty()) {
        EndLine(doc.lines.back());
        if (doc.lines.back().raw.find_first_not_of(" \t\r\n") != std::string::npos) {
            Line blank;
            blank.raw = "\n";
            doc.lines.push_back(std::move(blank));
        }
    }
    Line header;
    header.kind = Line::kHeader;
    header.section = section;
    header.raw = "[" + SectionHeaderName(section) + "]\n";
    doc.lines.push_back(std::move(header));
    doc.lines.push_back(std::move(line));
}

std::string Serialize(const Document& doc) {
    std::string out = doc.bom;
    for (const Line& l : doc.lines) out += l.raw;
    return out;
}

// ---------------------------------------------------------------------------
// Files.

std::string Reason(int err) { return std::strerror(err); }

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    void reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    // Closes and reports the result (a deferred write error shows up here).
    int close() {
        const int rc = ::close(fd_);
        fd_ = -1;
        return rc;
    }

private:
    int fd_;
};

// Reads the whole file; false with errno set on failure.
bool ReadAll(int fd, std::string& out) {
    out.clear();
    char buf[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return true;
        out.append(buf, std::size_t(n));
    }
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(std::size_t(n));
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Creates the folder and any missing parents, owner-only.
bool MakeFolders(const std::string& dir, std::string& error) {
    struct stat st;
    if (::stat(dir.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return true;
        error = "cannot create " + dir + ": " + Reason(ENOTDIR);
        return false;
    }
    const std::string parent = FolderOf(dir);
    if (parent != dir && !MakeFolders(parent, error)) return false;
    if (::mkdir(dir.c_str(), 0700) != 0) {
        if (errno == EEXIST) return true;
        error = "cannot create " + dir + ": " + Reason(errno);
        return false;
    }
    ::chmod(dir.c_str(), 0700);  // whatever the umask
    return true;
}

// Holds an exclusive lock on the lock file while it lives. The lock file
// exists only while a write is under way: its holder removes it before it
// lets go, and a waiter that then gets the lock on the removed file tries
// again with the file that now has the name. (QSettings uses the same name
// with a lock of its own, created exclusively: it waits while the file
// exists, and finds none left behind after a write.)
class FileLock {
public:
    FileLock() = default;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock() {
        if (!path_.empty()) ::unlink(path_.c_str());
    }

    // `path` is the lock file; failures are reported as failures to write
    // `settingsFile`.
    bool acquire(const std::string& path, const std::string& settingsFile, std::string& error) {
        const auto deadline = std::chrono::steady_clock::now() + kLockTimeout;
        auto pause = std::chrono::microseconds(200);
        for (;;) {
            fd_.reset(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
            if (fd_.get() < 0) {
                error = "cannot write " + settingsFile + ": " + Reason(errno);
                return false;
            }
            bool locked = false;
            while (!locked) {
                if (::flock(fd_.get(), LOCK_EX | LOCK_NB) == 0) {
                    locked = true;
                } else if (errno == EWOULDBLOCK || errno == EINTR) {
                    if (std::chrono::steady_clock::now() >= deadline) {
                        error = "cannot write " + settingsFile +
                                ": another copy of the program has been saving for too long";
                        return false;
                    }
                    std::this_thread::sleep_for(pause);
                    pause = std::min(pause * 2, std::chrono::microseconds(5000));
                } else {
                    error = "cannot write " + settingsFile + ": cannot lock " + path + ": " + Reason(errno);
                    return false;
                }
            }
            struct stat held, named;
            if (::fstat(fd_.get(), &held) == 0 && ::lstat(path.c_str(), &named) == 0 &&
                held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
                if ((held.st_mode & 07777) != 0600) ::fchmod(fd_.get(), 0600);
                path_ = path;
                return true;
            }
        }
    }

private:
    std::string path_;   // set while the lock is held
    FileDescriptor fd_;  // closing it releases the lock, after path_ is removed
};

// Opens the file for reading; a missing file is not an error (fd stays -1).
bool OpenForReading(const std::string& path, FileDescriptor& fd, int& err) {
    fd.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() >= 0) return true;
    err = errno;
    return err == ENOENT;
}

// Replaces `target` with `data`: a temporary file in the same folder, synced,
// renamed over the target, then the folder synced.
bool ReplaceFile(const std::string& target, const std::string& data, std::string& error) {
    const std::string temp = target + ".tmp";
    auto fail = [&](int err) {
        error = "cannot write " + target + ": " + Reason(err);
        ::unlink(temp.c_str());
        return false;
    };
    // We hold the lock, so a leftover temporary file is from a copy that died.
    if (::unlink(temp.c_str()) != 0 && errno != ENOENT) return fail(errno);
    FileDescriptor fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (fd.get() < 0) {
        error = "cannot write " + target + ": " + Reason(errno);
        return false;
    }
    if (::fchmod(fd.get(), 0600) != 0) return fail(errno);
    if (!WriteAll(fd.get(), data)) return fail(errno);
    if (::fsync(fd.get()) != 0) return fail(errno);
    if (fd.close() != 0) return fail(errno);
    if (::rename(temp.c_str(), target.c_str()) != 0) return fail(errno);

    FileDescriptor dir(::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0 || (::fsync(dir.get()) != 0 && errno != EINVAL)) {
        error = "cannot write " + target + ": the folder could not be synced: " + Reason(errno);
        return false;
    }
    return true;
}

// The file that writes replace: the target of the settings file when it is a
// symbolic link (so that the link survives), otherwise the file itself.
std::string WriteTarget(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            std::string target = real;
            std::free(real);
            return target;
        }
    }
    return path;
}

}  // namespace

IniSettingsBackend::IniSettingsBackend(std::string path) : path_(std::move(path)) {}

std::string IniSettingsBackend::DefaultPath() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') return std::string(xdg) + "/" + kFileName;
    std::string home;
    if (const char* h = std::getenv("HOME"); h && h[0] != '\0') {
        home = h;
    } else if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && pw->pw_dir[0] != '\0') {
        home = pw->pw_dir;
    } else {
        return "";
    }
    if (home.size() > 1 && home.back() == '/') home.pop_back();
    return (home == "/" ? "" : home) + "/.config/" + kFileName;
}

std::optional<std::string> IniSettingsBackend::read(const std::string& section,
                                                    const std::string& key) {
    if (path_.empty()) return std::nullopt;
    FileDescriptor fd;
    int err = 0;
    std::string data;
    if (!OpenForReading(path_, fd, err) || fd.get() < 0 || !ReadAll(fd.get(), data)) return std::nullopt;
    const Document doc = Parse(data);
    const std::size_t i = doc.find(section, key);
    if (i == Document::npos) return std::nullopt;
    return doc.lines[i].value;
}

bool IniSettingsBackend::write(const std::string& section, const std::string& key,
                               const std::string& value, std::string& error) {
    if (path_.empty()) {
        error = "no home folder to keep the settings in";
        return false;
    }
    if (!MakeFolders(FolderOf(path_), error)) return false;
    FileLock lock;
    if (!lock.acquire(path_ + ".lock", path_, error)) return false;

    const std::string target = WriteTarget(path_);
    FileDescriptor fd;
    int err = 0;
    std::string data;
    if (!OpenForReading(target, fd, err) || (fd.get() >= 0 && !ReadAll(fd.get(), data))) {
        if (fd.get() >= 0) err = errno;
        // Writing now would throw away every other value in the file.
        error = "cannot read " + target + ": " + Reason(err);
        return false;
    }
    Document doc = Parse(data);
    const std::size_t existing = doc.find(section, key);
    if (existing != Document::npos && doc.lines[existing].value == value) {
        // Already stored; make sure it is on disk, as after a write.
        if (::fsync(fd.get()) != 0 && errno != EINVAL) {
            error = "cannot write " + target + ": " + Reason(errno);
            return false;
        }
        return true;
    }
    SetValue(doc, section, key, value);
    return ReplaceFile(target, Serialize(doc), error);
}

}  // namespace fhsw
