#include "audio/AlsaMixer.h"
#include "audio/Mixer.h"
#include "common/IniFile.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

using namespace tolbe;
using namespace tolbe::audio;

namespace {

// A sound card's mixer in memory, recording every call.
class FakeMixer final : public Mixer {
public:
    struct Line {
        bool hasVolume = true;
        bool hasMute = true;
        int channels = 2;
        std::int32_t maximum = 65535;
        std::int32_t left = 0, right = 0;
        bool muted = false;
    };

    bool present = true;
    std::map<MixerLine, Line> lines;
    std::vector<std::string> calls;

    bool OpenVolumeControl(MixerLine line) override {
        return Open(line, "OpenVolume", &Line::hasVolume, Control::Volume);
    }
    bool OpenMuteControl(MixerLine line) override { return Open(line, "OpenMute", &Line::hasMute, Control::Mute); }
    bool CloseMixer() override {
        calls.push_back("Close");
        m_line = nullptr;
        return true;
    }
    bool GetVolume(std::int32_t& left, std::int32_t& right) override {
        left = right = -1;
        if (!m_line || m_control != Control::Volume) return false;
        left = m_line->left;
        if (m_line->channels == 2) right = m_line->right;
        return true;
    }
    bool SetVolume(std::int32_t left, std::int32_t right) override {
        calls.push_back("SetVolume " + std::to_string(left) + "," + std::to_string(right));
        if (!m_line || m_control != Control::Volume) return false;
        m_line->left = left;
        if (m_line->channels >= 2) m_line->right = right;
        return true;
    }
    bool GetMute(bool& muted) override {
        if (!m_line || m_control != Control::Mute) return false;
        muted = m_line->muted;
        return true;
    }
    bool SetMute(bool muted) override {
        calls.push_back(std::string("SetMute ") + (muted ? "1" : "0"));
        if (!m_line || m_control != Control::Mute) return false;
        m_line->muted = muted;
        return true;
    }
    std::int32_t VolumeMaximum() const override { return m_line ? m_line->maximum : 0; }

private:
    enum class Control { Volume, Mute };
    bool Open(MixerLine line, const std::string& what, bool Line::*has, Control control) {
        calls.push_back(what + (line == MixerLine::WaveOut ? " wave" : " speakers"));
        m_line = nullptr;
        auto it = lines.find(line);
        if (!present || it == lines.end() || !(it->second.*has)) return false;
        m_line = &it->second;
        m_control = control;
        return true;
    }
    Line* m_line = nullptr;
    Control m_control = Control::Volume;
};

FakeMixer UsualCard() {
    FakeMixer m;
    m.lines[MixerLine::WaveOut] = {true, true, 2, 255, 100, 120, true};
    m.lines[MixerLine::Speakers] = {true, true, 2, 87, 30, 40, false};
    return m;
}

} // namespace

TEST(Mixer, RaiseSavesThenRaisesToEachControlsOwnMaximum) {
    test::TempDir dir;
    const auto state = dir / "state" / "volume.ini";
    FakeMixer m = UsualCard();
    EXPECT_TRUE(RaiseVolume(m, state));
    EXPECT_FALSE(m.lines[MixerLine::WaveOut].muted);
    EXPECT_EQ(m.lines[MixerLine::WaveOut].left, 255);
    EXPECT_EQ(m.lines[MixerLine::WaveOut].right, 255);
    EXPECT_EQ(m.lines[MixerLine::Speakers].left, 87);
    EXPECT_EQ(m.lines[MixerLine::Speakers].right, 87);
    EXPECT_EQ(m.calls, (std::vector<std::string>{"OpenMute wave", "SetMute 0", "Close", "OpenVolume wave",
                                                 "SetVolume 255,255", "Close", "OpenMute speakers", "SetMute 0",
                                                 "Close", "OpenVolume speakers", "SetVolume 87,87", "Close"}));
    ASSERT_TRUE(std::filesystem::exists(state));
    const IniDocument doc = IniDocument::Load(state);
    EXPECT_EQ(*doc.Find("WaveOut", "Mute"), "1");
    EXPECT_EQ(*doc.Find("WaveOut", "Left"), "100");
    EXPECT_EQ(*doc.Find("Speakers", "Right"), "40");
}

