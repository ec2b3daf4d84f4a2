#pragma once

#include "common/ProgramPaths.h"
#include "common/Result.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace tolbe::update {

// What makes a descriptor trusted: a minisign signature by a key the user trusts (built in, or
// "PublicKey=" in Update/Server.ini) whose trusted comment names the descriptor's file and a
// signing time, and that time is neither older than the newest one accepted (Update/LastSigned.txt)
// nor later than the clock allows.
class TrustStore {
public:
    // How far ahead of this computer's clock a signing time may be: the publisher's clock and
    // ours differ a little, never by a day.
    static constexpr std::int64_t kClockMarginSeconds = 24 * 60 * 60;
    // The record holds one decimal number and a line end.
    static constexpr std::uint64_t kRecordMaxBytes = 64;

    using Clock = std::function<std::int64_t()>; // seconds since 1970
    explicit TrustStore(ProgramPaths paths, Clock clock = {});

    // The descriptor's signing time when `signature` makes `bytes` trusted; the reason otherwise.
    // Records nothing: the time is recorded (Record) only once the descriptor is acted on.
    Result<std::int64_t> Accept(const std::string& bytes, const std::string& signature) const;
    // Makes `signed_at` the newest accepted time (never moves the record back).
    Result<Done> Record(std::int64_t signed_at) const;

    // The newest accepted time: 0 without a record; a failure for a record that cannot be
    // believed (not a plain file, too long, not a number, beyond 64 bits), which refuses every
    // descriptor until it is removed. A record later than the clock allows is not believed
    // either, but it only says so (`note`): the descriptor's own time is then judged by the
    // clock alone and the record replaced, so a planted future time cannot end updates forever.
    Result<std::int64_t> Newest(std::string* note = nullptr) const;

private:
    ProgramPaths m_paths;
    Clock m_clock;
};

} // namespace tolbe::update
