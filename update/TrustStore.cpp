#include "update/TrustStore.h"

#include "common/AtomicFile.h"
#include "update/Minisign.h"
#include "update/UpdateFolder.h"

#include <charconv>
#include <ctime>

namespace tolbe::update {

TrustStore::TrustStore(ProgramPaths paths, Clock clock) : m_paths(std::move(paths)), m_clock(std::move(clock)) {
    if (!m_clock) m_clock = [] { return static_cast<std::int64_t>(std::time(nullptr)); };
}

Result<std::int64_t> TrustStore::Newest(std::string* note) const {
    using R = Result<std::int64_t>;
    const auto record = m_paths.SignedStamp();
    std::error_code ec;
    if (!std::filesystem::exists(std::filesystem::symlink_status(record, ec))) return R::Ok(0);
    const auto text = ReadSmallFile(record, kRecordMaxBytes);
    if (!text) return R::Fail("the record of signing times cannot be read: " + text.Error());
    std::string_view t = *text;
    if (!t.empty() && t.back() == '\n') t.remove_suffix(1);
    if (!t.empty() && t.back() == '\r') t.remove_suffix(1);
    std::int64_t newest = 0;
    const auto [end, err] = std::from_chars(t.data(), t.data() + t.size(), newest);
    if (t.empty() || err != std::errc() || end != t.data() + t.size() || newest < 0)
        return R::Fail("the record of signing times " + record.string() + " is damaged");
    if (newest > m_clock() + kClockMarginSeconds) {
        if (note != nullptr)
            *note = "the record of signing times " + record.string() + " lies in the future (" +
                    std::to_string(newest) + ") and is not believed";
        return R::Ok(0);
    }
    return R::Ok(newest);
}

Result<std::int64_t> TrustStore::Accept(const std::string& bytes, const std::string& signature) const {
    using R = Result<std::int64_t>;
    const Result<std::string> comment = VerifyMinisign(bytes, signature, TrustedUpdateKeys(m_paths.ServerIni()));
    if (!comment) return R::Fail(comment.Error());
    // The trusted comment binds the signature to this file and to its signing time, so neither
    // another signed file nor an older descriptor can be passed off as this one.
    const auto stamp = ParseTrustedComment(*comment);
    const std::string own_name = m_paths.UpdateDescriptor().filename().string();
    if (!stamp || stamp->file != own_name)
        return R::Fail("its signature does not name " + own_name + " and a signing time");
    // A time ahead of the clock would, once recorded, refuse every honest descriptor after it.
    if (stamp->timestamp > m_clock() + kClockMarginSeconds)
        return R::Fail("signed at " + std::to_string(stamp->timestamp) + ", later than this computer's clock allows");
    const auto newest = Newest();
    if (!newest) return R::Fail(newest.Error());
    if (stamp->timestamp < *newest)
        return R::Fail("signed at " + std::to_string(stamp->timestamp) + ", before the newest one accepted (" +
                       std::to_string(*newest) + ")");
    return R::Ok(stamp->timestamp);
}

Result<Done> TrustStore::Record(std::int64_t signed_at) const {
    std::string future;
    const auto newest = Newest(&future);
    if (!newest) return Result<Done>::Fail(newest.Error());
    if (signed_at <= *newest && future.empty()) return Ok();
    try {
        WriteFileAtomically(m_paths.SignedStamp(), std::to_string(signed_at) + "\n");
        return Ok();
    } catch (const std::filesystem::filesystem_error& e) {
        return Result<Done>::Fail(std::string("its signing time cannot be recorded: ") + e.what());
    }
}

} // namespace tolbe::update
