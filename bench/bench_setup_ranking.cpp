// The set-up assistant's order against a simulated user: for code sets drawn at random (fixed seed)
// as "the device", with its model typed exactly, with a typical slip (letter case, a hyphen, O for
// 0) or not at all, the user answers every offered candidate truthfully key by key (a test key
// works when the candidate sends the device's code on it) until all of a candidate's test keys
// work. Counters: median and 90th percentile of the tries, for the old order (the model as a key
// word narrowing the list, newest first; when that finds nothing or not the device, the whole
// brand newest first, less what was tried) and for RankCandidates. Also the time of a ranked list
// for the largest brand of the large database (goal: under 50 ms once the database is warm).
#include "bench/LargeDatabase.h"
#include "common/AsciiText.h"
#include "core/Candidates.h"
#include "core/Ranking.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <random>

namespace {

using namespace tolbe;

constexpr int kDevices = 300;
constexpr std::uint32_t kSeed = 27;

Slot SlotFor(const std::string& device) {
    for (Slot slot : {Slot::TV(), Slot::SAT(), Slot::DVD()})
        if (device == slot.Name()) return slot;
    return Slot::AUX();
}

bool Open(benchmark::State& state, db::CodeDatabase& database, const std::string& file) {
    if (database.OpenFile(file) == db::CodeDatabase::State::Open) return true;
    state.SkipWithError(("cannot open " + file).c_str());
    return false;
}

// The old model key word: its blank-separated parts in the model name in order, any letter case.
bool LikeMatch(const std::string& typed, const std::string& model) {
    const std::string m = tolbe::ToLower(model);
    std::size_t at = 0, start = 0;
    const std::string t = tolbe::ToLower(typed);
    while (start <= t.size()) {
        const std::size_t blank = std::min(t.find(' ', start), t.size());
        const std::string part = t.substr(start, blank - start);
        at = m.find(part, at);
        if (at == std::string::npos) return false;
        at += part.size();
        start = blank + 1;
    }
    return true;
}

// A typical slip: all in lower case, a hyphen after the leading letters, or O for a zero.
std::string Slip(const std::string& model, std::mt19937& rng) {
    std::string s = model;
    switch (rng() % 3) {
    case 1: {
        const auto digit = std::find_if(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
        if (digit != s.begin() && digit != s.end()) return s.insert(static_cast<std::size_t>(digit - s.begin()), "-");
        break;
    }
    case 2:
        if (const std::size_t zero = s.find('0'); zero != std::string::npos) return s.replace(zero, 1, "O");
        break;
    default:
        break;
    }
    return tolbe::ToLower(s) != s ? tolbe::ToLower(s) : s + "-";
}

struct Truth {
    const core::Candidate* device = nullptr;
    // What the user says of one try: all test keys work, or the ones that did.
    bool Answer(const core::Candidate& tried, core::Answer& answer) const {
        answer = {tried.imageSha256, core::Verdict::Failed, {}};
        std::size_t worked = 0;
        for (const core::TestKey& key : tried.testKeys) {
            const std::string* mine = tried.CodeOf(key.keyMapId);
            const std::string* real = device->CodeOf(key.keyMapId);
            if (mine != nullptr && real != nullptr && *mine == *real) {
                answer.keysWorked.push_back(key.keyMapId);
                ++worked;
            }
        }
        if (worked > 0) answer.verdict = worked == tried.testKeys.size() ? core::Verdict::Works : core::Verdict::Partly;
        return answer.verdict == core::Verdict::Works;
    }
};

int OldTries(const core::CandidateList& list, const Truth& truth, const std::string& typed) {
    std::vector<bool> tried(list.candidates.size(), false);
    int tries = 0;
    core::Answer answer;
    for (int pass = typed.empty() ? 1 : 0; pass < 2; ++pass)
        for (std::size_t i = 0; i < list.candidates.size(); ++i) {
            const core::Candidate& c = list.candidates[i];
            if (tried[i]) continue;
            if (pass == 0 && std::none_of(c.models.begin(), c.models.end(),
                                          [&](const std::string& m) { return LikeMatch(typed, m); }))
                continue;
            tried[i] = true;
            ++tries;
            if (truth.Answer(c, answer)) return tries;
        }
    return tries;
}

int NewTries(const core::CandidateList& list, const Truth& truth) {
    std::vector<core::Answer> answers;
    for (;;) {
        const auto next = core::NextCandidate(list, answers);
        if (!next) return static_cast<int>(answers.size());
        answers.emplace_back();
        if (truth.Answer(list.candidates[*next], answers.back())) return static_cast<int>(answers.size());
    }
}

double Quantile(std::vector<int> v, double q) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(q * static_cast<double>(v.size() - 1) + 0.5)];
}

