// The key order and the code record encoder on any database content: a code database may come
// from an update server. Fields: the remote's key order (M_RCUInfo), the key order handed to
// BuildCodeRecord, the code data and first protocol name of one key, that protocol's data, and a
// byte choosing the slot.
#include "tests/fuzz/FuzzSupport.h"

#include "codec/CodeRecord.h"
#include "codec/DownOrder.h"
#include "codec/SlotTable.h"
#include "db/CodeSet.h"
#include "db/DatabaseFile.h"
#include "db/Schema.h"

#include <charconv>
#include <filesystem>

namespace {

namespace db = tolbe::db;
namespace codec = tolbe::codec;
using tolbe::Slot;

constexpr std::int32_t kSourceId = 10;
constexpr std::int32_t kSetOfCodeId = 1;

struct Fixture {
    tolbe::fuzz::TempFolder dir;
    std::string file;
    db::DbConnection conn;

    Fixture() {
        file = (dir.Path() / "codes.db3").string();
        db::DbConnection::CreateDatabase(file, db::BuildDatabaseKey());
        if (!conn.OpenDatabase(file, db::BuildDatabaseKey())) std::abort();
        conn.ExecuteSql("PRAGMA journal_mode = MEMORY; PRAGMA synchronous = OFF;");
        conn.ExecuteSql(std::string(db::CodeDatabaseSchema()));
        conn.ExecuteSql("INSERT INTO M_SetOfCodes VALUES(1, 10, 'TV', 'Brand', 'Model', '2020-01-01', 1, 'X');"
                        "INSERT INTO M_RCUInfo VALUES(1, 1, 'R1', '1,2,3');"
                        "INSERT INTO M_Protocol VALUES(1, 'P1', '0102');"
                        "INSERT INTO M_Protocol VALUES(2, 'P2', 'A1A2A3');"
                        "INSERT INTO M_Protocol VALUES(3, 'P%_\\', '44');");
        for (int k = 1; k <= 12; ++k) {
            conn.ExecuteSql("INSERT INTO M_RCUFuncKey VALUES(" + std::to_string(k) + ", 1, " + std::to_string(k) +
                            ", " + std::to_string(k + 2) + ", 'K');");
            conn.ExecuteSql("INSERT INTO M_CodeLink VALUES(" + std::to_string(k) + ", 10, " + std::to_string(k + 2) +
                            ", 'P1', " + (k % 3 == 0 ? "'P2'" : "NULL") + ", 'F', '0A0B0C0D');");
        }
    }
};

// Holds for every answer of BuildCodeRecord: a record of whole blocks that starts and ends with
// its markers, or 768 zero bytes and a reason.
void CheckRecord(bool ok, const std::vector<std::uint8_t>& buf, std::int16_t blocks, const std::string& why,
                 std::uint8_t slot) {
    if (!ok) {
        FUZZ_CHECK(buf == std::vector<std::uint8_t>(768, 0));
        FUZZ_CHECK(!why.empty());
        return;
    }
    FUZZ_CHECK(blocks >= 1 && blocks <= 12);
    FUZZ_CHECK(buf.size() == static_cast<std::size_t>(blocks) * Slot::kBlockBytes);
    for (int i = 0; i < 4; ++i)
        FUZZ_CHECK(buf[static_cast<std::size_t>(i)] == 0x55);
    const int trailer = (buf[4] << 8 | buf[5]) - Slot::FromNumber(slot).BaseAddress();
    FUZZ_CHECK(trailer >= 6 && trailer + 4 <= static_cast<int>(buf.size()) && trailer + 4 <= 767);
    for (int i = 0; i < 4; ++i)
        FUZZ_CHECK(buf[static_cast<std::size_t>(trailer + i)] == 0x55);
}

void Encode(const std::string& order, std::uint8_t slot, const Fixture& fx) {
    std::vector<std::uint8_t> buf;
    std::int16_t blocks = -1;
    codec::SeededFiller filler(1);
    const tolbe::Status built = codec::BuildCodeRecord(codec::kSupportedRcuModel, slot,
                                                       db::LoadCodeSet(fx.conn, kSourceId), buf, blocks, order, filler);
    CheckRecord(static_cast<bool>(built), buf, blocks, built.Error(), slot);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Fixture fx;
    static db::DbCommand set_order = fx.conn.CreateCommand("UPDATE M_RCUInfo SET KeyOrder=? WHERE RCUInfoID=1");
    static db::DbCommand set_code =
        fx.conn.CreateCommand("UPDATE M_CodeLink SET CodeData=?, Protocol1=? WHERE SourceID=10 AND KeyMapID=3");
    static db::DbCommand set_protocol =
        fx.conn.CreateCommand("UPDATE M_Protocol SET ProtocolData=? WHERE ProtocolID=1");

    const auto f = tolbe::fuzz::Fields(data, size, 6);
    set_order.SetText(1, f[0]);
    set_order.ExecuteCommand();
    set_code.SetText(1, f[2]);
    set_code.SetText(2, f[3]);
    set_code.ExecuteCommand();
    set_protocol.SetText(1, f[4]);
    set_protocol.ExecuteCommand();
    const auto slot = static_cast<std::uint8_t>(f[5].empty() ? 0 : static_cast<unsigned char>(f[5][0]) % 5);

    // The key order the database gives: whole numbers joined by commas, nothing else.
    const std::string order =
        codec::GetDownOrderStr(db::ReadKeyOrderRows(fx.conn, kSetOfCodeId, codec::kSupportedRcuModel));
    std::size_t start = 0;
    while (!order.empty()) {
        const std::size_t comma = order.find(',', start);
        const std::size_t end = comma == std::string::npos ? order.size() : comma;
        std::int32_t v = 0;
        const auto [ptr, ec] = std::from_chars(order.data() + start, order.data() + end, v);
        FUZZ_CHECK(end > start && ec == std::errc() && ptr == order.data() + end);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    Encode(order, slot, fx);
    Encode(f[1], slot, fx);
    return 0;
}
