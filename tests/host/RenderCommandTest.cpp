// The "vbhost render" command, run as a separate program on the built bundle.

#include "tests/common/SpeakerClicks.h"
#include "tests/host/HostFixture.h"
#include "tools/host/RenderJob.h"
#include "tools/host/RenderSignal.h"
#include "tools/host/RenderWav.h"

#include <cmath>

using HostTesting::allFinite;

namespace
{
constexpr int exitFailure = 1;
constexpr int exitUsage = 2;

// The build tree keeps tools/vbhost next to tests/test_host.
juce::File vbhostPath()
{
    return juce::File::getSpecialLocation (juce::File::currentExecutableFile)
        .getParentDirectory()
        .getSiblingFile ("tools")
        .getChildFile ("vbhost");
}

struct Run
{
    int exitCode = -1;
    juce::String output; // stdout and stderr
};

Run runVbhost (const juce::StringArray& args)
{
    juce::StringArray command;
    command.add (vbhostPath().getFullPathName());
    command.addArray (args);

    juce::ChildProcess process;
    if (! process.start (command, juce::ChildProcess::wantStdOut | juce::ChildProcess::wantStdErr))
        return { -1, "cannot start " + command[0] };
    Run run;
    run.output = process.readAllProcessOutput();
    process.waitForProcessToFinish (60000);
    run.exitCode = (int) process.getExitCode();
    return run;
}

double energy (const juce::AudioBuffer<float>& buffer, int channel, int from, int to)
{
    double sum = 0.0;
    for (int i = std::max (0, from); i < std::min (to, buffer.getNumSamples()); ++i)
        sum += (double) buffer.getSample (channel, i) * buffer.getSample (channel, i);
    return sum;
}

void writeWav (const juce::File& file, const juce::AudioBuffer<float>& samples, double rate)
{
    VbHost::Wav::Writer writer;
    juce::String error;
    ASSERT_TRUE (writer.open (file, rate, samples.getNumChannels(), 32, error)) << error;
    ASSERT_TRUE (writer.write (samples.getArrayOfReadPointers(), samples.getNumSamples()));
    ASSERT_TRUE (writer.close());
}
} // namespace

class RenderCommand : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (HostTesting::bundlePath() == juce::File())
            GTEST_SKIP() << "this build makes no VST3 bundle";
        if (! vbhostPath().existsAsFile())
            GTEST_SKIP() << "build the vbhost target first: no " << vbhostPath().getFullPathName();
        dir = juce::File::getSpecialLocation (juce::File::tempDirectory).getChildFile ("vb-render-" + juce::Uuid().toString());
        ASSERT_TRUE (dir.createDirectory());
    }

    void TearDown() override { dir.deleteRecursively(); }

    juce::String bundle() const { return HostTesting::bundlePath().getFullPathName(); }
    juce::String path (const juce::String& name) const { return dir.getChildFile (name).getFullPathName(); }

    juce::AudioBuffer<float> readOutput (const juce::String& name, VbHost::Wav::Format& format)
    {
        juce::AudioBuffer<float> samples;
        juce::String error;
        EXPECT_TRUE (VbHost::Wav::readFile (dir.getChildFile (name), samples, format, error)) << error;
        return samples;
    }

    juce::File dir;
};

TEST_F (RenderCommand, BuiltInBurstsVisitEveryLoudspeakerInTurn)
{
    const auto run = runVbhost ({ "render", bundle(), "--layout", "1", "--out", path ("bursts.wav") });
    ASSERT_EQ (run.exitCode, 0) << run.output;
    EXPECT_TRUE (run.output.contains ("\"ITU-R 5.1 / Dolby 5.1.2\"")) << run.output;
    EXPECT_TRUE (run.output.contains ("spatialiser on")) << run.output;

    VbHost::Wav::Format format;
    const auto out = readOutput ("bursts.wav", format);
    const VbHost::BurstSequence sequence { 8, 48000.0 };
    ASSERT_EQ (out.getNumChannels(), 2);
    EXPECT_EQ (format.sampleRate, 48000.0);
    EXPECT_TRUE (format.isFloat);
    ASSERT_EQ (out.getNumSamples(), sequence.totalLength() + 48000); // one second of tail
    ASSERT_TRUE (allFinite (out));

    // Each burst sounds in its own slot and has died away before the next one.
    const int heard = sequence.burstLength() + 2400;
    const int quietFrom = sequence.burstLength() + 7200;
    for (int k = 0; k < 8; ++k)
    {
        const int start = sequence.burstStart (k);
        const double left = energy (out, 0, start, start + heard);
        const double right = energy (out, 1, start, start + heard);
        const double after = energy (out, 0, start + quietFrom, start + sequence.slotLength())
                             + energy (out, 1, start + quietFrom, start + sequence.slotLength());
        EXPECT_GT (left + right, 10.0) << "burst " << k;
        EXPECT_LT (after, 1.0e-3 * (left + right)) << "burst " << k;

        // "L" and "Ls" lean left, "R" and "Rs" right.
        if (k == 0 || k == 4)
        {
            EXPECT_GT (left, 2.0 * right) << "burst " << k;
        }
        if (k == 1 || k == 5)
        {
            EXPECT_GT (right, 2.0 * left) << "burst " << k;
        }
    }
    const int tail = sequence.totalLength();
    EXPECT_LT (energy (out, 0, tail, tail + 48000) + energy (out, 1, tail, tail + 48000), 1.0e-6);
}

