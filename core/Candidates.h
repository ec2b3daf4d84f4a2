#pragma once

#include "codec/SlotTable.h"
#include "common/Slot.h"
#include "core/ModelMatch.h"
#include "core/TestKeys.h"
#include "db/CodeDatabase.h"

#include <cstdint>
#include <string>
#include <vector>

// The set-up assistant's list: what the search finds for a device type and brand, reduced to what
// the remote can tell apart. Code sets that would write the same bytes into the slot (the same
// code source with the same key order, or other sources with the same codes) are one candidate,
// tried once.
namespace tolbe::core {

// One distinct slot image, standing for every code set that writes it.
struct Candidate {
    // What a download of the candidate assigns to the slot: its first code set in search order.
    codec::SlotInfo first;
    // The key order a download of it gives the encoder: that of its code sets (GetDownOrderStr),
    // "" for the slot's default. A download by code source alone may write another image.
    std::string StrKeyDown;
    std::vector<std::int32_t> SetOfCodeIDs; // every code set it stands for, in search order
    std::vector<std::string> models;        // their model names, each once, in search order
    std::int16_t BlockCount = 0;            // 64-byte blocks a download of it sends
    std::string imageSha256;                // ImageSha256 of its code record, lower-case hexadecimal
    std::vector<KeyCode> keyCodes;          // what each of its keys sends (KeyCodesOf)
    std::vector<TestKey> testKeys;          // the keys to press after a try (ChooseTestKeys)
    ModelCloseness model;                   // its models' best fit to the typed model (CompareModel)

    // The code it puts on key-map number `keyMapId`; nullptr when the key has none.
    const std::string* CodeOf(std::int32_t keyMapId) const;
};

// What the typed model text found among the brand's code sets.
struct ModelLookup {
    std::string typed;
    bool looksLikeSerial = false;        // LooksLikeSerial(typed): the window and the CLI say so
    int matching = 0;                    // candidates with a model Equal to or Containing the text
    std::vector<std::string> nearModels; // "Did you mean model ...?": ModelFit::Near names, closest first
};

struct CandidateList {
    std::vector<Candidate> candidates; // "candidate k of candidates.size()"
    int codeSets = 0;                  // code sets the search found (the search's order, no limit)
    int refused = 0;                   // of those, the ones that make no record for the slot (too long, no codes)
    ModelLookup model;

    // The code sets the candidates stand for: codeSets less the refused ones.
    int CodeSetsCovered() const { return codeSets - refused; }
};

// Compares `model` (as typed) with every candidate's models: Candidate::model and
// CandidateList::model anew, the candidates and their order as they are. For a changed model text
// without reading the database again.
void ApplyModel(CandidateList& list, const std::string& model);

// The code sets SearchSetOfCodes finds for `device` and `brand` (the same key-word rules and
// newest-first order, but every match, not the first 300), each encoded for `slot` exactly as a
// download of that code set encodes it (its own key order), grouped by equal record bytes in the
// order of first appearance. `model` does not narrow the list: it is compared with every
// candidate's models (ApplyModel) for RankCandidates to put the likeliest first. Code sets the encoder refuses for the
// slot are no candidates. Fails when the database cannot be read.
Result<CandidateList> FindCandidates(const db::CodeDatabase& database, Slot slot, const std::string& device,
                                     const std::string& brand, const std::string& model = {});

// SHA-256 of a slot's code record with its filler bytes counted as zeros, as lower-case
// hexadecimal text: the same for every download of the same code set into the same slot, however
// random the filler. The record's end is read from its trailer address; `slot` is the slot it was
// built for. Empty when `record` is not a code record of that slot.
std::string ImageSha256(const std::vector<std::uint8_t>& record, Slot slot);

} // namespace tolbe::core
