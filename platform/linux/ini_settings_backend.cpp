#include "platform/linux/ini_settings_backend.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string_view>
#include <thread>
#include <unordered_map>
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
// The file as read: its bytes exactly as they are, and where its section
// headers and "key=value" lines lie. Names and values are unescaped only when
// asked for, so a large file costs little more than its own size in memory.
// A write splices the one line it changes into the bytes; comments, lines
// that do not parse and the layout stay as they were.

// The name of a value as one path, as the format sees it: the section, a
// slash and the key; keys of the "General" section stand alone. So a "/" in
// a name is a level, and section "a/b" with key "k" is section "a" with key
// "b/k", as for every other reader of the format.
std::string ValuePath(const std::string& section, const std::string& key) {
    return section.empty() ? key : section + "/" + key;
}

class IniText {
public:
    static constexpr std::size_t npos = std::size_t(-1);

    IniText() : IniText(std::string()) {}
    explicit IniText(std::string data);

    const std::string& data() const { return data_; }

    // The line that holds a value: the last one of that path. `keyAt` is
    // where the key starts in the path as that line's section sees it.
    struct Found {
        std::size_t entry = npos;
        std::size_t keyAt = 0;
    };
    Found find(const std::string& section, const std::string& key) const;
    // Nothing for "@Invalid()".
    std::optional<std::string> valueAt(std::size_t entry) const {
        const Entry& e = entries_[entry];
        return UnescapeValue(std::string_view(data_).substr(e.equals + 1, e.contentEnd - e.equals - 1));
    }
    // Replaces the line that holds the value, or adds one to the end of the
    // section's last block, or a new section at the end of the file.
    void set(const std::string& section, const std::string& key, const std::string& value);

private:
    // A section header or a "key=value" line; offsets into data_.
    struct Entry {
        std::uint32_t start;         // first byte of the line
        std::uint32_t end;           // one past its line break
        std::uint32_t contentStart;  // first byte after leading blanks
        std::uint32_t equals;        // pair: the "=" after the key
        std::uint32_t contentEnd;    // end of the text before a ";" comment
        bool header;
    };
    // A header and the pairs after it, entries [first, last). Block 0 holds
    // the pairs before the first header (the "General" section).
    struct Block {
        std::uint32_t first, last;
    };

    bool keyEquals(const Entry& e, std::string_view key) const;
    // What the last line of the file needs before another line can follow.
    std::string lastLineEnding() const;
    // Replaces `length` bytes at `at` with `text`.
    void splice(std::size_t at, std::size_t length, const std::string& text);
    // Moves the entries from index `from` on by `delta` bytes.
    void shift(std::size_t from, std::ptrdiff_t delta);

    std::string data_;
    std::vector<Entry> entries_;
    std::vector<Block> blocks_;
    std::unordered_map<std::string, std::vector<std::uint32_t>> sections_;  // name -> its blocks
    std::size_t lastLine_ = npos;  // where the file's last line starts
    bool lastTerminated_ = true;   // it ends with a line break of its own
    bool lastEndsInEscape_ = false;  // the file ends with a backslash that escapes nothing yet
};

