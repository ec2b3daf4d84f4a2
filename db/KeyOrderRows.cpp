#include "db/KeyOrderRows.h"

namespace tolbe::db {

KeyOrderRows ReadKeyOrderRows(const DbConnection& conn, std::int32_t SetOfCodeID, std::uint8_t rcuModel) {
    const std::string model = std::to_string(rcuModel);
    KeyOrderRows rows;
    try {
        const DbRecordset info = conn.OpenRecordset("Select * from M_RCUInfo where ModelNameID=" + model, false);
        rows.remoteKeys = info.Fields().Item(3).Text();
    } catch (const DbError&) {
        // No key order for this remote: nothing to list.
    }

    try {
        const DbRecordset set =
            conn.OpenRecordset("Select Source from M_SetOfCodes where SetOfCodeID=" + std::to_string(SetOfCodeID));
        if (set.RecordCount() < 1) return rows;
        rows.source = set.ValueAt(0, 0).Text();
    } catch (const DbError&) {
        return rows;
    }

    try {
        const DbRecordset rs =
            conn.OpenRecordset("Select RCUKeyMapID,RCUModelID from M_RCUFuncKey where ModelNameID=" + model, false);
        std::vector<FuncKeyRow> keys;
        keys.reserve(static_cast<std::size_t>(rs.RecordCount()));
        for (int r = 0; r < rs.RecordCount(); ++r) {
            FuncKeyRow key;
            try {
                key.rcuModelId = rs.ValueAt(r, 1).ToInt16();
            } catch (const DbError&) {
                continue;
            }
            try {
                key.keyMapId = rs.ValueAt(r, 0).ToInt32();
            } catch (const DbError&) {
                key.keyMapId.reset();
            }
            keys.push_back(key);
        }
        rows.keys = std::move(keys);
    } catch (const DbError&) {
        rows.keys.reset();
    }
    return rows;
}

KeyOrderRows ReadDownloadKeyOrderRows(const DbConnection& conn, std::int32_t SourceID, std::uint8_t rcuModel) {
    const DbRecordset rs = conn.OpenRecordset(
        "Select SetOfCodeID From M_SetOfCodes where IsValid=1 and SourceID=" + std::to_string(SourceID), false);
    if (rs.RecordCount() < 1) return {};
    return ReadKeyOrderRows(conn, rs.ValueAt(0, 0).ToInt32(), rcuModel);
}

} // namespace tolbe::db
