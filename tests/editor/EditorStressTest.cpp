// The editor opened and closed again and again while the audio thread renders,
// a simulated head tracker streams into the processor, and the editor changes
// layout, room, trims, solo and mute. Run under ThreadSanitizer and
// AddressSanitizer as well.
#include "EditorRig.h"

#include "../common/AudioThread.h"

#include "../plugin/TestSignals.h"
#include "../tracker/SimulatedTracker.h"
#include "tracker/TrackerConnection.h"

#include <thread>

using namespace EditorTesting;
using EditorControls::ButtonGroup;

namespace
{
constexpr int numInputs = 12;
constexpr int blockSize = 256;

// A head tracker on simulated ports, found and switched on by a scanner of
// its own; every orientation goes to the processor on the MIDI input thread.
class TrackerFeed : public Midi::MidiScanner::Listener,
                    public Midi::TrackerConnection::OrientationListener
{
public:
    explicit TrackerFeed (BinauralAudioProcessor& p) : processor (p)
    {
        scanner.normalPrefixes.add ("Head Tracker");
        scanner.addListener (this);
        connection.addOrientationListener (this);
        tracker.setStreamInterval (std::chrono::microseconds (1000));
        tracker.plugIn();
        for (int scan = 0; scan < 2; ++scan) // identify, then announce
        {
            ports.holdDelivery (true);
            scanner.timerCallback();
            ports.holdDelivery (false);
            EXPECT_TRUE (tracker.waitUntilQuiet());
            EXPECT_TRUE (ports.waitUntilDelivered());
        }
    }

    ~TrackerFeed() override
    {
        tracker.unplug();
        connection.removeOrientationListener (this);
        scanner.removeListener (this);
    }

    void scannerDeviceAdded (const juce::String& name) override
    {
        connection.turnOn (name, Tracker::Rate::rate1, Tracker::AngleMode::quaternion);
    }

    void scannerDeviceRemoved (const juce::String&) override {}

    void trackerOrientation (const juce::String&, float* matrix) override
    {
        head.write (matrix);
        processor.trackerChanged (head);
        ++orientations;
    }

    Sim::SimulatedPorts ports;
    Sim::SimulatedTracker tracker { ports, "Head Tracker", "t" };
    Midi::MidiScanner scanner { ports };
    Midi::TrackerConnection connection { &scanner };
    std::atomic<int> orientations { 0 };

private:
    BinauralAudioProcessor& processor;
    HeadMatrix head;
};

// One round of what a user does in an open editor.
void useEditor (BinauralAudioEditor& editor, PluginState& state, juce::Random& random)
{
    switch (random.nextInt (6))
    {
        case 0:
            editor.getLayoutBox().setSelectedId (1 + random.nextInt (16), juce::sendNotificationSync);
            break;
        case 1:
            clickButton (*editor.findButton ({ ButtonGroup::room, random.nextInt (3) }));
            clickButton (*editor.findButton ({ ButtonGroup::loudspeakers, random.nextInt (2) }));
            break;
        case 2:
        {
            auto& fader = random.nextBool() ? editor.getTrimFader() : editor.getReverbFader();
            fader.mouseDown (mouseAt (fader, (float) random.nextInt (320), 6.0f));
            fader.mouseDrag (mouseAt (fader, (float) random.nextInt (320), 6.0f));
            fader.mouseUp (mouseAt (fader, 0, 0));
            break;
        }
        case 3:
        {
            auto& radar = editor.getRadar();
            const int flags[] = { 0, juce::ModifierKeys::shiftModifier, juce::ModifierKeys::ctrlModifier,
                                  juce::ModifierKeys::altModifier };
            HeldKeys held (flags[random.nextInt (4)]);
            if (auto* profile = state.currentProfile(); profile != nullptr && radar.getNumChannels() > 0)
            {
                hoverChannel (radar, *profile, random.nextInt (radar.getNumChannels()));
            }
            clickRadar (radar);
            break;
        }
        case 4:
            clickButton (*editor.findButton ({ ButtonGroup::spatialiser, 0 }));
            break;
        default:
            paintedImage (editor);
            break;
    }
}
} // namespace

TEST (EditorStress, OpenAndCloseWhileRenderingAndTracking)
{
    auto processor = makeProcessor (numInputs, blockSize);
    auto& state = processor->pluginState;
    AudioThread audio (*processor, numInputs, blockSize, [] (juce::AudioBuffer<float>& buffer, int64_t time) {
        for (int c = 0; c < numInputs; ++c)
            for (int i = 0; i < blockSize; ++i)
                buffer.setSample (c, i, TestSignals::noise (c, time + i));
    });
    TrackerFeed feed (*processor);
    ASSERT_TRUE (Sim::waitUntil ([&] { return feed.orientations.load() > 0; }));

    juce::Random random (20240611);
    int openings = 0;
    for (; openings < 100; ++openings)
    {
        juce::Component::SafePointer<juce::Component> editor (processor->createEditorIfNeeded());
        ASSERT_NE (editor, nullptr);
        auto& binaural = dynamic_cast<BinauralAudioEditor&> (*editor);
        ASSERT_EQ (state.headPanel.getParentComponent(), editor.getComponent());
        if (openings % 4 == 0)
        {
            ASSERT_TRUE (waitForRadar (binaural));
        }

        for (int round = random.nextInt (4); round > 0; --round)
            useEditor (binaural, state, random);
        juce::MessageManager::getInstance()->runDispatchLoopUntil (random.nextInt (30));

        delete editor.getComponent();
        EXPECT_EQ (editor, nullptr);
        EXPECT_EQ (processor->getActiveEditor(), nullptr);
        EXPECT_EQ (state.headPanel.getParentComponent(), nullptr);
    }
    ASSERT_TRUE (flushMessages());

    const int blocks = audio.blocks.load();
    ASSERT_TRUE (Sim::waitUntil ([&] { return audio.blocks.load() > blocks + 4; }));
    EXPECT_EQ (audio.nonFiniteBlocks.load(), 0);
    EXPECT_GT (feed.orientations.load(), 0);
    RecordProperty ("openings", openings);
    RecordProperty ("blocks", audio.blocks.load());
    RecordProperty ("orientations", feed.orientations.load());

    // The head panel outlives every editor, unchanged, and still paints.
    auto& panel = state.headPanel;
    EXPECT_EQ (panel.getBounds(), juce::Rectangle<int> (40, 40, 180, 100));
    EXPECT_EQ (panel.scanner, &state.scanner);
    EXPECT_EQ (panel.connection, &state.connection);
    paintedImage (panel);
    auto editor = openEditor (*processor);
    EXPECT_EQ (panel.getParentComponent(), editor.get());
    EXPECT_TRUE (waitForRadar (*editor));
}
