#include "common/Slot.h"

#include "common/AsciiText.h"

namespace tolbe {
namespace {
constexpr std::array<std::string_view, Slot::kCount> kNames{"TV", "SAT", "DVD", "AUX"};
}

std::optional<Slot> Slot::Parse(std::string_view text) {
    const std::string upper = ToUpper(text);
    for (const Slot slot : All())
        if (upper == kNames[static_cast<std::size_t>(slot.Index())] || upper == std::to_string(slot.Index()))
            return slot;
    return std::nullopt;
}

std::string Slot::Name() const {
    return std::string(kNames[static_cast<std::size_t>(m_index)]);
}

} // namespace tolbe
