// tolbe-cli packets | download: the packets of a download, and the download itself played on an
// ALSA device or written to a WAV file.
#include "tools/CliDatabase.h"
#include "tools/CliRegistry.h"

#include "audio/AlsaWaveOut.h"
#include "audio/DownloadSequence.h"
#include "audio/Modulator.h"
#include "audio/Packets.h"
#include "audio/WavFile.h"
#include "codec/CodeRecord.h"
#include "codec/DownOrder.h"
#include "common/IniSettingsStore.h"
#include "common/ProgramPaths.h"
#include "common/Prompt.h"
#include "db/DatabaseFile.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <iostream>
#include <memory>

namespace tolbe::cli {
namespace {

constexpr std::uint8_t kRcuModel = 1;
const std::array<std::string, 4> kDeviceNames{"TV", "SAT", "DVD", "AUX"};

// The selectors shared with `encode`.
struct Selection {
    std::string db, slot, order;
    std::int32_t sourceId = 0;
    std::uint32_t seed = 0;
    CLI::Option *orderOpt = nullptr;
    CLI::Option *seedOpt = nullptr;
};

void AddSelectors(CLI::App *cmd, Selection &sel) {
    cmd->add_option("--db", sel.db, "code database file (default: the one the program opens)");
    cmd->add_option("--slot", sel.slot, "TV, SAT, DVD, AUX or 0 to 3")->required();
    cmd->add_option("--source-id", sel.sourceId, "code source (SourceID)")->required();
    sel.orderOpt = cmd->add_option("--order", sel.order,
                                   "key order, e.g. \"13,3,4\" (default: as a download takes it; \"\" for the "
                                   "slot's default order)");
    sel.seedOpt = cmd->add_option("--seed", sel.seed, "seed of the filler bytes (default: random)");
}


// Database, key order and filler as a download in the main window takes them.
audio::DownloadRequest Resolve(const CliContext &ctx, const Selection &sel) {
    audio::DownloadRequest req;
    req.RCUModel = kRcuModel;
    req.eDevice = ParseSlot(sel.slot);
    req.SourceID = sel.sourceId;
    req.deviceName = kDeviceNames[req.eDevice];
    const CliDatabase where = LocateDatabase(ctx, sel.db);
    req.DBPath = where.path;
    req.DBKey = where.key;
    if (sel.orderOpt->count()) {
        req.StrKeyDown = sel.order;
    } else {
        db::DbConnection conn;
        OpenCodeDatabase(conn, where);
        try {
            req.StrKeyDown = codec::DownloadOrderFor(conn, req.SourceID, kRcuModel);
        } catch (const db::DbError &e) {
            throw CliFailure{std::string("cannot read the key order: ") + e.what()};
        }
    }
    return req;
}

std::unique_ptr<codec::SeededFiller> Filler(const Selection &sel) {
    return sel.seedOpt->count() ? std::make_unique<codec::SeededFiller>(sel.seed)
                                : std::make_unique<codec::SeededFiller>();
}

[[noreturn]] void EncoderRefused(const audio::DownloadRequest &req, const std::string &why) {
    throw CliFailure{"the encoder refused code source " + std::to_string(req.SourceID) + ": " + why};
}

void RunPackets(const CliContext &ctx, const Selection &sel) {
    const audio::DownloadRequest req = Resolve(ctx, sel);
    auto rng = Filler(sel);
    std::vector<std::uint8_t> buffer;
    std::int16_t blocks = 0;
    std::string why;
    if (!codec::BuildCodeRecord(req.RCUModel, req.eDevice, req.SourceID, buffer, blocks, req.StrKeyDown, req.DBPath,
                                req.DBKey, *rng, &why))
        EncoderRefused(req, why);
    for (const audio::Packet &p : audio::BuildDownloadPackets(req.eDevice, buffer, static_cast<std::uint8_t>(blocks))) {
        for (std::size_t i = 0; i < audio::kPacketAirBytes; ++i)
            std::printf("%02X", p[i]);
        std::printf("\n");
    }
}

// A progress bar on stderr, drawn only when stderr is a terminal.
class TerminalProgress final : public audio::DownloadProgress {
public:
    TerminalProgress() : m_tty(isatty(STDERR_FILENO) == 1) {}
    void Start(int blockCount, const std::string &deviceName) override {
        m_total = blockCount;
        m_done = 0;
        m_name = deviceName;
        Draw();
    }
    void Step() override {
        ++m_done;
        Draw();
    }
    void Finish() override {
        if (m_tty) std::fputs("\n", stderr);
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
    int m_total = 0;
    int m_done = 0;
    std::string m_name;
};

// The wave output's error boxes become lines on stderr.
class StderrPrompt final : public Prompt {
public:
    StderrPrompt() : m_tty(isatty(STDERR_FILENO) == 1) {}
    Answer Show(const std::string &title, const std::string &text, Buttons, Icon) override {
        // On a terminal the progress bar holds the line; start a fresh one.
        std::fprintf(stderr, "%s%s: %s\n", m_tty ? "\n" : "", title.c_str(), text.c_str());
        return Answer::Ok;
    }

private:
    bool m_tty;
};

struct DownloadArgs {
    Selection sel;
    std::string wav;
    std::string device;
};

void RunDownload(const CliContext &ctx, const DownloadArgs &a) {
    const audio::DownloadRequest req = Resolve(ctx, a.sel);
    auto rng = Filler(a.sel);
    TerminalProgress progress;
    std::vector<std::uint8_t> codeBuffer;
    std::string why;
    if (!a.wav.empty()) {
        audio::PcmCaptureSink capture;
        if (!audio::CmdDownCodeAPI(req, *rng, codeBuffer, capture, progress, &why)) EncoderRefused(req, why);
        try {
            audio::WriteWavFile(a.wav, capture.Pcm(), audio::kSampleRate, audio::kChannels);
        } catch (const audio::WavError &e) {
            throw CliFailure{e.what()};
        }
        return;
    }
    const std::string device = a.device.empty() ? audio::PcmDeviceFromSettings(IniSettingsStore()) : a.device;
    audio::AlsaWaveOut out(device);
    StderrPrompt prompt;
    NoYield yield;
    audio::PlaybackSink sink(out, prompt, yield);
    if (!audio::CmdDownCodeAPI(req, *rng, codeBuffer, sink, progress, &why)) EncoderRefused(req, why);
    if (sink.Failures() > 0)
        throw CliFailure{std::to_string(sink.Failures()) + " packet(s) could not be played on \"" + device + "\"", 3};
}

const Registrar kRegistrar([](CLI::App &app, CliContext &ctx) {
    auto packets = std::make_shared<Selection>();
    CLI::App *p = app.add_subcommand("packets", "Print every packet of a download, 71 bytes in hexadecimal a line: "
                                                "the header, the data packets, the end packet.");
    AddSelectors(p, *packets);
    p->callback([&ctx, packets] { RunPackets(ctx, *packets); });

    auto download = std::make_shared<DownloadArgs>();
    CLI::App *d = app.add_subcommand("download", "Run a whole download with its pauses: play it on an ALSA device, "
                                                 "or write it to a WAV file (44100 Hz, 16-bit stereo, pauses as "
                                                 "silence). Exit status 1 when the encoder refuses, 3 when packets "
                                                 "could not be played.");
    AddSelectors(d, download->sel);
    auto *wav = d->add_option("--wav", download->wav, "write the signal to this WAV file instead of playing it");
    d->add_option("--pcm-device", download->device,
                  "ALSA playback device (default: the \"AudioDevice\" setting, else \"default\")")
        ->excludes(wav);
    d->callback([&ctx, download] { RunDownload(ctx, *download); });
});

} // namespace
} // namespace tolbe::cli
