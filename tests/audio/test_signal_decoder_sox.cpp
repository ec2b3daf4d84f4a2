// The decoder against signals that went through sox (resampling, attenuation, added noise), and
// sweeps that find how weak and how noisy a download may get before it no longer decodes.
#include "audio/SignalDecoder.h"
#include "audio/WavFile.h"
#include "tests/audio/test_signal_decoder_support.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

using namespace tolbe;
using namespace tolbe::audio;
using test::RandomCodeBuffer;

namespace {

// Runs sox quietly and without dither, so the only noise is the noise a test adds.
void Sox(const std::string& args) {
    const std::string command = "sox -q -D -R " + args;
    const int rc = std::system(command.c_str());
    ASSERT_EQ(rc, 0) << command;
}

std::string Quoted(const std::filesystem::path& p) {
    return "'" + p.string() + "'";
}

void WriteSamples(const std::filesystem::path& file, std::span<const std::int16_t> samples, int rate) {
    std::vector<std::uint8_t> pcm(samples.size() * 2);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const auto v = static_cast<std::uint16_t>(samples[i]);
        pcm[2 * i] = static_cast<std::uint8_t>(v & 0xFFu);
        pcm[2 * i + 1] = static_cast<std::uint8_t>(v >> 8);
    }
    const Status written = WriteWavFile(file, pcm, rate, 2);
    ASSERT_TRUE(written) << written.Error();
}

double PeakOf(std::span<const std::int16_t> s) {
    double peak = 0;
    for (const auto v : s)
        peak = std::max(peak, std::fabs(static_cast<double>(v)));
    return peak;
}

double RmsOf(std::span<const std::int16_t> s) {
    double sum = 0;
    for (const auto v : s)
        sum += static_cast<double>(v) * v;
    return s.empty() ? 0 : std::sqrt(sum / static_cast<double>(s.size()));
}

// Signal to noise ratio of the tones against white noise: a sine of peak A has power A^2 / 2.
double SnrDb(double signal_peak, double noise_rms) {
    return 10 * std::log10(signal_peak * signal_peak / 2 / (noise_rms * noise_rms));
}

std::vector<std::int16_t> WithNoise(std::span<const std::int16_t> s, double sigma, std::uint32_t seed) {
    std::mt19937 gen(seed);
    std::normal_distribution<double> noise(0, sigma);
    std::vector<std::int16_t> out(s.size());
    for (std::size_t i = 0; i < s.size(); ++i)
        out[i] = test::Clamp16(std::round(s[i] + noise(gen)));
    return out;
}

bool Decodes(std::span<const std::int16_t> s, int rate, std::span<const std::uint8_t> buffer) {
    const auto check = CheckDownloadSignal(s, 2, rate, DecodeOptions{-1, -200});
    const auto bytes = check.SlotBytes();
    return check.Ok() && std::equal(bytes.begin(), bytes.end(), buffer.begin(), buffer.end());
}

class SoxSignal : public ::testing::Test {
protected:
    // The download of `buffer` for `slot` as a WAV file, then through `effects` into another.
    WavAudio Through(std::uint8_t slot, std::span<const std::uint8_t> buffer, const std::string& effects) {
        WriteSamples(m_dir / "clean.wav", test::DownloadSamples(slot, buffer), 44100);
        Sox(Quoted(m_dir / "clean.wav") + " " + Quoted(m_dir / "out.wav") + " " + effects);
        return ReadWavFile(m_dir / "out.wav").Value();
    }
    test::TempDir m_dir;
};

} // namespace

TEST_F(SoxSignal, ResampledTo48000EverySlot) {
    for (std::uint8_t slot = 0; slot < 4; ++slot) {
        for (const int blocks : {1, 12}) {
            const auto buffer = RandomCodeBuffer(blocks, 1000u + slot * 20u + static_cast<unsigned>(blocks));
            const WavAudio audio = Through(slot, buffer, "rate 48000");
            ASSERT_EQ(audio.sample_rate, 48000);
            test::ExpectDownload(CheckDownloadSignal(audio), slot, buffer);
        }
    }
}

TEST_F(SoxSignal, CommonRatesFrom11025Up) {
    const auto buffer = RandomCodeBuffer(3, 31);
    for (const int rate : {11025, 22050, 32000, 96000}) {
        // 3 dB down, so that resampling's overshoot does not clip.
        const WavAudio audio = Through(0, buffer, "vol -3dB rate " + std::to_string(rate));
        ASSERT_EQ(audio.sample_rate, rate);
        test::ExpectDownload(CheckDownloadSignal(audio), 0, buffer);
    }
}