TEST(Mixer, RestoreWritesSavedLevelsBackInOrderAndOnlyOnce) {
    test::TempDir dir;
    const auto state = dir / "volume.ini";
    FakeMixer m = UsualCard();
    RaiseVolume(m, state);
    m.calls.clear();
    EXPECT_TRUE(RestoreVolume(m, state));
    EXPECT_EQ(m.calls, (std::vector<std::string>{"OpenMute wave", "SetMute 1", "Close", "OpenVolume wave",
                                                 "SetVolume 100,120", "Close", "OpenMute speakers", "SetMute 0",
                                                 "Close", "OpenVolume speakers", "SetVolume 30,40", "Close"}));
    EXPECT_FALSE(std::filesystem::exists(state));
    // A second restore (signal first, then normal exit) touches nothing.
    m.calls.clear();
    RestoreVolume(m, state);
    EXPECT_TRUE(m.calls.empty());
}

TEST(Mixer, MissingMixerChangesNothing) {
    test::TempDir dir;
    const auto state = dir / "volume.ini";
    FakeMixer m = UsualCard();
    m.present = false;
    EXPECT_FALSE(RaiseVolume(m, state));
    EXPECT_FALSE(std::filesystem::exists(state));
    EXPECT_TRUE(RestoreVolume(m, state));
    EXPECT_TRUE(m.lines[MixerLine::WaveOut].muted);
    EXPECT_EQ(m.lines[MixerLine::WaveOut].left, 100);
    for (const auto& c : m.calls)
        EXPECT_TRUE(c.rfind("Open", 0) == 0 || c == "Close") << c;

    // The real backend on a card that does not exist says the same.
    AlsaMixer alsa("tolbe_no_such_card");
    EXPECT_FALSE(alsa.OpenVolumeControl(MixerLine::Speakers));
    EXPECT_FALSE(alsa.OpenMuteControl(MixerLine::WaveOut));
    std::int32_t l = 0, r = 0;
    EXPECT_FALSE(alsa.GetVolume(l, r));
    EXPECT_EQ(l, -1);
    EXPECT_EQ(r, -1);
    EXPECT_FALSE(RaiseVolume(alsa, state));
    EXPECT_FALSE(std::filesystem::exists(state));
}

TEST(Mixer, MonoLineKeepsRightAtMinusOne) {
    test::TempDir dir;
    const auto state = dir / "volume.ini";
    FakeMixer m = UsualCard();
    m.lines[MixerLine::Speakers] = {true, true, 1, 31, 12, 0, false};
    RaiseVolume(m, state);
    EXPECT_EQ(*IniDocument::Load(state).Find("Speakers", "Right"), "-1");
    EXPECT_EQ(m.lines[MixerLine::Speakers].left, 31);
    RestoreVolume(m, state);
    EXPECT_EQ(m.lines[MixerLine::Speakers].left, 12);
    EXPECT_EQ(m.calls.back(), "Close");
    EXPECT_EQ(m.calls[m.calls.size() - 2], "SetVolume 12,-1");
}

TEST(Mixer, LineWithoutMuteStillGetsItsVolumeRaised) {
    test::TempDir dir;
    const auto state = dir / "volume.ini";
    FakeMixer m = UsualCard();
    m.lines[MixerLine::WaveOut].hasMute = false;
    EXPECT_FALSE(RaiseVolume(m, state));
    EXPECT_EQ(m.lines[MixerLine::WaveOut].left, 255);
    EXPECT_EQ(m.lines[MixerLine::Speakers].left, 87);
    EXPECT_EQ(IniDocument::Load(state).Find("WaveOut", "Mute"), nullptr);
    // Restoring skips the step that saved nothing instead of writing an unsaved "not muted".
    m.lines[MixerLine::WaveOut].hasMute = true;
    m.lines[MixerLine::WaveOut].muted = true;
    RestoreVolume(m, state);
    EXPECT_TRUE(m.lines[MixerLine::WaveOut].muted);
    EXPECT_EQ(m.lines[MixerLine::WaveOut].left, 100);
}

