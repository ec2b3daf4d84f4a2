#pragma once

#include "audio/DownloadSequence.h"
#include "codec/CodeRecord.h"
#include "codec/SlotTable.h"
#include "common/Result.h"
#include "common/Slot.h"
#include "db/CodeDatabase.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tolbe::core {

// One download: which slot gets which code source, and with which key order.
struct DownloadRequest {
    std::uint8_t RCUModel = codec::kSupportedRcuModel; // the remote's model number
    Slot slot;
    std::int32_t SourceID = 0; // code source of the slot's code set; below 1 nothing is assigned
    // Key order text; nothing takes the order of the source's first valid code set, as the main
    // window does, and "" the encoder's default order for the slot.
    std::optional<std::string> StrKeyDown;
    // Without StrKeyDown and above 0: the key order of this code set of the source, so that a
    // code set written before is written again as the same image.
    std::int32_t SetOfCodeID = 0;
};

// Writing code set `codeSet` into `slot` again, in its own key order.
DownloadRequest RequestFor(Slot slot, const codec::SlotInfo& codeSet);

// Why a download has nothing to send. The window words each kind in its own way; the result's text
// is for tools and logs.
enum class Refusal {
    NotAssigned,    // the slot holds no code set
    NoDatabase,     // no code database is open
    DatabaseFailed, // reading the key order or the code set failed
    EncoderRefused, // the code set does not make a record for this slot
};

// What a download step answers: done, or which refusal and why.
template <typename T> using DownloadResult = Result<T, Refusal>;

// A download made ready: the slot's code record and the stream that carries it.
struct PreparedDownload {
    std::vector<std::uint8_t> CodeBuffer; // the record and its filler
    std::int16_t BlockCount = 0;
    audio::DownloadSignal signal; // lead-in silence, every packet and every pause
};

// The one path from a slot's code source to the sound of its download, shared by the window's
// download and Save as WAV, tolbe-cli and the benchmarks: key order, code set, encoder, packets.
DownloadResult<PreparedDownload> PrepareDownload(const db::CodeDatabase& database, const DownloadRequest& request,
                                                 codec::FillerSource& rng, int leadIn_ms = audio::kLeadIn_ms);

// The first half of every download: key order, code set and encoder, no sound. Makes `CodeBuffer` 768
// zero bytes, then the slot's code record with filler bytes from `rng`. Done when a record was built;
// `order`, when given, receives the key order the encoder was given.
DownloadResult<Done> BuildSlotRecord(const db::CodeDatabase& database, const DownloadRequest& request,
                                     codec::FillerSource& rng, std::vector<std::uint8_t>& CodeBuffer,
                                     std::int16_t& BlockCount, std::string* order = nullptr);

// The same into any sink, step by step as the sound would play: makes `CodeBuffer` 768 zero bytes,
// has the encoder build the record into it (BuildSlotRecord) and, only when that succeeded, sends it with
// audio::SendCodeRecord. Done when every packet was handed to the sink.
DownloadResult<Done> CmdDownCodeAPI(const db::CodeDatabase& database, const DownloadRequest& request,
                                    codec::FillerSource& rng, std::vector<std::uint8_t>& CodeBuffer,
                                    std::int16_t& BlockCount, audio::DownloadSink& sink,
                                    audio::DownloadProgress& progress);

} // namespace tolbe::core
