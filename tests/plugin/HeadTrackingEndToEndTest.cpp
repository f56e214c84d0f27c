// A simulated tracker on simulated MIDI ports, through the scanner, the tracker
// connection and the head panel, into the real processor: the rendered
// interaural delay of the centre loudspeaker follows the head.

#include "tests/trackerui/HeadPanelRig.h"
#include "plugin/PluginProcessor.h"
#include "tests/common/RayArrival.h"
#include "tests/tracker/TrackerRig.h"

#include <gtest/gtest.h>

#include <functional>

using namespace HeadPanelRig;
using namespace UiTesting;
using Sim::SimulatedTracker;
using Bytes = std::vector<juce::uint8>;

namespace
{
constexpr double sampleRate = 44100.0;
constexpr int blockSize = 512;
constexpr int numInputs = 8; // "ITU-R 5.1 / Dolby 5.1.2"
constexpr int centre = 2;
constexpr float loudspeakerDistance = 2.7f; // "Mixing studio"
const float halfPi = juce::MathConstants<float>::halfPi;

// The processor, with every matrix it is handed recorded once it has taken it,
// so that a test seeing a matrix recorded sees the room turned by it too.
class RecordingProcessor : public BinauralAudioProcessor
{
public:
    explicit RecordingProcessor (Midi::MidiPorts& ports) : BinauralAudioProcessor (ports) {}
    ~RecordingProcessor() override { pluginState.headPanel->setListener (nullptr); }

    void trackerChanged (const HeadMatrix& matrix) override
    {
        BinauralAudioProcessor::trackerChanged (matrix);
        recorder.record (matrix);
    }

    MatrixRecorder recorder;
};

// Eight discrete inputs, a stereo output, at the test's rate.
void prepare (BinauralAudioProcessor& processor)
{
    juce::AudioProcessor::BusesLayout layout;
    layout.inputBuses.add (juce::AudioChannelSet::discreteChannels (numInputs));
    layout.outputBuses.add (juce::AudioChannelSet::stereo());
    EXPECT_TRUE (processor.setBusesLayout (layout));
    processor.prepareToPlay (sampleRate, blockSize);
}

class HeadTrackingEndToEnd : public ::testing::Test
{
protected:
    HeadTrackingEndToEnd() : processor (std::make_unique<RecordingProcessor> (ports)) { prepare (*processor); }

    HeadPanel::HeadPanel& panel() { return *processor->pluginState.headPanel; }
    Midi::MidiScanner& scanner() { return processor->pluginState.scanner; }
    MatrixRecorder& recorder() { return processor->recorder; }

    // Scans by hand instead of every 400 ms.
    void scanByHand() { scanner().stopTimer(); }
    void scan (std::initializer_list<SimulatedTracker*> trackers = {}) { TrackerRig::scan (ports, scanner(), trackers); }
    void bringUp (SimulatedTracker& tracker) { TrackerRig::bringUp (ports, scanner(), tracker); }

    // Plugged in, current and streaming a turn of the head by this yaw, which
    // has reached the processor.
    void bringUpTurnedTo (SimulatedTracker& tracker, float yaw)
    {
        tracker.setOrientation (yaw, 0.0f, 0.0f);
        bringUp (tracker);
        ASSERT_TRUE (headTurnsTo (yaw));
    }

    // Waits until the processor has been handed a matrix whose second element
    // (-sin yaw for a pure yaw) is near the value.
    bool headTurnsTo (float yaw)
    {
        return Sim::waitUntil ([&] {
            const auto all = recorder().all();
            return ! all.empty() && std::abs (all.back()[1] + std::sin (yaw)) < 2.0e-3f;
        });
    }

    // Renders silence long enough for the head-tracked delays to settle, then an
    // impulse on the centre loudspeaker; returns the sample of each ear's onset.
    std::array<int, 2> impulseOnsets()
    {
        juce::MidiBuffer midi;
        juce::AudioBuffer<float> block (numInputs, blockSize);
        for (int i = 0; i < 40; ++i)
        {
            block.clear();
            processor->processBlock (block, midi);
        }

        constexpr int impulseAt = 1000;
        juce::AudioBuffer<float> output (2, 8 * blockSize);
        for (int start = 0; start < output.getNumSamples(); start += blockSize)
        {
            block.clear();
            if (impulseAt >= start && impulseAt < start + blockSize)
                block.setSample (centre, impulseAt - start, 1.0f);
            processor->processBlock (block, midi);
            for (int ear = 0; ear < 2; ++ear)
                output.copyFrom (ear, start, block, ear, 0, blockSize);
        }

        std::array<int, 2> onsets {};
        for (int ear = 0; ear < 2; ++ear)
        {
            const double expected = impulseAt + RayArrival::expectedArrival (90.0f, 0.0f, loudspeakerDistance, ear, sampleRate);
            onsets[(size_t) ear] = RayArrival::onset (output, ear, 0, (int) expected + 40) - impulseAt;
        }
        return onsets;
    }

