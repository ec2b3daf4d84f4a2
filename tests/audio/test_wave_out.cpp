#include "audio/AlsaWaveOut.h"
#include "audio/Modulator.h"
#include "audio/Packets.h"
#include "audio/WaveOut.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

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

TEST(SendWaveData, PlaysTheModulatedPacket) {
    test::TempDir dir;
    AlsaWaveOut out(FileDevice(dir / "packet.raw"));
    test::ScriptedPrompt prompt;
    const Packet header = BuildHeaderPacket(2, 5);
    EXPECT_TRUE(SendWaveData(header, out, prompt));
    EXPECT_TRUE(prompt.shown.empty());
    const WaveBuffer expected = BuildWaveBuffer(header);
    EXPECT_EQ(ReadBytes(dir / "packet.raw"), std::vector<std::uint8_t>(expected.begin(), expected.end()));
}

TEST(SendWaveData, FailureShowsThePlatformTextOnceAndReturnsFalse) {
    AlsaWaveOut out(kMissingDevice);
    test::ScriptedPrompt prompt;
    EXPECT_FALSE(SendWaveData(BuildEndPacket(), out, prompt));
    ASSERT_EQ(prompt.shown.size(), 1u);
    EXPECT_EQ(prompt.shown[0].title, "Tolbe");
    EXPECT_EQ(prompt.shown[0].buttons, Prompt::Buttons::Ok);
    EXPECT_EQ(prompt.shown[0].icon, Prompt::Icon::None);
    EXPECT_EQ(prompt.shown[0].text, out.Play(std::vector<std::uint8_t>(kWaveBufferBytes, 0)).error);
}

TEST(GetWaveErrorText, GivesAlsaTexts) {
    EXPECT_EQ(GetWaveErrorText(-2), "No such file or directory");
    EXPECT_FALSE(GetWaveErrorText(-16).empty());
}
