// How long each step of the live update takes to end once Cancel (or closing, or SIGTERM) asks it
// to: a trickling transfer, the hash of a large file, the database check and the swap's copy.
// Each iteration starts the step on a worker, asks it to stop 30 ms in and times the rest.
#include "common/AtomicFile.h"
#include "db/DatabaseFile.h"
#include "db/Schema.h"
#include "tests/update/HttpTestServer.h"
#include "update/Download.h"
#include "update/UpdateFolder.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stop_token>
#include <thread>
#include <unistd.h>

namespace {

using namespace tolbe;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kBigBytes = 256ull * 1024 * 1024;

struct Scratch {
    fs::path dir = fs::temp_directory_path() / ("tolbe-bench-cancel-" + std::to_string(::getpid()));
    Scratch() { fs::create_directories(dir); }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

Scratch& Files() {
    static Scratch s;
    return s;
}

// A 256 MiB file of non-zero bytes (a sparse one would hash from no disk at all).
const fs::path& BigFile() {
    static const fs::path file = [] {
        const fs::path f = Files().dir / "big.bin";
        std::ofstream out(f, std::ios::binary);
        std::string block(1024 * 1024, '\x5a');
        for (std::size_t i = 0; i < kBigBytes / block.size(); ++i)
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
        return f;
    }();
    return file;
}

// A keyed code database padded to 128 MiB in rows of 1 KiB (as code sets are many small rows),
// so its integrity check runs for a while.
const fs::path& BigDatabase() {
    static const fs::path file = [] {
        const fs::path f = Files().dir / "big.db3";
        db::DbConnection::CreateDatabase(f.string(), db::BuildDatabaseKey());
        db::DbConnection conn;
        conn.OpenDatabase(f.string(), db::BuildDatabaseKey(), true);
        conn.ExecuteSql(std::string(db::CodeDatabaseSchema()) +
                        "create table Pad(b blob);"
                        "with recursive n(i) as (select 1 union all select i + 1 from n where i < 131072)"
                        " insert into Pad select randomblob(1024) from n;");
        return f;
    }();
    return file;
}

// Runs `step` with a stop requested 30 ms in; the time from the request to the step's end.
void TimeStop(benchmark::State& state, const std::function<void(std::stop_token)>& step) {
    double longest_ms = 0;
    for (auto _ : state) {
        std::stop_source stop;
        Clock::time_point ended;
        std::thread worker([&] {
            step(stop.get_token());
            ended = Clock::now();
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        const auto asked = Clock::now();
        stop.request_stop();
        worker.join();
        const double ms = std::chrono::duration<double, std::milli>(ended - asked).count();
        longest_ms = std::max(longest_ms, ms);
        state.SetIterationTime(ms / 1000.0);
    }
    state.counters["longest_ms"] = longest_ms;
}

void BM_StopTransfer(benchmark::State& state) {
    test::HttpTestServer server;
    test::ScriptedResponse trickle = test::ScriptedResponse::Ok(std::string(1024 * 1024, 'x'));
    trickle.chunk_bytes = 16;
    trickle.chunk_delay = std::chrono::milliseconds(50);
    server.Route("/trickle", trickle);
    const std::string target = (Files().dir / "trickle.part").string();
    TimeStop(state, [&](std::stop_token stop) {
        update::Download tg;
        tg.StopOn(stop);
        tg.URL(server.Url("/trickle"));
        tg.SaveFile(target);
        tg.Execute();
        tg.StartDownLoad();
    });
}

void BM_StopHash(benchmark::State& state) {
    BigFile();
    TimeStop(state, [](std::stop_token stop) { benchmark::DoNotOptimize(update::FileSha256(BigFile(), stop)); });
}

void BM_StopDatabaseCheck(benchmark::State& state) {
    BigDatabase();
    TimeStop(state, [](std::stop_token stop) {
        std::atomic<bool> flag{false};
        std::stop_callback cb(stop, [&] { flag = true; });
        benchmark::DoNotOptimize(
            db::TryVerifyDatabaseFile(BigDatabase().string(), db::BuildDatabaseKey(), db::CheckOptions{{}, &flag}));
    });
}

void BM_StopSwapCopy(benchmark::State& state) {
    BigFile();
    const fs::path to = Files().dir / "copy.bin";
    TimeStop(state, [&](std::stop_token stop) {
        std::atomic<bool> flag{false};
        std::stop_callback cb(stop, [&] { flag = true; });
        try {
            CopyFileAtomically(BigFile(), to, &flag);
        } catch (const fs::filesystem_error&) {
            // The stop ends the copy this way; the target is untouched.
        }
    });
}

} // namespace

BENCHMARK(BM_StopTransfer)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StopHash)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StopDatabaseCheck)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StopSwapCopy)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
