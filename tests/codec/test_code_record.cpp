#include "codec/CodeRecord.h"
#include "codec/SlotTable.h"
#include "common/HexText.h"
#include "tests/codec/CodecTestDb.h"

#include <gtest/gtest.h>

#include <deque>

using tolbe::Slot;
using namespace tolbe;
using namespace tolbe::codec;
using Bytes = std::vector<std::uint8_t>;

namespace {

// Hands out the given fractions in turn and counts the bytes asked for.
class ScriptedFiller final : public FillerSource {
public:
    explicit ScriptedFiller(std::vector<double> f = {0.0}) : fractions(std::move(f)) {}
    double NextFraction() override { return fractions[calls++ % fractions.size()]; }
    std::vector<double> fractions;
    std::size_t calls = 0;
};

std::string Hex(std::size_t bytes, int first = 0x10) {
    std::vector<std::uint8_t> b(bytes);
    for (std::size_t i = 0; i < bytes; ++i)
        b[i] = static_cast<std::uint8_t>(first + static_cast<int>(i));
    return ToHex(b);
}

std::string Protocol(int id, const std::string& name, const std::string& data) {
    return "INSERT INTO M_Protocol VALUES(" + std::to_string(id) + ",'" + name + "','" + data + "');\n";
}

std::string Code(int source, int keyMap, const std::string& p1, const std::string& p2, const std::string& data) {
    return "INSERT INTO M_CodeLink(SourceID,KeyMapID,Protocol1,Protocol2,FunctionName,CodeData) VALUES(" +
           std::to_string(source) + "," + std::to_string(keyMap) + ",'" + p1 + "','" + p2 + "','F','" + data + "');\n";
}

struct Built {
    bool ok = false;
    Bytes buffer;
    std::int16_t blocks = -7; // untouched on failure
    std::string why;
};

Built Build(const test::CodecDb& db, std::uint8_t slot, const std::string& order, FillerSource& rng,
            std::int32_t source = 500, std::uint8_t model = 1) {
    Built r;
    r.buffer.assign(5, 0xEE);
    db::DbConnection conn;
    EXPECT_TRUE(conn.OpenDatabase(db.file.string(), db.key));
    db::CodeSet codes;
    try {
        codes = db::LoadCodeSet(conn, source);
    } catch (const db::DbError&) {
        codes.SourceID = source; // a database without the code tables has no codes to give
    }
    const tolbe::Status built = BuildCodeRecord(model, slot, codes, r.buffer, r.blocks, order, rng);
    r.ok = static_cast<bool>(built);
    r.why = built.Error();
    return r;
}

Built Build(const test::CodecDb& db, std::uint8_t slot, const std::string& order = {}) {
    ScriptedFiller rng;
    return Build(db, slot, order, rng);
}

void ExpectRefused(const Built& r) {
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.buffer, Bytes(768, 0));
    EXPECT_EQ(r.blocks, -7);
    EXPECT_FALSE(r.why.empty());
}

int Word(const Bytes& b, std::size_t offset) {
    return b.at(offset) * 256 + b.at(offset + 1);
}

// The worked example: key-map 13 (position 0 of the default order) has code 01 02 with a
// first protocol of A0 A1 A2; no other key has a code.
Bytes WorkedExample(int base) {
    Bytes b(202, 0);
    auto put = [&](std::size_t at, int address) {
        b[at] = static_cast<std::uint8_t>(address >> 8);
        b[at + 1] = static_cast<std::uint8_t>(address & 0xFF);
    };
    b[0] = b[1] = b[2] = b[3] = 0x55;
    put(4, base + 0xC6);
    put(6, base + 0x62);
    for (int j = 1; j <= 45; ++j)
        put(6 + 2 * static_cast<std::size_t>(j), base + 0x69 + 2 * (j - 1));
    const Bytes record0 = {0x06, static_cast<std::uint8_t>((base + 0xC3) >> 8), 0xC3, 0x00, 0x00, 0x01, 0x02};
    std::copy(record0.begin(), record0.end(), b.begin() + 98); // records 1 to 45 stay 00 00, up to offset 194
    b[195] = 0xA0;
    b[196] = 0xA1;
    b[197] = 0xA2;
    b[198] = b[199] = b[200] = b[201] = 0x55;
    return b;
}