TEST_F (RenderCommand, RateBlockAndBitDepthFromTheFlags)
{
    const auto run = runVbhost ({ "render", bundle(), "--layout", "0", "--rate", "44100", "--block", "100",
                                  "--bits", "24", "--out", path ("mono.wav") });
    ASSERT_EQ (run.exitCode, 0) << run.output;
    EXPECT_TRUE (run.output.contains ("\"Mono\"")) << run.output;

    VbHost::Wav::Format format;
    const auto out = readOutput ("mono.wav", format);
    EXPECT_EQ (format.sampleRate, 44100.0);
    EXPECT_EQ (format.bitsPerSample, 24);
    const VbHost::BurstSequence sequence { 1, 44100.0 };
    EXPECT_EQ (out.getNumSamples(), sequence.totalLength() + 44100);
    EXPECT_GT (energy (out, 0, 0, out.getNumSamples()), 10.0);
}

TEST_F (RenderCommand, StateFileCanTurnTheSpatialiserOff)
{
    // "Mono" downmixes at 0 dB on both sides: the output is the input, then the tail's silence.
    const auto stateFile = dir.getChildFile ("off.txt");
    stateFile.replaceWithText ("Bypassed=True\nChannelProfile=0\nVolumeTrim=26\n");
    const auto run = runVbhost ({ "render", bundle(), "--state", stateFile.getFullPathName(), "--out", path ("off.wav") });
    ASSERT_EQ (run.exitCode, 0) << run.output;
    EXPECT_TRUE (run.output.contains ("spatialiser off")) << run.output;

    VbHost::Wav::Format format;
    const auto out = readOutput ("off.wav", format);
    const auto input = VbHost::BurstSequence { 1, 48000.0 }.make();
    ASSERT_EQ (out.getNumSamples(), input.getNumSamples() + 48000);
    for (int ear = 0; ear < 2; ++ear)
        for (int i = 0; i < out.getNumSamples(); ++i)
            ASSERT_EQ (out.getSample (ear, i), i < input.getNumSamples() ? input.getSample (0, i) : 0.0f)
                << "ear " << ear << " sample " << i;
}

TEST_F (RenderCommand, InputFileRendersAsTheHostedPluginDoes)
{
    // Three channels of noise into the four-loudspeaker "Square" in the small room.
    juce::AudioBuffer<float> input (3, 9000);
    juce::Random random (7);
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < input.getNumSamples(); ++i)
            input.setSample (c, i, 0.4f * (2.0f * random.nextFloat() - 1.0f));
    writeWav (dir.getChildFile ("in.wav"), input, 48000.0);

    const auto run = runVbhost ({ "render", bundle(), "--in", path ("in.wav"), "--out", path ("out.wav"), "--layout", "2",
                                  "--room", "0", "--volume-trim", "20", "--reverb-trim", "9", "--block", "256" });
    ASSERT_EQ (run.exitCode, 0) << run.output;
    EXPECT_TRUE (run.output.contains ("3 channels")) << run.output;

    VbHost::Wav::Format format;
    const auto out = readOutput ("out.wav", format);
    ASSERT_EQ (out.getNumSamples(), 9000 + 48000);

    // The same through the library in this process, fed the input and then the tail's silence.
    juce::String error;
    auto plugin = HostTesting::loadFresh (error);
    ASSERT_NE (plugin, nullptr) << error;
    ASSERT_TRUE (plugin->prepare (48000.0, 256, 3, 2, error)) << error;
    VbHost::RenderSettings settings;
    settings.layout = 2;
    settings.room = 0;
    settings.volumeTrim = 20;
    settings.reverbTrim = 9;
    plugin->setPluginState (HostTesting::bytesOf (VbHost::stateTextFor (settings)));
    juce::AudioBuffer<float> padded (3, out.getNumSamples());
    padded.clear();
    for (int c = 0; c < 3; ++c)
        padded.copyFrom (c, 0, input, c, 0, input.getNumSamples());
    const auto expected = plugin->process (padded, 256, VbHost::ChannelOrder::host);

    EXPECT_EQ (VbHost::maxDifference (out, expected), 0.0f);
    EXPECT_GT (energy (out, 0, 0, 9000), 1.0);
}