TEST(Mixer, LevelsLeftRaisedByADeadRunComeBack) {
    test::TempDir dir;
    const auto state = dir / "volume.ini";
    FakeMixer m = UsualCard();
    RaiseVolume(m, state); // and the program dies here
    FakeMixer other = UsualCard();
    EXPECT_FALSE(RestorePendingVolume(other, dir / "other.ini"));
    EXPECT_TRUE(other.calls.empty());

    // The next start raises again: the pending levels are restored first, so the saved ones are the user's.
    RaiseVolume(m, state);
    EXPECT_EQ(*IniDocument::Load(state).Find("WaveOut", "Left"), "100");
    EXPECT_TRUE(RestorePendingVolume(m, state));
    EXPECT_EQ(m.lines[MixerLine::WaveOut].left, 100);
    EXPECT_EQ(m.lines[MixerLine::Speakers].right, 40);
    EXPECT_FALSE(std::filesystem::exists(state));
}

TEST(Mixer, NothingIsRaisedWhenTheLevelsCannotBeRecorded) {
    test::TempDir dir;
    test::WriteFile(dir / "plain", "a file, not a folder");
    FakeMixer m = UsualCard();
    RaiseVolume(m, dir / "plain" / "volume.ini");
    EXPECT_TRUE(m.lines[MixerLine::WaveOut].muted);
    EXPECT_EQ(m.lines[MixerLine::WaveOut].left, 100);
    EXPECT_EQ(m.lines[MixerLine::Speakers].left, 30);
}

TEST(Mixer, CorruptStateFileIsIgnoredStepByStep) {
    test::TempDir dir;
    const auto state = dir / "volume.ini";
    test::WriteFile(state, "[WaveOut]\nMute=yes\nLeft=12\nRight=x\n[Speakers]\nLeft=5\nRight=6\n");
    FakeMixer m = UsualCard();
    RestoreVolume(m, state);
    EXPECT_EQ(m.calls, (std::vector<std::string>{"OpenVolume speakers", "SetVolume 5,6", "Close"}));
}

TEST(Mixer, LevelsOfALineMissingAtExitAreKeptUntilTheyCanBeWrittenBack) {
    test::TempDir dir;
    const auto state = dir / "volume.ini";
    FakeMixer m = UsualCard();
    RaiseVolume(m, state);
    // The card with the speakers line is unplugged before the program ends.
    const FakeMixer::Line raisedSpeakers = m.lines[MixerLine::Speakers];
    m.lines.erase(MixerLine::Speakers);
    EXPECT_FALSE(RestoreVolume(m, state));
    EXPECT_EQ(m.lines[MixerLine::WaveOut].left, 100);
    ASSERT_TRUE(std::filesystem::exists(state));
    // The next run starts without it: the wave line is saved anew, the speakers' levels stay.
    RaiseVolume(m, state);
    EXPECT_EQ(m.lines[MixerLine::WaveOut].left, 255);
    EXPECT_EQ(*IniDocument::Load(state).Find("WaveOut", "Left"), "100");
    EXPECT_EQ(*IniDocument::Load(state).Find("Speakers", "Left"), "30");
    // Plugged in again before that run ends: everything comes back and only then is the file gone.
    m.lines[MixerLine::Speakers] = raisedSpeakers;
    EXPECT_TRUE(RestoreVolume(m, state));
    EXPECT_EQ(m.lines[MixerLine::Speakers].left, 30);
    EXPECT_EQ(m.lines[MixerLine::Speakers].right, 40);
    EXPECT_EQ(m.lines[MixerLine::WaveOut].left, 100);
    EXPECT_FALSE(std::filesystem::exists(state));
}
