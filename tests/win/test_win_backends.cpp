// The Windows backends on their own: the registry settings, the lock and the atomic replace
// between processes, the wave output and the mixer.
#include "audio/Mixer.h"
#include "audio/Modulator.h"
#include "audio/win/WinMixer.h"
#include "audio/win/WinmmCapture.h"
#include "audio/win/WinmmWaveOut.h"
#include "common/AtomicFile.h"
#include "common/FileLock.h"
#include "common/PathText.h"
#include "common/win/RegistrySettingsStore.h"
#include "common/win/WinText.h"
#include "tests/support/TestSupport.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace tolbe {
namespace {

using namespace std::chrono_literals;

std::wstring TestRoot() {
    return L"Software\\TolbeTest-" + std::to_wstring(::GetCurrentProcessId());
}

// A second copy of this program running one child test (below), as another program would.
HANDLE StartChild(const std::string& test, const std::string& arg) {
    const std::wstring command = L"\"" + std::filesystem::path(TOLBE_SELF_PATH).wstring() +
                                 L"\" --gtest_filter=Child." + std::filesystem::path(test).wstring();
    std::wstring line = command;
    ::SetEnvironmentVariableW(L"TOLBE_CHILD_ARG", win::Widen(arg).c_str());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child))
        return nullptr;
    ::CloseHandle(child.hThread);
    return child.hProcess;
}

DWORD WaitExit(HANDLE process) {
    DWORD code = 99;
    if (process == nullptr || ::WaitForSingleObject(process, 60000) != WAIT_OBJECT_0) return code;
    ::GetExitCodeProcess(process, &code);
    ::CloseHandle(process);
    return code;
}

// UTF-8, read wide: the narrow environment is in the system's code page.
std::string ChildArg() {
    const wchar_t* arg = ::_wgetenv(L"TOLBE_CHILD_ARG");
    return arg != nullptr ? win::Narrow(arg) : std::string();
}

} // namespace

// Run only as the children of the tests below.
TEST(Child, SavesItsSettings) {
    if (ChildArg().empty()) GTEST_SKIP() << "a child of RegistrySettings.TwoProgramsSavingAtOnceKeepEveryValue";
    const std::string arg = ChildArg();
    RegistrySettingsStore store(win::Widen(arg.substr(0, arg.find('|'))));
    for (int i = 0; i < 40; ++i)
        store.SaveSetting(kSettingsApp, kSettingsSection, arg.substr(arg.find('|') + 1) + std::to_string(i), "v");
}

TEST(Child, HoldsTheLockAWhile) {
    if (ChildArg().empty()) GTEST_SKIP() << "a child of FileLockWin.AnotherProgramHoldingTheLockKeepsItForItself";
    const FileLock lock(PathFromUtf8(ChildArg()));
    ASSERT_TRUE(lock.Held()) << lock.Problem();
    std::ofstream(PathFromUtf8(ChildArg() + ".held")).put('1');
    std::this_thread::sleep_for(1500ms);
}

