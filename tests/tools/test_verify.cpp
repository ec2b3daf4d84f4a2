// tolbe-cli verify, run as a separate program on signals that tolbe-cli download wrote: the whole chain
// from the code database to sound and back.
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

using tolbe::test::ReadFile;
using tolbe::test::TempDir;

using Outcome = tolbe::test::CommandOutcome;
using tolbe::test::ShellQuote;

// The value of a top-level "key": in the one-line JSON object verify prints (strings unquoted).
std::string JsonField(const std::string& json, const std::string& key) {
    const std::string tag = "\"" + key + "\":";
    const auto at = json.find(tag);
    if (at == std::string::npos) return "<missing " + key + ">";
    auto from = at + tag.size();
    if (json[from] == '"') return json.substr(from + 1, json.find('"', from + 1) - from - 1);
    return json.substr(from, json.find_first_of(",}", from) - from);
}

class CliVerify : public ::testing::Test {
protected:
    void SetUp() override {
        const Outcome made = Run({"db", "sample", "--out", m_db, "--code-sets", "120", "--seed", "11"});
        ASSERT_EQ(made.status, 0) << made.err;
        const Outcome found = Run({"search", "--db", m_db, "--device", "TV"});
        ASSERT_EQ(found.status, 0) << found.err;
        std::istringstream lines(found.out);
        std::string line;
        std::getline(lines, line); // heading
        while (std::getline(lines, line) && m_sources.size() < 4)
            m_sources.push_back(line.substr(0, line.find('\t')));
        ASSERT_FALSE(m_sources.empty());
    }

    Outcome Run(const std::vector<std::string>& args) {
        return tolbe::test::RunProgram(TOLBE_CLI_PATH, args, m_dir.Path());
    }

    // Writes the download of `source` for `slot` and returns the encoder's bytes for it, as one hex string.
    std::string Download(const std::string& slot, const std::string& source, const std::string& wav) {
        const Outcome d =
            Run({"download", "--db", m_db, "--slot", slot, "--source-id", source, "--seed", "5", "--wav", Path(wav)});
        EXPECT_EQ(d.status, 0) << d.err;
        const Outcome e = Run({"encode", "--db", m_db, "--slot", slot, "--source-id", source, "--seed", "5"});
        EXPECT_EQ(e.status, 0) << e.err;
        std::istringstream lines(e.out);
        std::string line, hex;
        std::getline(lines, line); // block count
        while (std::getline(lines, line))
            hex += line;
        return hex;
    }

    void Sox(const std::string& args) {
        const std::string cmd = "sox -q -D -R " + args;
        ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    }

    std::string Path(const std::string& name) const { return (m_dir / name).string(); }

    TempDir m_dir;
    std::string m_db = (m_dir / "codes.db3").string();
    std::vector<std::string> m_sources;
};

} // namespace

TEST_F(CliVerify, EverySlotRoundTripsThroughTheRealDownload) {
    const std::vector<std::string> slots{"TV", "SAT", "DVD", "AUX"};
    for (std::size_t s = 0; s < slots.size(); ++s) {
        const std::string& source = m_sources[s % m_sources.size()];
        const std::string expected = Download(slots[s], source, "dl.wav");
        ASSERT_FALSE(expected.empty());
        const Outcome v = Run({"verify", "--json", Path("dl.wav")});
        EXPECT_EQ(v.status, 0) << v.out << v.err;
        EXPECT_EQ(JsonField(v.out, "ok"), "true");
        EXPECT_EQ(JsonField(v.out, "slot"), std::to_string(s));
        EXPECT_EQ(JsonField(v.out, "slot_name"), slots[s]);
        EXPECT_EQ(JsonField(v.out, "slot_bytes"), expected) << slots[s] << " source " << source;
        EXPECT_EQ(JsonField(v.out, "header_blocks"), std::to_string(expected.size() / 128));
        EXPECT_EQ(JsonField(v.out, "first_fault"), "null");
    }
}

TEST_F(CliVerify, TextListsPacketsBlocksAndMemory) {
    const std::string expected = Download("DVD", m_sources[0], "dvd.wav");
    const Outcome v = Run({"verify", Path("dvd.wav")});
    ASSERT_EQ(v.status, 0) << v.out << v.err;
    const std::size_t blocks = expected.size() / 128;
    EXPECT_NE(v.out.find("Signal: 44100 Hz, 2 channels; read from the left channel; peak -0.1 dBFS\n"),
              std::string::npos)
        << v.out;
    EXPECT_NE(v.out.find("header      slot 2 (DVD), " + std::to_string(blocks) + " blocks"), std::string::npos)
        << v.out;
    EXPECT_NE(v.out.find("data        0x0600                    checksum ok\n"), std::string::npos) << v.out;
    EXPECT_NE(v.out.find("Blocks: " + std::to_string(blocks) + " found, the header announced " +
                         std::to_string(blocks) + "\n"),
              std::string::npos);
    // The first memory line: the address, then the first 64 code bytes spaced.
    std::string first_line = "0x0600 ";
    for (std::size_t i = 0; i < 128; i += 2)
        first_line += " " + expected.substr(i, 2);
    EXPECT_NE(v.out.find(first_line + "\n"), std::string::npos) << v.out;
    EXPECT_EQ(v.out.substr(v.out.size() - 3), "OK\n");
}