const std::string kWorkedRows = Protocol(1, "P1", "A0A1A2") + Code(500, 13, "P1", "", "0102");

} // namespace

TEST(CodeRecord, WorkedExampleForTvAndSatByteForByte) {
    test::CodecDb db(kWorkedRows);
    for (std::uint8_t slot : {Slot::TV().Number(), Slot::SAT().Number()}) {
        ScriptedFiller rng({0.0, 0.5, 0.999, 0.2});
        const Built r = Build(db, slot, "", rng);
        ASSERT_TRUE(r.ok) << r.why;
        ASSERT_EQ(r.buffer.size(), 256u);
        EXPECT_EQ(r.blocks, 4);
        const Bytes expected = WorkedExample(slot * 0x300);
        EXPECT_EQ(Bytes(r.buffer.begin(), r.buffer.begin() + 202), expected) << "slot " << int(slot);
        // Filler: each byte is the fraction times 255, rounded to the nearest whole number.
        EXPECT_EQ(rng.calls, 54u);
        const Bytes fill = {0, 128, 255, 51};
        for (std::size_t i = 202; i < 256; ++i)
            EXPECT_EQ(r.buffer[i], fill[(i - 202) % 4]) << i;
    }
    const Built sat = Build(db, Slot::SAT().Number());
    EXPECT_EQ(Word(sat.buffer, 6), 0x0362);
    EXPECT_EQ(Word(sat.buffer, 4), 0x03C6);
}

TEST(CodeRecord, SeededFillerRepeatsForTheSameSeed) {
    test::CodecDb db(kWorkedRows);
    SeededFiller a(42), b(42), c(43);
    const Built ra = Build(db, Slot::TV().Number(), "", a);
    const Built rb = Build(db, Slot::TV().Number(), "", b);
    const Built rc = Build(db, Slot::TV().Number(), "", c);
    EXPECT_EQ(ra.buffer, rb.buffer);
    EXPECT_NE(ra.buffer, rc.buffer);
    EXPECT_TRUE(std::equal(ra.buffer.begin(), ra.buffer.begin() + 202, rc.buffer.begin()));
    for (int i = 0; i < 10000; ++i) {
        const double f = c.NextFraction();
        ASSERT_GE(f, 0.0);
        ASSERT_LT(f, 1.0);
    }
}

TEST(CodeRecord, NoCodeForAnyDefaultKeyGivesEmptyRecords) {
    test::CodecDb db(Protocol(1, "P1", "A0") + Code(500, 99, "P1", "", "0102"));
    for (std::uint8_t slot = 0; slot < 4; ++slot) {
        const Built r = Build(db, slot);
        ASSERT_TRUE(r.ok) << r.why;
        EXPECT_EQ(r.blocks, 4);
        ASSERT_EQ(r.buffer.size(), 256u);
        const int base = 0x300 * slot;
        EXPECT_EQ(Word(r.buffer, 4), base + 190);
        for (int j = 0; j < 46; ++j)
            EXPECT_EQ(Word(r.buffer, 6 + 2 * j), base + 98 + 2 * j);
        for (std::size_t i = 98; i < 190; ++i)
            EXPECT_EQ(r.buffer[i], 0) << i;
        EXPECT_EQ(Bytes(r.buffer.begin() + 190, r.buffer.begin() + 194), Bytes(4, 0x55));
    }
}

TEST(CodeRecord, SharedProtocolsShareABlockAndCaseVariantsGetTheirOwn) {
    // Key order of three keys: the list may hold two protocols. The lookup is LIKE (any case),
    // so "nec1" finds the NEC1 row, yet the list tells names apart by their exact text.
    test::CodecDb db(Protocol(1, "NEC1", "AA") + Code(500, 13, "NEC1", "", "01") + Code(500, 3, "NEC1", "", "02") +
                     Code(500, 4, "nec1", "", "03"));
    const Built r = Build(db, Slot::TV().Number(), "13,3,4");
    ASSERT_TRUE(r.ok) << r.why;
    const Bytes expected = {0x55, 0x55, 0x55, 0x55, 0x00, 0x20, // header, trailer address 32
                            0x00, 0x0C, 0x00, 0x12, 0x00, 0x18, // key records at 12, 18, 24
                            0x05, 0x00, 0x1E, 0x00, 0x00, 0x01, // key 13 -> NEC1 at 30
                            0x05, 0x00, 0x1E, 0x00, 0x00, 0x02, // key 3 -> the same block
                            0x05, 0x00, 0x1F, 0x00, 0x00, 0x03, // key 4 -> nec1 at 31
                            0xAA, 0xAA, 0x55, 0x55, 0x55, 0x55};
    EXPECT_EQ(Bytes(r.buffer.begin(), r.buffer.begin() + 36), expected);
    EXPECT_EQ(r.blocks, 1);
}

