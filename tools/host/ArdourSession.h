#pragma once

#include <juce_audio_basics/juce_audio_basics.h>
#include <juce_core/juce_core.h>

#include <vector>

namespace VbHost
{
// One audio track of an Ardour session: its channel count, the plug-in's state
// text for it, and the audio its region plays (one channel per track channel).
struct ArdourTrack
{
    juce::String name;
    juce::String stateText;
    juce::AudioBuffer<float> audio;
};

// A headless Ardour 7 session (Debian's `ardour`: `ardour7-lua` with the "None
// (Dummy)" backend, `ardour7-export`) with the bundle on every track, in a
// private directory that also holds Ardour's configuration and plug-in cache,
// so that runs never meet. Each phase is a process of its own, ended after a
// timeout. The session runs at 48 kHz.
class ArdourSession
{
public:
    static constexpr double sampleRate = 48000.0;

    // workDirectory is emptied and owned by the session from here on.
    ArdourSession (const juce::File& workDirectory, const juce::File& bundle);

    // False when Ardour's programs are not installed.
    static bool isInstalled();

    // Copies the bundle, scans it with Ardour's VST3 scanner, then has Ardour make a
    // session with one track per entry (as wide as its audio, strict I/O, panner
    // bypassed, the bundle as first plug-in) and fills in each track's region and
    // the plug-in's state. All tracks' audio must be equally long.
    bool create (const std::vector<ArdourTrack>& tracks, juce::String& error);

    // Exports the session range of the master bus as 32-bit float into a WAV file.
    bool exportTo (const juce::File& wav, juce::String& error);

    // Loads the session in Ardour and saves it again, as a user who opens and saves it.
    bool reloadAndSave (juce::String& error);

    // What Ardour keeps of the bundle on the named track: the number of instances it
    // runs, the input channels it feeds them, and the plug-in's own state bytes.
    struct PluginInsert
    {
        int instances = 0;
        int inputs = 0;
        juce::MemoryBlock pluginState;
    };
    bool readInsert (const juce::String& trackName, PluginInsert& result, juce::String& error) const;

    juce::File sessionFile() const;

    // The variables every Ardour program of the session runs with, as NAME=value.
    juce::StringArray environment() const;

private:
    bool scanBundle (juce::String& error);
    bool run (const juce::String& phase, const juce::StringArray& command, juce::String& error) const;
    bool runLua (const juce::String& phase, const juce::String& script, const juce::StringArray& args,
                 juce::String& error) const;
    bool fillSession (const std::vector<ArdourTrack>& tracks, juce::String& error);

    const juce::String sessionName { "vb" }; // also the session folder's name, as Ardour requires
    juce::File work, bundleSource, home, vst3Folder, sessionFolder;
};
} // namespace VbHost