TEST_F(CliVerify, ResampledQuietNoisySignalStillVerifies) {
    const std::string expected = Download("AUX", m_sources[0], "aux.wav");
    Sox(ShellQuote(Path("aux.wav")) + " " + ShellQuote(Path("quiet.wav")) + " rate 48000 vol -30dB");
    // Hiss about 20 dB below the tones.
    Sox("-n -r 48000 -c 2 -b 16 " + ShellQuote(Path("hiss.wav")) + " synth 8 whitenoise vol 0.0038");
    Sox("-m -v 1 " + ShellQuote(Path("quiet.wav")) + " -v 1 " + ShellQuote(Path("hiss.wav")) + " " +
        ShellQuote(Path("noisy.wav")));
    const Outcome v = Run({"verify", "--json", Path("noisy.wav")});
    EXPECT_EQ(v.status, 0) << v.out << v.err;
    EXPECT_EQ(JsonField(v.out, "sample_rate"), "48000");
    EXPECT_EQ(JsonField(v.out, "slot_bytes"), expected);
}

TEST_F(CliVerify, FaultsGiveStatusOneAndTheFirstFault) {
    Download("SAT", m_sources[0], "sat.wav");
    // Cut after the lead-in, the header and its pause: no block arrives, and no end packet.
    Sox(ShellQuote(Path("sat.wav")) + " " + ShellQuote(Path("cut.wav")) + " trim 0 0.95");
    Outcome v = Run({"verify", Path("cut.wav")});
    EXPECT_EQ(v.status, 1);
    EXPECT_NE(v.out.find("FAULT: block at 0x0300 missing\n"), std::string::npos) << v.out;
    EXPECT_NE(v.out.find("  also: no end packet\n"), std::string::npos) << v.out;
    EXPECT_NE(v.err.find("the download is not complete: block at 0x0300 missing"), std::string::npos) << v.err;

    Sox(ShellQuote(Path("sat.wav")) + " " + ShellQuote(Path("soft.wav")) + " vol -40dB");
    v = Run({"verify", "--json", Path("soft.wav")});
    EXPECT_EQ(v.status, 1);
    EXPECT_EQ(JsonField(v.out, "first_fault"), "signal too quiet: peak -40 dBFS");
    v = Run({"verify", "--min-level", "-50", Path("soft.wav")});
    EXPECT_EQ(v.status, 0) << v.out;

    // The right channel alone, asked for by name, and the silent left one.
    Sox(ShellQuote(Path("sat.wav")) + " " + ShellQuote(Path("right.wav")) + " remix 0 2");
    EXPECT_EQ(Run({"verify", "--channel", "right", Path("right.wav")}).status, 0);
    v = Run({"verify", "--json", "--channel", "left", Path("right.wav")});
    EXPECT_EQ(v.status, 1);
    EXPECT_EQ(JsonField(v.out, "first_fault"), "no signal: the recording is silent");
}

TEST_F(CliVerify, UnreadableInputIsStatusTwoWithAMessage) {
    tolbe::test::WriteFile(m_dir / "junk.wav", "RIFF, but not really");
    Outcome v = Run({"verify", Path("junk.wav")});
    EXPECT_EQ(v.status, 2);
    EXPECT_NE(v.err.find("junk.wav"), std::string::npos) << v.err;
    EXPECT_EQ(v.out, "");

    v = Run({"verify", Path("does-not-exist.wav")});
    EXPECT_EQ(v.status, 2);
    // 4 KB claiming two billion samples per second: refused at once, not filtered for seconds.
    v = Run({"verify", TOLBE_SOURCE_DIR "/tests/fuzz/regressions/wav_signal/rate_2e9.wav"});
    EXPECT_EQ(v.status, 2);
    EXPECT_NE(v.err.find("claims 2000000000 samples per second"), std::string::npos) << v.err;
    v = Run({"verify"});
    EXPECT_EQ(v.status, 2);
    EXPECT_NE(v.err.find("name a WAV file"), std::string::npos) << v.err;
    v = Run({"verify", "--channel", "middle", Path("junk.wav")});
    EXPECT_EQ(v.status, 2);

    v = Run({"verify", "--capture-device", "tolbe-no-such-device", "--seconds", "1"});
    EXPECT_EQ(v.status, 2);
    EXPECT_NE(v.err.find("capture device \"tolbe-no-such-device\""), std::string::npos) << v.err;
    v = Run({"verify", "--capture-device", "null"});
    EXPECT_EQ(v.status, 2);
    EXPECT_NE(v.err.find("--seconds"), std::string::npos) << v.err;
}

