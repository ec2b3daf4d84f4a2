#pragma once

#include "common/Slot.h"

#include <array>
#include <cstdint>
#include <string>

namespace tolbe::codec {

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
using SlotTable = std::array<SlotInfo, Slot::kCount>;

} // namespace tolbe::codec