TEST_F(SoxSignal, ResampledAttenuatedAndNoisy) {
    const auto buffer = RandomCodeBuffer(12, 4242);
    // Noise 20 dB below the attenuated tones: 0.98 x 10^(-30/20) / sqrt(2) / 10 of full scale, and sox's
    // white noise is uniform, so its RMS is its amplitude / sqrt(3).
    const double tone_rms = 0.98 * std::pow(10.0, -30.0 / 20) / std::sqrt(2.0);
    const double noise_amplitude = tone_rms / 10 * std::sqrt(3.0);
    const WavAudio quiet = Through(1, buffer, "rate 48000 vol -30dB");
    const double seconds = static_cast<double>(quiet.FrameCount()) / quiet.sample_rate;
    Sox("-n -r 48000 -c 2 -b 16 " + Quoted(m_dir / "noise.wav") + " synth " + std::to_string(seconds) +
        " whitenoise vol " + std::to_string(noise_amplitude));
    Sox("-m -v 1 " + Quoted(m_dir / "out.wav") + " -v 1 " + Quoted(m_dir / "noise.wav") + " " +
        Quoted(m_dir / "noisy.wav"));

    const auto noise = SamplesFromPcm(ReadWavFile(m_dir / "noise.wav")->pcm);
    const auto clean = SamplesFromPcm(quiet.pcm);
    const double snr = SnrDb(PeakOf(clean), RmsOf(noise));
    EXPECT_NEAR(snr, 20, 1);

    const auto check = CheckDownloadSignal(ReadWavFile(m_dir / "noisy.wav").Value());
    test::ExpectDownload(check, 1, buffer);
    EXPECT_NEAR(check.peak_dBFS, -30, 1.5);
    EXPECT_EQ(check.sample_rate, 48000);
}

TEST_F(SoxSignal, InvertedRightChannelAfterResampling) {
    const auto buffer = RandomCodeBuffer(4, 8);
    // remix: left silent, right the left channel's signal upside down.
    const auto check = CheckDownloadSignal(Through(3, buffer, "remix 0 1i rate 48000 vol -20dB"));
    test::ExpectDownload(check, 3, buffer);
    EXPECT_EQ(check.channel_used, 1);
    EXPECT_TRUE(check.inverted);
}

// Sweeps for the weakest level and the worst noise that still decode; the figures are printed for
// the record, and the test holds the decoder to a margin well beyond what a download needs.
TEST_F(SoxSignal, SweepWeakestLevelAndWorstNoise) {
    const auto buffer = RandomCodeBuffer(12, 2024);
    const auto at44 = test::DownloadSamples(0, buffer);
    WriteSamples(m_dir / "clean.wav", at44, 44100);
    Sox(Quoted(m_dir / "clean.wav") + " " + Quoted(m_dir / "clean48.wav") + " rate 48000");
    const auto at48 = SamplesFromPcm(ReadWavFile(m_dir / "clean48.wav")->pcm);

    for (const auto& [rate, clean] : {std::pair{44100, &at44}, std::pair{48000, &at48}}) {
        double weakest = 0;
        for (double level = -30; level >= -96; level -= 2) {
            if (!Decodes(test::Attenuate(*clean, level), rate, buffer)) break;
            weakest = 20 * std::log10(PeakOf(test::Attenuate(*clean, level)) / 32768.0);
        }
        std::printf("[ FIGURE   ] %d Hz: weakest peak level that decodes %.1f dBFS\n", rate, weakest);
        EXPECT_LE(weakest, -60) << rate;

        // Noise against a signal already 30 dB down, three noise seeds per step.
        const auto quiet = test::Attenuate(*clean, -30);
        const double peak = PeakOf(quiet);
        double worst = 99;
        for (double snr = 20; snr >= -5; snr -= 1) {
            const double sigma = peak / std::sqrt(2.0) / std::pow(10.0, snr / 20);
            bool all = true;
            for (std::uint32_t seed = 1; seed <= 3 && all; ++seed)
                all = Decodes(WithNoise(quiet, sigma, seed), rate, buffer);
            if (!all) break;
            worst = snr;
        }
        std::printf("[ FIGURE   ] %d Hz, -30 dBFS: worst SNR that decodes %.0f dB\n", rate, worst);
        EXPECT_LE(worst, 10) << rate;
    }
}
