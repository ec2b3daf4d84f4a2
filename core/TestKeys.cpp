#include "core/TestKeys.h"

#include "codec/CodeRecord.h"
#include "common/AsciiText.h"
#include "common/HexText.h"
#include "core/Download.h"
#include "i18n/Texts.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <map>

namespace tolbe::core {

namespace {

// M_RCUFuncKey: the key's name follows ModelNameID, RCUModelID and RCUKeyMapID after the row id.
constexpr int kKeyNameColumn = 4;

std::string Folded(const std::string& name) {
    std::string out;
    for (unsigned char c : name) {
        if (c == ' ' || c == '_' || c == '.') continue;
        out += ToLower(static_cast<char>(c));
    }
    return out;
}

bool StartsWith(const std::string& s, const std::string& prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

bool EndsWith(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

KeyKind KindOf(const std::string& name) {
    const std::string f = Folded(name);
    if (f == "power" || f == "standby" || f == "on/off" || f == "onoff" || f == "power/standby") return KeyKind::Power;
    if (f == "mute") return KeyKind::Mute;
    if (f == "play" || f == "play/pause") return KeyKind::Play;
    if (f == "stop") return KeyKind::Stop;
    if (f == "eject" || f == "open/close" || f == "openclose" || f == "open") return KeyKind::OpenClose;
    if (f == "menu" || f == "setup/menu") return KeyKind::Menu;
    const bool up = EndsWith(f, "+") || EndsWith(f, "up");
    const bool down = (EndsWith(f, "-") && f != "-/--") || EndsWith(f, "down");
    if (StartsWith(f, "vol")) return up ? KeyKind::VolumeUp : down ? KeyKind::VolumeDown : KeyKind::Other;
    if (StartsWith(f, "ch") || StartsWith(f, "prog") || f == "p+" || f == "p-")
        return up ? KeyKind::ChannelUp : down ? KeyKind::ChannelDown : KeyKind::Other;
    return KeyKind::Other;
}

std::vector<std::int32_t> OrderEntries(const std::string& order) {
    std::vector<std::int32_t> out;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = order.find(',', start);
        const std::string entry = order.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        // The encoder accepted the order, so every entry is a whole number or empty.
        out.push_back(entry.find_first_of("0123456789") == std::string::npos ? 0 : std::stoi(entry));
        if (comma == std::string::npos) return out;
        start = comma + 1;
    }
}

} // namespace

std::vector<KeyCode> KeyCodesOf(const std::vector<std::uint8_t>& record, const std::string& order, Slot slot) {
    std::vector<KeyCode> out;
    if (record.size() < 10 || record.size() > static_cast<std::size_t>(Slot::kRegionBytes)) return out;
    const int base = slot.BaseAddress();
    const auto offset = [&](std::size_t at) { return (record[at] << 8 | record[at + 1]) - base; };
    const int trailer = offset(4);
    if (trailer < 6 || static_cast<std::size_t>(trailer) > record.size()) return out;
    const std::vector<std::int32_t> entries =
        OrderEntries(order.empty() ? codec::DefaultKeyOrder(slot.Number()) : order);
    if (6 + 2 * entries.size() > static_cast<std::size_t>(trailer)) return out;

    // A protocol block runs from its address to the next block's, the last one to the trailer.
    std::vector<int> blocks;
    for (std::size_t j = 0; j < entries.size(); ++j) {
        const int at = offset(6 + 2 * j);
        if (at < 0 || at + 5 > trailer || record[static_cast<std::size_t>(at)] == 0) continue;
        for (int p : {offset(static_cast<std::size_t>(at) + 1), offset(static_cast<std::size_t>(at) + 3)})
            if (p > 0 && p < trailer) blocks.push_back(p);
    }
    std::sort(blocks.begin(), blocks.end());
    blocks.erase(std::unique(blocks.begin(), blocks.end()), blocks.end());
    const auto protocol = [&](int address) {
        const auto next = std::upper_bound(blocks.begin(), blocks.end(), address);
        const int end = next == blocks.end() ? trailer : *next;
        return ToHex(std::vector<std::uint8_t>(record.begin() + address, record.begin() + end));
    };

    for (std::size_t j = 0; j < entries.size(); ++j) {
        const int at = offset(6 + 2 * j);
        if (entries[j] <= 0 || at < 0 || at + 5 > trailer) continue;
        const std::size_t a = static_cast<std::size_t>(at);
        const std::size_t length = record[a];
        if (length < 4 || a + 1 + length > static_cast<std::size_t>(trailer)) continue;
        if (std::any_of(out.begin(), out.end(), [&](const KeyCode& k) { return k.keyMapId == entries[j]; })) continue;
        const int p1 = offset(a + 1), p2 = offset(a + 3);
        KeyCode key;
        key.keyMapId = entries[j];
        key.code = (p1 > 0 && p1 < trailer ? protocol(p1) : std::string()) + "/" +
                   (p2 > 0 && p2 < trailer ? protocol(p2) : std::string()) + "/" +
                   ToHex(std::vector<std::uint8_t>(record.begin() + static_cast<std::ptrdiff_t>(a + 5),
                                                   record.begin() + static_cast<std::ptrdiff_t>(a + 1 + length)));
        out.push_back(std::move(key));
    }
    return out;
}

std::map<std::int32_t, std::string> KeyNames(const db::CodeDatabase& database, std::uint8_t RCUModel) {
    std::map<std::int32_t, std::string> names;
    try {
        // The name is read by position, the column after the three named ones, as other writers
        // of the format call it what they like; a table without it gives numbers only.
        const db::DbRecordset rs = database.DBConn().OpenRecordset("Select * From M_RCUFuncKey where ModelNameID=?",
                                                                   std::vector<db::DbParam>{std::int64_t{RCUModel}});
        int mapColumn = -1;
        for (int c = 0; c < rs.ColumnCount(); ++c)
            if (Folded(rs.ColumnName(c)) == "rcukeymapid") mapColumn = c;
        for (int r = 0; mapColumn >= 0 && rs.ColumnCount() > kKeyNameColumn && r < rs.RecordCount(); ++r)
            names.try_emplace(rs.ValueAt(r, mapColumn).ToInt32(), rs.ValueAt(r, kKeyNameColumn).Text());
    } catch (const db::DbError&) {
        // A key map without names: only the key-map numbers can be given.
    }
    return names;
}

KeyKind KeyKindOf(const std::string& name) {
    return KindOf(name);
}

int KeyNameText(KeyKind kind) {
    // Power to channel down are one run of texts, play to menu another.
    if (kind == KeyKind::Other) return -1;
    if (kind >= KeyKind::Play) return i18n::kTextKeyPlay + static_cast<int>(kind) - static_cast<int>(KeyKind::Play);
    return i18n::kTextKeyPower + static_cast<int>(kind) - static_cast<int>(KeyKind::Power);
}

DeviceKind DeviceKindOf(const std::string& device, Slot slot) {
    const std::string upper = ToUpper(device);
    const auto is = [&](std::initializer_list<const char*> prefixes) {
        return std::any_of(prefixes.begin(), prefixes.end(), [&](const char* p) { return StartsWith(upper, p); });
    };
    if (is({"TV", "PROJ"})) return DeviceKind::Television;
    if (is({"SAT", "CBL", "CABLE", "PVR", "STB", "DVB", "IPTV"})) return DeviceKind::Receiver;
    if (is({"DVD", "BD", "BLU", "LD", "VCR", "VCD", "HDD", "CD"})) return DeviceKind::Player;
    if (is({"AUDIO", "AMP", "AV"})) return DeviceKind::Audio;
    switch (slot.Index()) {
    case 0:
        return DeviceKind::Television;
    case 1:
        return DeviceKind::Receiver;
    case 2:
        return DeviceKind::Player;
    default:
        return DeviceKind::Other;
    }
}

std::vector<TestKey> ChooseTestKeys(const std::vector<KeyCode>& present,
                                    const std::map<std::int32_t, std::string>& names, DeviceKind kind) {
    std::vector<TestKey> keys;
    for (const KeyCode& code : present) {
        const auto name = names.find(code.keyMapId);
        TestKey key;
        key.keyMapId = code.keyMapId;
        key.name = name != names.end() && !name->second.empty() ? name->second : "key " + std::to_string(code.keyMapId);
        key.kind = KindOf(key.name);
        keys.push_back(std::move(key));
    }
    // Keys whose effect a person sees or hears at once, without a disc or a programme guide:
    // a television changes sound and channel; a receiver's sound is mostly the television's, so
    // it shows itself by channel and its own menu; a player by playing, stopping and its tray;
    // an amplifier by its volume; anything else in the AUX slot (media boxes, projectors) by
    // its menu, play and volume, whichever it has.
    std::vector<KeyKind> preferred;
    switch (kind) {
    case DeviceKind::Television:
        preferred = {KeyKind::VolumeUp, KeyKind::Mute, KeyKind::ChannelUp};
        break;
    case DeviceKind::Receiver:
        preferred = {KeyKind::ChannelUp, KeyKind::Menu, KeyKind::ChannelDown};
        break;
    case DeviceKind::Player:
        preferred = {KeyKind::Play, KeyKind::Stop, KeyKind::OpenClose, KeyKind::Menu};
        break;
    case DeviceKind::Audio:
        preferred = {KeyKind::VolumeUp, KeyKind::Mute, KeyKind::VolumeDown};
        break;
    case DeviceKind::Other:
        preferred = {KeyKind::Menu, KeyKind::Play, KeyKind::VolumeUp, KeyKind::Mute};
        break;
    }
    constexpr std::size_t kMost = 5, kFewest = 3;
    const auto power =
        std::find_if(keys.begin(), keys.end(), [](const TestKey& k) { return k.kind == KeyKind::Power; });
    const std::size_t room = kMost - (power != keys.end() ? 1 : 0);
    std::vector<TestKey> chosen;
    for (KeyKind want : preferred) {
        const auto it = std::find_if(keys.begin(), keys.end(), [&](const TestKey& k) { return k.kind == want; });
        if (it != keys.end() && chosen.size() < room) chosen.push_back(*it);
    }
    const std::size_t others = kFewest - (power != keys.end() ? 1 : 0);
    for (const TestKey& key : keys) {
        if (chosen.size() >= others) break;
        const bool taken =
            std::any_of(chosen.begin(), chosen.end(), [&](const TestKey& k) { return k.keyMapId == key.keyMapId; });
        if (key.kind != KeyKind::Power && !taken) chosen.push_back(key);
    }
    // After power the device may be off and show nothing more: it comes last.
    if (power != keys.end()) chosen.push_back(*power);
    return chosen;
}

Result<std::vector<TestKey>> TestKeysFor(const db::CodeDatabase& database, Slot slot, std::int32_t SourceID,
                                         std::optional<std::string> StrKeyDown, const std::string& device) {
    DownloadRequest request;
    request.slot = slot;
    request.SourceID = SourceID;
    request.StrKeyDown = std::move(StrKeyDown);
    codec::ZeroFiller zeros;
    std::vector<std::uint8_t> record;
    std::int16_t blocks = 0;
    std::string order;
    const DownloadResult<Done> built = BuildSlotRecord(database, request, zeros, record, blocks, &order);
    if (!built) return Result<std::vector<TestKey>>::Fail(built.Error());
    return Result<std::vector<TestKey>>::Ok(ChooseTestKeys(
        KeyCodesOf(record, order, slot), KeyNames(database, request.RCUModel), DeviceKindOf(device, slot)));
}

} // namespace tolbe::core
