// One code record encoding as a download makes it, its own database connection included, on
// the large benchmark database. Cycles through code sources so no one source stays cached.
#include "bench/LargeDatabase.h"
#include "codec/CodeRecord.h"
#include "codec/DownOrder.h"
#include "db/CodeSet.h"
#include "db/DatabaseFile.h"

#include <benchmark/benchmark.h>

namespace {

struct Source {
    std::int32_t id;
    std::string order;
};

// Up to 200 code sources, spread over the table, with the key order a download would use. Only
// sources that make a record are taken: a refused one is never sent.
std::vector<Source> PickSources(const std::string& file, const std::string& key) {
    tolbe::db::DbConnection conn;
    std::vector<Source> out;
    if (!conn.OpenDatabase(file, key, true)) return out;
    const tolbe::db::DbRecordset rs =
        conn.OpenRecordset("Select DISTINCT SourceID From M_SetOfCodes where IsValid=1 order by SourceID");
    const int step = std::max(1, rs.RecordCount() / 200);
    tolbe::codec::SeededFiller rng(1);
    std::vector<std::uint8_t> buffer;
    std::int16_t blocks = 0;
    for (int r = 0; r < rs.RecordCount(); r += step) {
        const std::int32_t id = rs.ValueAt(r, 0).ToInt32();
        Source s{id, tolbe::codec::GetDownOrderStr(
                         tolbe::db::ReadDownloadKeyOrderRows(conn, id, tolbe::codec::kSupportedRcuModel))};
        if (tolbe::codec::BuildCodeRecord(1, 0, tolbe::db::LoadCodeSet(conn, id), buffer, blocks, s.order, rng))
            out.push_back(s);
    }
    return out;
}

void Encode(benchmark::State& state, bool withOrderLookup) {
    const std::string& file = tolbe::bench::LargeDatabase();
    const std::string key = tolbe::db::BuildDatabaseKey();
    const std::vector<Source> sources = PickSources(file, key);
    if (sources.empty()) {
        state.SkipWithError("no code sources in the benchmark database");
        return;
    }
    tolbe::db::DbConnection main;
    main.OpenDatabase(file, key, true);
    tolbe::codec::SeededFiller rng(1);
    tolbe::bench::Percentiles times;
    std::vector<std::uint8_t> buffer;
    std::size_t next = 0;
    std::int64_t blockSum = 0, runs = 0;
    for (auto _ : state) {
        const Source& s = sources[next++ % sources.size()];
        const auto start = tolbe::bench::Clock::now();
        const std::string order = withOrderLookup ? tolbe::codec::GetDownOrderStr(tolbe::db::ReadDownloadKeyOrderRows(
                                                        main, s.id, tolbe::codec::kSupportedRcuModel))
                                                  : s.order;
        std::int16_t blocks = 0;
        if (!tolbe::codec::BuildCodeRecord(1, 0, tolbe::db::LoadCodeSet(main, s.id), buffer, blocks, order, rng)) {
            state.SkipWithError("a code source that encoded before was refused");
            return;
        }
        times.Add(state, start);
        blockSum += blocks;
        ++runs;
    }
    times.Report(state);
    state.counters["sources"] = static_cast<double>(sources.size());
    state.counters["mean_blocks"] = runs ? static_cast<double>(blockSum) / static_cast<double>(runs) : 0.0;
}

void BM_BuildCodeRecord(benchmark::State& state) {
    Encode(state, false);
}
void BM_DownloadOrderAndBuildCodeRecord(benchmark::State& state) {
    Encode(state, true);
}

} // namespace

BENCHMARK(BM_BuildCodeRecord)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_DownloadOrderAndBuildCodeRecord)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

BENCHMARK_MAIN();
