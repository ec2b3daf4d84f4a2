#pragma once

#include "core/Candidates.h"
#include "core/RemoteRecord.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The order in which the set-up assistant offers its candidates: the likeliest first, and after
// every answer the rest again in the light of it. A pure function of the list and the answers, so
// the window, tolbe-cli and the tests offer the same candidate at the same point.
namespace tolbe::core {

// What the user said of one tried candidate.
struct Answer {
    std::string imageSha256;              // the candidate tried (Candidate::imageSha256)
    Verdict verdict = Verdict::Failed;    // Works, Partly or Failed
    std::vector<std::int32_t> keysWorked; // with Partly: the key-map numbers of the test keys that worked
};

// Indices into `list.candidates` of the candidates still to try, likeliest first. An answered
// image is not offered again; after a Works answer nothing is. Order, by the first that differs:
// 1. fewest conflicts with the answers: a test key that did not work, when the candidate sends the
//    same code on that key, or that worked, when it sends another code on it (the device has
//    told it cannot be this one), and less so a key that worked which the candidate lacks;
// 2. the fit of its models to the typed model (Equal, Contains, Near by edits, Other);
// 3. most codes confirmed: keys that worked where the candidate sends the same code;
// 4. most code sets it stands for, then most models;
// 5. newest first (the list's own order).
// Answers of images not on the list are ignored.
std::vector<std::size_t> RankCandidates(const CandidateList& list, const std::vector<Answer>& answers);

// The first of RankCandidates; nothing when none is left or one worked.
std::optional<std::size_t> NextCandidate(const CandidateList& list, const std::vector<Answer>& answers);

// Puts the candidates from position `from` on into the order RankCandidates gives them, answered
// ones after the rest; those before `from` (tried already, in the order they were tried) stay.
void RankRest(CandidateList& list, const std::vector<Answer>& answers, std::size_t from);

} // namespace tolbe::core