TEST(RegistrySettings, ValuesRoundTripWithFallbackAndOtherScripts) {
    RegistrySettingsStore store(TestRoot());
    EXPECT_EQ(store.GetSetting(kSettingsApp, kSettingsSection, "Language", "fallback"), "fallback");
    store.SaveSetting(kSettingsApp, kSettingsSection, "Language", "4000");
    store.SaveSetting(kSettingsApp, kSettingsSection, "DatabasePath", "C:\\Daten\\Fernbedienung\xC3\xBC.db3");
    store.SaveSetting(kSettingsApp, kSettingsSection, "Empty", "");
    RegistrySettingsStore again(TestRoot());
    EXPECT_EQ(again.GetSetting(kSettingsApp, kSettingsSection, "Language"), "4000");
    EXPECT_EQ(again.GetSetting(kSettingsApp, kSettingsSection, "DatabasePath"), "C:\\Daten\\Fernbedienung\xC3\xBC.db3");
    EXPECT_EQ(again.GetSetting(kSettingsApp, kSettingsSection, "Empty", "x"), "");
    EXPECT_EQ(again.GetSetting(kSettingsApp, "OtherSection", "Language", "none"), "none");
    // Where the settings are: HKEY_CURRENT_USER\<root>\Marvo\MarvoState.
    wchar_t value[16] = {};
    DWORD size = sizeof value;
    EXPECT_EQ(::RegGetValueW(HKEY_CURRENT_USER, (TestRoot() + L"\\Marvo\\MarvoState").c_str(), L"Language",
                             RRF_RT_REG_SZ, nullptr, value, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(value), L"4000");
    EXPECT_TRUE(RegistrySettingsStore::RemoveTree(TestRoot()));
    EXPECT_EQ(again.GetSetting(kSettingsApp, kSettingsSection, "Language", "gone"), "gone");
}

TEST(RegistrySettings, TwoProgramsSavingAtOnceKeepEveryValue) {
    const std::string root = std::filesystem::path(TestRoot() + L"-two").string();
    HANDLE first = StartChild("SavesItsSettings", root + "|A");
    HANDLE second = StartChild("SavesItsSettings", root + "|B");
    ASSERT_EQ(WaitExit(first), 0u);
    ASSERT_EQ(WaitExit(second), 0u);
    RegistrySettingsStore store(std::filesystem::path(root).wstring());
    for (const char* who : {"A", "B"})
        for (int i = 0; i < 40; ++i)
            EXPECT_EQ(store.GetSetting(kSettingsApp, kSettingsSection, who + std::to_string(i), "lost"), "v");
    RegistrySettingsStore::RemoveTree(std::filesystem::path(root).wstring());
}

TEST(FileLockWin, AnotherProgramHoldingTheLockKeepsItForItself) {
    const test::TempDir dir;
    const auto lockFile = dir / "Remote.ini.lock";
    {
        const FileLock mine(lockFile);
        ASSERT_TRUE(mine.Held()) << mine.Problem();
        const FileLock second(lockFile, 50ms);
        EXPECT_FALSE(second.Held()) << "two locks in one process exclude each other too";
    }
    HANDLE child = StartChild("HoldsTheLockAWhile", lockFile.string());
    for (int i = 0; i < 500 && !std::filesystem::exists(dir / "Remote.ini.lock.held"); ++i)
        std::this_thread::sleep_for(20ms);
    const FileLock busy(lockFile, 100ms);
    EXPECT_FALSE(busy.Held());
    EXPECT_NE(busy.Problem().find("is held by another program"), std::string::npos) << busy.Problem();
    const FileLock after(lockFile, 20s); // the child lets go when it ends
    EXPECT_TRUE(after.Held()) << after.Problem();
    EXPECT_EQ(WaitExit(child), 0u);
}

TEST(AtomicFileWin, ReplacesAFileThatIsOpenForReadingOnceTheReaderLetsGo) {
    const test::TempDir dir;
    const auto file = dir / "Remote.ini";
    WriteFileAtomically(file, "old");
    // Another program reads it as the replace comes (a reader that shares neither delete nor
    // rename, as std::ifstream opens files here).
    auto reader = std::make_unique<std::ifstream>(file);
    std::thread letGo([&] {
        std::this_thread::sleep_for(200ms);
        reader.reset();
    });
    WriteFileAtomically(file, "new");
    letGo.join();
    EXPECT_EQ(test::ReadFile(file), "new");
    EXPECT_FALSE(std::filesystem::exists(TempPathFor(file)));
    // A reader that never lets go costs the write, not the old file.
    std::ifstream holder(file);
    EXPECT_THROW(WriteFileAtomically(file, "newer"), std::filesystem::filesystem_error);
    holder.close();
    EXPECT_EQ(test::ReadFile(file), "new");
    EXPECT_FALSE(std::filesystem::exists(TempPathFor(file)));
}

TEST(WinmmWaveOut, AnOutputThatIsNotThereIsNamed) {
    audio::WinmmWaveOut out("No Such Output 7");
    const std::vector<std::uint8_t> pcm(4 * audio::kBytesPerFrame, 0);
    const auto r = out.Play(pcm);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.Error(), "no wave output is named \"No Such Output 7\"");
}

