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
    const WaveResult r = out.Play(pcm);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(ReadBytes(dir / "played.raw"), pcm);
}

TEST(AlsaWaveOut, MissingDeviceGivesAlsaErrorText) {
    AlsaWaveOut out(kMissingDevice);
    const std::vector<std::uint8_t> pcm(kWaveBufferBytes, 0);
    const WaveResult r = out.Play(pcm);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.empty());
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
    ASSERT_TRUE(out.Play(pcm, &positions).ok);
    ASSERT_GE(positions.seen.size(), 2u);
    EXPECT_TRUE(std::is_sorted(positions.seen.begin(), positions.seen.end()));
    EXPECT_EQ(positions.seen.back(), pcm.size() / kBytesPerFrame);
    EXPECT_EQ(ReadBytes(dir / "whole.raw"), pcm);

    Positions stopper;
    stopper.stopAfter = 2;
    AlsaWaveOut again(FileDevice(dir / "part.raw"));
    const WaveResult r = again.Play(pcm, &stopper);
    EXPECT_TRUE(r.stopped);
    EXPECT_FALSE(r.ok);
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
    // ALSA always knows its null device; every listed device has a name to open.
    const auto devices = ListPlaybackDevices();
    ASSERT_FALSE(devices.empty());
    EXPECT_TRUE(std::any_of(devices.begin(), devices.end(), [](const auto& d) { return d.name == "null"; }));
    for (const auto& d : devices) {
        EXPECT_FALSE(d.name.empty());
        EXPECT_EQ(d.description.find('\n'), std::string::npos) << d.name;
    }
}

TEST(GetWaveErrorText, GivesAlsaTexts) {
    EXPECT_EQ(GetWaveErrorText(-2), "No such file or directory");
    EXPECT_FALSE(GetWaveErrorText(-16).empty());
}
