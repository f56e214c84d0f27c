// Whole-plug-in speed: the real-time factor of processBlock (audio time over
// the CPU time spent inside it) with the spatialiser on, the room "Mixing
// studio" and the head turning, at 48 kHz.
//
//   bench_plugin               full run
//   bench_plugin --quick       short run (CI)
//   bench_plugin --scenario N  only scenario N (for profiling)

#include "plugin/PluginProcessor.h"

#include <juce_events/juce_events.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

namespace
{
constexpr double sampleRate = 48000.0;
constexpr double headInterval = 0.010; // seconds between orientations
constexpr auto room = Zeph::ListeningRoom::mixingStudio;

struct Scenario
{
    int layoutId;
    int numInputs;
    int blockSize;
};

constexpr Scenario scenarios[] = {
    { 11, 12, 512 },
    { 11, 12, 64 },
    { 11, 12, 2048 },
    { 1, 8, 512 },
};

double threadCpuSeconds()
{
    timespec t {};
    clock_gettime (CLOCK_THREAD_CPUTIME_ID, &t);
    return (double) t.tv_sec + 1e-9 * (double) t.tv_nsec;
}

// The head sweeping left and right and nodding a little, as a row-major matrix.
void headAt (double seconds, float* m)
{
    const float yaw = 1.0f * (float) std::sin (2.0 * 3.141592653589793 * 0.25 * seconds);
    const float pitch = 0.3f * (float) std::sin (2.0 * 3.141592653589793 * 0.1 * seconds);
    const float cy = std::cos (yaw), sy = std::sin (yaw), cp = std::cos (pitch), sp = std::sin (pitch);
    const float r[9] = { cy, -sy * cp, sy * sp, sy, cy * cp, -cy * sp, 0.0f, sp, cp };
    std::memcpy (m, r, sizeof (r));
}

struct Measurement
{
    double audioSeconds = 0.0;
    double processSeconds = 0.0; // CPU time inside processBlock
    double headSeconds = 0.0;    // CPU time inside trackerChanged
    int headCalls = 0;
    int blocks = 0;

    double realTimeFactor() const { return audioSeconds / processSeconds; }
};

class Bench
{
public:
    explicit Bench (const Scenario& s) : scenario (s)
    {
        juce::AudioProcessor::BusesLayout layout;
        layout.inputBuses.add (juce::AudioChannelSet::discreteChannels (s.numInputs));
        layout.outputBuses.add (juce::AudioChannelSet::stereo());
        processor.setBusesLayout (layout);
        processor.prepareToPlay (sampleRate, s.blockSize);
        processor.pluginState.channelProfile = (uint8_t) s.layoutId;
        processor.pluginState.room = room;
        processor.layoutSettingsChanged();

        // One second of input per channel, each channel noise plus a tone of its own.
        const int length = (int) sampleRate;
        input.setSize (s.numInputs, length);
        juce::Random random (1);
        for (int c = 0; c < s.numInputs; ++c)
            for (int i = 0; i < length; ++i)
                input.setSample (c, i, 0.05f * (random.nextFloat() - 0.5f)
                                           + 0.2f * std::sin (0.02f * (float) (c + 1) * (float) i));
        block.setSize (s.numInputs, s.blockSize);
    }

    const char* layoutName() const
    {
        const auto* profile = processor.pluginState.channelProfiles.findById (scenario.layoutId);
        return profile != nullptr ? profile->name.toRawUTF8() : "?";
    }

    Measurement run (double seconds)
    {
        Measurement m;
        juce::MidiBuffer midi;
        const int length = input.getNumSamples();
        const int64_t total = (int64_t) (seconds * sampleRate);
        for (int64_t done = 0; done < total; done += scenario.blockSize)
        {
            const double now = (double) time / sampleRate;
            if (now >= nextHead)
            {
                float r[9];
                headAt (now, r);
                head.write (r);
                const double h0 = threadCpuSeconds();
                processor.trackerChanged (head);
                m.headSeconds += threadCpuSeconds() - h0;
                ++m.headCalls;
                nextHead += headInterval;
            }

            for (int c = 0; c < scenario.numInputs; ++c)
                for (int i = 0, pos = (int) (time % length); i < scenario.blockSize; ++i, pos = (pos + 1) % length)
                    block.setSample (c, i, input.getSample (c, pos));

            const double t0 = threadCpuSeconds();
            processor.processBlock (block, midi);
            m.processSeconds += threadCpuSeconds() - t0;

            sink += block.getSample (0, scenario.blockSize - 1);
            time += scenario.blockSize;
            ++m.blocks;
        }
        m.audioSeconds = (double) m.blocks * scenario.blockSize / sampleRate;
        return m;
    }

    float sink = 0.0f;

private:
    Scenario scenario;
    BinauralAudioProcessor processor;
    HeadMatrix head;
    juce::AudioBuffer<float> input, block;
    int64_t time = 0;
    double nextHead = 0.0;
};

void runScenario (const Scenario& s, double seconds, int runs)
{
    Bench bench (s);
    bench.run (std::min (1.0, seconds)); // warm up: caches, branch predictors, the first rebuild

    std::vector<Measurement> results;
    for (int r = 0; r < runs; ++r)
        results.push_back (bench.run (seconds));
    std::sort (results.begin(), results.end(),
               [] (const Measurement& a, const Measurement& b) { return a.realTimeFactor() < b.realTimeFactor(); });

    const auto& median = results[results.size() / 2];
    const double usPerBlock = 1e6 * median.processSeconds / median.blocks;
    const double usPerHead = median.headCalls > 0 ? 1e6 * median.headSeconds / median.headCalls : 0.0;
    std::printf ("%-26s %6d %6d %10.1f %8.1f %8.1f %10.1f %9.1f\n", bench.layoutName(), s.numInputs, s.blockSize,
                 median.realTimeFactor(), results.front().realTimeFactor(), results.back().realTimeFactor(),
                 usPerBlock, usPerHead);
    if (bench.sink == 12345.678f)
        std::printf (" ");
}
} // namespace

int main (int argc, char** argv)
{
    bool quick = false;
    int only = -1;
    for (int i = 1; i < argc; ++i)
    {
        if (std::strcmp (argv[i], "--quick") == 0)
            quick = true;
        else if (std::strcmp (argv[i], "--scenario") == 0 && i + 1 < argc)
            only = std::atoi (argv[++i]);
        else
        {
            std::fprintf (stderr, "usage: %s [--quick] [--scenario N]\n", argv[0]);
            return 2;
        }
    }

    juce::ScopedJuceInitialiser_GUI juce;
    const double seconds = quick ? 1.0 : 20.0; // audio per run
    const int runs = quick ? 3 : 7;

    std::printf ("processBlock real-time factor (audio time / CPU time), median of %d runs of %.0f s;\n"
                 "48000 Hz, spatialiser on, \"%s\", head turning every 10 ms\n\n",
                 runs, seconds, Zeph::roomPreset (room).name);
    std::printf ("%-26s %6s %6s %10s %8s %8s %10s %9s\n", "layout", "inputs", "block", "RTF", "min", "max",
                 "us/block", "us/head");
    const int count = (int) (sizeof (scenarios) / sizeof (scenarios[0]));
    for (int k = 0; k < count; ++k)
        if (only < 0 || only == k)
            runScenario (scenarios[k], seconds, runs);
    return 0;
}
