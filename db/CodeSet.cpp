#include "db/CodeSet.h"

#include <set>

namespace tolbe::db {
namespace {

// The name as a LIKE pattern that matches only itself (letter case aside, as LIKE has it).
std::string LiteralPattern(const std::string& name, bool& escaped) {
    std::string pattern;
    for (char c : name) {
        if (c == '%' || c == '_' || c == '\\') {
            pattern += '\\';
            escaped = true;
        }
        pattern += c;
    }
    return pattern;
}

} // namespace

bool ProtocolMemo::Find(const std::string& name, std::optional<std::string>& data) const {
    const std::lock_guard lock(m_mutex);
    const auto it = m_found.find(name);
    if (it == m_found.end()) return false;
    data = it->second;
    return true;
}

void ProtocolMemo::Keep(const std::string& name, std::optional<std::string> data) {
    const std::lock_guard lock(m_mutex);
    m_found.insert_or_assign(name, std::move(data));
}

CodeSet LoadCodeSet(const DbConnection& conn, std::int32_t SourceID, ProtocolMemo* memo) {
    CodeSet set;
    set.SourceID = SourceID;
    std::set<std::string> looked_up;
    // One row more than a slot can hold tells a source that cannot be one slot's code set, without
    // reading all of a hostile source's rows.
    const DbRecordset rows = conn.OpenRecordset("Select * From M_CodeLink where SourceID = ? LIMIT ?",
                                                std::vector<DbParam>{std::int64_t{SourceID}, kMaxCodeRows + 1});
    if (rows.RecordCount() > kMaxCodeRows)
        throw DbError("code source " + std::to_string(SourceID) + " has more than " + std::to_string(kMaxCodeRows) +
                      " key rows, more than a slot can hold");
    for (int r = 0; r < rows.RecordCount(); ++r) {
        CodeSet::Code code{rows.ValueAt(r, 2).Number(), rows.ValueAt(r, 3).Text(), rows.ValueAt(r, 4).Text(),
                           rows.ValueAt(r, 6).Text()};
        for (const std::string* name : {&code.protocol1, &code.protocol2}) {
            if (name->empty() || !looked_up.insert(*name).second) continue;
            if (looked_up.size() > kMaxProtocolNames)
                throw DbError("code source " + std::to_string(SourceID) + " names more than " +
                              std::to_string(kMaxProtocolNames) + " protocols, more than a slot can hold");
            std::optional<std::string> data;
            if (memo == nullptr || !memo->Find(*name, data)) {
                bool escaped = false;
                const std::string pattern = LiteralPattern(*name, escaped);
                // ESCAPE only where needed: without it the name index serves the lookup.
                const DbRecordset found =
                    conn.OpenRecordset(escaped ? "Select * From M_Protocol where ProtocolName like ? ESCAPE '\\'"
                                               : "Select * From M_Protocol where ProtocolName like ?",
                                       std::vector<DbParam>{pattern});
                if (found.RecordCount() == 1) data = found.ValueAt(0, 2).Text();
                if (memo != nullptr) memo->Keep(*name, data);
            }
            if (data) set.protocols.emplace(*name, std::move(*data));
        }
        set.codes.push_back(std::move(code));
    }
    return set;
}

} // namespace tolbe::db
