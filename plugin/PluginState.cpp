#include "plugin/PluginState.h"

#include <algorithm>
#include <cmath>

PluginState::PluginState (SettingsListener* settingsListenerToUse, HeadPanel::HeadPanel::Listener* headListener)
    : scanner(),
      connection (&scanner),
      headPanel (&scanner, &connection),
      settingsListener (settingsListenerToUse)
{
    soloMutes.reset();
    scanner.normalPrefixes.add ("Head Tracker");
    scanner.bootloaderPrefixes.add ("Vontaleer Bootloader");
    scanner.startTimer (400);

    // Last, so no orientation reaches the processor before the state is complete.
    headPanel.listener = headListener;
}

void PluginState::updateGains() noexcept
{
    auto gain = [] (float dB) { return std::pow (10.0f, dB / 20.0f); };

    const auto volume = (size_t) std::min<int> (volumeTrim, maxTrim);
    const auto reverb = (size_t) std::min<int> (reverbTrim, maxTrim);
    volumeGain = gain (VolumeTrimDb[volume]);
    directGain = gain (ReverbRatioDb[maxTrim - reverb]);
    roomGain = gain (ReverbRatioDb[reverb]);
    if (loudspeakers == 1)
        roomGain *= nearfieldRoomFactor;
}
