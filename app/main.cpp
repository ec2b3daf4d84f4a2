#include "app/AppContext.h"
#include "app/ContextPrompt.h"
#include "app/FrmSASel.h"
#include "app/QtYield.h"
#include "audio/AlsaMixer.h"
#include "audio/AlsaWaveOut.h"
#include "audio/Mixer.h"
#include "common/IniSettingsStore.h"
#include "i18n/Language.h"

#include <QApplication>
#include <QSocketNotifier>

#include <clocale>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

// Only async-signal-safe work here: the window thread picks the signal up from the pipe.
void OnTerminationSignal(int signo) {
    const char c = static_cast<char>(signo);
    [[maybe_unused]] auto n = ::write(g_signalPipe[1], &c, 1);
}

// Saved mixer levels live in the user's state folder until they are restored.
std::filesystem::path MixerStateFile() {
    std::filesystem::path root;
    if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg != nullptr && *xdg == '/')
        root = xdg;
    else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0')
        root = std::filesystem::path(home) / ".local" / "state";
    else
        root = std::filesystem::temp_directory_path();
    return root / "Tolbe" / "mixer-levels";
}

} // namespace

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tolbe"));
    // Dates in the version record follow the user's locale.
    std::setlocale(LC_ALL, "");
    std::setlocale(LC_NUMERIC, "C");

    using namespace tolbe;
    IniSettingsStore settings;
    app::ContextPrompt prompt;
    app::QtYield yield;
    app::AppContext ctx(settings, prompt, ProgramPaths::ForRunningProgram());
    ctx.systemLanguageId = i18n::SystemUiLanguageId();
    ctx.yield = &yield;
    ctx.openWaveOut = [](const std::string& device) { return std::make_unique<audio::AlsaWaveOut>(device); };
    ctx.playbackDevices = [] { return audio::ListPlaybackDevices(); };
    // The levels are raised on the card that the chosen output plays through.
    audio::AlsaMixer mixer(audio::MixerCardFor(audio::PcmDeviceFromSettings(settings)));
    ctx.mixer = &mixer;
    ctx.mixerStateFile = MixerStateFile();
    // Levels a killed run left raised come back before anything else happens.
    audio::RestorePendingVolume(mixer, ctx.mixerStateFile);

    app::FrmSASel window(ctx);
    prompt.Bind(&ctx, &window);

    // Ctrl+C and termination close the window the normal way, so saved mixer levels come back.
    if (::pipe(g_signalPipe) == 0) {
        auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &window);
        QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
            char c;
            [[maybe_unused]] auto n = ::read(g_signalPipe[0], &c, 1);
            window.close();
            QApplication::quit();
        });
        struct sigaction sa {};
        sa.sa_handler = OnTerminationSignal;
        sigemptyset(&sa.sa_mask);
        sigaction(SIGINT, &sa, nullptr);
        sigaction(SIGTERM, &sa, nullptr);
    }

    window.show();
    window.Form_Load();
    return QApplication::exec();
}