TEST_F(CliVerify, CapturesFromAnAlsaDevice) {
    // ALSA's null device records no download, whatever it hands back; the recording is saved as asked.
    const Outcome v =
        Run({"verify", "--json", "--capture-device", "null", "--seconds", "0.5", "--save-wav", Path("rec.wav")});
    EXPECT_EQ(v.status, 1) << v.err;
    EXPECT_EQ(JsonField(v.out, "source"), "capture:null");
    EXPECT_EQ(JsonField(v.out, "ok"), "false");
    EXPECT_EQ(JsonField(v.out, "sample_rate"), "44100");
    const Outcome again = Run({"verify", "--json", Path("rec.wav")});
    EXPECT_EQ(again.status, 1);
    EXPECT_EQ(JsonField(again.out, "first_fault"), JsonField(v.out, "first_fault"));
}

TEST_F(CliVerify, StrictCountsPreambleBitsAndTimesEveryPause) {
    Download("DVD", m_sources[0], "dvd.wav");
    Outcome v = Run({"verify", "--strict", Path("dvd.wav")});
    ASSERT_EQ(v.status, 0) << v.out << v.err;
    EXPECT_NE(v.out.find("Timing:\n"), std::string::npos) << v.out;
    EXPECT_NE(v.out.find("header      preamble 64 bits  pause 400.00 ms (nominal 400)\n"), std::string::npos) << v.out;
    EXPECT_NE(v.out.find("data        preamble 64 bits  pause 80.00 ms (nominal 80)\n"), std::string::npos) << v.out;
    // The end's pause is the rest of the file: at least 100 ms, give or take where the last bit is read.
    EXPECT_NE(v.out.find("end         preamble 64 bits  pause >= 100.0"), std::string::npos) << v.out;
    EXPECT_NE(v.out.find("Worst pause error: 0.00 ms\n"), std::string::npos) << v.out;
    EXPECT_EQ(v.out.find("preamble 63"), std::string::npos);
    v = Run({"verify", "--strict", "--json", Path("dvd.wav")});
    EXPECT_NE(v.out.find("\"kind\":\"header\",\"slot\":2"), std::string::npos) << v.out;
    EXPECT_NE(v.out.find("\"preamble_bits\":64,\"pause_after_ms\":400.000}"), std::string::npos) << v.out;
    EXPECT_EQ(JsonField(v.out, "worst_pause_error_ms"), "0.000");

    // The header's first 5 ms lost, as a waking output loses them: the plain check still reads every
    // packet, the strict one counts the short preamble.
    Sox(ShellQuote(Path("dvd.wav")) + " " + ShellQuote(Path("late.wav")) + " trim 0.255");
    EXPECT_EQ(Run({"verify", Path("late.wav")}).status, 0);
    v = Run({"verify", "--strict", Path("late.wav")});
    EXPECT_EQ(v.status, 1);
    EXPECT_NE(v.out.find("FAULT: preamble of the header packet at 0.02 s: "), std::string::npos) << v.out;
    EXPECT_NE(v.out.find(" of 64 bits\n"), std::string::npos) << v.out;

    // 2 ms more silence in the pause after the first block, and a trailing pause cut short.
    Sox(ShellQuote(Path("dvd.wav")) + " " + ShellQuote(Path("slow.wav")) + " pad 0.002@1.30");
    EXPECT_EQ(Run({"verify", Path("slow.wav")}).status, 0);
    v = Run({"verify", "--strict", "--json", Path("slow.wav")});
    EXPECT_EQ(v.status, 1);
    EXPECT_EQ(JsonField(v.out, "first_fault"), "pause after the data packet at 0.99 s: 82.0 ms, not 80 ms");
    EXPECT_NEAR(std::stod(JsonField(v.out, "worst_pause_error_ms")), 2.0, 0.02); // sox pads 88 frames
    Sox(ShellQuote(Path("dvd.wav")) + " " + ShellQuote(Path("short.wav")) + " reverse trim 0.05 reverse");
    v = Run({"verify", "--strict", Path("short.wav")});
    EXPECT_EQ(v.status, 1);
    EXPECT_NE(v.out.find("FAULT: pause after the end packet at "), std::string::npos) << v.out;
    EXPECT_NE(v.out.find("the recording ends 50.0 ms after it, before the 100 ms pause"), std::string::npos) << v.out;
}

TEST_F(CliVerify, DownloadThatCannotBePlayedSaysSoOnceAndFails) {
    const Outcome d = Run({"download", "--db", m_db, "--slot", "TV", "--source-id", m_sources[0], "--pcm-device",
                           "tolbe_no_such_pcm_device"});
    EXPECT_EQ(d.status, 3) << d.err;
    // One message naming the device and the system's reason, whatever the number of packets.
    const auto first = d.err.find("\"tolbe_no_such_pcm_device\"");
    ASSERT_NE(first, std::string::npos) << d.err;
    EXPECT_EQ(d.err.find("tolbe_no_such_pcm_device", first + 30), std::string::npos) << d.err;
    EXPECT_NE(d.err.find("No such file or directory"), std::string::npos) << d.err;
}