IniText::IniText(std::string data) : data_(std::move(data)) {
    const std::string_view text(data_);
    std::size_t pos = text.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
    const std::size_t n = text.size();
    auto isBreak = [](char c) { return c == '\n' || c == '\r'; };
    blocks_.push_back({0, 0});
    sections_[""].push_back(0);
    while (pos < n) {
        const std::size_t start = pos;
        std::size_t i = pos;
        while (i < n && (IsBlank(text[i]) || text[i] == '\f' || text[i] == '\v')) ++i;
        const std::size_t contentStart = i;
        // ";" and "#" start comment lines; ";" also ends a line's content.
        const bool commentLine = i < n && (text[i] == ';' || text[i] == '#');
        bool skipRest = commentLine;
        bool inQuotes = false;
        bool endsInEscape = false;
        std::size_t equals = std::string_view::npos;
        std::size_t contentEnd = std::string_view::npos;
        // A line ends at the first line break that no backslash escapes. A
        // line break inside quotes ends it too: one stray quote must not
        // swallow the rest of the file.
        while (i < n && !isBreak(text[i])) {
            const char c = text[i++];
            if (skipRest) continue;
            if (c == '\\') {
                if (i < n) {
                    const char e = text[i++];
                    if (isBreak(e) && i < n && isBreak(text[i]) && text[i] != e) ++i;
                } else {
                    endsInEscape = true;
                }
            } else if (c == '"') {
                inQuotes = !inQuotes;
            } else if (c == '=' && !inQuotes) {
                if (equals == std::string_view::npos) equals = i - 1;
            } else if (c == ';' && !inQuotes) {
                contentEnd = i - 1;
                skipRest = true;
            }
        }
        if (contentEnd == std::string_view::npos) contentEnd = i;
        const bool terminated = i < n;
        if (i < n) i += (text[i] == '\r' && i + 1 < n && text[i + 1] == '\n') ? 2 : 1;

        lastLine_ = start;
        lastTerminated_ = terminated;
        lastEndsInEscape_ = endsInEscape;
        pos = i;
        if (commentLine || contentEnd == contentStart) continue;
        const auto at = [](std::size_t offset) { return static_cast<std::uint32_t>(offset); };
        if (text[contentStart] == '[') {
            const std::string_view content = text.substr(contentStart, contentEnd - contentStart);
            const auto close = content.find(']');
            const std::string name = SectionFromHeader(
                content.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
            entries_.push_back({at(start), at(i), at(contentStart), at(contentStart), at(contentEnd), true});
            blocks_.push_back({at(entries_.size() - 1), at(entries_.size())});
            sections_[name].push_back(at(blocks_.size() - 1));
        } else if (equals != std::string_view::npos) {
            // Lines that are not "key=value" are skipped.
            entries_.push_back({at(start), at(i), at(contentStart), at(equals), at(contentEnd), false});
            blocks_.back().last = at(entries_.size());
        }
    }
    entries_.shrink_to_fit();
    blocks_.shrink_to_fit();
}

bool IniText::keyEquals(const Entry& e, std::string_view key) const {
    const std::string_view raw = Trim(std::string_view(data_).substr(e.contentStart, e.equals - e.contentStart));
    // Only "%" and "\" stand for something else in a name.
    if (raw.find_first_of("%\\") == std::string_view::npos) return raw == key;
    return UnescapeName(raw) == key;
}

IniText::Found IniText::find(const std::string& section, const std::string& key) const {
    // Every way of cutting the path into a section and a key names the same
    // value: look in each such section and take the last line of all.
    const std::string path = ValuePath(section, key);
    Found best;
    auto look = [&](const std::string& name, std::size_t keyAt) {
        const auto it = sections_.find(name);
        if (it == sections_.end()) return;
        const std::string_view wanted = std::string_view(path).substr(keyAt);
        for (auto b = it->second.rbegin(); b != it->second.rend(); ++b) {
            const Block& block = blocks_[*b];
            for (std::size_t i = block.last; i-- > block.first;) {
                if (best.entry != npos && i <= best.entry) return;
                if (!entries_[i].header && keyEquals(entries_[i], wanted)) {
                    best = {i, keyAt};
                    return;
                }
            }
        }
    };
    look("", 0);
    for (std::size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        look(path.substr(0, slash), slash + 1);
    }
    return best;
}

std::string IniText::lastLineEnding() const {
    if (lastLine_ == npos || lastTerminated_) return "";
    // "\" at the very end would escape the new line break and join the next
    // line to this one; a blank after it means the same as nothing. After an
    // escaped CR, CR LF would count as one escaped line break.
    std::string ending;
    if (lastEndsInEscape_) {
        ending += ' ';
    } else if (data_.size() > lastLine_ && data_.back() == '\r') {
        ending += '\n';
    }
    return ending + '\n';
}

void IniText::splice(std::size_t at, std::size_t length, const std::string& text) {
    std::string out;
    out.reserve(data_.size() - length + text.size());
    out.append(data_, 0, at);
    out += text;
    out.append(data_, at + length, std::string::npos);
    data_.swap(out);
}

void IniText::shift(std::size_t from, std::ptrdiff_t delta) {
    for (std::size_t i = from; i < entries_.size(); ++i) {
        Entry& e = entries_[i];
        for (std::uint32_t* offset : {&e.start, &e.end, &e.contentStart, &e.equals, &e.contentEnd}) {
            *offset = static_cast<std::uint32_t>(std::ptrdiff_t(*offset) + delta);
        }
    }
}

void IniText::set(const std::string& section, const std::string& key, const std::string& value) {
    const auto at = [](std::size_t offset) { return static_cast<std::uint32_t>(offset); };
    const Found found = find(section, key);
    if (found.entry != npos) {
        // The line keeps its place and its line break; the key is written as
        // the line's own section names it.
        const std::string name = EscapeName(ValuePath(section, key).substr(found.keyAt));
        const std::string text = name + "=" + EscapeValue(value);
        Entry& e = entries_[found.entry];
        std::size_t keep = e.end;
        while (keep > e.start && (data_[keep - 1] == '\n' || data_[keep - 1] == '\r')) --keep;
        const std::string line = text + data_.substr(keep, e.end - keep);
        const bool last = e.start == lastLine_;
        const bool terminated = keep < e.end;
        const std::ptrdiff_t delta = std::ptrdiff_t(line.size()) - std::ptrdiff_t(e.end - e.start);
        splice(e.start, e.end - e.start, line);
        e = {e.start, at(e.start + line.size()), e.start, at(e.start + name.size()), at(e.start + text.size()),
             false};
        shift(found.entry + 1, delta);
        if (last) {
            lastTerminated_ = terminated;
            lastEndsInEscape_ = false;
        } else if (lastLine_ != npos && lastLine_ > e.start) {
            lastLine_ = std::size_t(std::ptrdiff_t(lastLine_) + delta);
        }
        return;
    }

    const std::string name = EscapeName(key);
    const std::string text = name + "=" + EscapeValue(value);
    const std::string line = text + "\n";
    // The end of the section's last block.
    std::size_t block = npos;
    if (const auto it = sections_.find(section); it != sections_.end()) {
        for (auto b = it->second.rbegin(); b != it->second.rend() && block == npos; ++b) {
            if (blocks_[*b].last > blocks_[*b].first) block = *b;
        }
    }
    if (block != npos) {
        const std::size_t after = blocks_[block].last - 1;
        const bool last = entries_[after].start == lastLine_;
        const std::string ending = last ? lastLineEnding() : "";
        const std::size_t pos = entries_[after].end;
        splice(pos, 0, ending + line);
        entries_[after].end = at(pos + ending.size());
        const std::size_t start = pos + ending.size();
        entries_.insert(entries_.begin() + std::ptrdiff_t(after + 1),
                        {at(start), at(start + line.size()), at(start), at(start + name.size()),
                         at(start + text.size()), false});
        shift(after + 2, std::ptrdiff_t(ending.size() + line.size()));
        ++blocks_[block].last;
        for (std::size_t b = block + 1; b < blocks_.size(); ++b) {
            ++blocks_[b].first;
            ++blocks_[b].last;
        }
        if (last) {
            lastLine_ = start;
            lastTerminated_ = true;
            lastEndsInEscape_ = false;
        } else if (lastLine_ != npos && lastLine_ >= pos) {
            lastLine_ += ending.size() + line.size();
        }
        return;
    }

    // A new section at the end, after an empty line.
    std::string added;
    if (lastLine_ != npos) {
        const std::string ending = lastLineEnding();
        if (!entries_.empty() && entries_.back().start == lastLine_) {
            entries_.back().end = at(data_.size() + ending.size());
        }
        added = ending;
        const std::string lastLine = data_.substr(lastLine_) + ending;
        if (lastLine.find_first_not_of(" \t\r\n") != std::string::npos) added += "\n";
    }
    const std::string header = "[" + SectionHeaderName(section) + "]\n";
    const std::size_t headerStart = data_.size() + added.size();
    const std::size_t start = headerStart + header.size();
    splice(data_.size(), 0, added + header + line);
    entries_.push_back({at(headerStart), at(start), at(headerStart), at(headerStart), at(start - 1), true});
    entries_.push_back({at(start), at(start + line.size()), at(start), at(start + name.size()),
                        at(start + text.size()), false});
    blocks_.push_back({at(entries_.size() - 2), at(entries_.size())});
    sections_[section].push_back(at(blocks_.size() - 1));
    lastLine_ = start;
    lastTerminated_ = true;
    lastEndsInEscape_ = false;
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

// Reads the whole file straight into `out`, expecting about `size` bytes;
// false with errno set on failure.
bool ReadWhole(int fd, std::size_t size, std::string& out) {
    out.resize(size + 1);  // one more: the end shows as a short read
    std::size_t have = 0;
    for (;;) {
        if (have == out.size()) out.resize(out.size() * 2);
        const ssize_t n = ::read(fd, out.data() + have, out.size() - have);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) break;
        have += std::size_t(n);
    }
    out.resize(have);
    return true;
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


// The file's identity: a save of any copy replaces the file (a new inode), and
// a change in place moves its modification time, its change time (which no
// one can set back) or its size.
struct Identity {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    std::int64_t mtime = 0, ctime = 0;  // nanoseconds
    static Identity Of(const struct stat& st) {
        auto ns = [](const timespec& t) { return std::int64_t(t.tv_sec) * 1000000000 + t.tv_nsec; };
        return {st.st_dev, st.st_ino, st.st_size, ns(st.st_mtim), ns(st.st_ctim)};
    }
    friend bool operator==(const Identity&, const Identity&) = default;
};

// A file whose time stamps are this close to now may still change within the
// same time stamp (file systems keep them as coarse as 2 s): until it is older
// its content is compared as well.
constexpr std::int64_t kSettleNs = 2'000'000'000;

bool Settled(const Identity& id) {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const std::int64_t nowNs = std::int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
    return nowNs - std::max(id.mtime, id.ctime) >= kSettleNs;
}

// A settings file is far smaller; anything larger is not one.
constexpr off_t kMaxFileSize = off_t(256) << 20;

// Why a file of this kind cannot be the settings file.
std::string NotARegularFile(mode_t mode) {
    if (S_ISDIR(mode)) return Reason(EISDIR);
    if (S_ISFIFO(mode)) return "it is a named pipe (FIFO), not a regular file";
    if (S_ISSOCK(mode)) return "it is a socket, not a regular file";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "it is a device, not a regular file";
    return "not a regular file";
}

// Replaces `target` with `data`: a temporary file in the same folder, synced,
// renamed over the target, then the folder synced. `written` gets the status
// of the new file.
bool ReplaceFile(const std::string& target, const std::string& data, struct stat& written,
                 std::string& error) {
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
    if (::rename(temp.c_str(), target.c_str()) != 0) return fail(errno);
    // After the rename: it changes the file's change time.
    if (::fstat(fd.get(), &written) != 0 || fd.close() != 0) {
        error = "cannot write " + target + ": " + Reason(errno);
        return false;
    }

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

// The file as last read or written, and what it was then.
struct IniSettingsBackend::Cache {
    bool exists = false;   // false: nothing read yet, or the file was missing
    Identity id;
    bool settled = false;  // the identity alone tells whether it changed
    bool synced = false;   // known to be on disk: this copy wrote or synced it
    IniText text;

    void forget() {
        exists = false;
        settled = false;
        synced = false;
        id = {};
        text = IniText();
    }
};

IniSettingsBackend::IniSettingsBackend(std::string path)
    : path_(std::move(path)), cache_(std::make_unique<Cache>()) {
    onReadError = [](const std::string& message) { std::fprintf(stderr, "fh-sendwarden: %s\n", message.c_str()); };
}

IniSettingsBackend::~IniSettingsBackend() = default;

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

std::size_t IniSettingsBackend::parses() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return parses_;
}

std::string IniSettingsBackend::lastReadError() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return readError_;
}

bool IniSettingsBackend::refresh(const std::string& file, std::string& reason) {
    Cache& cache = *cache_;
    struct stat st;
    if (::stat(file.c_str(), &st) != 0) {
        if (errno != ENOENT) {
            reason = Reason(errno);
            return false;
        }
        cache.forget();
        return true;
    }
    // Anything but a regular file (a FIFO would block the first read) is
    // refused before it is opened.
    if (!S_ISREG(st.st_mode)) {
        reason = NotARegularFile(st.st_mode);
        return false;
    }
    if (cache.exists && cache.settled && cache.id == Identity::Of(st)) return true;

    for (int attempt = 0;; ++attempt) {
        FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        if (fd.get() < 0) {
            if (errno == ENOENT) {
                cache.forget();
                return true;
            }
            reason = Reason(errno);
            return false;
        }
        struct stat before, after;
        if (::fstat(fd.get(), &before) != 0) {
            reason = Reason(errno);
            return false;
        }
        if (!S_ISREG(before.st_mode)) {
            reason = NotARegularFile(before.st_mode);
            return false;
        }
        if (before.st_size > kMaxFileSize) {
            reason = "it is larger than 256 MB, too large for a settings file";
            return false;
        }
        std::string data;
        if (!ReadWhole(fd.get(), std::size_t(before.st_size), data) || ::fstat(fd.get(), &after) != 0) {
            reason = Reason(errno);
            return false;
        }
        // Changed in place while it was read: read it again.
        if (Identity::Of(before) != Identity::Of(after) && attempt < 3) continue;
        const Identity id = Identity::Of(after);
        const bool same = cache.exists && cache.text.data() == data;
        // What another hand wrote may not be on disk yet.
        if (!same || id != cache.id) cache.synced = false;
        if (!same) {
            cache.text = IniText(std::move(data));
            ++parses_;
        }
        cache.exists = true;
        cache.id = id;
        cache.settled = Settled(id);
        return true;
    }
}

std::optional<std::string> IniSettingsBackend::read(const std::string& section,
                                                    const std::string& key) {
    std::string report;  // told after the lock is let go
    std::optional<std::string> value;
    {
        std::lock_guard<std::mutex> hold(mutex_);
        if (path_.empty()) return std::nullopt;
        std::string reason;
        if (refresh(path_, reason)) {
            readError_.clear();
            if (cache_->exists) {
                const IniText::Found found = cache_->text.find(section, key);
                if (found.entry != IniText::npos) value = cache_->text.valueAt(found.entry);
            }
        } else {
            cache_->forget();
            const std::string message =
                "cannot read " + path_ + ": " + reason + "; the settings read as their defaults";
            if (message != readError_) report = readError_ = message;
        }
    }
    if (!report.empty() && onReadError) onReadError(report);
    return value;
}

bool IniSettingsBackend::writeOne(const std::string& section, const std::string& key,
                               const std::string& value, std::string& error) {
    std::lock_guard<std::mutex> hold(mutex_);
    if (path_.empty()) {
        error = "no home folder to keep the settings in";
        return false;
    }
    if (!MakeFolders(FolderOf(path_), error)) return false;
    FileLock lock;
    if (!lock.acquire(path_ + ".lock", path_, error)) return false;

    const std::string target = WriteTarget(path_);
    std::string reason;
    if (!refresh(target, reason)) {
        cache_->forget();
        // Writing now would throw away every other value in the file.
        error = "cannot read " + target + ": " + reason;
        return false;
    }
    Cache& cache = *cache_;
    if (cache.exists) {
        const IniText::Found found = cache.text.find(section, key);
        if (found.entry != IniText::npos && cache.text.valueAt(found.entry) == value) {
            // Already stored; make sure it is on disk, as after a write. The
            // data is what counts: a read may have left only a new access
            // time to write, which need not wait for the disk.
            if (cache.synced) return true;
            FileDescriptor fd(::open(target.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
            if (fd.get() < 0 || (::fdatasync(fd.get()) != 0 && errno != EINVAL)) {
                error = "cannot write " + target + ": " + Reason(errno);
                return false;
            }
            cache.synced = true;
            return true;
        }
    }
    // The cache takes the change at once and stays with it when the file has
    // it; after a failure it is read again.
    cache.text.set(section, key, value);
    struct stat written;
    if (!ReplaceFile(target, cache.text.data(), written, error)) {
        cache.forget();
        return false;
    }
    // A file that this copy has just put in place is known by its identity
    // alone: only a change made in place within the same time stamp tick
    // (milliseconds on the usual file systems) could slip past it, and no
    // copy of the program changes the file in place.
    cache.exists = true;
    cache.id = Identity::Of(written);
    cache.settled = true;
    cache.synced = true;
    return true;
}

bool IniSettingsBackend::writeAll(const std::vector<SettingValue>& values, std::string& error) {
    for (const SettingValue& v : values)
        if (!writeOne(v.section, v.key, v.value, error)) return false;
    return true;
}

std::vector<std::string> IniSettingsBackend::sections() { return {}; }

}  // namespace fhsw
