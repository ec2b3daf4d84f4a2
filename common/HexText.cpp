#include "common/HexText.h"

namespace tolbe {
namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

} // namespace

std::optional<std::vector<std::uint8_t>> ParseHex(std::string_view text, std::size_t stride) {
    if (stride < 2) return std::nullopt;
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() / stride + 1);
    std::size_t i = 0;
    for (; i + 2 <= text.size(); i += stride) {
        const int hi = HexDigit(text[i]);
        const int lo = HexDigit(text[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
    }
    // Whatever is left must be the last byte's separator, not half a byte.
    if (i < text.size()) return std::nullopt;
    return bytes;
}

std::string ToHex(std::span<const std::uint8_t> bytes, LetterCase letters) {
    const char* const kDigits = letters == LetterCase::Upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (std::uint8_t b : bytes) {
        text += kDigits[b >> 4];
        text += kDigits[b & 0x0F];
    }
    return text;
}

} // namespace tolbe
