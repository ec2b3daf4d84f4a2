#pragma once

#include "codec/SlotTable.h"
#include "common/Slot.h"
#include "db/CodeDatabase.h"

#include <cstdint>
#include <string>
#include <vector>

// The set-up assistant's list: what the search finds for a device type and brand, reduced to what
// the remote can tell apart. Code sets that would write the same bytes into the slot (the same
// code source, or other sources with the same codes) are one candidate, tried once.
namespace tolbe::core {

// One distinct slot image, standing for every code set that writes it.
struct Candidate {
    // What a download of the candidate assigns to the slot: its first code set in search order.
    codec::SlotInfo first;
    std::vector<std::int32_t> SetOfCodeIDs; // every code set it stands for, in search order
    std::vector<std::string> models;        // their model names, each once, in search order
    std::int16_t BlockCount = 0;            // 64-byte blocks a download of it sends
    std::string imageSha256;                // ImageSha256 of its code record, lower-case hexadecimal
};

struct CandidateList {
    std::vector<Candidate> candidates; // "candidate k of candidates.size()"
    int codeSets = 0;                  // code sets the search found (the search's order, no limit)
    int refused = 0;                   // of those, the ones that make no record for the slot (too long, no codes)
    std::string error;                 // not empty when the database could not be read; the list is then empty

    // The code sets the candidates stand for: codeSets less the refused ones.
    int CodeSetsCovered() const { return codeSets - refused; }
};

// The code sets SearchSetOfCodes finds for `device`, `brand` and `model` (the same key-word rules
// and newest-first order, but every match, not the first 300), each encoded for `slot` exactly as a
// download encodes it, grouped by equal record bytes in the order of first appearance. Code sets
// the encoder refuses for the slot are no candidates. Never throws.
CandidateList FindCandidates(const db::CodeDatabase& database, Slot slot, const std::string& device,
                             const std::string& brand, const std::string& model = {});

// SHA-256 of a slot's code record with its filler bytes counted as zeros, as lower-case
// hexadecimal text: the same for every download of the same code set into the same slot, however
// random the filler. The record's end is read from its trailer address; `slot` is the slot it was
// built for. Empty when `record` is not a code record of that slot.
std::string ImageSha256(const std::vector<std::uint8_t>& record, Slot slot);

} // namespace tolbe::core
