// One search step as the user types: the statement and reading every row it returns, on the
// large benchmark database (200,000 code sets). Reports the median and 95th percentile per key.
#include "bench/LargeDatabase.h"
#include "db/CodeSearch.h"
#include "db/DatabaseFile.h"

#include <benchmark/benchmark.h>

namespace {

// `cache_kib` > 0 sizes the connection's page cache first, to show what keeping the decrypted
// search index in memory between keystrokes is worth.
void SearchStep(benchmark::State& state, const std::string& brand, const std::string& model, int cache_kib = 0) {
    const std::string& file = tolbe::bench::LargeDatabase();
    tolbe::db::DbConnection conn;
    if (!conn.OpenDatabase(file, tolbe::db::BuildDatabaseKey(), true)) {
        state.SkipWithError("cannot open the benchmark database");
        return;
    }
    if (cache_kib > 0) conn.ExecuteSql("PRAGMA cache_size=-" + std::to_string(cache_kib));
    tolbe::bench::Percentiles times;
    std::int64_t rows = 0;
    for (auto _ : state) {
        const auto start = tolbe::bench::Clock::now();
        const tolbe::db::DbRecordset rs =
            tolbe::db::SearchSetOfCodes(conn, "TV", brand, model, "Device", "Brand", "Model");
        benchmark::DoNotOptimize(rs.RecordCount());
        times.Add(state, start);
        rows = rs.RecordCount();
    }
    times.Report(state);
    state.counters["rows"] = static_cast<double>(rows);
}

void BM_SearchNoKey(benchmark::State& state) {
    SearchStep(state, "", "");
}
void BM_SearchCommonKey(benchmark::State& state) {
    SearchStep(state, "sam", "");
}
void BM_SearchTwoWordKey(benchmark::State& state) {
    SearchStep(state, "so ny", "k");
}
void BM_SearchNoMatch(benchmark::State& state) {
    SearchStep(state, "zzqxv", "");
}
void BM_SearchTwoWordKey_Cache16MiB(benchmark::State& state) {
    SearchStep(state, "so ny", "k", 16384);
}
void BM_SearchNoMatch_Cache16MiB(benchmark::State& state) {
    SearchStep(state, "zzqxv", "", 16384);
}

} // namespace

BENCHMARK(BM_SearchNoKey)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SearchCommonKey)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SearchTwoWordKey)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SearchNoMatch)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SearchTwoWordKey_Cache16MiB)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SearchNoMatch_Cache16MiB)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

BENCHMARK_MAIN();
