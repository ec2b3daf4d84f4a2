#pragma once

// Shared by the search and encode benchmarks: the large benchmark database and per-iteration
// percentiles, which Google Benchmark does not report by itself.
#include "tools/devtools/SampleDatabase.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace tolbe::bench {

using Clock = std::chrono::steady_clock;

// $TOLBE_BENCH_DB, else bench-data/large.db3 under the working folder; made (200,000 code sets
// over 20,000 sources) when it does not exist yet.
inline const std::string& LargeDatabase() {
    static const std::string path = [] {
        const char* env = std::getenv("TOLBE_BENCH_DB");
        std::filesystem::path file = env != nullptr && *env != '\0' ? env : "bench-data/large.db3";
        if (!std::filesystem::exists(file)) {
            std::fprintf(stderr, "making the benchmark database %s ...\n", file.string().c_str());
            if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path());
            devtools::GenerateSampleDatabase(file.string(), devtools::LargeBenchmarkOptions());
        }
        return file.string();
    }();
    return path;
}

// Times of single iterations, reported as median and 95th percentile in milliseconds.
class Percentiles {
public:
    // Ends the iteration that began at `start` and records its time as the benchmark's own.
    void Add(benchmark::State& state, Clock::time_point start) {
        const double s = std::chrono::duration<double>(Clock::now() - start).count();
        state.SetIterationTime(s);
        m_ms.push_back(s * 1000.0);
    }
    void Report(benchmark::State& state) {
        if (m_ms.empty()) return;
        std::sort(m_ms.begin(), m_ms.end());
        state.counters["p50_ms"] = At(0.50);
        state.counters["p95_ms"] = At(0.95);
        state.counters["max_ms"] = m_ms.back();
    }

private:
    double At(double q) const { return m_ms[static_cast<std::size_t>(q * static_cast<double>(m_ms.size() - 1) + 0.5)]; }
    std::vector<double> m_ms;
};

} // namespace tolbe::bench
