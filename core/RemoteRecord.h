#pragma once

#include "codec/SlotTable.h"
#include "common/Result.h"
#include "common/Slot.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

// The remote's record: the program cannot read the remote, so it remembers what this computer
// last wrote into each slot, what the user said of it, and where a stopped set-up assistant goes on.
// Kept as a small INI file (ProgramPaths::RemoteRecordFile), replaced atomically on every Save. The
// window and tolbe-cli both change it: every read and write holds an exclusive lock on
// "Remote.ini.lock" beside it, and a change (Change) is read, made and written under one lock.
namespace tolbe::core {

enum class Verdict { NotTried, Works, Partly, Failed };

// "not tried", "works", "partly", "failed": the words of the file and of tolbe-cli.
const char* VerdictName(Verdict verdict);
std::optional<Verdict> ParseVerdict(const std::string& text);

// Where a stopped assistant resumes: its search, and the candidate it stood at.
struct ResumePoint {
    std::string device, brand, model;
    int candidate = 0;       // index into FindCandidates' list, from 0
    std::string imageSha256; // that candidate's image, to find it again if the list has changed
};

struct SlotRecord {
    codec::SlotInfo written;          // the code set last written from this computer; SourceID 0: none
    std::int16_t databaseVersion = 0; // the code database's version record at the time
    std::string writtenAt;            // local date and time, "2025-06-01T18:30:05+0200"
    std::string imageSha256;          // ImageSha256 of what was written
    Verdict verdict = Verdict::NotTried;
    std::vector<std::string> workingKeys; // with Verdict::Partly: the names of the keys that worked
    // Candidates already ruled out, by image, for the assistant's one device type and brand.
    std::string ruledOutDevice, ruledOutBrand;
    std::vector<std::string> ruledOut;
    std::optional<ResumePoint> resume;

    bool HasWritten() const { return written.IsAssigned(); }
};

class RemoteRecord {
public:
    explicit RemoteRecord(std::filesystem::path file) : m_file(std::move(file)) {}

    struct LoadReport {
        // Not empty when the file was damaged: it was moved here (or, when it could not be moved,
        // this is the file itself) and every slot that could still be read was kept. The file is
        // gone from its place afterwards, so a damaged file is reported by one load only; it is
        // also noted for the window (TakeUnreported), whichever program met it.
        std::filesystem::path setAside;
        std::string problem; // what was wrong (damaged, or unreadable for now), for the message
    };
    // Reads the file; a missing file is an empty record. Never throws.
    LoadReport Load();
    // A write of the record: done, or the reason; its kind is the system's error of a failed
    // write (none when refused unread), for a window to say the reason in its own language.
    using SaveResult = Result<Done, std::error_code>;
    // Writes the record (atomically, mode 0600, the folder made when missing). Refused while the
    // last Load could not read the file, so it is never replaced unread. Only for a record that is
    // this program's alone; shared changes go through Change.
    SaveResult Save() const;

    struct ChangeReport {
        LoadReport load;
        SaveResult saved = SaveResult::Fail("not written");
    };
    // Reads the file as it is now, lets `change` change the record and writes it, all under the
    // lock: a change another program makes at the same moment waits, and is never written over.
    // `change` is not called for a file that cannot be read now (nothing is then written). When
    // `change` throws, the file stays as it was and the exception goes on to the caller.
    ChangeReport Change(const std::function<void(RemoteRecord&)>& change);
    // What the last read of the file found (for `change` to tell a damaged file first).
    const LoadReport& LastLoad() const { return m_lastLoad; }

    // The damaged files set aside by any program since the window last asked: taken, so the
    // window tells its user of each once.
    std::vector<std::filesystem::path> TakeUnreported();

    const std::filesystem::path& File() const { return m_file; }
    const SlotRecord& Of(Slot slot) const { return m_slots[static_cast<std::size_t>(slot.Index())]; }

    // After every successful download into `slot`: `written` is the slot's code set (SlotTable
    // entry or Candidate::first), `record` the code record sent. The verdict becomes "not tried"
    // unless the same image was written before. The resume point and ruled-out list stay.
    void RecordDownload(Slot slot, const codec::SlotInfo& written, std::int16_t databaseVersion,
                        const std::vector<std::uint8_t>& record,
                        std::chrono::system_clock::time_point when = std::chrono::system_clock::now());
    // The user's verdict on the code set last written into `slot`. False (nothing changed) when
    // `SetOfCodeID` is not that code set. `keys` are kept only with Verdict::Partly.
    bool MarkVerdict(Slot slot, std::int32_t SetOfCodeID, Verdict verdict, std::vector<std::string> keys = {});
    // The user's answer on a code set tried for the assistant's `device` and `brand`, whose image
    // is `imageSha256`: the verdict as MarkVerdict marks it, and a failed one ruled out for that
    // device and brand, any other taken off again. False, nothing changed, when the slot holds
    // another code set now.
    bool Answer(Slot slot, const std::string& device, const std::string& brand, const std::string& imageSha256,
                std::int32_t SetOfCodeID, Verdict verdict, std::vector<std::string> keys = {});
    // Rules out a candidate for the assistant's device type and brand; another device or brand
    // than the last one starts the list anew.
    void RuleOut(Slot slot, const std::string& device, const std::string& brand, const std::string& imageSha256);
    bool IsRuledOut(Slot slot, const std::string& device, const std::string& brand,
                    const std::string& imageSha256) const;
    // Takes a candidate off the ruled-out list again: the user changed a "no" answer.
    void AllowAgain(Slot slot, const std::string& imageSha256);
    // The assistant starts the slot anew: nothing ruled out, no place to resume.
    void StartOver(Slot slot);
    void SaveResume(Slot slot, ResumePoint point) { At(slot).resume = std::move(point); }
    void ClearResume(Slot slot) { At(slot).resume.reset(); }

private:
    LoadReport LoadUnlocked();
    LoadReport ReadFile();
    SaveResult SaveUnlocked() const;
    SlotRecord& At(Slot slot) { return m_slots[static_cast<std::size_t>(slot.Index())]; }

    std::filesystem::path m_file;
    std::array<SlotRecord, Slot::kCount> m_slots;
    bool m_unread = false; // the file is there but could not be read
    LoadReport m_lastLoad;
};

} // namespace tolbe::core
