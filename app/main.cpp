#include "app/AppContext.h"
#include "app/ContextPrompt.h"
#include "app/FrmSASel.h"
#include "app/SingleInstance.h"
#include "audio/AlsaMixer.h"
#include "audio/AlsaWaveOut.h"
#include "audio/Mixer.h"
#include "common/IniSettingsStore.h"
#include "common/Product.h"
#include "i18n/Language.h"

#include <QApplication>
#include <QIcon>
#include <QSocketNotifier>
#include <QTimer>

#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
    QApplication::setApplicationName(QString::fromLatin1(tolbe::kProductName));
    // Lets the desktop match the window with its menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.tolbe_remote.Tolbe"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("tolbe")));
    // Dates in the version record follow the user's locale.
    std::setlocale(LC_ALL, "");
    std::setlocale(LC_NUMERIC, "C");

    // Ctrl+C and termination close the window the normal way, so saved mixer levels come back.
    // Caught from the start: a signal that comes before the window exists waits in the pipe.
    const bool signalsCaught = ::pipe(g_signalPipe) == 0;
    if (signalsCaught) {
        struct sigaction sa {};
        sa.sa_handler = OnTerminationSignal;
        sigemptyset(&sa.sa_mask);
        sigaction(SIGINT, &sa, nullptr);
        sigaction(SIGTERM, &sa, nullptr);
    }

    using namespace tolbe;
    // One copy per user: a second start hands over to the running one before it touches anything
    // that copy owns, the saved mixer levels above all.
    app::SingleInstance instance(ProgramPaths::RuntimeFolder());
    switch (instance.Claim()) {
    case app::SingleInstance::Role::HandedOver:
        return 0;
    case app::SingleInstance::Role::Unreached:
        std::fprintf(stderr, "%s is already running for this user but did not answer; it was left as it is.\n",
                     kProductName);
        return 1;
    case app::SingleInstance::Role::Unguarded:
        // Two copies would fight over the mixer levels and the record: none runs unguarded.
        std::fprintf(stderr, "%s cannot make sure that it runs only once for this user, so it does not start: %s.\n",
                     kProductName, instance.Problem().c_str());
        return 1;
    case app::SingleInstance::Role::First:
        break;
    }

    IniSettingsStore settings;
    app::ContextPrompt prompt;
    app::AppContext ctx(settings, prompt, ProgramPaths::ForRunningProgram());
    // Without the user's folder the program still runs on the shipped files; only an update fails.
    if (const Status prepared = ctx.paths.PrepareUserData(); !prepared)
        std::fprintf(stderr, "tolbe: %s\n", prepared.Error().c_str());
    ctx.systemLanguageId = i18n::SystemUiLanguageId();
    ctx.openWaveOut = [](const std::string& device) { return std::make_unique<audio::AlsaWaveOut>(device); };
    ctx.playbackDevices = [] { return audio::ListPlaybackDevices(); };
    // The levels are raised on the card that the chosen output plays through.
    audio::AlsaMixer mixer(audio::MixerCardFor(audio::PcmDeviceFromSettings(settings)));
    ctx.mixer = &mixer;
    // Empty without a home folder: the levels are then not raised, as nothing could bring them back.
    ctx.mixerStateFile = ProgramPaths::MixerLevelsFile();

    app::FrmSASel window(ctx);
    prompt.Bind(&ctx, &window);
    QObject::connect(&instance, &app::SingleInstance::Activated, &window, [&window] {
        window.showNormal();
        window.raise();
        window.activateWindow();
        // A message box that waits for an answer is what the user has to see.
        if (QWidget* box = QApplication::activeModalWidget()) {
            box->raise();
            box->activateWindow();
        }
    });

    if (signalsCaught) {
        auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &window);
        auto* ending = new QTimer(&window);
        QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window, &prompt, ending] {
            char c;
            [[maybe_unused]] auto n = ::read(g_signalPipe[0], &c, 1);
            // An open question is answered No, an open message closed, later ones not shown; a
            // running transfer is cancelled; a download plays to its end. The window then closes
            // the normal way, so the mixer levels come back.
            prompt.RefuseFromNowOn();
            auto end = [&window] {
                if (QWidget* box = QApplication::activeModalWidget(); box != nullptr && box != &window) box->close();
                window.EndOnSignal();
                if (!window.isVisible()) QApplication::quit();
            };
            end();
            // Whatever opens while the running job winds down is closed too.
            QObject::connect(ending, &QTimer::timeout, &window, end);
            ending->start(100);
        });
    }

    window.show();
    window.Form_Load();
    // Closed while a start-up message was open: nothing is left to run.
    if (!window.isVisible()) return 0;
    return QApplication::exec();
}
