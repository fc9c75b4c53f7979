// Finding the character that a code page cannot hold, for the message that
// names it. Portable: works on any 16-bit code unit type (wchar_t on
// Windows, char16_t elsewhere).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace fhsw {

// "U+" and the code point in upper-case hex, at least four digits.
inline std::string CodePointLabel(char32_t cp) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    for (; cp != 0 || hex.size() < 4; cp >>= 4) hex.insert(hex.begin(), kDigits[cp & 0xF]);
    return "U+" + hex;
}

// Walks UTF-16 text one character at a time (a surrogate pair is one
// character; a lone surrogate stands for itself) and returns the first
// character for which `fits(units)` is false, where `units` holds that
// character's one or two code units. Nothing when every character fits.
template <typename Unit, typename Fits>
std::optional<char32_t> FirstCharacterNotFitting(std::basic_string_view<Unit> text, Fits fits) {
    std::size_t i = 0;
    while (i < text.size()) {
        const char32_t first = static_cast<char16_t>(text[i]);
        std::size_t count = 1;
        char32_t cp = first;
        if (first >= 0xD800 && first <= 0xDBFF && i + 1 < text.size()) {
            const char32_t second = static_cast<char16_t>(text[i + 1]);
            if (second >= 0xDC00 && second <= 0xDFFF) {
                count = 2;
                cp = 0x10000 + ((first - 0xD800) << 10) + (second - 0xDC00);
            }
        }
        if (!fits(text.substr(i, count))) return cp;
        i += count;
    }
    return std::nullopt;
}

}  // namespace fhsw
