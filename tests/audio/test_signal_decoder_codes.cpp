// Code sets of a generated code database, encoded, modulated and decoded again: what the remote would
// store must be exactly what the encoder made.
#include "audio/DownloadSequence.h"
#include "audio/SignalDecoder.h"
#include "codec/CodeRecord.h"
#include "codec/DownOrder.h"
#include "db/CodeSet.h"
#include "db/Database.h"
#include "db/DatabaseFile.h"
#include "tests/support/TestSupport.h"
#include "tools/devtools/SampleDatabase.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

using tolbe::Slot;
using namespace tolbe;

TEST(SignalDecoderCodes, DecodedMemoryEqualsTheEncodersBytesForManyCodeSets) {
    test::TempDir dir;
    const std::string file = (dir / "codes.db3").string();
    devtools::SampleOptions options;
    options.code_sets = 90;
    options.seed = 21;
    devtools::GenerateSampleDatabase(file, options);
    const std::string key = db::BuildDatabaseKey();

    db::DbConnection conn;
    ASSERT_TRUE(conn.OpenDatabase(file, key));
    const db::DbRecordset sources =
        conn.OpenRecordset("SELECT DISTINCT SourceID FROM M_SetOfCodes WHERE IsValid=1 ORDER BY SourceID LIMIT 48");
    ASSERT_GE(sources.RecordCount(), 24);

    int decoded = 0;
    std::set<int> block_counts;
    for (int row = 0; row < sources.RecordCount(); ++row) {
        const std::int32_t source = sources.ValueAt(row, 0).ToInt32();
        const auto slot = static_cast<std::uint8_t>(row % 4);
        std::vector<std::uint8_t> buffer(768, 0);
        std::int16_t blocks = 0;
        codec::SeededFiller filler(static_cast<std::uint32_t>(source));
        const std::string order = codec::GetDownOrderStr(db::ReadDownloadKeyOrderRows(conn, source, 1));
        // Some generated sources are too long for a slot on purpose; the encoder refuses those.
        if (!codec::BuildCodeRecord(1, slot, db::LoadCodeSet(conn, source), buffer, blocks, order, filler)) continue;

        audio::PcmCaptureSink sink;
        audio::NoProgress progress;
        audio::SendCodeRecord(slot, buffer, blocks, "TV", sink, progress);
        const auto check = audio::CheckDownloadSignal(audio::SamplesFromPcm(sink.Pcm()), 2, 44100);
        ASSERT_TRUE(check.Ok()) << "source " << source << ": " << check.FirstFault();
        EXPECT_EQ(check.slot, slot);
        EXPECT_EQ(check.header_blocks, blocks);
        EXPECT_EQ(check.SlotBytes(), buffer) << "source " << source << " slot " << int{slot};
        // Nothing outside the slot's region was touched.
        const std::size_t base = Slot::FromNumber(slot).BaseAddress();
        EXPECT_EQ(std::count(check.memory.begin(), check.memory.begin() + static_cast<std::ptrdiff_t>(base), 0),
                  static_cast<std::ptrdiff_t>(base));
        ++decoded;
        block_counts.insert(blocks);
    }
    std::printf("[ FIGURE   ] %d code sets of %d sources decoded, %zu different block counts\n", decoded,
                sources.RecordCount(), block_counts.size());
    EXPECT_GE(decoded, 20);
    // The generator varies the record lengths; the check is only worth something if they vary here too.
    EXPECT_GE(block_counts.size(), 4u);
}
