#include "common/Slot.h"

#include <cctype>

namespace tolbe {
namespace {
constexpr std::array<std::string_view, Slot::kCount> kNames{"TV", "SAT", "DVD", "AUX"};
}

std::optional<Slot> Slot::Parse(std::string_view text) {
    std::string upper(text);
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const Slot slot : All())
        if (upper == kNames[static_cast<std::size_t>(slot.Index())] || upper == std::to_string(slot.Index()))
            return slot;
    return std::nullopt;
}

std::string Slot::Name() const {
    return std::string(kNames[static_cast<std::size_t>(m_index)]);
}

} // namespace tolbe
