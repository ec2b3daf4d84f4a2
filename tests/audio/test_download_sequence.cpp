#include "audio/AlsaWaveOut.h"
#include "audio/DownloadSequence.h"
#include "audio/Modulator.h"
#include "audio/Packets.h"
#include "codec/CodeRecord.h"
#include "common/Prompt.h"
#include "db/DatabaseFile.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

using namespace tolbe;
using namespace tolbe::audio;

namespace {

// Everything a download did, packets, pauses and progress, in the order it happened.
struct Event {
    std::string kind; // "packet", "pause", "start", "step", "finish"
    std::vector<std::uint8_t> packet;
    int value = 0;
    std::string name;
};

class Recorder final : public DownloadSink, public DownloadProgress {
public:
    bool PlayPacket(std::span<const std::uint8_t> packet) override {
        if (throwOnPacket == packetCalls++) throw std::runtime_error("device vanished");
        events.push_back({"packet", {packet.begin(), packet.end()}, 0, {}});
        return true;
    }
    void Pause(int pause_ms) override { events.push_back({"pause", {}, pause_ms, {}}); }
    void Start(int blockCount, const std::string& deviceName) override {
        if (throwOnStart) throw std::runtime_error("no progress window");
        events.push_back({"start", {}, blockCount, deviceName});
    }
    void Step() override { events.push_back({"step", {}, 0, {}}); }
    void Finish() override { events.push_back({"finish", {}, 0, {}}); }

    std::vector<Event> events;
    int throwOnPacket = -1;
    int packetCalls = 0;
    bool throwOnStart = false;
};

std::vector<std::string> Kinds(const std::vector<Event>& events) {
    std::vector<std::string> kinds;
    for (const auto& e : events)
        kinds.push_back(e.kind == "pause" ? "pause" + std::to_string(e.value) : e.kind);
    return kinds;
}

std::vector<std::string> ExpectedKinds(int blocks) {
    std::vector<std::string> k{"packet", "pause400", "start"};
    for (int i = 0; i < blocks; ++i)
        k.insert(k.end(), {"packet", "step", "pause80"});
    k.insert(k.end(), {"packet", "pause100", "finish"});
    return k;
}

// A database whose code source 101 holds one TV code, the encoder's worked example.
// Made once for the suite: keying a database file is slow by design.
class DownloadTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new test::TempDir;
        // One transaction: one sync instead of one per row.
        test::MakeKeyedDatabase(*s_dir / "IR_Database.db3", "BEGIN;\n" + test::MiniDatabaseSql() + "COMMIT;\n");
    }
    static void TearDownTestSuite() {
        delete s_dir;
        s_dir = nullptr;
    }
    void SetUp() override {
        m_request.DBPath = (*s_dir / "IR_Database.db3").string();
        m_request.DBKey = db::BuildDatabaseKey();
        m_request.SourceID = 101;
        m_request.deviceName = "TV";
    }
    static inline test::TempDir* s_dir = nullptr;
    test::TempDir m_dir;
    DownloadRequest m_request;
    codec::SeededFiller m_rng{1};
};

} // namespace

TEST(SendCodeRecord, TwelveAuxBlocksInOrderWithPausesAndProgress) {
    std::vector<std::uint8_t> code(768);
    for (std::size_t i = 0; i < code.size(); ++i)
        code[i] = static_cast<std::uint8_t>(i * 7);
    Recorder rec;
    SendCodeRecord(3, code, 12, "AUX", rec, rec);
    ASSERT_EQ(Kinds(rec.events), ExpectedKinds(12));
    EXPECT_EQ(rec.events[2].value, 12);
    EXPECT_EQ(rec.events[2].name, "AUX");
    EXPECT_EQ(rec.events[0].packet, BuildHeaderPacket(3, 12));
    for (int k = 0; k < 12; ++k) {
        const auto& p = rec.events[3 + 3 * k].packet;
        const std::span<const std::uint8_t> block(code.data() + 64 * k, 64);
        EXPECT_EQ(p, BuildDataPacket(static_cast<std::uint16_t>(0x0900 + 64 * k), block)) << k;
    }
    EXPECT_EQ(rec.events[3 + 3 * 11].packet[4], 0x0B);
    EXPECT_EQ(rec.events[3 + 3 * 11].packet[5], 0xC0);
    EXPECT_EQ(rec.events[39].packet, BuildEndPacket());
}

TEST(SendCodeRecord, AFailingStepIsSkippedAndTheRestStillRuns) {
    const std::vector<std::uint8_t> code(128, 0x22);
    Recorder rec;
    rec.throwOnPacket = 0; // the header cannot be played
    rec.throwOnStart = true;
    SendCodeRecord(0, code, 2, "TV", rec, rec);
    EXPECT_EQ(Kinds(rec.events), (std::vector<std::string>{"pause400", "packet", "step", "pause80", "packet", "step",
                                                           "pause80", "packet", "pause100", "finish"}));
}

