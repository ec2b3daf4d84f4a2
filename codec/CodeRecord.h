#pragma once

#include "common/Result.h"
#include "db/CodeSet.h"

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace tolbe::codec {

// Source of the filler bytes that pad a code record to whole blocks.
class FillerSource {
public:
    virtual ~FillerSource() = default;
    // A fraction in [0, 1).
    virtual double NextFraction() = 0;
};

// Mersenne-twister filler: the same seed gives the same bytes.
class SeededFiller final : public FillerSource {
public:
    explicit SeededFiller(std::uint32_t seed) : m_gen(seed) {}
    // Seeded from the system's random device.
    SeededFiller() : m_gen(std::random_device{}()) {}
    double NextFraction() override;

private:
    std::mt19937 m_gen;
};

// Filler of zero bytes: records that differ only in their filler come out equal, so code sets can be
// compared by what they really write into a slot.
class ZeroFiller final : public FillerSource {
public:
    double NextFraction() override { return 0.0; }
};

// The one remote model whose code memory layout the encoder knows.
inline constexpr std::uint8_t kSupportedRcuModel = 1;

// The default key orders (46 key-map numbers) for TV/SAT and for DVD/AUX.
const std::string& DefaultKeyOrder(std::uint8_t eDevice);

// Encodes the loaded code set `codes` into the code record of slot `eDevice` (0 TV .. 3 AUX), laid
// out as the remote reads its code memory region at 768 x eDevice. `StrKeyDown` is the key order
// ("13,3,..."; empty selects the slot's default order). Reads no database. On success `CodeBuffer` holds 64 x
// BlockCount bytes (the record, then filler bytes from `rng`). On any failure `CodeBuffer` is 768 zero bytes and
// `BlockCount` is untouched; nothing must then be sent. The failure's reason is for tools and logs; the window
// shows none.
Status BuildCodeRecord(std::uint8_t RCUModel, std::uint8_t eDevice, const db::CodeSet& codes,
                       std::vector<std::uint8_t>& CodeBuffer, std::int16_t& BlockCount, const std::string& StrKeyDown,
                       FillerSource& rng);

} // namespace tolbe::codec