TEST(WinmmCapture, AnInputThatIsNotThereIsNamedAndRequestsOutOfRangeAreRefused) {
    const auto missing = audio::CaptureFromWinmm("No Such Input 7", 0.1);
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.Error(), "capture device \"No Such Input 7\": no sound input has that name");
    EXPECT_FALSE(audio::CaptureFromWinmm("default", 0));
    EXPECT_FALSE(audio::CaptureFromWinmm("default", 1, 44100, 3));
}

// With a sound server (windows_scenarios.sh): a stream plays whole, the position rises to its
// end, a stop ends it early, and the mixer's levels come back after they were raised.
class Sound : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("TOLBE_WINE_SOUND") == nullptr) GTEST_SKIP() << "no sound server given (TOLBE_WINE_SOUND)";
    }
};

struct Positions : audio::PlaybackObserver {
    std::vector<std::size_t> seen;
    std::size_t stopAt = SIZE_MAX;
    void Played(std::size_t frames) override { seen.push_back(frames); }
    bool StopRequested() const override { return !seen.empty() && seen.back() >= stopAt; }
};

TEST_F(Sound, PlaysTheWholeStreamReportingARisingPositionAndStopsWhenAsked) {
    const std::size_t frames = audio::kSampleRate / 2;
    const std::vector<std::uint8_t> pcm(frames * audio::kBytesPerFrame, 0);
    audio::WinmmWaveOut out;
    Positions whole;
    const auto start = std::chrono::steady_clock::now();
    const auto r = out.Play(pcm, &whole);
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(r) << r.Error();
    EXPECT_FALSE(r->stopped);
    EXPECT_GE(took, 450ms) << "returns only once the device played it";
    ASSERT_FALSE(whole.seen.empty());
    EXPECT_TRUE(std::is_sorted(whole.seen.begin(), whole.seen.end()));
    EXPECT_EQ(whole.seen.back(), frames);
    Positions part;
    part.stopAt = frames / 5;
    const auto stopped = audio::WinmmWaveOut().Play(pcm, &part);
    ASSERT_TRUE(stopped) << stopped.Error();
    EXPECT_TRUE(stopped->stopped);
    EXPECT_LT(part.seen.back(), frames);
}

TEST_F(Sound, ARecordingHoldsTheTimeAskedForInTheFormatAskedFor) {
    const auto mono = audio::CaptureFromWinmm("default", 0.3, 22050, 1);
    ASSERT_TRUE(mono) << mono.Error();
    EXPECT_EQ(mono->sample_rate, 22050);
    EXPECT_EQ(mono->channels, 1);
    EXPECT_EQ(mono->samples.size(), 6615u);
}

TEST_F(Sound, RaisedLevelsAreRecordedAndPutBack) {
    audio::WinMixer mixer;
    ASSERT_TRUE(mixer.OpenVolumeControl(audio::MixerLine::Speakers));
    std::int32_t left = -1, right = -1;
    ASSERT_TRUE(mixer.SetVolume(mixer.VolumeMaximum() / 3, mixer.VolumeMaximum() / 4));
    ASSERT_TRUE(mixer.GetVolume(left, right));
    const std::int32_t wasLeft = left, wasRight = right;
    mixer.CloseMixer();
    const test::TempDir dir;
    const auto levels = dir / "state" / "mixer-levels";
    audio::RaiseVolume(mixer, levels);
    ASSERT_TRUE(mixer.OpenVolumeControl(audio::MixerLine::Speakers));
    ASSERT_TRUE(mixer.GetVolume(left, right));
    EXPECT_EQ(left, mixer.VolumeMaximum());
    mixer.CloseMixer();
    EXPECT_TRUE(std::filesystem::exists(levels));
    // As at the next start after a crash: the pending levels are put back.
    EXPECT_TRUE(audio::RestorePendingVolume(mixer, levels));
    ASSERT_TRUE(mixer.OpenVolumeControl(audio::MixerLine::Speakers));
    ASSERT_TRUE(mixer.GetVolume(left, right));
    EXPECT_EQ(left, wasLeft);
    EXPECT_EQ(right, wasRight);
    EXPECT_FALSE(std::filesystem::exists(levels));
}

} // namespace tolbe
