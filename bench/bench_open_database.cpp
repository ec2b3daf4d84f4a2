// Time to open a keyed code database: key, cipher settings and the first read that proves the key.
// Target: at most 5 ms, for the bundled sample database and the large benchmark database alike.
#include "bench/LargeDatabase.h"
#include "db/Database.h"
#include "db/DatabaseFile.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

namespace {

using tolbe::bench::Clock;

const std::string& SampleDatabase() {
    static const std::string path =
        (std::filesystem::path(TOLBE_PROGRAM_DIR) / "Database" / "IR_Database.db3").string();
    return path;
}

void OpenOnce(benchmark::State& state, const std::string& file, bool read_device_types) {
    if (!std::filesystem::exists(file)) {
        state.SkipWithError(("no database at " + file + " (build the sample_database target)").c_str());
        return;
    }
    const std::string key = tolbe::db::BuildDatabaseKey();
    tolbe::bench::Percentiles times;
    for (auto _ : state) {
        const auto start = Clock::now();
        tolbe::db::DbConnection conn;
        if (!conn.OpenDatabase(file, key, true)) {
            state.SkipWithError(("cannot open " + file).c_str());
            break;
        }
        if (read_device_types) benchmark::DoNotOptimize(tolbe::db::ReadDeviceTypes(conn));
        times.Add(state, start);
    }
    times.Report(state);
    state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(file)) / 1e6;
}

void BM_OpenSampleDatabase(benchmark::State& state) {
    OpenOnce(state, SampleDatabase(), false);
}
void BM_OpenLargeDatabase(benchmark::State& state) {
    OpenOnce(state, tolbe::bench::LargeDatabase(), false);
}
// Start-up opens the file and then fills the device-type list from it.
void BM_OpenLargeDatabaseAndReadDeviceTypes(benchmark::State& state) {
    OpenOnce(state, tolbe::bench::LargeDatabase(), true);
}

} // namespace

BENCHMARK(BM_OpenSampleDatabase)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenLargeDatabase)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenLargeDatabaseAndReadDeviceTypes)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
