// tolbe-cli packets | download: the packets of a download, and the download itself played on an
// ALSA device or written to a WAV file.
#include "tools/CliCommon.h"
#include "tools/CliRegistry.h"

#include "audio/DownloadSequence.h"
#include "audio/Modulator.h"
#include "audio/Packets.h"
#include "audio/WavFile.h"
#include "codec/CodeRecord.h"
#include "codec/DownOrder.h"
#include "common/HexText.h"
#include "common/PathText.h"
#include "common/ProgramPaths.h"
#include "common/Prompt.h"
#include "common/Slot.h"
#include "common/UserSettings.h"
#include "db/DatabaseFile.h"
#include "i18n/Language.h"
#include "i18n/StringTable.h"
#include "i18n/Texts.h"
#include "tools/Backends.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <iostream>
#include <memory>

namespace tolbe::cli {
namespace {

using namespace i18n::texts;

using Selection = CodeSelection;

void RunPackets(const CliContext& ctx, const Selection& sel) {
    const ResolvedCode code = ResolveCodeSelection(ctx, sel);
    auto rng = MakeFiller(sel);
    const core::PreparedDownload prepared = PrepareOrFail(code, *rng, 0);
    for (const audio::Packet& p : audio::BuildDownloadPackets(code.request.slot.Number(), prepared.CodeBuffer,
                                                              static_cast<std::uint8_t>(prepared.BlockCount))) {
        std::printf("%s\n", ToHex(std::span(p).first(audio::kPacketAirBytes)).c_str());
    }
}

// A progress bar on stderr, drawn only when stderr is a terminal; it moves as the device plays.
class TerminalProgress final : public audio::DownloadProgress {
public:
    TerminalProgress() : m_tty(isatty(STDERR_FILENO) == 1) {}
    void Start(int blockCount, const std::string& deviceName) override {
        m_total = blockCount;
        m_done = 0;
        m_name = deviceName;
        m_drawn = true;
        Draw();
    }
    void Step() override {
        ++m_done;
        Draw();
    }
    void Finish() override { EndLine(); }
    // A failure message starts on a line of its own.
    void EndLine() {
        if (m_tty && m_drawn) std::fputs("\n", stderr);
        m_drawn = false;
    }

private:
    void Draw() const {
        if (!m_tty) return;
        constexpr int kWidth = 30;
        const int filled = m_total > 0 ? std::min(kWidth, m_done * kWidth / m_total) : kWidth;
        std::fprintf(stderr, "\r%s Downloading [%s%s] %d/%d", m_name.c_str(), std::string(filled, '#').c_str(),
                     std::string(kWidth - filled, '.').c_str(), m_done, m_total);
        std::fflush(stderr);
    }
    bool m_tty;
    bool m_drawn = false;
    int m_total = 0;
    int m_done = 0;
    std::string m_name;
};

struct DownloadArgs {
    Selection sel;
    DownloadOutput out;
};

// The message the window shows for a download that could not be played, in the user's language.
std::string PlaybackFailureText(const std::string& device, const std::string& reason) {
    std::int16_t base = 1000;
    i18n::GetLanguage(*OpenUserSettings(), i18n::SystemUiLanguageId(), base);
    const auto text = i18n::TryLoadText(base, kTextPlaybackFailed);
    return i18n::FormatText(text.value_or("The download could not be played on the sound output \"%1\": %2"),
                            {device, reason});
}

// The code set a download of a bare code source writes, as the download's key order takes it.
codec::SlotInfo FirstValidCodeSet(const db::CodeDatabase& database, std::int32_t SourceID) {
    codec::SlotInfo info;
    info.SourceID = SourceID;
    const db::DbRecordset rs = database.DBConn().OpenRecordset(
        "Select SetOfCodeID,DeviceName,BrandName,ModelName From M_SetOfCodes where IsValid=1 and SourceID=?",
        std::vector<db::DbParam>{std::int64_t{SourceID}});
    if (rs.RecordCount() > 0)
        info = {SourceID, rs.ValueAt(0, 0).ToInt32(), rs.ValueAt(0, 1).Text(), rs.ValueAt(0, 2).Text(),
                rs.ValueAt(0, 3).Text()};
    return info;
}

void RecordWritten(const CliContext& ctx, const ResolvedCode& code, const core::PreparedDownload& prepared,
                   const codec::SlotInfo* written) {
    // A key order given by hand belongs to no code set; the recorded one (remote send) does.
    if (code.request.StrKeyDown && written == nullptr) return;
    try {
        const codec::SlotInfo info =
            written != nullptr ? *written : FirstValidCodeSet(*code.database, code.request.SourceID);
        ChangeRemoteRecord(ctx, [&](core::RemoteRecord& record) {
            record.RecordDownload(code.request.slot, info, code.database->Version(), prepared.CodeBuffer);
        });
    } catch (const db::DbError& e) {
        // The remote has the code set all the same: a warning, not a failed download.
        std::cerr << "tolbe-cli: played, but the remote's record was not updated: " << e.what() << "\n";
    } catch (const CliFailure& f) {
        std::cerr << "tolbe-cli: played, but the remote's record was not updated: " << f.message << "\n";
    }
}

void RunDownloadArgs(const CliContext& ctx, const DownloadArgs& a) {
    const ResolvedCode code = ResolveCodeSelection(ctx, a.sel);
    auto rng = MakeFiller(a.sel);
    RunDownload(ctx, code, *rng, a.out);
}

const Registrar kRegistrar([](CLI::App& app, CliContext& ctx) {
    auto packets = std::make_shared<Selection>();
    CLI::App* p = app.add_subcommand("packets", "Print every packet of a download, 71 bytes in hexadecimal a line: "
                                                "the header, the data packets, the end packet.");
    AddCodeSelectors(p, *packets);
    p->callback([&ctx, packets] { RunPackets(ctx, *packets); });

    auto download = std::make_shared<DownloadArgs>();
    CLI::App* d = app.add_subcommand("download", "Run a whole download with its pauses: play it on an ALSA device, "
                                                 "or write it to a WAV file (44100 Hz, 16-bit stereo, pauses as "
                                                 "silence). Either way it is one stream: a lead-in of silence, then "
                                                 "every packet and pause. A download played (without --order) is "
                                                 "recorded as the slot's code set in the remote's record. Exit "
                                                 "status 1 when the encoder refuses, 3 when the download could not "
                                                 "be played.");
    AddCodeSelectors(d, download->sel);
    AddDownloadOutputOptions(d, download->out);
    d->callback([&ctx, download] { RunDownloadArgs(ctx, *download); });
});

} // namespace

void AddDownloadOutputOptions(CLI::App* cmd, DownloadOutput& out) {
    auto* wav = cmd->add_option("--wav", out.wav, "write the signal to this WAV file instead of playing it");
    cmd->add_option("--pcm-device", out.device,
                    "playback device: ALSA's on Linux, a wave output's name on Windows (default: the \"AudioDevice\" "
                    "setting, else \"default\")")
        ->excludes(wav);
    cmd->add_option("--lead-in-ms", out.leadIn_ms,
                    "silence before the header, so that a sleeping output is awake when the first bit comes")
        ->capture_default_str()
        ->check(CLI::Range(0, 5000));
}

void RunDownload(const CliContext& ctx, const ResolvedCode& code, codec::FillerSource& rng, const DownloadOutput& out,
                 const codec::SlotInfo* written) {
    const core::PreparedDownload prepared = PrepareOrFail(code, rng, out.leadIn_ms);
    const audio::DownloadSignal* signal = &prepared.signal;
    if (!out.wav.empty()) {
        const Status written_file =
            audio::WriteWavFile(PathFromUtf8(out.wav), signal->pcm, audio::kSampleRate, audio::kChannels);
        if (!written_file) throw CliFailure{written_file.Error()};
        return;
    }
    const std::unique_ptr<audio::WaveOut> wave = OpenWaveOut(out.device);
    TerminalProgress progress;
    const Result<audio::Playback> played = audio::PlayDownloadSignal(*signal, *wave, progress);
    if (!played) {
        progress.EndLine();
        throw CliFailure{PlaybackFailureText(wave->DeviceName(), played.Error()), 3};
    }
    RecordWritten(ctx, code, prepared, written);
}

} // namespace tolbe::cli
