#pragma once

#include "db/Database.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tolbe::db {

// One code source as the encoder reads it, loaded in one go so that encoding needs no database.
struct CodeSet {
    // An M_CodeLink row of the source, in stored order.
    struct Code {
        double keyMapId = 0; // KeyMapID as a number (a text value reads as its leading number)
        std::string protocol1, protocol2;
        std::string data; // hexadecimal text; empty for a key without code
    };
    std::int32_t SourceID = 0;
    std::vector<Code> codes;
    // Protocol data by the name the code rows give, for each name that matches exactly one
    // M_Protocol row (letter case aside, wildcard characters standing for themselves). A name
    // that matches none or several is absent.
    std::map<std::string, std::string> protocols;
};

// A slot is 768 bytes: a source with more key rows, or naming more protocols than a slot has room
// for their two-byte addresses, cannot be encoded into one.
inline constexpr std::int64_t kMaxCodeRows = 768;
inline constexpr std::size_t kMaxProtocolNames = 384;

// What each protocol name looked up so far found in one open database (nullopt: none or several
// rows). A candidate list loads hundreds of sources that share a few dozen protocols, and looking
// each name up again was a third of the list's time. Shared by threads reading one connection.
class ProtocolMemo {
public:
    // False when `name` was not looked up yet.
    bool Find(const std::string& name, std::optional<std::string>& data) const;
    void Keep(const std::string& name, std::optional<std::string> data);

private:
    mutable std::mutex m_mutex;
    std::map<std::string, std::optional<std::string>> m_found;
};

// Loads code source `SourceID` with bound statements. An unknown source gives no codes.
// Throws DbError when a query fails or the source is larger than a slot can hold.
CodeSet LoadCodeSet(const DbConnection& conn, std::int32_t SourceID, ProtocolMemo* memo = nullptr);

} // namespace tolbe::db
