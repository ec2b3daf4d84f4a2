#include "core/TestKeys.h"

#include "codec/CodeRecord.h"
#include "core/Download.h"

#include <algorithm>
#include <array>
#include <map>

namespace tolbe::core {

namespace {

// M_RCUFuncKey: the key's name follows ModelNameID, RCUModelID and RCUKeyMapID after the row id.
constexpr int kKeyNameColumn = 4;

std::string Folded(const std::string& name) {
    std::string out;
    for (unsigned char c : name) {
        if (c == ' ' || c == '_' || c == '.') continue;
        out += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
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

TestKeyList TestKeysFor(const db::CodeDatabase& database, Slot slot, std::int32_t SourceID) {
    TestKeyList list;
    DownloadRequest request;
    request.slot = slot;
    request.SourceID = SourceID;
    codec::ZeroFiller zeros;
    std::vector<std::uint8_t> record;
    std::int16_t blocks = 0;
    std::string order;
    if (BuildSlotRecord(database, request, zeros, record, blocks, &list.error, &order) != Refusal::None) return list;
    if (order.empty()) order = codec::DefaultKeyOrder(slot.Number());

    std::map<std::int32_t, std::string> names;
    try {
        // The name is read by position, the column after the three named ones, as other writers
        // of the format call it what they like; a table without it gives numbers only.
        const db::DbRecordset rs = database.DBConn().OpenRecordset(
            "Select * From M_RCUFuncKey where ModelNameID=?", std::vector<db::DbParam>{std::int64_t{request.RCUModel}});
        int mapColumn = -1;
        for (int c = 0; c < rs.ColumnCount(); ++c)
            if (Folded(rs.ColumnName(c)) == "rcukeymapid") mapColumn = c;
        for (int r = 0; mapColumn >= 0 && rs.ColumnCount() > kKeyNameColumn && r < rs.RecordCount(); ++r)
            names.try_emplace(rs.ValueAt(r, mapColumn).ToInt32(), rs.ValueAt(r, kKeyNameColumn).Text());
    } catch (const db::DbError&) {
        // A key map without names: only the key-map numbers can be given.
    }

    // The keys with a code are the positions whose key record is not the empty 00 00.
    std::vector<TestKey> present;
    const std::vector<std::int32_t> entries = OrderEntries(order);
    for (std::size_t j = 0; j < entries.size(); ++j) {
        const std::size_t at =
            static_cast<std::size_t>((record[6 + 2 * j] << 8 | record[7 + 2 * j]) - slot.BaseAddress());
        if (at >= record.size() || record[at] == 0 || entries[j] <= 0) continue;
        if (std::any_of(present.begin(), present.end(), [&](const TestKey& k) { return k.keyMapId == entries[j]; }))
            continue;
        const auto name = names.find(entries[j]);
        TestKey key;
        key.keyMapId = entries[j];
        key.name = name != names.end() && !name->second.empty() ? name->second : "key " + std::to_string(entries[j]);
        key.kind = KindOf(key.name);
        present.push_back(std::move(key));
    }
    constexpr std::array kPreferred = {KeyKind::Power,     KeyKind::VolumeUp,   KeyKind::Mute,
                                       KeyKind::ChannelUp, KeyKind::VolumeDown, KeyKind::ChannelDown};
    for (KeyKind kind : kPreferred) {
        const auto it = std::find_if(present.begin(), present.end(), [&](const TestKey& k) { return k.kind == kind; });
        if (it != present.end() && list.keys.size() < 5) list.keys.push_back(*it);
    }
    for (const TestKey& key : present) {
        if (list.keys.size() >= 3) break;
        if (key.kind == KeyKind::Other) list.keys.push_back(key);
    }
    return list;
}

} // namespace tolbe::core
