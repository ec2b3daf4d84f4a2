// Whole downloads: a twelve-block code set written to a WAV file (encoder included), and downloads of
// 1, 4 and 12 blocks played as one stream on ALSA's "null" device and on the device named by
// $TOLBE_BENCH_PCM_DEVICE when set (the bench script points it at a PulseAudio null sink, which plays
// in real time). Reports the wall time of playing against the stream's own length (wall_per_signal).
#include "audio/AlsaWaveOut.h"
#include "audio/DownloadSequence.h"
#include "audio/Modulator.h"
#include "audio/WavFile.h"
#include "codec/CodeRecord.h"
#include "core/Download.h"
#include "db/CodeDatabase.h"
#include "db/DatabaseFile.h"
#include "tools/devtools/SampleDatabase.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
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

const db::CodeDatabase& OpenDatabase() {
    static const db::CodeDatabase database = [] {
        db::CodeDatabase d;
        d.OpenFile(Database().path);
        return d;
    }();
    return database;
}

core::DownloadRequest Request() {
    core::DownloadRequest req;
    req.slot = Slot::AUX();
    req.SourceID = kSource;
    req.StrKeyDown = Database().order;
    return req;
}

// The encoder's input for `blocks` blocks: code source 7 with the first keys of the order. More keys
// make a longer record; the count that gives each block count is found once.
core::DownloadRequest RequestFor(int blocks) {
    static std::map<int, std::string> orders;
    auto found = orders.find(blocks);
    if (found == orders.end()) {
        std::string order;
        for (int k = 1; k <= 46; ++k) {
            order += (k > 1 ? "," : "") + std::to_string(k);
            core::DownloadRequest req = Request();
            req.StrKeyDown = order;
            codec::SeededFiller rng(1);
            const auto prepared = core::PrepareDownload(OpenDatabase(), req, rng, 0);
            if (prepared && prepared->BlockCount == blocks) break;
            if (k == 46) order.clear();
        }
        found = orders.emplace(blocks, order).first;
    }
    core::DownloadRequest req = Request();
    req.StrKeyDown = found->second;
    return req;
}

void BM_DownloadToWav(benchmark::State& state) {
    const auto file = Database().dir / "download.wav";
    codec::SeededFiller rng(1);
    double total = 0;
    double signal_s = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        const auto prepared = core::PrepareDownload(OpenDatabase(), Request(), rng);
        if (!prepared || prepared->BlockCount != kBlocks) {
            state.SkipWithError("the encoder refused the benchmark code set");
            break;
        }
        const audio::DownloadSignal* signal = &prepared->signal;
        if (!audio::WriteWavFile(file, signal->pcm, audio::kSampleRate, audio::kChannels)) {
            state.SkipWithError("the WAV file could not be written");
            break;
        }
        total += std::chrono::duration<double>(Clock::now() - start).count();
        signal_s = signal->Seconds();
    }
    state.counters["wall_s"] = total / static_cast<double>(state.iterations());
    state.counters["signal_s"] = signal_s;
}

// Plays whole downloads of state.range(0) blocks; the floor is the stream itself, lead-in included:
// n + 2 buffers of 13600 frames, the fixed pauses and the lead-in. Encoding is outside the timing.
void PlayOn(benchmark::State& state, const std::string& device) {
    const int blocks = static_cast<int>(state.range(0));
    const core::DownloadRequest req = RequestFor(blocks);
    if (req.StrKeyDown->empty()) {
        state.SkipWithError("no key order gives that many blocks");
        for (auto _ : state) {
        }
        return;
    }
    // The first stream of an idle sound server waits for the server to wake up (about half a second
    // here); a download's lead-in rides that out, but it is no cost of the download itself.
    // Its failure shows in the timed runs below.
    static_cast<void>(
        audio::AlsaWaveOut(device).Play(std::vector<std::uint8_t>(audio::kSampleRate / 10 * audio::kBytesPerFrame, 0)));
    codec::SeededFiller rng(1);
    double total = 0;
    double signal_s = 0;
    int failures = 0;
    for (auto _ : state) {
        const auto prepared = core::PrepareDownload(OpenDatabase(), req, rng);
        if (!prepared || prepared->BlockCount != blocks) {
            state.SkipWithError("the encoder refused the benchmark code set");
            break;
        }
        const audio::DownloadSignal* signal = &prepared->signal;
        signal_s = signal->Seconds();
        const auto start = Clock::now();
        audio::AlsaWaveOut out(device);
        audio::NoProgress none;
        if (!audio::PlayDownloadSignal(*signal, out, none)) ++failures;
        total += std::chrono::duration<double>(Clock::now() - start).count();
    }
    const double per = total / static_cast<double>(state.iterations());
    state.counters["blocks"] = blocks;
    state.counters["wall_s"] = per;
    state.counters["signal_s"] = signal_s;
    state.counters["wall_per_signal"] = per / signal_s;
    state.counters["failed"] = failures;
}

// Opening, setting up, draining and closing an empty stream: the fixed cost of every download.
void BM_EmptyStreamToDevice(benchmark::State& state) {
    const char* device = std::getenv("TOLBE_BENCH_PCM_DEVICE");
    if (device == nullptr || *device == '\0') {
        state.SkipWithError("set TOLBE_BENCH_PCM_DEVICE (bench/run_download_bench.sh does)");
        for (auto _ : state) {
        }
        return;
    }
    for (auto _ : state)
        if (!audio::AlsaWaveOut(device).Play(std::vector<std::uint8_t>(audio::kBytesPerFrame, 0))) {
            state.SkipWithError("the device refused the stream");
            break;
        }
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
BENCHMARK(BM_DownloadToAlsaNull)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Arg(12);
BENCHMARK(BM_EmptyStreamToDevice)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_DownloadToDevice)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2)->Arg(1)->Arg(4)->Arg(12);

BENCHMARK_MAIN();
