#include "compose/profile_fields.h"

#include <cstdio>
#include <optional>

#include "compose/composer.h"

namespace fhsw {

namespace {

// The first control character of `text` that no field may hold, as its code
// point: C0 but tab, CR and LF; DEL; C1 (UTF-8 C2 80 to C2 9F).
std::optional<char32_t> FirstControl(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c < 0x20 && c != '\t' && c != '\r' && c != '\n') || c == 0x7F) return c;
        if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0 &&
            IsUtf8Continuation(text[i + 1]))
            return static_cast<unsigned char>(text[i + 1]);
    }
    return std::nullopt;
}
}  // namespace

const ProfileField* FindField(std::string_view key) {
    for (const ProfileField* f : kProfileFields)
        if (key == f->key) return f;
    return nullptr;
}

std::size_t Utf8Length(std::string_view s) {
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char b = at(0);
    std::size_t n = b < 0x80 ? 1 : b < 0xC2 ? 0 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : b < 0xF5 ? 4 : 0;
    if (n == 0 || n > s.size()) return 0;
    for (std::size_t i = 1; i < n; ++i)
        if (!IsUtf8Continuation(s[i])) return 0;
    // No overlong forms, no surrogates, nothing beyond U+10FFFF.
    if ((b == 0xE0 && at(1) < 0xA0) || (b == 0xED && at(1) >= 0xA0) || (b == 0xF0 && at(1) < 0x90) ||
        (b == 0xF4 && at(1) >= 0x90))
        return 0;
    return n;
}

std::size_t CharCount(std::string_view utf8) {
    std::size_t n = 0;
    for (char c : utf8) n += !IsUtf8Continuation(c);
    return n;
}

std::string_view FirstChars(std::string_view utf8, std::size_t n) {
    for (std::size_t i = 0; i < utf8.size(); ++i)
        if (!IsUtf8Continuation(utf8[i]) && n-- == 0) return utf8.substr(0, i);
    return utf8;
}

std::string DescribeChar(char32_t c) {
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
    if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0) || c == 0xFFFD) return std::string("(").append(code).append(")");
    std::string utf8;
    if (c < 0x80) {
        utf8 += static_cast<char>(c);
    } else {
        const int extra = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
        utf8 += static_cast<char>((0xFF00 >> (extra + 1)) | (c >> (6 * extra)));
        for (int i = extra - 1; i >= 0; --i) utf8 += static_cast<char>(0x80 | ((c >> (6 * i)) & 0x3F));
    }
    return "\"" + utf8 + "\" (" + code + ")";
}

std::string ValueRefusal(const ProfileField& field, std::string_view value, bool asArgument) {
    if (const auto c = FirstControl(value))
        return "holds the control character " + DescribeChar(*c) + ", which cannot be sent";
    if (!field.multiLine && CharCount(value) > kMaxBatchLineLength)
        return "is " + std::to_string(CharCount(value)) + " characters long, a command line carries at most " +
               std::to_string(kMaxBatchLineLength);
    if (asArgument && value.starts_with('-'))
        return "starts with \"-\", which SendEmail.exe would take for one of its switches";
    return {};
}

}  // namespace fhsw
