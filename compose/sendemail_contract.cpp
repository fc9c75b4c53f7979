#include "compose/sendemail_contract.h"

namespace fhsw {

std::string DoubleLeadingDots(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 32);
    bool lineStart = true;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (lineStart && c == '.') out += '.';
        out += c;
        lineStart = c == '\n' || (c == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'));
    }
    return out;
}

}  // namespace fhsw