TEST_F (RenderCommand, FileChannelKIsLoudspeakerK)
{
    // A 7.1.4 file in VST3's channel order (rears before sides), rendered with the
    // layout of that order, equals the processor fed the file's channels in place.
    const auto clicks = SpeakerClicks::make (12, 4800);
    writeWav (dir.getChildFile ("clicks.wav"), clicks, 48000.0);
    const auto run = runVbhost ({ "render", bundle(), "--in", path ("clicks.wav"), "--out", path ("out.wav"),
                                  "--layout", "15", "--block", "512" });
    ASSERT_EQ (run.exitCode, 0) << run.output;

    VbHost::Wav::Format format;
    const auto out = readOutput ("out.wav", format);
    juce::AudioBuffer<float> padded (12, out.getNumSamples());
    padded.clear();
    for (int c = 0; c < 12; ++c)
        padded.copyFrom (c, 0, clicks, c, 0, clicks.getNumSamples());
    VbHost::RenderSettings settings;
    settings.layout = 15;
    const auto expected = SpeakerClicks::renderInProcess (VbHost::stateTextFor (settings), padded, 48000.0, 512);

    EXPECT_EQ (VbHost::maxDifference (out, expected), 0.0f);
}

TEST_F (RenderCommand, LoadAndInputFailuresExitWithOne)
{
    auto expectFailure = [this] (const juce::StringArray& args, const juce::String& message) {
        const auto run = runVbhost (args);
        EXPECT_EQ (run.exitCode, exitFailure) << run.output;
        EXPECT_TRUE (run.output.contains (message)) << "expected \"" << message << "\" in: " << run.output;
        EXPECT_FALSE (dir.getChildFile ("out.wav").exists()) << run.output;
    };

    expectFailure ({ "render", path ("none.vst3"), "--out", path ("out.wav") }, "no such bundle");
    expectFailure ({ "render", bundle(), "--in", path ("missing.wav"), "--out", path ("out.wav") }, "no such input file");

    dir.getChildFile ("text.wav").replaceWithText ("not audio");
    expectFailure ({ "render", bundle(), "--in", path ("text.wav"), "--out", path ("out.wav") }, "not a WAV file");

    juce::AudioBuffer<float> wide (34, 16);
    wide.clear();
    writeWav (dir.getChildFile ("wide.wav"), wide, 48000.0);
    expectFailure ({ "render", bundle(), "--in", path ("wide.wav"), "--out", path ("out.wav") }, "at most 33");

    expectFailure ({ "render", bundle(), "--state", path ("missing.txt"), "--out", path ("out.wav") }, "cannot read state file");
    expectFailure ({ "render", bundle(), "--out", path ("no/such/dir/out.wav") }, "cannot write");
}

TEST_F (RenderCommand, BadArgumentsExitWithTwo)
{
    const juce::StringArray bad[] {
        { "render", bundle() },
        { "render", bundle(), "--out", path ("out.wav"), "--state", path ("s.txt"), "--layout", "2" },
        { "render", bundle(), "--out", path ("out.wav"), "--layout", "16" },
        { "render", bundle(), "--out", path ("out.wav"), "--room", "3" },
        { "render", bundle(), "--out", path ("out.wav"), "--volume-trim", "33" },
        { "render", bundle(), "--out", path ("out.wav"), "--bits", "16" },
        { "render", bundle(), "--out", path ("out.wav"), "--block", "0" },
        { "render", bundle(), "--out", path ("out.wav"), "--in", path ("in.wav"), "--rate", "44100" },
        { "render", bundle(), "--out", path ("out.wav"), "--speed", "2" },
        { "render", "--out", path ("out.wav") },
    };
    for (const auto& args : bad)
    {
        const auto run = runVbhost (args);
        EXPECT_EQ (run.exitCode, exitUsage) << args.joinIntoString (" ") << "\n" << run.output;
    }
    EXPECT_FALSE (dir.getChildFile ("out.wav").exists());
}
