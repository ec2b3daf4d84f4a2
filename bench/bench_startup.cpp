// Start-up of the main window as a user meets it, on the bundled sample database and on the large
// benchmark database: the time until the window has been painted, until it shows its first search,
// and the longest stretch in which its thread answered nothing (a 5 ms timer's largest gap, or a
// call that held the thread). "first" starts with no list of checked files, "again" with the list
// the first start left. Target: visible within 1.3 x the sample's time, no stall over 100 ms.
#include "app/AppContext.h"
#include "app/FrmSASel.h"
#include "audio/AlsaWaveOut.h"
#include "bench/LargeDatabase.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <vector>

namespace {

using tolbe::bench::Clock;

class Settings : public tolbe::SettingsStore {
    std::string Read(const std::string&, const std::string&, const std::string& key,
                     const std::string& fallback) const override {
        const auto it = m_values.find(key);
        return it == m_values.end() ? fallback : it->second;
    }
    void Write(const std::string&, const std::string&, const std::string& key, const std::string& value) override {
        m_values[key] = value;
    }

    std::map<std::string, std::string> m_values;
};

class Silent : public tolbe::Prompt {
public:
    Answer Show(const std::string&, const std::string&, Buttons, Icon) override { return Answer::Ok; }
};

struct Times {
    double visible_ms = 0, ready_ms = 0, stall_ms = 0;
};

// One start of the window on `file`, in a program folder of its own.
Times StartOnce(const std::string& file) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "tolbe-bench-startup";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "Database");
    std::filesystem::create_directories(dir / "Update");
    Settings settings;
    settings.SaveSetting("", "", tolbe::settings_key::kLanguage, "1000");
    settings.SaveSetting("", "", tolbe::settings_key::kDatabasePath, file);
    Silent prompt;
    tolbe::app::AppContext ctx(settings, prompt, tolbe::ProgramPaths(dir));
    ctx.playbackDevices = [] { return std::vector<tolbe::audio::PlaybackDevice>{}; };

    Times t;
    QElapsedTimer gap;
    QTimer beat;
    beat.setInterval(5);
    QObject::connect(&beat, &QTimer::timeout, [&] {
        t.stall_ms = std::max(t.stall_ms, static_cast<double>(gap.nsecsElapsed()) / 1e6);
        gap.restart();
    });
    const auto start = Clock::now();
    const auto since = [&] { return std::chrono::duration<double, std::milli>(Clock::now() - start).count(); };
    {
        tolbe::app::FrmSASel window(ctx);
        window.resize(900, 600);
        window.show();
        gap.start();
        beat.start();
        window.Form_Load();
        window.UpdateTimer().stop();
        // A load that held the thread is a stall too, whatever the timer saw.
        t.stall_ms = std::max(t.stall_ms, static_cast<double>(gap.nsecsElapsed()) / 1e6);
        // Painted: the first full pass of the event loop after load.
        QApplication::processEvents();
        t.visible_ms = since();
        while (window.CodeRecordset() == nullptr || window.CodeRecordset()->RecordCount() == 0) {
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
            if (since() > 120000) break;
        }
        t.ready_ms = since();
        beat.stop();
    }
    std::filesystem::remove_all(dir);
    return t;
}

const std::string& SampleDatabase() {
    static const std::string path =
        (std::filesystem::path(TOLBE_PROGRAM_DIR) / "Database" / "IR_Database.db3").string();
    return path;
}

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void Run(benchmark::State& state, const std::string& file, bool again) {
    if (!std::filesystem::exists(file)) {
        state.SkipWithError(("no database at " + file).c_str());
        return;
    }
    // The list of checked files lives in a state folder of the benchmark's own.
    const std::filesystem::path stateDir = std::filesystem::temp_directory_path() / "tolbe-bench-state";
    ::setenv("XDG_STATE_HOME", stateDir.c_str(), 1);
    std::vector<double> visible, ready, stall;
    for (auto _ : state) {
        std::filesystem::remove_all(stateDir);
        if (again) StartOnce(file); // leaves the list of checked files, where the program keeps one
        const Times t = StartOnce(file);
        state.SetIterationTime(t.visible_ms / 1000.0);
        visible.push_back(t.visible_ms);
        ready.push_back(t.ready_ms);
        stall.push_back(t.stall_ms);
    }
    state.counters["visible_ms"] = Median(visible);
    state.counters["ready_ms"] = Median(ready);
    state.counters["max_stall_ms"] = *std::max_element(stall.begin(), stall.end());
    state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(file)) / 1e6;
}

void BM_StartSample(benchmark::State& state) {
    Run(state, SampleDatabase(), false);
}
void BM_StartLargeFirst(benchmark::State& state) {
    Run(state, tolbe::bench::LargeDatabase(), false);
}
void BM_StartLargeAgain(benchmark::State& state) {
    Run(state, tolbe::bench::LargeDatabase(), true);
}

} // namespace

BENCHMARK(BM_StartSample)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_StartLargeFirst)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_StartLargeAgain)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
