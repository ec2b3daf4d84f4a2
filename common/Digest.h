#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace tolbe {

// SHA-256, the one hash the program uses: the database key's raw form, the checked-database
// stamps, the slot images of the set-up assistant and the live update's files.
using Sha256Digest = std::array<std::uint8_t, 32>;

// The bytes of a text, to hash it.
inline std::span<const std::uint8_t> BytesOf(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Throw std::runtime_error only when the crypto library cannot hash at all (out of memory).
Sha256Digest Sha256(std::span<const std::uint8_t> bytes);
// The digest as 64 lower-case hexadecimal digits, as update descriptors and tolbe-cli print it.
std::string Sha256Hex(std::span<const std::uint8_t> bytes);

// A hash fed piece by piece, for files read in parts.
class Sha256Stream {
public:
    Sha256Stream();
    ~Sha256Stream();
    Sha256Stream(const Sha256Stream&) = delete;
    Sha256Stream& operator=(const Sha256Stream&) = delete;

    void Add(std::span<const std::uint8_t> bytes);
    // The digest of everything added; the stream then starts over.
    Sha256Digest Finish();

private:
    struct Context;
    std::unique_ptr<Context> m_context;
};

} // namespace tolbe
