// tolbe-cli verify: listens to a download signal, from a WAV file or a capture device, decodes it as the
// remote would and shows what the remote would store, so a cable or volume problem can be told from a
// wrong code set.
#include "tools/CliJson.h"
#include "tools/CliRegistry.h"

#include "audio/Capture.h"
#include "audio/Packets.h"
#include "audio/SignalDecoder.h"
#include "audio/SignalTiming.h"
#include "audio/WavFile.h"
#include "common/HexText.h"
#include "common/PathText.h"
#include "common/Slot.h"
#include "tools/Backends.h"

#include <cmath>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>

namespace tolbe::cli {
namespace {

struct VerifyArgs {
    std::string file;
    std::string capture_device;
    double seconds = 0;
    int rate = 44100;
    std::string channel = "auto";
    double min_level = audio::kDefaultMinPeak_dBFS;
    std::string save_wav;
    bool json = false;
    bool strict = false;
};

std::string SlotName(int slot) {
    // A decoded header may name a slot the remote does not have: say which number it was.
    return slot >= 0 && slot < Slot::kCount ? Slot::FromNumber(slot).Name() : "slot " + std::to_string(slot);
}

std::string Fixed(double v, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    return text;
}

std::string Hex(std::uint8_t b) {
    return ToHex(std::span<const std::uint8_t>(&b, 1));
}

std::string PacketLine(const audio::DecodedPacket& p) {
    std::ostringstream line;
    char head[48];
    std::snprintf(head, sizeof head, "  %7.2f s  %-10s  ", p.time_s, audio::PacketKindName(p.kind));
    line << head;
    std::string what;
    switch (p.kind) {
    case audio::PacketKind::Header:
        what = "slot " + std::to_string(p.slot) + " (" + SlotName(p.slot) + "), " + std::to_string(p.block_count) +
               " blocks";
        break;
    case audio::PacketKind::Data:
        what = audio::FormatAddress(p.address);
        break;
    case audio::PacketKind::End:
        break;
    case audio::PacketKind::Unreadable:
        return line.str() + p.problem;
    }
    what.resize(std::max<std::size_t>(what.size(), 24), ' ');
    line << what << "  checksum " << (p.checksum_ok ? "ok" : "WRONG");
    return line.str();
}

void PrintText(const audio::SignalCheck& check, std::ostream& out) {
    out << "Signal: " << check.sample_rate << " Hz, " << check.channels
        << (check.channels == 1 ? " channel" : " channels") << "; read from the "
        << (check.channels == 1       ? "only"
            : check.channel_used == 0 ? "left"
                                      : "right")
        << " channel" << (check.inverted ? ", polarity reversed" : "") << "; peak " << Fixed(check.peak_dBFS, 1)
        << " dBFS\n";
    out << "Packets: " << check.packets.size() << "\n";
    for (const auto& p : check.packets)
        out << PacketLine(p) << "\n";
    if (check.header_blocks >= 0)
        out << "Blocks: " << check.blocks_found << " found, the header announced " << check.header_blocks << "\n";
    else
        out << "Blocks: " << check.blocks_found << " found, no header\n";

    const std::vector<std::uint8_t> bytes = check.SlotBytes();
    if (!bytes.empty()) {
        const std::size_t base = Slot::FromNumber(check.slot).BaseAddress();
        out << "Memory of slot " << check.slot << " (" << SlotName(check.slot) << "), "
            << audio::FormatAddress(static_cast<std::uint16_t>(base)) << " to "
            << audio::FormatAddress(static_cast<std::uint16_t>(base + bytes.size() - 1))
            << " (-- where no good block arrived):\n";
        for (std::size_t at = 0; at < bytes.size(); at += audio::kBlockBytes) {
            const bool written = check.block_written[(base + at) / audio::kBlockBytes];
            out << audio::FormatAddress(static_cast<std::uint16_t>(base + at)) << " ";
            for (std::size_t i = 0; i < audio::kBlockBytes; ++i)
                out << " " << (written ? Hex(bytes[at + i]) : "--");
            out << "\n";
        }
    }
    if (check.Ok()) {
        out << "OK\n";
        return;
    }
    out << "FAULT: " << check.FirstFault() << "\n";
    for (std::size_t i = 1; i < check.faults.size(); ++i)
        out << "  also: " << check.faults[i] << "\n";
}

void PrintTiming(const audio::TimingCheck& timing, std::ostream& out) {
    out << "Timing:\n";
    for (const auto& p : timing.packets) {
        char line[128];
        std::snprintf(line, sizeof line, "  %7.2f s  %-10s  preamble %2d bits", p.time_s, audio::PacketKindName(p.kind),
                      p.preamble_bits);
        out << line;
        if (p.pause_ms && p.expected_pause_ms)
            out << "  pause " << (p.pause_is_lower_bound ? ">= " : "") << Fixed(*p.pause_ms, 2) << " ms (nominal "
                << *p.expected_pause_ms << ")";
        out << "\n";
    }
    out << "Worst pause error: " << Fixed(timing.worst_pause_error_ms, 2) << " ms\n";
}

void PrintJson(const audio::SignalCheck& check, const audio::TimingCheck* timing, const std::string& source,
               std::ostream& out) {
    out << "{\"source\":" << JsonString(source) << ",\"sample_rate\":" << check.sample_rate
        << ",\"channels\":" << check.channels
        << ",\"channel_used\":" << JsonString(check.channel_used == 0 ? "left" : "right")
        << ",\"inverted\":" << (check.inverted ? "true" : "false") << ",\"peak_dbfs\":" << Fixed(check.peak_dBFS, 1)
        << ",\"packets\":[";
    for (std::size_t i = 0; i < check.packets.size(); ++i) {
        const auto& p = check.packets[i];
        out << (i ? "," : "") << "{\"time_s\":" << Fixed(p.time_s, 3)
            << ",\"kind\":" << JsonString(audio::PacketKindName(p.kind));
        switch (p.kind) {
        case audio::PacketKind::Header:
            out << ",\"slot\":" << p.slot << ",\"block_count\":" << p.block_count;
            break;
        case audio::PacketKind::Data:
            out << ",\"address\":" << JsonString(audio::FormatAddress(p.address));
            break;
        case audio::PacketKind::End:
            break;
        case audio::PacketKind::Unreadable:
            out << ",\"bytes_read\":" << p.bytes_read << ",\"problem\":" << JsonString(p.problem);
            break;
        }
        if (p.kind != audio::PacketKind::Unreadable) out << ",\"checksum_ok\":" << (p.checksum_ok ? "true" : "false");
        if (timing) {
            const auto& t = timing->packets[i];
            out << ",\"preamble_bits\":" << t.preamble_bits << ",\"pause_after_ms\":";
            if (t.pause_ms)
                out << Fixed(*t.pause_ms, 3);
            else
                out << "null";
        }
        out << "}";
    }
    out << "],\"slot\":";
    if (check.slot >= 0)
        out << check.slot << ",\"slot_name\":" << JsonString(SlotName(check.slot));
    else
        out << "null,\"slot_name\":null";
    out << ",\"header_blocks\":";
    if (check.header_blocks >= 0)
        out << check.header_blocks;
    else
        out << "null";
    out << ",\"blocks_found\":" << check.blocks_found;

    const std::vector<std::uint8_t> bytes = check.SlotBytes();
    out << ",\"slot_base\":";
    if (!bytes.empty())
        out << JsonString(audio::FormatAddress(Slot::FromNumber(check.slot).BaseAddress()));
    else
        out << "null";
    std::string hex;
    for (const auto b : bytes)
        hex += Hex(b);
    out << ",\"slot_bytes\":" << JsonString(hex) << ",\"blocks_written\":[";
    bool first = true;
    for (std::size_t b = 0; b < check.block_written.size(); ++b) {
        if (!check.block_written[b]) continue;
        out << (first ? "" : ",")
            << JsonString(audio::FormatAddress(static_cast<std::uint16_t>(b * audio::kBlockBytes)));
        first = false;
    }
    out << "]";
    if (timing) out << ",\"worst_pause_error_ms\":" << Fixed(timing->worst_pause_error_ms, 3);
    out << ",\"ok\":" << (check.Ok() ? "true" : "false") << ",\"first_fault\":";
    if (check.Ok())
        out << "null";
    else
        out << JsonString(check.FirstFault());
    out << ",\"faults\":[";
    for (std::size_t i = 0; i < check.faults.size(); ++i)
        out << (i ? "," : "") << JsonString(check.faults[i]);
    out << "]}\n";
}

int ChannelChoice(const std::string& text) {
    if (text == "auto") return -1;
    if (text == "left") return 0;
    if (text == "right") return 1;
    throw CliFailure{"unknown channel \"" + text + "\": use auto, left or right", 2};
}

void RunVerify(const VerifyArgs& a) {
    audio::DecodeOptions options;
    options.channel = ChannelChoice(a.channel);
    options.min_peak_dBFS = a.min_level;

    std::string source;
    audio::SignalCheck check;
    if (!a.capture_device.empty()) {
        if (!(a.seconds > 0)) throw CliFailure{"--capture-device needs --seconds N", 2};
        source = "capture:" + a.capture_device;
        std::cerr << "Recording " << a.seconds << " s from \"" << a.capture_device << "\"...\n";
        const Result<audio::CapturedAudio> recorded = RecordFrom(a.capture_device, a.seconds, a.rate, 2);
        if (!recorded) throw CliFailure{recorded.Error(), 2};
        const audio::CapturedAudio& captured = *recorded;
        if (!a.save_wav.empty()) {
            std::vector<std::uint8_t> pcm(captured.samples.size() * 2);
            for (std::size_t i = 0; i < captured.samples.size(); ++i) {
                const auto v = static_cast<std::uint16_t>(captured.samples[i]);
                pcm[2 * i] = static_cast<std::uint8_t>(v & 0xFFu);
                pcm[2 * i + 1] = static_cast<std::uint8_t>(v >> 8);
            }
            const Status saved =
                audio::WriteWavFile(PathFromUtf8(a.save_wav), pcm, captured.sample_rate, captured.channels);
            if (!saved) throw CliFailure{saved.Error(), 2};
        }
        check = audio::CheckDownloadSignal(captured.samples, captured.channels, captured.sample_rate, options);
    } else {
        if (a.file.empty()) throw CliFailure{"name a WAV file, or --capture-device and --seconds", 2};
        source = a.file;
        const Result<audio::WavAudio> wav = audio::ReadWavFile(PathFromUtf8(a.file));
        if (!wav) throw CliFailure{wav.Error(), 2};
        check = audio::CheckDownloadSignal(*wav, options);
    }

    std::optional<audio::TimingCheck> timing;
    if (a.strict) {
        timing = audio::CheckSignalTiming(check);
        check.faults.insert(check.faults.end(), timing->faults.begin(), timing->faults.end());
    }
    if (a.json) {
        PrintJson(check, timing ? &*timing : nullptr, source, std::cout);
    } else {
        if (timing) PrintTiming(*timing, std::cout);
        PrintText(check, std::cout);
    }
    std::cout.flush();
    if (!check.Ok()) throw CliFailure{"the download is not complete: " + check.FirstFault(), 1};
}

const Registrar kRegistrar([](CLI::App& app, CliContext&) {
    auto args = std::make_shared<VerifyArgs>();
    CLI::App* v = app.add_subcommand(
        "verify", "Decode a download signal as the remote would, from a WAV file or a capture device: list its "
                  "packets, the block count against the header's and the bytes the slot would hold, then OK or the "
                  "first fault. Exit status 0 only for a complete, consistent download; 1 for a faulty one; 2 when "
                  "the signal cannot be read.");
    auto* file = v->add_option("file", args->file, "WAV file of 16-bit PCM, mono or stereo, 11025 to 384000 Hz");
    auto* dev =
        v->add_option("--capture-device", args->capture_device,
                      "record from this capture device (16-bit, 2 channels; an ALSA device, or a Windows sound input "
                      "by name or \"default\") instead of a file")
            ->excludes(file);
    v->add_option("--seconds", args->seconds, "how long to record")
        ->needs(dev)
        ->check(CLI::Range(0.0, audio::kMaxCapture_s));
    v->add_option("--rate", args->rate, "recording sample rate in Hz")
        ->needs(dev)
        ->capture_default_str()
        ->check(CLI::Range(audio::kMinSampleRate, 192000));
    v->add_option("--save-wav", args->save_wav, "also write the recording to this WAV file")->needs(dev);
    v->add_option("--channel", args->channel, "auto (the one that decodes best), left or right")->capture_default_str();
    v->add_option("--min-level", args->min_level, "peak level in dBFS below which the signal counts as too quiet")
        ->capture_default_str();
    v->add_flag("--json", args->json, "print one JSON object instead of text");
    v->add_flag("--strict", args->strict,
                "also list each packet's preamble bits and the pause after it, and fail when a preamble has fewer "
                "than 64 bits or a pause is off by more than 1 ms");
    v->callback([args] { RunVerify(*args); });
});

} // namespace
} // namespace tolbe::cli