void SimulatedUser(benchmark::State& state, const std::string& file) {
    db::CodeDatabase database;
    if (!Open(state, database, file)) return;
    const db::DbRecordset sets = database.DBConn().OpenRecordset(
        "Select SetOfCodeID,DeviceName,BrandName,ModelName From M_SetOfCodes where IsValid=1", false);
    std::map<std::pair<std::string, std::string>, core::CandidateList> lists;
    std::map<std::string, std::vector<int>> tries;
    for (auto _ : state) {
        std::mt19937 rng(kSeed);
        tries.clear();
        for (int drawn = 0, attempts = 0; drawn < kDevices && attempts < 20 * kDevices; ++attempts) {
            const int row = static_cast<int>(rng() % static_cast<std::uint32_t>(sets.RecordCount()));
            const std::int32_t id = sets.ValueAt(row, 0).ToInt32();
            const std::string device = sets.ValueAt(row, 1).Text(), brand = sets.ValueAt(row, 2).Text();
            const std::string model = sets.ValueAt(row, 3).Text();
            auto it = lists.find({device, brand});
            if (it == lists.end())
                it = lists
                         .emplace(std::pair{device, brand},
                                  core::FindCandidates(database, SlotFor(device), device, brand).Value())
                         .first;
            Truth truth;
            for (const core::Candidate& c : it->second.candidates)
                if (std::find(c.SetOfCodeIDs.begin(), c.SetOfCodeIDs.end(), id) != c.SetOfCodeIDs.end())
                    truth.device = &c;
            if (truth.device == nullptr) continue; // too long for the slot: no candidate to find
            ++drawn;
            const std::string slip = Slip(model, rng);
            for (const auto& [name, typed] : {std::pair{"exact", model}, {"slip", slip}, {"none", std::string()}}) {
                core::CandidateList list = it->second;
                core::ApplyModel(list, typed);
                tries[std::string("old_") + name].push_back(OldTries(list, truth, typed));
                tries[std::string("new_") + name].push_back(NewTries(list, truth));
            }
        }
    }
    for (const auto& [name, v] : tries) {
        state.counters[name + "_median"] = Quantile(v, 0.5);
        state.counters[name + "_p90"] = Quantile(v, 0.9);
    }
    state.counters["devices"] = static_cast<double>(tries["new_none"].size());
}

void BM_SimulatedUserSample(benchmark::State& state) {
    SimulatedUser(state, std::string(TOLBE_PROGRAM_DIR) + "/Database/IR_Database.db3");
}
void BM_SimulatedUserLarge(benchmark::State& state) {
    SimulatedUser(state, bench::LargeDatabase());
}

// FindCandidates and RankCandidates for the brand with the most code sets, warm.
void BM_RankedListLargestBrand(benchmark::State& state) {
    db::CodeDatabase database;
    if (!Open(state, database, bench::LargeDatabase())) return;
    const db::DbRecordset largest = database.DBConn().OpenRecordset(
        "Select DeviceName,BrandName,count(*) From M_SetOfCodes where IsValid=1 group by DeviceName,BrandName "
        "order by count(*) desc limit 1",
        false);
    const std::string device = largest.ValueAt(0, 0).Text(), brand = largest.ValueAt(0, 1).Text();
    benchmark::DoNotOptimize(core::FindCandidates(database, SlotFor(device), device, brand)->candidates.size());
    bench::Percentiles times;
    std::size_t candidates = 0;
    for (auto _ : state) {
        const auto start = bench::Clock::now();
        const core::CandidateList list =
            core::FindCandidates(database, SlotFor(device), device, brand, "KV-29").Value();
        benchmark::DoNotOptimize(core::RankCandidates(list, {}).size());
        times.Add(state, start);
        candidates = list.candidates.size();
    }
    times.Report(state);
    state.SetLabel(device + " " + brand);
    state.counters["code_sets"] = largest.ValueAt(0, 2).ToInt32();
    state.counters["candidates"] = static_cast<double>(candidates);
}

} // namespace

BENCHMARK(BM_SimulatedUserSample)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SimulatedUserLarge)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RankedListLargestBrand)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

BENCHMARK_MAIN();
