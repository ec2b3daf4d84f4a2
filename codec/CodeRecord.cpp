#include "codec/CodeRecord.h"

#include "codec/SlotTable.h"
#include "common/HexText.h"
#include "db/CodeSet.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <stdexcept>

namespace tolbe::codec {

namespace {

// Why an encoding stopped without a record.
class Refusal : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

const std::string kOrderFirst = "13,3,4,5,6,7,8,9,10,11,";
const std::string kOrderMiddle = "2,24,1,14,46,32,35,25,12,17,18,15,16,19,20,21,22,23,";
const std::string kOrderLastTvSat = "0,0,0,0,38,0,12,39,27,0,0,26,30,33,40,41,43,42";
const std::string kOrderLastDvdAux = "40,39,42,41,38,43,12,39,27,0,0,26,30,33,0,0,0,0";

constexpr std::uint8_t kMarker = 0x55; // header and trailer bytes
constexpr int kMarkerBytes = 4;
constexpr std::size_t kMaxRecordCount = 255; // a key record's length byte

std::vector<std::string> SplitKeepingEmpty(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        out.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) return out;
        start = comma + 1;
    }
}

// A key order entry as a key-map number. An empty entry is an empty key position; anything
// else that is not a whole 32-bit number refuses the record rather than guessing a key.
std::int32_t EntryNumber(const std::string& entry) {
    std::size_t b = 0, e = entry.size();
    while (b < e && entry[b] == ' ')
        ++b;
    while (e > b && entry[e - 1] == ' ')
        --e;
    if (b == e) return 0;
    std::size_t digits = b;
    if (entry[digits] == '+') ++digits;
    std::int32_t value = 0;
    const auto [ptr, ec] = std::from_chars(entry.data() + digits, entry.data() + e, value);
    if (digits == e || ec != std::errc() || ptr != entry.data() + e)
        throw Refusal("key order entry \"" + entry + "\" is not a whole number");
    return value;
}

// Two digits a byte. An odd digit count would leave half a byte the layout cannot place.
std::vector<std::uint8_t> HexBytes(const std::string& text, const std::string& what) {
    if (text.size() % 2 != 0) throw Refusal(what + " has an odd number of hexadecimal digits");
    auto bytes = ParseHex(text);
    if (!bytes) throw Refusal(what + " is not hexadecimal text");
    return std::move(*bytes);
}

struct KeySlot {
    std::string protocol1, protocol2; // names as the code row gives them
    std::vector<std::uint8_t> code;
    bool hasCode = false;

    void Clear() { *this = KeySlot{}; }
};

struct ProtocolEntry {
    std::string name;
    std::vector<std::uint8_t> data;
    int address = 0;
};

class ProtocolList {
public:
    ProtocolList(const db::CodeSet& codes, std::size_t keyCount) : m_codes(codes), m_keyCount(keyCount) {}

    // Resolves one protocol name of a code row: true when it names exactly one M_Protocol row,
    // in which case the protocol list holds it (one entry per exact, case-sensitive name).
    bool UseProtocol(const std::string& name) {
        const auto found = m_codes.protocols.find(name);
        if (found == m_codes.protocols.end()) return false;
        const bool listed =
            std::any_of(m_protocols.begin(), m_protocols.end(), [&](const ProtocolEntry& p) { return p.name == name; });
        if (!listed) {
            // The address after the last block is kept in the entry that follows it, so the list
            // of K entries can name at most K - 1 protocols.
            if (m_protocols.size() + 1 >= m_keyCount)
                throw Refusal("the code set uses more than " + std::to_string(m_keyCount - 1) + " protocols");
            m_protocols.push_back({name, HexBytes(found->second, "protocol data of " + name), 0});
        }
        return true;
    }

    std::vector<ProtocolEntry>& Entries() { return m_protocols; }

    int AddressOf(const std::string& name) const {
        for (const ProtocolEntry& p : m_protocols)
            if (p.name == name) return p.address;
        throw Refusal("protocol " + name + " is not in the list"); // cannot happen: keys only name listed ones
    }

private:
    const db::CodeSet& m_codes;
    std::size_t m_keyCount;
    std::vector<ProtocolEntry> m_protocols;
};

void PutAddress(std::vector<std::uint8_t>& buf, std::size_t offset, int address) {
    buf[offset] = static_cast<std::uint8_t>((address >> 8) & 0xFF);
    buf[offset + 1] = static_cast<std::uint8_t>(address & 0xFF);
}

