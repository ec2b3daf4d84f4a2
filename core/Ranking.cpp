#include "core/Ranking.h"

#include <algorithm>
#include <map>
#include <tuple>

namespace tolbe::core {

namespace {

// What the answers said of a key: the codes the device took on it, and the ones it ignored.
struct KeyEvidence {
    std::vector<const std::string*> worked, failed;
};

// Conflicts count two when the answers rule the candidate out (the device ignored the code it
// sends on a key, or took another one on it) and one when it lacks a key the device took: it
// may still be the right code set, but not all of it can work.
int Conflicts(const Candidate& c, const std::map<std::int32_t, KeyEvidence>& evidence, int& confirmed) {
    int conflicts = 0;
    confirmed = 0;
    for (const auto& [key, e] : evidence) {
        const std::string* mine = c.CodeOf(key);
        if (mine == nullptr) {
            conflicts += e.worked.empty() ? 0 : 1;
            continue;
        }
        for (const std::string* code : e.failed)
            if (*code == *mine) conflicts += 2;
        for (const std::string* code : e.worked)
            *code == *mine ? ++confirmed : conflicts += 2;
    }
    return conflicts;
}

int FitRank(const ModelCloseness& m) {
    // Near names by their edits, between the matching ones and the rest.
    return m.fit == ModelFit::Near    ? 2 + static_cast<int>(m.edits)
           : m.fit == ModelFit::Other ? 100
                                      : static_cast<int>(m.fit);
}

} // namespace

std::vector<std::size_t> RankCandidates(const CandidateList& list, const std::vector<Answer>& answers) {
    const auto& all = list.candidates;
    std::vector<bool> answered(all.size(), false);
    std::map<std::int32_t, KeyEvidence> evidence;
    for (const Answer& a : answers) {
        const auto tried =
            std::find_if(all.begin(), all.end(), [&](const Candidate& c) { return c.imageSha256 == a.imageSha256; });
        if (tried == all.end()) continue;
        if (a.verdict == Verdict::Works) return {};
        answered[static_cast<std::size_t>(tried - all.begin())] = true;
        for (const TestKey& key : tried->testKeys) {
            const std::string* code = tried->CodeOf(key.keyMapId);
            if (code == nullptr) continue;
            const bool worked = a.verdict == Verdict::Partly &&
                                std::find(a.keysWorked.begin(), a.keysWorked.end(), key.keyMapId) != a.keysWorked.end();
            (worked ? evidence[key.keyMapId].worked : evidence[key.keyMapId].failed).push_back(code);
        }
    }

    using Key = std::tuple<int, int, int, std::size_t, std::size_t, std::size_t>;
    std::vector<std::pair<Key, std::size_t>> open;
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (answered[i]) continue;
        const Candidate& c = all[i];
        int confirmed = 0;
        const int conflicts = Conflicts(c, evidence, confirmed);
        // Larger counts first: negated, or subtracted from the largest possible.
        open.emplace_back(Key{conflicts, FitRank(c.model), -confirmed, SIZE_MAX - c.SetOfCodeIDs.size(),
                              SIZE_MAX - c.models.size(), i},
                          i);
    }
    std::sort(open.begin(), open.end());
    std::vector<std::size_t> order;
    order.reserve(open.size());
    for (const auto& [key, i] : open)
        order.push_back(i);
    return order;
}

std::optional<std::size_t> NextCandidate(const CandidateList& list, const std::vector<Answer>& answers) {
    const std::vector<std::size_t> order = RankCandidates(list, answers);
    if (order.empty()) return std::nullopt;
    return order.front();
}

void RankRest(CandidateList& list, const std::vector<Answer>& answers, std::size_t from) {
    if (from >= list.candidates.size()) return;
    std::vector<std::size_t> order = RankCandidates(list, answers);
    order.erase(std::remove_if(order.begin(), order.end(), [&](std::size_t i) { return i < from; }), order.end());
    // Answered ones, and all after a Works answer, keep their places behind the rest.
    std::vector<bool> placed(list.candidates.size(), false);
    for (std::size_t i : order)
        placed[i] = true;
    for (std::size_t i = from; i < list.candidates.size(); ++i)
        if (!placed[i]) order.push_back(i);
    std::vector<Candidate> rest;
    rest.reserve(order.size());
    for (std::size_t i : order)
        rest.push_back(std::move(list.candidates[i]));
    std::move(rest.begin(), rest.end(), list.candidates.begin() + static_cast<std::ptrdiff_t>(from));
}

} // namespace tolbe::core
