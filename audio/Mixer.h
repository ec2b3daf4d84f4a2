#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace tolbe::audio {

// The two mixer lines the program turns up: the line that carries its sound, and the master output.
enum class MixerLine { WaveOut, Speakers };

// The sound card's mixer. One control is current at a time: an Open call opens the mixer and
// selects a line's control, the get and set calls work on it, CloseMixer closes the mixer again.
class Mixer {
public:
    virtual ~Mixer() = default;
    // Opens the mixer and selects the line's volume control; false when there is no mixer, no such
    // line or no volume control on it.
    virtual bool OpenVolumeControl(MixerLine line) = 0;
    // The same for the line's mute control.
    virtual bool OpenMuteControl(MixerLine line) = 0;
    // Closes the mixer if one is open; always true.
    virtual bool CloseMixer() = 0;
    // Reads the current volume control: both are -1 first, `left` gets the first channel, `right` the
    // second only when the line has exactly two channels. True when read.
    virtual bool GetVolume(std::int32_t& left, std::int32_t& right) = 0;
    // Writes the first and (on a line with two or more channels) the second channel.
    virtual bool SetVolume(std::int32_t left, std::int32_t right) = 0;
    virtual bool GetMute(bool& muted) = 0;
    virtual bool SetMute(bool muted) = 0;
    // The current volume control's own maximum.
    virtual std::int32_t VolumeMaximum() const = 0;
    // Works on the mixer of another sound card from the next Open call on (a mixer with one card
    // ignores it).
    virtual void SelectCard(const std::string& /*card*/) {}
};

// Saves the mute state and the volume of the wave output line and of the speakers line into
// `stateFile`, then unmutes both and sets both volumes to their controls' maxima, in this order:
// wave output mute, wave output volume, speakers mute, speakers volume. A step whose line or control
// is missing does nothing. Levels still pending in `stateFile` from a run that ended without
// restoring are put back first, so they are never overwritten by raised ones; those of a line that
// is missing now stay recorded. The file's folder is made private to the user (mode 0700). A step
// whose levels cannot be recorded in the file is not raised. True when all four steps found their
// control.
bool RaiseVolume(Mixer& mixer, const std::filesystem::path& stateFile);

// Writes the levels recorded in `stateFile` back, in the same order. Only steps that were recorded
// are written. The file is removed only when every recorded level was written back; otherwise it
// stays for the next start. A file this program did not write as it stands (damaged, cut short) is
// restored as far as it can be read and then moved aside, never deleted; its new path goes to
// `setAside` (cleared otherwise), for the user to be told once. Without the file it does nothing,
// so it may be called again, for instance after a termination signal and then at exit. True when
// every recorded level was written back.
bool RestoreVolume(Mixer& mixer, const std::filesystem::path& stateFile, std::filesystem::path* setAside = nullptr);

// For start-up: restores levels left raised by a run that died. True when a pending file was found.
bool RestorePendingVolume(Mixer& mixer, const std::filesystem::path& stateFile,
                          std::filesystem::path* setAside = nullptr);

} // namespace tolbe::audio
