#pragma once

#include <cstdint>
#include <string>

namespace tolbe::cli {

// `text` as a JSON string. Names from a database need not be UTF-8: a byte that does not start a
// whole UTF-8 sequence becomes U+FFFD, so the output stays valid JSON.
inline std::string JsonString(const std::string& text) {
    std::string out = "\"";
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = byte(i);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            static constexpr char kDigits[] = "0123456789abcdef";
            out += "\\u00";
            out += kDigits[c >> 4];
            out += kDigits[c & 0xF];
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            // Sequence length from the lead byte; overlong forms and surrogates are refused.
            const std::size_t n = c >= 0xC2 && c <= 0xDF   ? 2
                                  : c >= 0xE0 && c <= 0xEF ? 3
                                  : c >= 0xF0 && c <= 0xF4 ? 4
                                                           : 0;
            bool whole = n > 0 && i + n <= text.size();
            for (std::size_t k = 1; whole && k < n; ++k)
                whole = (byte(i + k) & 0xC0) == 0x80;
            if (whole && n == 3) whole = !(c == 0xE0 && byte(i + 1) < 0xA0) && !(c == 0xED && byte(i + 1) >= 0xA0);
            if (whole && n == 4) whole = !(c == 0xF0 && byte(i + 1) < 0x90) && !(c == 0xF4 && byte(i + 1) >= 0x90);
            if (whole) {
                out.append(text, i, n);
                i += n - 1;
            } else {
                out += "\\ufffd";
            }
        }
    }
    return out + "\"";
}

} // namespace tolbe::cli
