// The live update's database transfer over loopback: descriptor, an 8 MB database, its checks
// and the swap into the Database folder, against the curl command fetching the same file from
// the same server in the same run.
#include "db/DatabaseFile.h"
#include "db/VersionRecord.h"
#include "tests/update/HttpTestServer.h"
#include "tools/devtools/SampleDatabase.h"
#include "update/UpdateCheck.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

using namespace tolbe;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kPadBytes = 8 * 1024 * 1024;

std::string ReadAll(const fs::path& f) {
    std::ifstream in(f, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void MakeDatabase(const fs::path& file, int version, std::size_t pad) {
    fs::remove(file);
    db::DbConnection::CreateDatabase(file.string(), db::BuildDatabaseKey());
    db::DbConnection conn;
    conn.OpenDatabase(file.string(), db::BuildDatabaseKey(), true);
    conn.ExecuteSql(std::string(db::CodeDatabaseSchema()) + db::VersionTableStatement("d") +
                    ";insert into M_Version values(1, " + std::to_string(version) + ", 'd', null);" +
                    "create table Pad(b blob); insert into Pad values(zeroblob(" + std::to_string(pad) + "));");
}

struct Fixture {
    fs::path dir = fs::temp_directory_path() / ("tolbe-bench-update-" + std::to_string(::getpid()));
    ProgramPaths paths{dir / "program"};
    test::HttpTestServer server;
    std::string user_db;
    std::size_t offered_bytes = 0;

    Fixture() {
        fs::create_directories(paths.DatabaseFolder());
        fs::create_directories(paths.UpdateFolder());
        MakeDatabase(paths.Database(), 3, 0);
        user_db = ReadAll(paths.Database());
        MakeDatabase(dir / "offered.db3", 9, kPadBytes);
        const std::string offered = ReadAll(dir / "offered.db3");
        offered_bytes = offered.size();
        test::ScriptedResponse r = test::ScriptedResponse::Ok(offered);
        r.chunk_bytes = 256 * 1024;
        server.Route("/IR_Database.db3", r);
        server.Route("/Update.txt", test::ScriptedResponse::Ok("[LiveUpdate]\r\nDB_Version=9\r\nDB_WEB=" +
                                                               server.Url("/IR_Database.db3") + "\r\n"));
        std::ofstream(paths.ServerIni()) << "[LiveUpdate]\r\nIP_Address=" << server.Url("/Update.txt") << "\r\n";
    }
    ~Fixture() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

Fixture& Shared() {
    static Fixture f;
    return f;
}

class Yes final : public Prompt {
public:
    Answer Show(const std::string&, const std::string& text, Buttons buttons, Icon) override {
        last = text;
        return buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
    }
    std::string last;
};

class Settings final : public SettingsStore {
    std::string Read(const std::string&, const std::string&, const std::string&,
                     const std::string& fallback) const override {
        return fallback;
    }
    void Write(const std::string&, const std::string&, const std::string&, const std::string&) override {}
};

class View final : public update::UpdateView {
public:
    void SetLog(const std::string&) override {}
    void SetProgress(int) override {}
    void SetWindowVisible(bool) override {}
    void SetUpdateEnabled(bool) override {}
};

class Main final : public update::MainWindowHooks {
public:
    explicit Main(ProgramPaths p) : paths(std::move(p)) {}
    std::int16_t Get_Database_Ver() override {
        return db::Get_Database_Ver(&conn, paths.Database().string(), db::BuildDatabaseKey(), "d");
    }
    bool Reconnect_Database(std::int16_t) override {
        return db::SwapInDeliveredDatabase(paths, db::BuildDatabaseKey()) &&
               conn.OpenDatabase(paths.Database().string(), db::BuildDatabaseKey(), true);
    }
    void RequestQuit() override {}
    ProgramPaths paths;
    db::DbConnection conn;
};

void BM_UpdateFetchAndSwap(benchmark::State& state) {
    Fixture& f = Shared();
    double total = 0;
    for (auto _ : state) {
        std::ofstream(f.paths.Database(), std::ios::binary | std::ios::trunc) << f.user_db;
        Yes prompt;
        Settings settings;
        View view;
        Main main(f.paths);
        update::UpdateCheck check({f.paths, settings, prompt, {}, [](int k) { return std::to_string(k); }}, view, main);
        const auto start = Clock::now();
        check.CheckUpdate();
        total += std::chrono::duration<double>(Clock::now() - start).count();
        if (prompt.last != "183") {
            state.SkipWithError("the update did not complete");
            break;
        }
    }
    state.counters["seconds"] = total / static_cast<double>(state.iterations());
    state.counters["MB"] = static_cast<double>(f.offered_bytes) / 1e6;
}

// The parts of the swap the main window runs on its own thread: the check of the delivered
// file, and the whole swap.
void BM_VerifyDelivered(benchmark::State& state) {
    Fixture& f = Shared();
    for (auto _ : state)
        benchmark::DoNotOptimize(db::TryVerifyDatabaseFile((f.dir / "offered.db3").string(), db::BuildDatabaseKey()));
}

void BM_SwapInDelivered(benchmark::State& state) {
    Fixture& f = Shared();
    for (auto _ : state) {
        state.PauseTiming();
        fs::copy_file(f.dir / "offered.db3", f.paths.UpdateDatabase(), fs::copy_options::overwrite_existing);
        state.ResumeTiming();
        benchmark::DoNotOptimize(db::SwapInDeliveredDatabase(f.paths, db::BuildDatabaseKey()));
    }
}

void BM_CurlCommand(benchmark::State& state) {
    Fixture& f = Shared();
    const std::string cmd =
        "curl -s -o '" + (f.dir / "curl.db3").string() + "' '" + f.server.Url("/IR_Database.db3") + "'";
    double total = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        if (std::system(cmd.c_str()) != 0) {
            state.SkipWithError("curl failed");
            break;
        }
        total += std::chrono::duration<double>(Clock::now() - start).count();
    }
    state.counters["seconds"] = total / static_cast<double>(state.iterations());
}

} // namespace

BENCHMARK(BM_UpdateFetchAndSwap)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_VerifyDelivered)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_SwapInDelivered)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_CurlCommand)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

BENCHMARK_MAIN();