std::vector<std::uint8_t> Encode(std::uint8_t eDevice, const db::CodeSet& codes, const std::string& StrKeyDown,
                                 FillerSource& rng) {
    if (eDevice >= Slot::kCount) throw Refusal("device slot " + std::to_string(eDevice) + " does not exist");
    const std::vector<std::string> order =
        SplitKeepingEmpty(StrKeyDown.empty() ? DefaultKeyOrder(eDevice) : StrKeyDown);
    const std::size_t K = order.size();
    std::vector<std::int32_t> keyMap(K);
    for (std::size_t c = 0; c < K; ++c)
        keyMap[c] = EntryNumber(order[c]);
    const int B = Slot::FromNumber(eDevice).BaseAddress();

    if (codes.codes.empty()) throw Refusal("code source " + std::to_string(codes.SourceID) + " has no codes");

    ProtocolList protocols(codes, K);
    std::vector<KeySlot> keys(K);
    for (std::size_t c = 0; c < K; ++c) {
        if (keyMap[c] <= 0) continue;
        const auto row = std::find_if(codes.codes.begin(), codes.codes.end(), [&](const db::CodeSet::Code& code) {
            return code.keyMapId == static_cast<double>(keyMap[c]);
        });
        if (row == codes.codes.end()) continue;
        KeySlot& key = keys[c];
        if (!row->protocol1.empty() && protocols.UseProtocol(row->protocol1)) key.protocol1 = row->protocol1;
        if (!row->protocol2.empty() && protocols.UseProtocol(row->protocol2)) key.protocol2 = row->protocol2;
        const std::string& data = row->data;
        if (data.empty()) {
            key.Clear(); // its protocols keep their blocks
            continue;
        }
        key.code = HexBytes(data, "code data of key-map number " + std::to_string(keyMap[c]));
        // The record's first byte counts the bytes that follow; more would wrap that byte.
        if (key.code.size() + 4 > kMaxRecordCount)
            throw Refusal("code data of key-map number " + std::to_string(keyMap[c]) + " is longer than " +
                          std::to_string(kMaxRecordCount - 4) + " bytes");
        key.hasCode = true;
    }
    // A key whose code has no usable first protocol would get a record the remote cannot follow
    // (and a length the address table cannot announce), so such a key is left empty: two bytes in
    // the address table's layout and a 00 00 record. Its protocols keep their blocks.
    for (KeySlot& key : keys) {
        if (!key.hasCode || key.protocol1.empty()) key.Clear();
    }

    // Layout: header, address table, key records, protocol blocks, trailer.
    std::vector<int> keyAddress(K);
    int A = B + 6 + 2 * static_cast<int>(K);
    for (std::size_t j = 0; j < K; ++j) {
        keyAddress[j] = A;
        A += keys[j].hasCode ? static_cast<int>(keys[j].code.size()) + 5 : 2;
        if (A - B > Slot::kRegionBytes) throw Refusal("the key records alone do not fit into 768 bytes");
    }
    for (ProtocolEntry& p : protocols.Entries()) {
        p.address = A;
        A += static_cast<int>(p.data.size());
    }
    const int trailerAddress = A;
    const int L = trailerAddress - B + kMarkerBytes;
    // The region's last byte is never part of a record: 767 bytes at most.
    if (L >= Slot::kRegionBytes) throw Refusal("the code record needs " + std::to_string(L) + " bytes, more than 767");

    std::vector<std::uint8_t> buf(static_cast<std::size_t>(Slot::kRegionBytes), 0);
    std::fill_n(buf.begin(), kMarkerBytes, kMarker);
    PutAddress(buf, 4, trailerAddress);
    for (std::size_t j = 0; j < K; ++j)
        PutAddress(buf, 6 + 2 * j, keyAddress[j]);

    std::size_t w = static_cast<std::size_t>(6 + 2 * K);
    for (const KeySlot& key : keys) {
        if (!key.hasCode) {
            buf[w++] = 0x00;
            buf[w++] = 0x00;
            continue;
        }
        buf[w++] = static_cast<std::uint8_t>(key.code.size() + 4);
        PutAddress(buf, w, protocols.AddressOf(key.protocol1));
        PutAddress(buf, w + 2, key.protocol2.empty() ? 0 : protocols.AddressOf(key.protocol2));
        w += 4;
        std::copy(key.code.begin(), key.code.end(), buf.begin() + static_cast<std::ptrdiff_t>(w));
        w += key.code.size();
    }
    for (const ProtocolEntry& p : protocols.Entries()) {
        std::copy(p.data.begin(), p.data.end(), buf.begin() + static_cast<std::ptrdiff_t>(w));
        w += p.data.size();
    }
    std::fill_n(buf.begin() + static_cast<std::ptrdiff_t>(w), kMarkerBytes, kMarker);

    const int T = (L + Slot::kBlockBytes - 1) / Slot::kBlockBytes * Slot::kBlockBytes;
    for (int i = L; i < T; ++i) {
        const double f = std::clamp(rng.NextFraction(), 0.0, 1.0);
        buf[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(std::lround(f * 255.0));
    }
    buf.resize(static_cast<std::size_t>(T));
    return buf;
}

} // namespace

double SeededFiller::NextFraction() {
    // 24 random bits: an exact fraction in [0, 1) whatever the library's canonical-float quirks.
    return static_cast<double>(m_gen() >> 8) / 16777216.0;
}

const std::string& DefaultKeyOrder(std::uint8_t eDevice) {
    static const std::string tvSat = kOrderFirst + kOrderMiddle + kOrderLastTvSat;
    static const std::string dvdAux = kOrderFirst + kOrderMiddle + kOrderLastDvdAux;
    return Slot::FromNumber(eDevice).IsTelevisionKind() ? tvSat : dvdAux;
}

Status BuildCodeRecord(std::uint8_t RCUModel, std::uint8_t eDevice, const db::CodeSet& codes,
                       std::vector<std::uint8_t>& CodeBuffer, std::int16_t& BlockCount, const std::string& StrKeyDown,
                       FillerSource& rng) {
    CodeBuffer.assign(static_cast<std::size_t>(Slot::kRegionBytes), 0);
    std::string reason;
    try {
        if (RCUModel != kSupportedRcuModel)
            throw Refusal("remote model " + std::to_string(RCUModel) + " is not supported");
        std::vector<std::uint8_t> record = Encode(eDevice, codes, StrKeyDown, rng);
        BlockCount = static_cast<std::int16_t>(record.size() / Slot::kBlockBytes);
        CodeBuffer = std::move(record);
        return Ok();
    } catch (const Refusal& e) {
        reason = e.what();
    }
    CodeBuffer.assign(static_cast<std::size_t>(Slot::kRegionBytes), 0);
    return Fail(reason);
}

} // namespace tolbe::codec
