#include "audio/AlsaMixer.h"
#include "audio/AlsaWaveOut.h"
#include "audio/Modulator.h"
#include "audio/Packets.h"
#include "audio/WaveOut.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <string>
#include <vector>

using namespace tolbe;
using namespace tolbe::audio;

namespace {

// ALSA's file plugin writes exactly what the pcm was given into a raw file.
std::string FileDevice(const std::filesystem::path& file) {
    return "file:'" + file.string() + "',raw";
}

std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& file) {
    const std::string s = test::ReadFile(file);
    return {s.begin(), s.end()};
}

constexpr const char* kMissingDevice = "tolbe_no_such_pcm_device";

} // namespace

TEST(AlsaWaveOut, PlaysTheBufferByteForByte) {
    test::TempDir dir;
    std::vector<std::uint8_t> pcm(kWaveBufferBytes);
    std::iota(pcm.begin(), pcm.end(), std::uint8_t{0});
    AlsaWaveOut out(FileDevice(dir / "played.raw"));
    const auto r = out.Play(pcm);
    ASSERT_TRUE(r && !r->stopped) << r.Error();
    EXPECT_EQ(ReadBytes(dir / "played.raw"), pcm);
}

TEST(AlsaWaveOut, MissingDeviceGivesAlsaErrorText) {
    AlsaWaveOut out(kMissingDevice);
    const std::vector<std::uint8_t> pcm(kWaveBufferBytes, 0);
    const auto r = out.Play(pcm);
    EXPECT_FALSE(r);
    EXPECT_FALSE(r.Error().empty());
}

TEST(AlsaWaveOut, DeviceComesFromTheAudioDeviceSetting) {
    test::MemorySettingsStore settings;
    EXPECT_EQ(PcmDeviceFromSettings(settings), "default");
    settings.Set(settings_key::kAudioDevice, "plughw:1,0");
    EXPECT_EQ(PcmDeviceFromSettings(settings), "plughw:1,0");
}

// Reports positions as the stream goes, and can end it early.
class Positions final : public PlaybackObserver {
public:
    void Played(std::size_t frames) override { seen.push_back(frames); }
    bool StopRequested() const override { return stopAfter >= 0 && static_cast<int>(seen.size()) > stopAfter; }
    std::vector<std::size_t> seen;
    int stopAfter = -1;
};

TEST(AlsaWaveOut, ReportsTheRisingPlayedPositionAndStopsWhenAsked) {
    test::TempDir dir;
    std::vector<std::uint8_t> pcm(kWaveBufferBytes * 3);
    std::iota(pcm.begin(), pcm.end(), std::uint8_t{7});
    Positions positions;
    AlsaWaveOut out(FileDevice(dir / "whole.raw"));
    ASSERT_TRUE(out.Play(pcm, &positions));
    ASSERT_GE(positions.seen.size(), 2u);
    EXPECT_TRUE(std::is_sorted(positions.seen.begin(), positions.seen.end()));
    EXPECT_EQ(positions.seen.back(), pcm.size() / kBytesPerFrame);
    EXPECT_EQ(ReadBytes(dir / "whole.raw"), pcm);

    Positions stopper;
    stopper.stopAfter = 2;
    AlsaWaveOut again(FileDevice(dir / "part.raw"));
    const auto r = again.Play(pcm, &stopper);
    ASSERT_TRUE(r) << r.Error();
    EXPECT_TRUE(r->stopped);
    EXPECT_EQ(stopper.seen.size(), 3u);
    const auto part = ReadBytes(dir / "part.raw");
    EXPECT_LT(part.size(), pcm.size());
    EXPECT_TRUE(std::equal(part.begin(), part.end(), pcm.begin()));
}

