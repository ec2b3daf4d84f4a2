#include "audio/AlsaWaveOut.h"
#include "audio/DownloadSequence.h"
#include "audio/Modulator.h"
#include "audio/Packets.h"
#include "codec/CodeRecord.h"
#include "core/Download.h"
#include "db/CodeDatabase.h"
#include "db/DatabaseFile.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
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
        ASSERT_EQ(m_db.OpenFile((*s_dir / "IR_Database.db3").string()), db::CodeDatabase::State::Open);
        m_request.slot = Slot::TV();
        m_request.SourceID = 101;
        m_request.StrKeyDown = ""; // the slot's default order
    }
    // A download into any sink; true when every packet was handed to it.
    bool Send(DownloadSink& sink, DownloadProgress& progress, std::vector<std::uint8_t>& codeBuffer,
              std::string* why = nullptr, const db::CodeDatabase* database = nullptr) {
        std::int16_t blocks = 0;
        const auto sent =
            core::CmdDownCodeAPI(database ? *database : m_db, m_request, m_rng, codeBuffer, blocks, sink, progress);
        if (why != nullptr) *why = sent.Error();
        return static_cast<bool>(sent);
    }
    static inline test::TempDir* s_dir = nullptr;
    test::TempDir m_dir;
    db::CodeDatabase m_db;
    core::DownloadRequest m_request;
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
    ASSERT_TRUE(Send(rec, rec, codeBuffer, &why)) << why;
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
    EXPECT_FALSE(Send(rec, rec, codeBuffer, &why));
    EXPECT_TRUE(rec.events.empty());
    EXPECT_FALSE(why.empty());

    m_request.SourceID = 101;
    m_request.RCUModel = 2; // unknown remote
    EXPECT_FALSE(Send(rec, rec, codeBuffer));
    m_request.RCUModel = 1;
    db::CodeDatabase missing;
    missing.OpenFile((m_dir / "none.db3").string());
    EXPECT_FALSE(Send(rec, rec, codeBuffer, nullptr, &missing));
    m_request.SourceID = 0; // nothing assigned
    EXPECT_EQ(core::PrepareDownload(m_db, m_request, m_rng).ErrorKind(), core::Refusal::NotAssigned);
    EXPECT_TRUE(rec.events.empty());
}

TEST_F(DownloadTest, CaptureHoldsEveryBufferAndExactSilences) {
    PcmCaptureSink capture;
    NoProgress none;
    std::vector<std::uint8_t> codeBuffer;
    ASSERT_TRUE(Send(capture, none, codeBuffer));
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

// Through the real ALSA backend: the whole download is one stream, the lead-in's silence followed by
// exactly the timeline that the capture (and so --wav) holds, and the progress follows the stream.
namespace {
class PositionLog final : public DownloadProgress {
public:
    void Start(int blockCount, const std::string& deviceName) override {
        events.push_back("start " + std::to_string(blockCount) + " " + deviceName);
    }
    void Step() override { events.push_back("step"); }
    void Finish() override { events.push_back("finish"); }
    std::vector<std::string> events;
};
} // namespace

TEST_F(DownloadTest, PlaysAsOneStreamThroughAlsaByteForByte) {
    PcmCaptureSink capture;
    NoProgress none;
    std::vector<std::uint8_t> codeBuffer;
    ASSERT_TRUE(Send(capture, none, codeBuffer));

    codec::SeededFiller rng{1};
    const auto again = core::PrepareDownload(m_db, m_request, rng);
    ASSERT_TRUE(again);
    ASSERT_EQ(again->CodeBuffer, codeBuffer);
    const audio::DownloadSignal* signal = &again->signal;
    const std::size_t leadIn = static_cast<std::size_t>(kLeadIn_ms) * kSampleRate / 1000 * kBytesPerFrame;
    EXPECT_EQ(signal->leadInFrames * kBytesPerFrame, leadIn);
    ASSERT_EQ(signal->pcm.size(), leadIn + capture.Pcm().size());
    EXPECT_TRUE(std::all_of(signal->pcm.begin(), signal->pcm.begin() + static_cast<long>(leadIn),
                            [](auto b) { return b == 0; }));
    EXPECT_TRUE(
        std::equal(capture.Pcm().begin(), capture.Pcm().end(), signal->pcm.begin() + static_cast<long>(leadIn)));
    // Marks: the start after the header and its pause, a step after each block's buffer, the finish at the end.
    const std::size_t buffer = kWaveBufferBytes / kBytesPerFrame;
    ASSERT_EQ(signal->marks.size(), 6u);
    EXPECT_EQ(signal->marks[0].frame, leadIn / kBytesPerFrame + buffer + 400 * 441 / 10);
    EXPECT_EQ(signal->marks[1].frame, signal->marks[0].frame + buffer);
    EXPECT_EQ(signal->marks[2].frame, signal->marks[1].frame + 80 * 441 / 10 + buffer);
    EXPECT_EQ(signal->marks[5].frame, signal->Frames());

    const auto file = m_dir / "stream.raw";
    AlsaWaveOut out("file:'" + file.string() + "',raw");
    PositionLog progress;
    const auto played = PlayDownloadSignal(*signal, out, progress);
    ASSERT_TRUE(played && !played->stopped) << played.Error();
    EXPECT_EQ(test::ReadFile(file), std::string(signal->pcm.begin(), signal->pcm.end()));
    EXPECT_EQ(progress.events, (std::vector<std::string>{"start 4 TV", "step", "step", "step", "step", "finish"}));
}

TEST_F(DownloadTest, WithoutASoundDeviceThePlaybackFailsOnceWithTheSystemsReason) {
    const auto prepared = core::PrepareDownload(m_db, m_request, m_rng);
    ASSERT_TRUE(prepared);
    const audio::DownloadSignal* signal = &prepared->signal;
    AlsaWaveOut out("tolbe_no_such_pcm_device");
    PositionLog progress;
    const auto played = PlayDownloadSignal(*signal, out, progress);
    EXPECT_FALSE(played);
    EXPECT_FALSE(played.Error().empty());
    EXPECT_EQ(out.DeviceName(), "tolbe_no_such_pcm_device");
    EXPECT_TRUE(progress.events.empty()); // nothing played, nothing counted
}

TEST_F(DownloadTest, AStopRequestEndsTheStreamEarlyWithoutAFailure) {
    const auto prepared = core::PrepareDownload(m_db, m_request, m_rng);
    ASSERT_TRUE(prepared);
    const audio::DownloadSignal* signal = &prepared->signal;
    const auto file = m_dir / "stopped.raw";
    AlsaWaveOut out("file:'" + file.string() + "',raw");
    std::atomic<bool> stop{true};
    PositionLog progress;
    const auto played = PlayDownloadSignal(*signal, out, progress, &stop);
    ASSERT_TRUE(played) << played.Error();
    EXPECT_TRUE(played->stopped);
    EXPECT_LT(test::ReadFile(file).size(), signal->pcm.size());
    EXPECT_TRUE(progress.events.empty());
}