TEST_F(DownloadTest, EncodesAndSendsTheWholeRecord) {
    Recorder rec;
    std::vector<std::uint8_t> codeBuffer;
    std::string why;
    ASSERT_TRUE(CmdDownCodeAPI(m_request, m_rng, codeBuffer, rec, rec, &why)) << why;
    ASSERT_EQ(codeBuffer.size(), 256u);
    ASSERT_EQ(Kinds(rec.events), ExpectedKinds(4));
    EXPECT_EQ(rec.events[0].packet, BuildHeaderPacket(0, 4));
    EXPECT_EQ(rec.events[2].name, "TV");
    std::vector<std::uint8_t> sent;
    for (int k = 0; k < 4; ++k) {
        const auto& p = rec.events[3 + 3 * k].packet;
        sent.insert(sent.end(), p.begin() + 6, p.begin() + 70);
    }
    EXPECT_EQ(sent, codeBuffer);
    // The encoder's worked example: trailer address 0x00C6, first key record 06 00 C3 00 00 01 02.
    EXPECT_EQ(sent[4], 0x00);
    EXPECT_EQ(sent[5], 0xC6);
    EXPECT_EQ(std::vector<std::uint8_t>(sent.begin() + 98, sent.begin() + 105),
              (std::vector<std::uint8_t>{0x06, 0x00, 0xC3, 0x00, 0x00, 0x01, 0x02}));
}

TEST_F(DownloadTest, EncoderRefusalSendsNothing) {
    Recorder rec;
    std::vector<std::uint8_t> codeBuffer{1, 2, 3};
    std::string why;
    m_request.SourceID = 999; // no codes
    EXPECT_FALSE(CmdDownCodeAPI(m_request, m_rng, codeBuffer, rec, rec, &why));
    EXPECT_TRUE(rec.events.empty());
    EXPECT_FALSE(why.empty());

    m_request.SourceID = 101;
    m_request.RCUModel = 2; // unknown remote
    EXPECT_FALSE(CmdDownCodeAPI(m_request, m_rng, codeBuffer, rec, rec));
    m_request.RCUModel = 1;
    m_request.DBKey = "wrong key"; // unreadable database
    EXPECT_FALSE(CmdDownCodeAPI(m_request, m_rng, codeBuffer, rec, rec));
    EXPECT_TRUE(rec.events.empty());
}

TEST_F(DownloadTest, CaptureHoldsEveryBufferAndExactSilences) {
    PcmCaptureSink capture;
    NoProgress none;
    std::vector<std::uint8_t> codeBuffer;
    ASSERT_TRUE(CmdDownCodeAPI(m_request, m_rng, codeBuffer, capture, none));
    const auto& pcm = capture.Pcm();
    // 6 buffers and 400 + 4 x 80 + 100 ms of silence at 176.4 bytes per millisecond.
    ASSERT_EQ(pcm.size(), 6 * kWaveBufferBytes + (400 + 4 * 80 + 100) * 1764 / 10);
    const WaveBuffer header = BuildWaveBuffer(BuildHeaderPacket(0, 4));
    EXPECT_TRUE(std::equal(header.begin(), header.end(), pcm.begin()));
    const std::size_t firstData = kWaveBufferBytes + 400 * 1764 / 10;
    EXPECT_TRUE(std::all_of(pcm.begin() + kWaveBufferBytes, pcm.begin() + firstData, [](auto b) { return b == 0; }));
    const WaveBuffer block0 = BuildWaveBuffer(BuildDataPacket(0, std::span(codeBuffer).first(64)));
    EXPECT_TRUE(std::equal(block0.begin(), block0.end(), pcm.begin() + static_cast<long>(firstData)));
}

TEST_F(DownloadTest, WithoutASoundDeviceEveryPacketShowsOneMessageAndTheDownloadStillSucceeds) {
    AlsaWaveOut out("tolbe_no_such_pcm_device");
    test::ScriptedPrompt prompt;
    NoYield yield;
    PlaybackSink sink(out, prompt, yield);
    Recorder progress;
    std::vector<std::uint8_t> codeBuffer;
    EXPECT_TRUE(CmdDownCodeAPI(m_request, m_rng, codeBuffer, sink, progress));
    EXPECT_EQ(prompt.shown.size(), 6u); // header, four blocks, end
    EXPECT_EQ(sink.Failures(), 6);
    for (const auto& shown : prompt.shown) {
        EXPECT_EQ(shown.title, "Tolbe");
        EXPECT_FALSE(shown.text.empty());
    }
    EXPECT_EQ(Kinds(progress.events), (std::vector<std::string>{"start", "step", "step", "step", "step", "finish"}));
}

// Through the real ALSA backend: every packet opens the device anew, so each one goes to its own file.
namespace {
class PacketFilesWaveOut final : public WaveOut {
public:
    explicit PacketFilesWaveOut(std::filesystem::path dir) : m_dir(std::move(dir)) {}
    WaveResult Play(std::span<const std::uint8_t> pcm) override {
        const auto file = m_dir / ("packet" + std::to_string(files.size()) + ".raw");
        files.push_back(file);
        return AlsaWaveOut("file:'" + file.string() + "',raw").Play(pcm);
    }
    std::vector<std::filesystem::path> files;

private:
    std::filesystem::path m_dir;
};
} // namespace

TEST_F(DownloadTest, PlaysThroughAlsaByteForByte) {
    PacketFilesWaveOut out(m_dir.Path());
    test::ScriptedPrompt prompt;
    NoYield yield;
    PlaybackSink sink(out, prompt, yield);
    NoProgress none;
    std::vector<std::uint8_t> codeBuffer;
    ASSERT_TRUE(CmdDownCodeAPI(m_request, m_rng, codeBuffer, sink, none));
    EXPECT_TRUE(prompt.shown.empty());
    const auto packets = BuildDownloadPackets(0, codeBuffer, 4);
    ASSERT_EQ(out.files.size(), packets.size());
    for (std::size_t i = 0; i < packets.size(); ++i) {
        const WaveBuffer expected = BuildWaveBuffer(packets[i]);
        EXPECT_EQ(test::ReadFile(out.files[i]), std::string(expected.begin(), expected.end())) << i;
    }
}