TEST(AlsaWaveOut, MixerCardFollowsThePlaybackDevice) {
    EXPECT_EQ(MixerCardFor("default"), "default");
    EXPECT_EQ(MixerCardFor(""), "default");
    EXPECT_EQ(MixerCardFor("pulse"), "pulse");
    EXPECT_EQ(MixerCardFor("hw:1,0"), "hw:1");
    EXPECT_EQ(MixerCardFor("plughw:PCH"), "hw:PCH");
    EXPECT_EQ(MixerCardFor("front:CARD=PCH,DEV=0"), "hw:PCH");
    EXPECT_EQ(MixerCardFor("hdmi:DEV=3,CARD=NVidia"), "hw:NVidia");
    EXPECT_EQ(MixerCardFor("file:'/tmp/x.raw',raw"), "file");
}

TEST(AlsaWaveOut, ListsPlaybackDevicesAsTheSystemNamesThem) {
    // ALSA always knows "default" and its null device; only the first is an output.
    const auto devices = ListPlaybackDevices();
    ASSERT_FALSE(devices.empty());
    EXPECT_EQ(devices.front().name, "default");
    EXPECT_TRUE(std::none_of(devices.begin(), devices.end(), [](const auto& d) { return d.name == "null"; }));
    for (const auto& d : devices) {
        EXPECT_FALSE(d.name.empty());
        EXPECT_EQ(d.description.find('\n'), std::string::npos) << d.name;
    }
}

TEST(AlsaWaveOut, OutputsAreTheDefaultTheRunningServersAndOneEntryPerCard) {
    // As a desktop with PulseAudio's plug-ins and two cards lists them (a USB microphone has no output).
    const std::vector<DeviceHint> hints{
        {"null", "Discard all samples (playback) or generate zero samples (capture)", ""},
        {"lavrate", "Rate Converter Plugin Using Libav/FFmpeg Library", ""},
        {"samplerate", "Rate Converter Plugin Using Samplerate Library", ""},
        {"jack", "JACK Audio Connection Kit", ""},
        {"oss", "Open Sound System", ""},
        {"pipewire", "PipeWire Sound Server", ""},
        {"pulse", "PulseAudio Sound Server", ""},
        {"upmix", "Plugin for channel upmix (4,6,8)", ""},
        {"default", "Default ALSA Output (currently PulseAudio Sound Server)", ""},
        {"hw:CARD=PCH,DEV=0", "HDA Intel PCH, ALC892 Analog, Direct hardware device without any conversions", ""},
        {"sysdefault:CARD=PCH", "HDA Intel PCH, ALC892 Analog, Default Audio Device", ""},
        {"front:CARD=PCH,DEV=0", "HDA Intel PCH, ALC892 Analog, Front output / input", ""},
        {"hdmi:CARD=NVidia,DEV=0", "HDA NVidia, HDMI 0, HDMI Audio Output", "Output"},
        {"hdmi:CARD=NVidia,DEV=1", "HDA NVidia, HDMI 1, HDMI Audio Output", "Output"},
        {"sysdefault:CARD=Mic", "USB Microphone, Default Audio Device", "Input"},
    };
    const std::vector<SoundCard> cards{{"PCH", "HDA Intel PCH"}, {"NVidia", "HDA NVidia"}, {"Mic", "USB Microphone"}};
    const auto names = [](const std::vector<PlaybackDevice>& devices) {
        std::vector<std::string> out;
        for (const auto& d : devices)
            out.push_back(d.name + "|" + d.card);
        return out;
    };
    const auto pulse_only = [](const std::string& server) { return server == "pulse"; };
    EXPECT_EQ(names(ChoosePlaybackOutputs(hints, cards, pulse_only)),
              (std::vector<std::string>{"default|", "pulse|", "sysdefault:CARD=PCH|HDA Intel PCH",
                                        "hdmi:CARD=NVidia,DEV=0|HDA NVidia"}));
    const auto none = [](const std::string&) { return false; };
    EXPECT_EQ(ChoosePlaybackOutputs(hints, {}, none).size(), 1u);
}

TEST(GetWaveErrorText, GivesAlsaTexts) {
    EXPECT_EQ(GetWaveErrorText(-2), "No such file or directory");
    EXPECT_FALSE(GetWaveErrorText(-16).empty());
}