    // The centre loudspeaker arrives as the ray model has it for a loudspeaker
    // at this azimuth and a head looking ahead.
    void expectCentreHeardAt (float azimuth)
    {
        const auto onsets = impulseOnsets();
        double expected[2];
        for (int ear = 0; ear < 2; ++ear)
        {
            expected[ear] = RayArrival::expectedArrival (azimuth, 0.0f, loudspeakerDistance, ear, sampleRate);
            EXPECT_NEAR (onsets[(size_t) ear], expected[ear], 2.0) << (ear == 0 ? "left" : "right") << " ear";
        }
        EXPECT_NEAR (onsets[0] - onsets[1], expected[0] - expected[1], 1.5) << "interaural delay";
    }

    Sim::SimulatedPorts ports;
    std::unique_ptr<RecordingProcessor> processor;
};
} // namespace

TEST_F (HeadTrackingEndToEnd, TrackerTurnsTheSceneUntilItIsUnplugged)
{
    ASSERT_EQ (processor->pluginState.bypassed.load(), 0);
    expectCentreHeardAt (0.0f);

    // Plugged in: asked for its information, for its settings, then switched on,
    // by the scanner's own timer.
    SimulatedTracker tracker (ports, "Head Tracker", "t");
    tracker.setOrientation (halfPi, 0.0f, 0.0f);
    tracker.plugIn();
    ASSERT_TRUE (pumpUntil ([&] { return tracker.numSwitchOns() == 1; }));
    EXPECT_EQ (TrackerRig::receivedSince (tracker, 0),
               (std::vector<Bytes> { { 0xf0, 0x7e, 0x01, 0x07, 0x03, 0x00, 'T', 'E', 'X', 'T', 'I', 'N', 'F', 'O', 0xf7 },
                                     { 0xf0, 0x00, 0x3c, 0x19, 0x02, 0x03, 0x04, 0x11, 0xf7 },
                                     { 0xf0, 0x00, 0x3c, 0x19, 0x00, 0x00, 0x08, 0x01, 0x05, 0x03, 0x40, 0xf7 } }));
    EXPECT_EQ (panel().currentTrackerName, "0042");

    // A yaw of +90 degrees (the head turned to the left): the centre loudspeaker
    // is heard from the right.
    ASSERT_TRUE (headTurnsTo (halfPi));
    expectCentreHeardAt (90.0f);

    tracker.unplug();
    ASSERT_TRUE (pumpUntil ([&] { return panel().currentTrackerName.isEmpty(); }));
    ASSERT_TRUE (ports.waitUntilDelivered());
    const auto all = recorder().all();
    ASSERT_GE (all.size(), 2u);
    EXPECT_EQ (all.back(), identity);
    EXPECT_EQ (std::count (all.begin(), all.end(), identity), 1);
    expectCentreHeardAt (0.0f);
    EXPECT_EQ (recorder().count(), all.size());
}

TEST_F (HeadTrackingEndToEnd, SecondTrackerWaitsUntilTheFirstIsGone)
{
    scanByHand();
    SimulatedTracker first (ports, "Head Tracker", "a");
    Sim::TrackerIdentity secondIdentity;
    secondIdentity.serial = "0043";
    SimulatedTracker second (ports, "Head Tracker", "b", secondIdentity);
    first.setOrientation (halfPi, 0.0f, 0.0f);
    second.setOrientation (-halfPi, 0.0f, 0.0f);

    bringUp (first);
    bringUp (second);
    EXPECT_EQ (second.numReadRequests(), 1);
    EXPECT_EQ (second.numSwitchOns(), 0);
    ASSERT_TRUE (headTurnsTo (halfPi));
    expectCentreHeardAt (90.0f);

    // The first goes: the second is switched on and drives the head, with no
    // identity matrix in between.
    first.unplug();
    scan();
    EXPECT_EQ (panel().currentTrackerName, "0043");
    EXPECT_EQ (panel().knownTrackers, juce::StringArray ("0043"));
    EXPECT_TRUE (second.waitUntilQuiet());
    EXPECT_EQ (second.numSwitchOns(), 1);
    EXPECT_TRUE (panel().connectButton.isVisible());
    ASSERT_TRUE (pumpUntil ([&] { return juce::String (panel().settingsPanel.currentProperties().name) == "0043"; }));
    ASSERT_TRUE (headTurnsTo (-halfPi));
    expectCentreHeardAt (-90.0f);
    const auto all = recorder().all();
    EXPECT_EQ (std::count (all.begin(), all.end(), identity), 0);
}