TEST(CodeRecord, SecondProtocolAddressAndRepeatedKeyMapNumbers) {
    test::CodecDb db(Protocol(1, "P1", "A1") + Protocol(2, "P2", "B1B2") + Code(500, 7, "P1", "P2", "0708"));
    const Built r = Build(db, Slot::DVD().Number(), "7,7,0");
    ASSERT_TRUE(r.ok) << r.why;
    const int b = 0x600;
    // Records at 12 and 19 (7 bytes each), the empty key at 26, P1 at 28, P2 at 29, trailer at 31.
    EXPECT_EQ(Word(r.buffer, 4), b + 31);
    EXPECT_EQ(Word(r.buffer, 6), b + 12);
    EXPECT_EQ(Word(r.buffer, 8), b + 19);
    EXPECT_EQ(Word(r.buffer, 10), b + 26);
    const Bytes record = {0x06, 0x06, 0x1C, 0x06, 0x1D, 0x07, 0x08};
    EXPECT_EQ(Bytes(r.buffer.begin() + 12, r.buffer.begin() + 19), record);
    EXPECT_EQ(Bytes(r.buffer.begin() + 19, r.buffer.begin() + 26), record);
    EXPECT_EQ(Bytes(r.buffer.begin() + 26, r.buffer.begin() + 35),
              (Bytes{0x00, 0x00, 0xA1, 0xB1, 0xB2, 0x55, 0x55, 0x55, 0x55}));
}

TEST(CodeRecord, LengthLimitIs767Bytes) {
    // Order "13,0": 10 bytes of header and table, a key record of n + 5, an empty record, a
    // block of p, the trailer: L = 21 + n + p.
    auto build = [](std::size_t n, std::size_t p, ScriptedFiller& rng) {
        test::CodecDb db(Protocol(1, "P1", Hex(p)) + Code(500, 13, "P1", "", Hex(n)));
        return Build(db, Slot::AUX().Number(), "13,0", rng);
    };
    ScriptedFiller rng({0.5});
    const Built longest = build(250, 496, rng); // L = 767
    ASSERT_TRUE(longest.ok) << longest.why;
    EXPECT_EQ(longest.blocks, 12);
    ASSERT_EQ(longest.buffer.size(), 768u);
    EXPECT_EQ(Bytes(longest.buffer.begin() + 763, longest.buffer.begin() + 767), Bytes(4, 0x55));
    EXPECT_EQ(longest.buffer[767], 128);
    EXPECT_EQ(rng.calls, 1u);
    EXPECT_EQ(Word(longest.buffer, 4), 0x900 + 763);

    ExpectRefused(build(250, 497, rng)); // L = 768
    ExpectRefused(build(251, 496, rng));

    ScriptedFiller none;
    const Built exact = build(10, 225, none); // L = 256: no filler at all
    ASSERT_TRUE(exact.ok) << exact.why;
    EXPECT_EQ(exact.buffer.size(), 256u);
    EXPECT_EQ(exact.blocks, 4);
    EXPECT_EQ(none.calls, 0u);
    EXPECT_EQ(Bytes(exact.buffer.begin() + 252, exact.buffer.end()), Bytes(4, 0x55));
}

