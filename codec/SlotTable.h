#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace tolbe::codec {

// Device slots of the remote, in the order of its code memory.
inline constexpr std::uint8_t kSlotTV = 0;
inline constexpr std::uint8_t kSlotSAT = 1;
inline constexpr std::uint8_t kSlotDVD = 2;
inline constexpr std::uint8_t kSlotAUX = 3;
inline constexpr int kSlotCount = 4;

// Each slot owns one region of this many bytes of the remote's code memory, slot 0 first.
inline constexpr int kSlotRegionBytes = 768;

// Address of a slot's region in the remote's code memory: 0x000, 0x300, 0x600, 0x900.
constexpr int SlotBaseAddress(std::uint8_t slot) {
    return kSlotRegionBytes * slot;
}

// The code set assigned to one device slot. SourceID 0 (or below) means nothing is assigned.
struct SlotInfo {
    std::int32_t SourceID = 0;
    std::int32_t SetOfCodeID = 0;
    std::string DeviceName;
    std::string BrandName;
    std::string ModelName;

    bool IsAssigned() const { return SourceID >= 1; }
};

// Slot 0 TV, 1 SAT, 2 DVD, 3 AUX. Lives only in memory: every run starts empty.
using SlotTable = std::array<SlotInfo, kSlotCount>;

} // namespace tolbe::codec