TEST_F (HeadTrackingEndToEnd, ConnectButtonClosesAndReopensThePorts)
{
    scanByHand();
    SimulatedTracker tracker (ports, "Head Tracker", "t");
    ASSERT_NO_FATAL_FAILURE (bringUpTurnedTo (tracker, halfPi));
    ASSERT_EQ (ports.numOpenInputs(), 1);

    auto& connectButton = panel().connectButton;
    connectButton.mouseDown (mouseEventFor (connectButton));
    EXPECT_EQ (ports.numOpenInputs(), 0);
    EXPECT_EQ (ports.numOpenOutputs(), 0);
    EXPECT_TRUE (connectButton.useAltImage);
    EXPECT_EQ (recorder().all().back(), identity);
    EXPECT_TRUE (pumpUntil ([&] { return ! panel().settingsPanel.toggles[0]->isEnabled(); }));

    // Silence while the tracker goes on streaming; scans keep the ports closed.
    const auto calls = recorder().count();
    const int sent = tracker.numOrientationsSent();
    ASSERT_TRUE (Sim::waitUntil ([&] { return tracker.numOrientationsSent() > sent + 3; }));
    scan();
    EXPECT_EQ (ports.numOpenInputs(), 0);
    EXPECT_EQ (recorder().count(), calls);
    expectCentreHeardAt (0.0f);

    connectButton.mouseDown (mouseEventFor (connectButton));
    EXPECT_EQ (ports.numOpenInputs(), 1);
    EXPECT_EQ (ports.numOpenOutputs(), 1);
    EXPECT_FALSE (connectButton.useAltImage);
    ASSERT_TRUE (headTurnsTo (halfPi));
    expectCentreHeardAt (90.0f);
    EXPECT_EQ (tracker.numSwitchOns(), 1);
    EXPECT_TRUE (pumpUntil ([&] { return panel().settingsPanel.toggles[0]->isEnabled(); }));
}

TEST_F (HeadTrackingEndToEnd, DisconnectedHeadStaysAheadThroughEveryRebuild)
{
    scanByHand();
    SimulatedTracker tracker (ports, "Head Tracker", "t");
    ASSERT_NO_FATAL_FAILURE (bringUpTurnedTo (tracker, halfPi));
    auto& room = processor->render.room;
    EXPECT_NEAR (room.reverbGainLeft.load(), -1.0f, 1.0e-3f);
    EXPECT_NEAR (room.reverbGainRight.load(), 1.0f, 1.0e-3f);

    // Every way the room gets built again.
    auto& state = processor->pluginState;
    const struct
    {
        const char* what;
        std::function<void()> rebuild;
    } rebuilds[] {
        { "layout change", [&] { state.channelProfile = 0; processor->layoutSettingsChanged();
                                 state.channelProfile = 1; processor->layoutSettingsChanged(); } },
        { "state load", [&] { juce::MemoryBlock saved;
                              processor->getStateInformation (saved);
                              processor->setStateInformation (saved.getData(), (int) saved.getSize()); } },
        { "sample rate change", [&] { processor->prepareToPlay (48000.0, blockSize);
                                      processor->prepareToPlay (sampleRate, blockSize); } },
    };
    const auto expectStraightAheadAfterRebuilds = [&] (const char* when) {
        for (const auto& r : rebuilds)
        {
            r.rebuild();
            EXPECT_EQ (room.reverbGainLeft.load(), 0.0f) << when << ", " << r.what;
            EXPECT_EQ (room.reverbGainRight.load(), 0.0f) << when << ", " << r.what;
        }
        expectCentreHeardAt (0.0f);
    };

    auto& connectButton = panel().connectButton;
    connectButton.mouseDown (mouseEventFor (connectButton));
    ASSERT_EQ (ports.numOpenInputs(), 0);
    expectStraightAheadAfterRebuilds ("disconnected");

    // Reconnected, the tracker's next orientation turns the head again, and
    // rebuilds keep it turned.
    connectButton.mouseDown (mouseEventFor (connectButton));
    ASSERT_TRUE (headTurnsTo (halfPi));
    tracker.stopStreaming();
    ASSERT_TRUE (tracker.waitUntilQuiet());
    ASSERT_TRUE (ports.waitUntilDelivered());
    for (const auto& r : rebuilds)
    {
        r.rebuild();
        EXPECT_NEAR (room.reverbGainLeft.load(), -1.0f, 1.0e-3f) << r.what;
    }
    expectCentreHeardAt (90.0f);

    tracker.unplug();
    scan();
    ASSERT_TRUE (panel().currentTrackerName.isEmpty());
    expectStraightAheadAfterRebuilds ("no tracker");
}

