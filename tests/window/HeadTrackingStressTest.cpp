// Every thread of head tracking at once: two trackers streaming at 1 kHz on
// the MIDI input thread, the message thread plugging and unplugging them,
// pressing the head buttons, opening and closing the settings dialog and
// painting the panel, the audio thread rendering; then the processor goes
// while the trackers go on streaming. Meant for ThreadSanitizer.

#include "plugin/PluginProcessor.h"
#include "tests/trackerui/UiTesting.h"
#include "tests/tracker/TrackerRig.h"
#include "trackerui/HeadPanel.h"

#include <gtest/gtest.h>

#include <thread>

using namespace UiTesting;
using Sim::SimulatedTracker;

namespace
{
// Counts the orientations the connection hands on, from the MIDI input thread.
struct OrientationCounter : Midi::TrackerConnection::OrientationListener
{
    void trackerOrientation (const juce::String&, float*) override { ++count; }
    std::atomic<int> count { 0 };
};

// Plugs a tracker in and lets it stream at 1 kHz, or unplugs it.
void flip (SimulatedTracker& tracker, int format)
{
    if (tracker.isPluggedIn())
    {
        tracker.unplug();
        return;
    }
    tracker.plugIn();
    tracker.startStreaming (format, std::chrono::milliseconds (1));
}
} // namespace

TEST (HeadTrackingStress, EverythingAtOnceThenTheProcessorGoes)
{
    if (juce::Desktop::getInstance().getDisplays().getPrimaryDisplay() == nullptr)
        GTEST_SKIP() << "no X display";

    Sim::SimulatedPorts ports;
    SimulatedTracker a (ports, "Head Tracker", "a");
    Sim::TrackerIdentity secondIdentity;
    secondIdentity.serial = "0043";
    SimulatedTracker b (ports, "Head Tracker", "b", secondIdentity);
    a.setOrientation (0.4f, 0.1f, 0.0f);
    b.setOrientation (-1.0f, 0.0f, 0.2f);

    auto processor = std::make_unique<BinauralAudioProcessor> (ports);
    juce::AudioProcessor::BusesLayout layout;
    layout.inputBuses.add (juce::AudioChannelSet::discreteChannels (8));
    layout.outputBuses.add (juce::AudioChannelSet::stereo());
    ASSERT_TRUE (processor->setBusesLayout (layout));
    processor->prepareToPlay (48000.0, 256);
    auto& panel = *processor->pluginState.headPanel;
    auto& room = processor->render.room;
    OrientationCounter counter;
    processor->pluginState.connection.addOrientationListener (&counter);

    flip (a, 1);
    flip (b, 2);

    std::atomic<bool> stopAudio { false };
    std::atomic<int> nonFinite { 0 };
    std::atomic<int> blocks { 0 };
    std::thread audio ([&] {
        juce::AudioBuffer<float> buffer (8, 256);
        juce::MidiBuffer midi;
        juce::Random noise (7);
        while (! stopAudio)
        {
            for (int c = 0; c < 8; ++c)
                for (int i = 0; i < 256; ++i)
                    buffer.setSample (c, i, noise.nextFloat() * 0.2f - 0.1f);
            processor->processBlock (buffer, midi);
            for (int c = 0; c < 2; ++c)
                for (int i = 0; i < 256; ++i)
                    if (! std::isfinite (buffer.getSample (c, i)))
                        ++nonFinite;
            ++blocks;
        }
    });

    juce::Random random (1234);
    // Four seconds, and on until the counts checked below are reached, for the
    // other threads may be slow to run on a busy machine.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds (4);
    const auto giveUp = end + std::chrono::minutes (2);
    int paints = 0, dialogs = 0, presses = 0, replugs = 0, strangeWeights = 0;
    auto enough = [&] {
        return blocks.load() > 100 && paints + dialogs + presses + replugs > 100 && counter.count.load() > 200;
    };
    while (std::chrono::steady_clock::now() < end || (! enough() && std::chrono::steady_clock::now() < giveUp))
    {
        // The reverb follows the head with the first row of a rotation.
        for (float weight : { room.reverbGainLeft.load(), room.reverbGainRight.load() })
            if (! std::isfinite (weight) || std::abs (weight) > 1.001f)
                ++strangeWeights;

        switch (random.nextInt (8))
        {
            case 0: flip (a, 1); ++replugs; break;
            case 1: flip (b, 2); ++replugs; break;
            case 2: panel.headButtonClick (HeadPanel::HeadPanel::connectButtonId); ++presses; break;
            case 3: panel.headButtonClick (HeadPanel::HeadPanel::settingsButtonId); ++dialogs; break;
            case 4:
                if (auto* dialog = panel.getSettingsDialog())
                    pressEscape (*dialog);
                break;
            case 5: processor->pluginState.scanner.timerCallback(); break;
            case 6: panel.mouseDoubleClick (mouseEventFor (panel, 2)); break;
            default:
            {
                juce::Image image (juce::Image::ARGB, 180, 100, true);
                juce::Graphics g (image);
                panel.paintEntireComponent (g, true);
                ++paints;
                break;
            }
        }
        pump (1 + random.nextInt (4));
    }

    // Trackers on and streaming, the settings dialog open: the host stops the
    // audio and destroys the processor while MIDI keeps arriving.
    if (! a.isPluggedIn())
        flip (a, 1);
    if (! b.isPluggedIn())
        flip (b, 2);
    ASSERT_TRUE (pumpUntil ([&] { return panel.knownTrackers.size() == 2; }));
    if (panel.getSettingsDialog() == nullptr)
        panel.headButtonClick (HeadPanel::HeadPanel::settingsButtonId);
    pump (20);
    stopAudio = true;
    audio.join();
    processor->pluginState.connection.removeOrientationListener (&counter);
    EXPECT_GT (counter.count.load(), 200);

    // Nothing may reach the processor or its panels from here on (the
    // sanitizers watch); the trackers keep sending.
    processor.reset();
    const int sent = a.numOrientationsSent() + b.numOrientationsSent();
    ASSERT_TRUE (Sim::waitUntil ([&] { return a.numOrientationsSent() + b.numOrientationsSent() > sent + 100; }));
    ASSERT_TRUE (ports.waitUntilDelivered());
    pump (50);

    EXPECT_EQ (strangeWeights, 0);
    EXPECT_EQ (nonFinite.load(), 0);
    EXPECT_GT (blocks.load(), 100);
    EXPECT_GT (paints + dialogs + presses + replugs, 100);
    EXPECT_EQ (ports.numOpenInputs(), 0);
}