TEST(CodeRecord, AuxEqualsTvWithAddresses0x900Higher) {
    test::CodecDb db(Protocol(1, "P1", "A0A1") + Protocol(2, "P2", "B0") + Code(500, 40, "P1", "P2", "0102") +
                     Code(500, 13, "P2", "", "03"));
    const std::string order = "13,40,5,40";
    const Built tv = Build(db, Slot::TV().Number(), order);
    const Built aux = Build(db, Slot::AUX().Number(), order);
    ASSERT_TRUE(tv.ok && aux.ok) << tv.why << aux.why;
    ASSERT_EQ(tv.buffer.size(), aux.buffer.size());
    // Where the addresses sit: trailer, table of 4, P1/P2 in the records at 14 (13), 20 (40), 29 (40).
    Bytes shifted = tv.buffer;
    for (std::size_t at : {4, 6, 8, 10, 12, 15, 21, 23, 30, 32}) {
        const int address = Word(tv.buffer, at) + 0x900;
        shifted[at] = static_cast<std::uint8_t>(address >> 8);
        shifted[at + 1] = static_cast<std::uint8_t>(address & 0xFF);
    }
    EXPECT_EQ(shifted, aux.buffer);
    // Blocks come in the order of first use: P2 (key 13) at 36, then P1.
    EXPECT_EQ(Word(aux.buffer, 32), 0x900 + 36);
    EXPECT_EQ(Word(aux.buffer, 30), 0x900 + 37);
    EXPECT_EQ(Word(aux.buffer, 17), 0) << "key 13 has no second protocol";
}

TEST(CodeRecord, DefaultOrdersDifferFromPosition28) {
    // Key-map 40 sits at position 42 of the TV/SAT order and at position 28 of the DVD/AUX order.
    test::CodecDb db(Protocol(1, "P1", "A0") + Code(500, 40, "P1", "", "0102"));
    const Built tv = Build(db, Slot::TV().Number());
    const Built aux = Build(db, Slot::AUX().Number());
    ASSERT_TRUE(tv.ok && aux.ok);
    auto recordLength = [](const Built& r, int j) {
        return Word(r.buffer, 6 + 2 * (j + 1)) - Word(r.buffer, 6 + 2 * j);
    };
    EXPECT_EQ(recordLength(tv, 42), 7);
    EXPECT_EQ(recordLength(tv, 28), 2);
    EXPECT_EQ(recordLength(aux, 28), 7);
    EXPECT_EQ(recordLength(aux, 42), 2);
    EXPECT_EQ(DefaultKeyOrder(Slot::SAT().Number()), DefaultKeyOrder(Slot::TV().Number()));
    EXPECT_EQ(DefaultKeyOrder(Slot::DVD().Number()), DefaultKeyOrder(Slot::AUX().Number()));
    EXPECT_EQ(
        std::count(DefaultKeyOrder(Slot::DVD().Number()).begin(), DefaultKeyOrder(Slot::DVD().Number()).end(), ','),
        45);
}

TEST(CodeRecord, EmptyCodeDataLeavesKeyEmptyButKeepsItsProtocolBlock) {
    test::CodecDb db(Protocol(1, "P1", "C0C1") + Code(500, 13, "P1", "", ""));
    const Built r = Build(db, Slot::TV().Number(), "13,3");
    ASSERT_TRUE(r.ok) << r.why;
    const Bytes expected = {0x55, 0x55, 0x55, 0x55, 0x00, 0x10, 0x00, 0x0A, 0x00, 0x0C,
                            0x00, 0x00, 0x00, 0x00, 0xC0, 0xC1, 0x55, 0x55, 0x55, 0x55};
    EXPECT_EQ(Bytes(r.buffer.begin(), r.buffer.begin() + 20), expected);
}

TEST(CodeRecord, CodeWithoutUsableFirstProtocolIsAnEmptyKey) {
    // Missing protocol, empty first protocol, and a name that matches two rows (LIKE ignores case).
    test::CodecDb db(Protocol(1, "Sharp", "D0") + Protocol(2, "SHARP", "D1") + Protocol(3, "P2", "E0") +
                     Code(500, 13, "Nope", "", "01") + Code(500, 3, "", "P2", "02") + Code(500, 4, "sharp", "", "03"));
    const Built r = Build(db, Slot::TV().Number(), "13,3,4");
    ASSERT_TRUE(r.ok) << r.why;
    // Three empty records at 12, 14, 16; P2 (found for key 3) keeps its block at 18.
    const Bytes expected = {0x55, 0x55, 0x55, 0x55, 0x00, 0x13, 0x00, 0x0C, 0x00, 0x0E, 0x00, 0x10,
                            0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xE0, 0x55, 0x55, 0x55, 0x55};
    EXPECT_EQ(Bytes(r.buffer.begin(), r.buffer.begin() + 23), expected);
}

