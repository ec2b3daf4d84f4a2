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

} // namespace

std::string GetDownOrderStr(const db::KeyOrderRows& rows) {
    if (!rows.source || !rows.keys || ToUpper(*rows.source) == "MFY") return {};
    const std::vector<std::string> entries = SplitAtCommas(rows.remoteKeys);
    std::string result;
    for (const std::string& entry : entries) {
        const std::optional<std::int16_t> e = KeyNumber(entry);
        if (!e) continue;
        // The first matching row wins; an entry without a row is dropped, moving later keys forward.
        const auto it = std::find_if(rows.keys->begin(), rows.keys->end(),
                                     [&](const db::FuncKeyRow& k) { return k.rcuModelId == *e; });
        if (it == rows.keys->end()) continue;
        // Keys numbered 0 or below stand in the order as 0; an unreadable key-map number drops the key.
        if (it->rcuModelId <= 0) {
            if (!result.empty()) result += ',';
            result += '0';
            continue;
        }
        if (!it->keyMapId) continue;
        if (!result.empty()) result += ',';
        result += std::to_string(*it->keyMapId);
    }
    return result;
}

} // namespace tolbe::codec
