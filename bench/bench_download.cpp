// One whole download of a twelve-block code set, encoder included: written to a WAV file, played
// on ALSA's "null" device, and played on the device named by $TOLBE_BENCH_PCM_DEVICE when set (the
// bench script points it at a PulseAudio null sink, which plays in real time). Reports wall time
// against the floor set by the signal itself: every packet plays 308.4 ms and the pauses are fixed.
#include "audio/AlsaWaveOut.h"
#include "audio/DownloadSequence.h"
#include "audio/Modulator.h"
#include "audio/WavFile.h"
#include "codec/CodeRecord.h"
#include "common/Prompt.h"
#include "db/DatabaseFile.h"
#include "db/SampleDatabase.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

using namespace tolbe;
using Clock = std::chrono::steady_clock;

constexpr int kBlocks = 12;
constexpr std::int32_t kSource = 7;

// Code source 7: 46 keys of 9 code bytes each on one protocol, explicit key order 1..46, which
// encodes to 749 bytes: twelve blocks.
struct BenchDatabase {
    std::filesystem::path dir;
    std::string path;
    std::string order;

    BenchDatabase() {
        dir = std::filesystem::temp_directory_path() / ("tolbe-bench-download-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir);
        path = (dir / "codes.db3").string();
        std::filesystem::remove(path);
        db::DbConnection::CreateDatabase(path, db::BuildDatabaseKey());
        db::DbConnection conn;
        conn.OpenDatabase(path, db::BuildDatabaseKey(), true);
        std::string sql(db::CodeDatabaseSchema());
        sql += "INSERT INTO M_Protocol VALUES(1,'P1','A0A1A2');\n";
        for (int k = 1; k <= 46; ++k) {
            sql += "INSERT INTO M_CodeLink VALUES(" + std::to_string(k) + "," + std::to_string(kSource) + "," +
                   std::to_string(k) + ",'P1','','F','0102030405060708" + (k < 10 ? "0" : "") + std::to_string(k) +
                   "');\n";
            order += std::to_string(k) + (k < 46 ? "," : "");
        }
        conn.ExecuteSql(sql);
    }
    ~BenchDatabase() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

BenchDatabase& Database() {
    static BenchDatabase db;
    return db;
}

audio::DownloadRequest Request() {
    audio::DownloadRequest req;
    req.eDevice = 3;
    req.SourceID = kSource;
    req.StrKeyDown = Database().order;
    req.DBPath = Database().path;
    req.DBKey = db::BuildDatabaseKey();
    req.deviceName = "AUX";
    return req;
}

// 0.71 s + n x 0.39 s + 0.41 s, exactly: n + 2 buffers of 13600 frames and the fixed pauses.
double FloorSeconds(int blocks) {
    const double packet = static_cast<double>(audio::kWaveBufferBytes / audio::kBytesPerFrame) / audio::kSampleRate;
    return (blocks + 2) * packet +
           (audio::kHeaderPause_ms + blocks * audio::kBlockPause_ms + audio::kEndPause_ms) / 1000.0;
}

class ErrorCounter final : public Prompt {
public:
    Answer Show(const std::string&, const std::string&, Buttons, Icon) override {
        ++shown;
        return Answer::Ok;
    }
    int shown = 0;
};

void Report(benchmark::State& state, double total_s, int failures) {
    const double per = total_s / static_cast<double>(state.iterations());
    const double floor = FloorSeconds(kBlocks);
    state.counters["wall_s"] = per;
    state.counters["floor_s"] = floor;
    state.counters["over_floor_pct"] = (per / floor - 1.0) * 100.0;
    state.counters["failed_packets"] = failures;
}

void BM_DownloadToWav(benchmark::State& state) {
    const auto file = Database().dir / "download.wav";
    codec::SeededFiller rng(1);
    double total = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        audio::PcmCaptureSink capture;
        audio::NoProgress none;
        std::vector<std::uint8_t> code;
        if (!audio::CmdDownCodeAPI(Request(), rng, code, capture, none) || code.size() != kBlocks * 64u) {
            state.SkipWithError("the encoder refused the benchmark code set");
            break;
        }
        audio::WriteWavFile(file, capture.Pcm(), audio::kSampleRate, audio::kChannels);
        total += std::chrono::duration<double>(Clock::now() - start).count();
    }
    state.counters["wall_s"] = total / static_cast<double>(state.iterations());
    state.counters["signal_s"] = FloorSeconds(kBlocks);
}

void PlayOn(benchmark::State& state, const std::string& device) {
    codec::SeededFiller rng(1);
    // The first stream of an idle sound server waits for the server to wake up; that is not the
    // download's cost.
    audio::AlsaWaveOut(device).Play(std::vector<std::uint8_t>(audio::kWaveBufferBytes, 0));
    double total = 0;
    int failures = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        audio::AlsaWaveOut out(device);
        ErrorCounter errors;
        NoYield yield;
        audio::PlaybackSink sink(out, errors, yield);
        audio::NoProgress none;
        std::vector<std::uint8_t> code;
        if (!audio::CmdDownCodeAPI(Request(), rng, code, sink, none)) {
            state.SkipWithError("the encoder refused the benchmark code set");
            break;
        }
        total += std::chrono::duration<double>(Clock::now() - start).count();
        failures += sink.Failures();
    }
    Report(state, total, failures);
}

void BM_DownloadToAlsaNull(benchmark::State& state) {
    PlayOn(state, "null");
}

void BM_DownloadToDevice(benchmark::State& state) {
    const char* device = std::getenv("TOLBE_BENCH_PCM_DEVICE");
    if (device == nullptr || *device == '\0') {
        state.SkipWithError("set TOLBE_BENCH_PCM_DEVICE (bench/run_download_bench.sh does) to play in real time");
        for (auto _ : state) {
        }
        return;
    }
    state.SetLabel(device);
    PlayOn(state, device);
}

} // namespace

BENCHMARK(BM_DownloadToWav)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DownloadToAlsaNull)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_DownloadToDevice)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

BENCHMARK_MAIN();
