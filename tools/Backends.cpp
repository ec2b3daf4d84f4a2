// The one place that chooses tolbe-cli's platform backends; every other file works on the ports.
#include "tools/Backends.h"

#include "common/UserSettings.h"

#ifdef _WIN32
#include "audio/win/WinmmCapture.h"
#include "audio/win/WinmmWaveOut.h"
#include "common/win/WinText.h"

#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <fcntl.h>
#include <io.h>
#else
#include "audio/AlsaCapture.h"
#include "audio/AlsaWaveOut.h"
#endif

namespace tolbe::cli {

void PrepareConsole() {
#ifdef _WIN32
    // Text mode would turn every line feed into CR LF and break pipes into other tools.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    ::SetConsoleOutputCP(CP_UTF8);
#endif
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
#ifdef _WIN32
    int n = 0;
    if (wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &n); wide != nullptr) {
        std::vector<std::string> args;
        for (int i = 0; i < n; ++i)
            args.push_back(win::Narrow(wide[i]));
        ::LocalFree(wide);
        return args;
    }
#endif
    return {argv, argv + argc};
}

std::unique_ptr<audio::WaveOut> OpenWaveOut(const std::string& device) {
#ifdef _WIN32
    return std::make_unique<audio::WinmmWaveOut>(device.empty() ? audio::WaveDeviceFromSettings(*OpenUserSettings())
                                                                : device);
#else
    return std::make_unique<audio::AlsaWaveOut>(device.empty() ? audio::PcmDeviceFromSettings(*OpenUserSettings())
                                                               : device);
#endif
}

Result<audio::CapturedAudio> RecordFrom(const std::string& device, double seconds, int sample_rate, int channels) {
#ifdef _WIN32
    return audio::CaptureFromWinmm(device, seconds, sample_rate, channels);
#else
    return audio::CaptureFromAlsa(device, seconds, sample_rate, channels);
#endif
}

} // namespace tolbe::cli
