#include "codec/DownOrder.h"

#include "common/AsciiText.h"
#include <algorithm>

#include <charconv>
#include <optional>
#include <vector>

namespace tolbe::codec {

namespace {

std::vector<std::string> SplitAtCommas(const std::string& text) {
    std::vector<std::string> out;
    if (text.empty()) return out;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        out.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return out;
}

// A key number of the key order as the remote's 16-bit key numbering reads it; entries that are
// not whole numbers in that range match no key.
std::optional<std::int16_t> KeyNumber(const std::string& entry) {
    std::size_t b = 0, e = entry.size();
    while (b < e && entry[b] == ' ')
        ++b;
    while (e > b && entry[e - 1] == ' ')
        --e;
    if (b < e && entry[b] == '+') ++b;
    int value = 0;
    const auto [ptr, ec] = std::from_chars(entry.data() + b, entry.data() + e, value);
    if (b == e || ec != std::errc() || ptr != entry.data() + e) return std::nullopt;
    if (value < INT16_MIN || value > INT16_MAX) return std::nullopt;
    return static_cast<std::int16_t>(value);
}

struct FuncKey {
    std::int16_t rcuModelId;
    std::optional<std::string> item; // what the key contributes; none when its key-map number is unreadable
};

} // namespace

std::string GetDownOrderStr(const db::DbConnection& conn, std::int32_t tmpSetOfCodeID, std::uint8_t rcuModel) {
    const std::string model = std::to_string(rcuModel);

    std::vector<std::string> entries;
    try {
        const db::DbRecordset info = conn.OpenRecordset("Select * from M_RCUInfo where ModelNameID=" + model, false);
        entries = SplitAtCommas(info.Fields().Item(3).Text());
    } catch (const db::DbError&) {
        // No key order for this remote: nothing to list.
    }

    try {
        const db::DbRecordset set =
            conn.OpenRecordset("Select Source from M_SetOfCodes where SetOfCodeID=" + std::to_string(tmpSetOfCodeID));
        if (set.RecordCount() < 1) return {};
        if (ToUpper(set.ValueAt(0, 0).Text()) == "MFY") return {};
    } catch (const db::DbError&) {
        return {};
    }

    // Rows in query order; rows whose key number is not a 16-bit whole number can never match.
    std::vector<FuncKey> keys;
    try {
        const db::DbRecordset rs =
            conn.OpenRecordset("Select RCUKeyMapID,RCUModelID from M_RCUFuncKey where ModelNameID=" + model, false);
        keys.reserve(static_cast<std::size_t>(rs.RecordCount()));
        for (int r = 0; r < rs.RecordCount(); ++r) {
            std::int16_t id = 0;
            try {
                id = rs.ValueAt(r, 1).ToInt16();
            } catch (const db::DbError&) {
                continue;
            }
            FuncKey key{id, std::string("0")};
            if (id > 0) {
                try {
                    key.item = std::to_string(rs.ValueAt(r, 0).ToInt32());
                } catch (const db::DbError&) {
                    key.item.reset();
                }
            }
            keys.push_back(std::move(key));
        }
    } catch (const db::DbError&) {
        return {};
    }

    std::string result;
    for (const std::string& entry : entries) {
        const std::optional<std::int16_t> e = KeyNumber(entry);
        if (!e) continue;
        // The first matching row wins; an entry without a row is dropped, moving later keys forward.
        const auto it = std::find_if(keys.begin(), keys.end(), [&](const FuncKey& k) { return k.rcuModelId == *e; });
        if (it == keys.end() || !it->item) continue;
        if (!result.empty()) result += ',';
        result += *it->item;
    }
    return result;
}

std::string DownloadOrderFor(const db::DbConnection& conn, std::int32_t SourceID, std::uint8_t rcuModel) {
    const db::DbRecordset rs = conn.OpenRecordset(
        "Select SetOfCodeID From M_SetOfCodes where IsValid=1 and SourceID=" + std::to_string(SourceID), false);
    if (rs.RecordCount() < 1) return {};
    return GetDownOrderStr(conn, rs.ValueAt(0, 0).ToInt32(), rcuModel);
}

} // namespace tolbe::codec
