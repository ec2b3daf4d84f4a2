#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tolbe {

// One of the remote's four device slots, in the order of its code memory: 0 TV, 1 SAT, 2 DVD,
// 3 AUX. Every layer asks this type for a slot's name and address, so they cannot disagree.
class Slot {
public:
    static constexpr int kCount = 4;
    // Each slot owns one region of the remote's code memory, slot 0 first.
    static constexpr int kRegionBytes = 768;
    // A slot's region is written in blocks of this size.
    static constexpr int kBlockBytes = 64;
    static constexpr int kMaxBlocks = kRegionBytes / kBlockBytes;

    constexpr Slot() = default;
    // Any number but 0, 1 and 2 is AUX: the slot buttons show it so, and the remote's last
    // region takes it.
    static constexpr Slot FromNumber(int number) { return Slot(number >= 0 && number <= 2 ? number : 3); }
    // "TV", "SAT", "DVD", "AUX" in any letter case, or "0" to "3"; nothing for anything else.
    static std::optional<Slot> Parse(std::string_view text);
    static constexpr std::array<Slot, kCount> All() { return {Slot(0), Slot(1), Slot(2), Slot(3)}; }
    static constexpr Slot TV() { return Slot(0); }
    static constexpr Slot SAT() { return Slot(1); }
    static constexpr Slot DVD() { return Slot(2); }
    static constexpr Slot AUX() { return Slot(3); }

    constexpr int Index() const { return m_index; }
    constexpr std::uint8_t Number() const { return static_cast<std::uint8_t>(m_index); }
    // Start of the slot's region in the remote's code memory: 0x000, 0x300, 0x600, 0x900.
    constexpr std::uint16_t BaseAddress() const { return static_cast<std::uint16_t>(kRegionBytes * m_index); }
    // "TV", "SAT", "DVD" or "AUX", as the remote's keys are labelled in every language.
    std::string Name() const;
    // How a slot may be named where one is typed: "TV, SAT, DVD, AUX or 0 to 3".
    static std::string Choices();
    // TV and SAT share the television key map, DVD and AUX the player's.
    constexpr bool IsTelevisionKind() const { return m_index <= 1; }

    constexpr bool operator==(const Slot&) const = default;

private:
    constexpr explicit Slot(int index) : m_index(index) {}
    int m_index = 0;
};

} // namespace tolbe