namespace
{
// A processor with two trackers, the first current at a yaw of 0.5 and quiet,
// the second waiting.
struct TwoTrackers
{
    TwoTrackers() : processor (std::make_unique<BinauralAudioProcessor> (ports))
    {
        prepare (*processor);
        scanner().stopTimer();

        first.setOrientation (0.5f, 0.0f, 0.0f);
        TrackerRig::bringUp (ports, scanner(), first);
        TrackerRig::bringUp (ports, scanner(), second);
        EXPECT_TRUE (Sim::waitUntil ([&] { return first.numOrientationsSent() > 0; }));
        first.stopStreaming();
        EXPECT_TRUE (first.waitUntilQuiet());
        EXPECT_TRUE (ports.waitUntilDelivered());
        EXPECT_EQ (second.numSwitchOns(), 0);
    }

    Midi::MidiScanner& scanner() { return processor->pluginState.scanner; }

    // The output level of noise on every input, in dB, once the rings are full.
    float noiseLevelDb()
    {
        juce::Random random (3);
        juce::MidiBuffer midi;
        juce::AudioBuffer<float> block (numInputs, blockSize);
        double sum = 0.0;
        for (int i = 0; i < 40; ++i)
        {
            for (int c = 0; c < numInputs; ++c)
                for (int s = 0; s < blockSize; ++s)
                    block.setSample (c, s, random.nextFloat() * 0.2f - 0.1f);
            processor->processBlock (block, midi);
            if (i >= 30)
                for (int ear = 0; ear < 2; ++ear)
                    for (int s = 0; s < blockSize; ++s)
                        sum += (double) block.getSample (ear, s) * block.getSample (ear, s);
        }
        return (float) (10.0 * std::log10 (sum / (20.0 * blockSize)));
    }

    Sim::SimulatedPorts ports;
    std::unique_ptr<BinauralAudioProcessor> processor;
    SimulatedTracker first { ports, "Head Tracker", "a" };
    SimulatedTracker second { ports, "Head Tracker", "b", [] { Sim::TrackerIdentity i; i.serial = "0043"; return i; }() };
};
} // namespace

TEST (HeadTrackingSwitch, WaitingTrackerTakesOverWithItsLastRotationInEveryFormat)
{
    using TrackerRig::orientationMessage;
    // A yaw of 0.5 in each format, scaled, or followed by what is no rotation.
    const float c = std::cos (0.5f), s = std::sin (0.5f);
    const float qw = std::cos (0.25f), qz = std::sin (0.25f);
    const struct
    {
        const char* what;
        std::vector<juce::MidiMessage> sent; // by the waiting tracker, in order
    } cases[] {
        { "yaw, pitch and roll", { orientationMessage (0, { 0.5f, 0, 0 }) } },
        { "unnormalised quaternion", { orientationMessage (1, { 2 * qw, 0, 0, 2 * qz }) } },
        { "quaternion, then a zero one", { orientationMessage (1, { qw, 0, 0, qz }), orientationMessage (1, { 0, 0, 0, 0 }) } },
        { "scaled matrix", { orientationMessage (2, { 2 * c, -2 * s, 0, 2 * s, 2 * c, 0, 0, 0, 2 }) } },
        { "matrix, then one of equal values",
          { orientationMessage (2, { c, -s, 0, s, c, 0, 0, 0, 1 }),
            orientationMessage (2, { 3.999f, 3.999f, 3.999f, 3.999f, 3.999f, 3.999f, 3.999f, 3.999f, 3.999f }) } },
    };
    float expectedLeft, expectedRight;
    const float firstRow[3] { c, -s, 0 };
    RoomBuilder::reverbWeights (firstRow, expectedLeft, expectedRight);

    for (const auto& test : cases)
    {
        SCOPED_TRACE (test.what);
        TwoTrackers rig;
        auto& room = rig.processor->render.room;
        EXPECT_NEAR (room.reverbGainLeft.load(), expectedLeft, 2.0e-3f);
        const float before = rig.noiseLevelDb();

        for (const auto& message : test.sent)
            rig.second.send (message);
        ASSERT_TRUE (rig.ports.waitUntilDelivered());

        // The first goes and the second is current; its stream is held back
        // until a layout change has built the room from its record.
        rig.first.unplug();
        rig.ports.holdDelivery (true);
        rig.scanner().timerCallback();
        ASSERT_EQ (rig.processor->pluginState.headPanel->currentTrackerName, "0043");
        auto& state = rig.processor->pluginState;
        state.channelProfile = 0;
        rig.processor->layoutSettingsChanged();
        state.channelProfile = 1;
        rig.processor->layoutSettingsChanged();

        EXPECT_NEAR (room.reverbGainLeft.load(), expectedLeft, 2.0e-3f);
        EXPECT_NEAR (room.reverbGainRight.load(), expectedRight, 2.0e-3f);
        EXPECT_NEAR (rig.noiseLevelDb(), before, 1.0f);
        rig.ports.holdDelivery (false);
    }
}
