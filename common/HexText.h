#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tolbe {

// Hexadecimal text of bytes, two digits a byte, in either letter case: the code and protocol
// data of the database, the tone tables, the stored key and the hashes of the live update.
// With `stride` 3 each byte's digits are followed by one separator character ("1A 2B 3C",
// a trailing separator optional). Nothing when any digit is not hexadecimal or a byte is cut.
std::optional<std::vector<std::uint8_t>> ParseHex(std::string_view text, std::size_t stride = 2);

enum class LetterCase { Upper, Lower };

// Bytes as hexadecimal text, two digits a byte: upper case as the database stores them, lower
// case for hashes.
std::string ToHex(std::span<const std::uint8_t> bytes, LetterCase letters = LetterCase::Upper);

} // namespace tolbe
