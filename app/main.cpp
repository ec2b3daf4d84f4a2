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
#include <QIcon>
#include <QSocketNotifier>

#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
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

constexpr const char* kVersionText =
    QT_STRINGIFY(TOLBE_VERSION_MAJOR) "." QT_STRINGIFY(TOLBE_VERSION_MINOR) "." QT_STRINGIFY(TOLBE_VERSION_PATCH);

// --help and --version answer without a display, so the manual page can be made from them.
bool AnsweredWithoutWindow(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("tolbe %s\n", kVersionText);
            return true;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("Usage: tolbe [Qt options]\n"
                        "Program a four-slot universal infrared remote control over an audio cable: pick a slot,\n"
                        "find the code set of your device in the code database and download it to the remote.\n"
                        "\n"
                        "Options:\n"
                        "  -h, --help     show this help and exit\n"
                        "  --version      show the version and exit\n"
                        "\n"
                        "Qt's own options (for example -platform offscreen) are accepted too.\n");
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (AnsweredWithoutWindow(argc, argv)) return 0;
    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tolbe"));
    // Lets the desktop match the window with its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.tolbe_remote.Tolbe"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("tolbe")));
    // Dates in the version record follow the user's locale.
    std::setlocale(LC_ALL, "");
    std::setlocale(LC_NUMERIC, "C");

    using namespace tolbe;
    IniSettingsStore settings;
    app::ContextPrompt prompt;
    app::QtYield yield;
    app::AppContext ctx(settings, prompt, ProgramPaths::ForRunningProgram());
    // Without the user's folder the program still runs on the shipped files; only an update fails.
    if (std::string why; !ctx.paths.PrepareUserData(&why)) std::fprintf(stderr, "tolbe: %s\n", why.c_str());
    ctx.systemLanguageId = i18n::SystemUiLanguageId();
    ctx.yield = &yield;
    audio::AlsaWaveOut waveOut(settings.GetSetting(kSettingsApp, kSettingsSection, settings_key::kAudioDevice, ""));
    ctx.waveOut = &waveOut;
    audio::AlsaMixer mixer;
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
