#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tolbe {

// Hexadecimal text of bytes, two digits a byte, in either letter case: the code and protocol
// data of the database, the tone tables, the stored key and the hashes of the live update.
// With `stride` 3 each byte's digits are followed by one separator character ("1A 2B 3C",
// a trailing separator optional). Nothing when any digit is not hexadecimal or a byte is cut.
std::optional<std::vector<std::uint8_t>> ParseHex(std::string_view text, std::size_t stride = 2);

// Bytes as upper-case hexadecimal text, two digits a byte.
std::string ToHex(const std::vector<std::uint8_t>& bytes);

} // namespace tolbe
