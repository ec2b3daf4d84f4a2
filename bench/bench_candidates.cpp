// The set-up assistant's candidate list: how long the largest brand of the large benchmark database
// takes (goal: under 200 ms), and how far grouping by slot image shortens the lists of every brand,
// on the bundled sample database and the large one (counters *_median and *_max, code sets before,
// candidates after).
#include "bench/LargeDatabase.h"
#include "codec/DownOrder.h"
#include "core/Candidates.h"
#include "core/Download.h"
#include "db/CodeSearch.h"

#include <benchmark/benchmark.h>

#include <set>

namespace {

using namespace tolbe;

// The slot a device type most likely goes into.
Slot SlotFor(const std::string& device) {
    for (Slot slot : {Slot::TV(), Slot::SAT(), Slot::DVD()})
        if (device == slot.Name()) return slot;
    return Slot::AUX();
}

struct Brand {
    std::string device, brand;
    int codeSets = 0;
};

std::vector<Brand> AllBrands(const db::CodeDatabase& database) {
    std::vector<Brand> out;
    for (const std::string& device : database.DeviceTypes())
        for (const std::string& brand : db::ListBrands(database.DBConn(), device))
            out.push_back({device, brand});
    return out;
}

bool Open(benchmark::State& state, db::CodeDatabase& database, const std::string& file) {
    if (database.OpenFile(file) == db::CodeDatabase::State::Open) return true;
    state.SkipWithError(("cannot open " + file).c_str());
    return false;
}

void BM_CandidatesLargestBrand(benchmark::State& state) {
    db::CodeDatabase database;
    if (!Open(state, database, bench::LargeDatabase())) return;
    Brand largest;
    for (Brand b : AllBrands(database)) {
        b.codeSets = core::FindCandidates(database, SlotFor(b.device), b.device, b.brand)->codeSets;
        if (b.codeSets > largest.codeSets) largest = b;
    }
    bench::Percentiles times;
    std::size_t candidates = 0;
    for (auto _ : state) {
        const auto start = bench::Clock::now();
        const core::CandidateList list =
            core::FindCandidates(database, SlotFor(largest.device), largest.device, largest.brand).Value();
        times.Add(state, start);
        candidates = list.candidates.size();
    }
    times.Report(state);
    state.SetLabel(largest.device + " " + largest.brand);
    state.counters["code_sets"] = largest.codeSets;
    state.counters["candidates"] = static_cast<double>(candidates);
}

// The first list after the database is opened: nothing of it is decrypted yet.
void BM_CandidatesLargestBrandCold(benchmark::State& state) {
    db::CodeDatabase database;
    if (!Open(state, database, bench::LargeDatabase())) return;
    Brand largest;
    for (Brand b : AllBrands(database)) {
        b.codeSets = core::FindCandidates(database, SlotFor(b.device), b.device, b.brand)->codeSets;
        if (b.codeSets > largest.codeSets) largest = b;
    }
    bench::Percentiles times;
    for (auto _ : state) {
        db::CodeDatabase fresh;
        if (!Open(state, fresh, bench::LargeDatabase())) return;
        const auto start = bench::Clock::now();
        benchmark::DoNotOptimize(
            core::FindCandidates(fresh, SlotFor(largest.device), largest.device, largest.brand)->candidates.size());
        times.Add(state, start);
    }
    times.Report(state);
    state.SetLabel(largest.device + " " + largest.brand);
}

double Median(std::vector<int> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n == 0 ? 0.0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

void Grouping(benchmark::State& state, const std::string& file) {
    db::CodeDatabase database;
    if (!Open(state, database, file)) return;
    std::vector<int> before, after;
    // Against the download path: each code set encoded on its own, with its own key order and
    // one filler seed, counted by distinct image; and each image's hash against its candidate's.
    int brandsDiffering = 0, hashMismatches = 0;
    for (auto _ : state) {
        before.clear();
        after.clear();
        for (const Brand& b : AllBrands(database)) {
            const Slot slot = SlotFor(b.device);
            const core::CandidateList list = core::FindCandidates(database, slot, b.device, b.brand).Value();
            before.push_back(list.codeSets);
            after.push_back(static_cast<int>(list.candidates.size()));
            std::set<std::string> images;
            for (const core::Candidate& c : list.candidates) {
                for (std::int32_t id : c.SetOfCodeIDs) {
                    codec::SeededFiller filler(7);
                    const std::string order =
                        codec::GetDownOrderStr(db::ReadKeyOrderRows(database.DBConn(), id, codec::kSupportedRcuModel));
                    const std::int32_t source = database.DBConn()
                                                    .OpenRecordset("Select SourceID From M_SetOfCodes where "
                                                                   "SetOfCodeID=" +
                                                                       std::to_string(id),
                                                                   false)
                                                    .ValueAt(0, 0)
                                                    .ToInt32();
                    const auto d =
                        core::PrepareDownload(database, {codec::kSupportedRcuModel, slot, source, order}, filler, 0);
                    const std::string hash = d ? core::ImageSha256(d->CodeBuffer, slot) : std::string("refused");
                    images.insert(hash);
                    if (hash != c.imageSha256) ++hashMismatches;
                }
            }
            if (images.size() != list.candidates.size()) ++brandsDiffering;
        }
    }
    state.counters["brands_differing_from_reencoding"] = brandsDiffering;
    state.counters["hash_mismatches"] = hashMismatches;
    state.counters["brands"] = static_cast<double>(before.size());
    state.counters["before_median"] = Median(before);
    state.counters["before_max"] = before.empty() ? 0 : *std::max_element(before.begin(), before.end());
    state.counters["after_median"] = Median(after);
    state.counters["after_max"] = after.empty() ? 0 : *std::max_element(after.begin(), after.end());
}

void BM_GroupingSample(benchmark::State& state) {
    Grouping(state, std::string(TOLBE_PROGRAM_DIR) + "/Database/IR_Database.db3");
}
void BM_GroupingLarge(benchmark::State& state) {
    Grouping(state, bench::LargeDatabase());
}

} // namespace

BENCHMARK(BM_CandidatesLargestBrand)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_CandidatesLargestBrandCold)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_GroupingSample)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GroupingLarge)->Iterations(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