TEST(CodeRecord, ProtocolNamesWithQuotesAndWildcardsMatchThemselves) {
    test::CodecDb db(Protocol(1, "O''Neil", "A5") + Protocol(2, "RCX5", "B5") + Protocol(3, "RC_5", "C5") +
                     Code(500, 13, "O''Neil", "", "01") + Code(500, 3, "RC_5", "", "02"));
    const Built r = Build(db, Slot::TV().Number(), "13,3,0");
    ASSERT_TRUE(r.ok) << r.why;
    EXPECT_EQ(r.buffer[12], 0x05);
    EXPECT_EQ(r.buffer[18], 0x05);
    EXPECT_EQ(r.buffer[Word(r.buffer, 13)], 0xA5);
    EXPECT_EQ(r.buffer[Word(r.buffer, 19)], 0xC5);
}

TEST(CodeRecord, KeyOrderEntriesAndSlots) {
    test::CodecDb db(kWorkedRows);
    const Built gaps = Build(db, Slot::TV().Number(), "13,, 13 ");
    ASSERT_TRUE(gaps.ok) << gaps.why;
    EXPECT_EQ(Word(gaps.buffer, 6), 12);
    EXPECT_EQ(Word(gaps.buffer, 8), 19);
    EXPECT_EQ(Word(gaps.buffer, 10), 21);
    EXPECT_EQ(gaps.buffer[21], 0x06);

    ExpectRefused(Build(db, Slot::TV().Number(), "13,x"));
    ExpectRefused(Build(db, Slot::TV().Number(), "13,3.5"));
    ExpectRefused(Build(db, Slot::TV().Number(), "13,99999999999"));
    ExpectRefused(Build(db, 4));
    // 381 entries: the address table and the empty records alone need 768 bytes.
    std::string many = "0";
    for (int i = 1; i < 381; ++i)
        many += ",0";
    ExpectRefused(Build(db, Slot::TV().Number(), many));
}

TEST(CodeRecord, BadDataIsRefused) {
    ExpectRefused(
        Build(test::CodecDb(kWorkedRows.substr(0, kWorkedRows.find('\n') + 1) + Code(500, 13, "P1", "", "012")),
              Slot::TV().Number()));
    ExpectRefused(Build(test::CodecDb(Protocol(1, "P1", "A0") + Code(500, 13, "P1", "", "0G")), Slot::TV().Number()));
    ExpectRefused(Build(test::CodecDb(Protocol(1, "P1", "ABC") + Code(500, 13, "P1", "", "01")), Slot::TV().Number()));
    ExpectRefused(Build(test::CodecDb(Protocol(1, "P1", "A 0") + Code(500, 13, "P1", "", "01")), Slot::TV().Number()));
    // A length byte counts at most 255: 252 code bytes would wrap it.
    ExpectRefused(
        Build(test::CodecDb(Protocol(1, "P1", "A0") + Code(500, 13, "P1", "", Hex(252))), Slot::TV().Number(), "13"));
}

TEST(CodeRecord, MoreThanKMinusOneProtocolsAreRefused) {
    const std::string rows = Protocol(1, "P1", "A0") + Protocol(2, "P2", "B0") + Protocol(3, "P3", "C0") +
                             Code(500, 13, "P1", "P2", "01") + Code(500, 3, "P3", "", "02");
    test::CodecDb db(rows);
    ExpectRefused(Build(db, Slot::TV().Number(), "13,3,0"));
    EXPECT_TRUE(Build(db, Slot::TV().Number(), "13,3,0,0").ok);
    ExpectRefused(Build(db, Slot::TV().Number(), "13"));
}

TEST(CodeRecord, RefusesOtherModelsMissingCodesAndUnreadableDatabases) {
    test::CodecDb db(kWorkedRows);
    ScriptedFiller rng;
    ExpectRefused(Build(db, Slot::TV().Number(), "", rng, 500, 2));
    ExpectRefused(Build(db, Slot::TV().Number(), "", rng, 501));
    // A database without the code tables fails to load: nothing reaches the encoder.
    test::CodecDb empty("DROP TABLE M_CodeLink;");
    db::DbConnection conn;
    ASSERT_TRUE(conn.OpenDatabase(empty.file.string(), empty.key));
    EXPECT_THROW(db::LoadCodeSet(conn, 500), db::DbError);
    ExpectRefused(Build(empty, Slot::TV().Number()));
}
