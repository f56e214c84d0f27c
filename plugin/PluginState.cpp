#include "plugin/PluginState.h"

#include "renderer/Units.h"
#include "trackerui/HeadPanel.h"

#include <algorithm>

PluginState::PluginState (SettingsListener* settingsListenerToUse, HeadPanel::HeadListener* headListener,
                          Midi::MidiPorts& ports)
    : scanner (ports),
      connection (&scanner),
      headPanel (std::make_unique<HeadPanel::HeadPanel> (&scanner, &connection)),
      settingsListener (settingsListenerToUse)
{
    soloMutes.reset();
    scanner.normalPrefixes.add ("Head Tracker");
    scanner.bootloaderPrefixes.add ("Vontaleer Bootloader");
    scanner.startScanning();

    // Last, so no orientation reaches the processor before the state is complete.
    headPanel->setListener (headListener);
}

PluginState::~PluginState() = default;

void PluginState::updateGains() noexcept
{
    const auto volume = (size_t) std::min<int> (volumeTrim, maxTrim);
    const auto reverb = (size_t) std::min<int> (reverbTrim, maxTrim);
    volumeGain = Zeph::decibelsToGain (VolumeTrimDb[volume]);
    directGain = Zeph::decibelsToGain (ReverbRatioDb[maxTrim - reverb]);
    roomGain = Zeph::decibelsToGain (ReverbRatioDb[reverb]);
    roomGain *= Zeph::loudspeakerPreset (loudspeakers).roomGainFactor;
}
