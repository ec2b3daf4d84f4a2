#include "audio/WaveOut.h"

#include "audio/Modulator.h"
#include "common/Prompt.h"

namespace tolbe::audio {

bool SendWaveData(std::span<const std::uint8_t> packet, WaveOut& out, Prompt& prompt) {
    const WaveBuffer buffer = BuildWaveBuffer(packet);
    const WaveResult result = out.Play(buffer);
    if (!result.ok) {
        prompt.Show(kWaveErrorTitle, result.error, Prompt::Buttons::Ok, Prompt::Icon::None);
        return false;
    }
    return true;
}

} // namespace tolbe::audio
