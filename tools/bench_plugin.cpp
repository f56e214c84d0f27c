// Whole-plug-in speed: the real-time factor of processBlock (audio time over
// the CPU time spent inside it) with the spatialiser on, the room "Mixing
// studio" and the head turning. Each scenario runs the normal path and the
// one-ray-at-a-time reference path (Render::referenceRays) by turns, so that
// their ratio is measured under the same load. Last, the fixed cost of a
// block and the cost per sample, fitted over the block lengths of the first
// layout at 48 kHz.
//
//   bench_plugin                  full run
//   bench_plugin --quick          short run (CI)
//   bench_plugin --scenario N     only scenario N (for profiling)
//   bench_plugin --no-reference   the normal path only (for profiling)

#include "plugin/PluginProcessor.h"

#include <juce_events/juce_events.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

namespace
{
constexpr double headInterval = 0.010; // seconds between orientations
constexpr auto room = Zeph::ListeningRoom::mixingStudio;

struct Scenario
{
    int layoutId;
    int numInputs;
    double sampleRate;
    int blockSize;
};

constexpr int dolby714 = 11, auro121 = 13, icosahedron = 10, itu51 = 1;

// The first four make the fit of the fixed cost.
constexpr Scenario scenarios[] = {
    { dolby714, 12, 48000.0, 32 },
    { dolby714, 12, 48000.0, 64 },
    { dolby714, 12, 48000.0, 512 },
    { dolby714, 12, 48000.0, 2048 },
    { dolby714, 12, 96000.0, 512 },
    { auro121, 14, 48000.0, 512 },
    { icosahedron, 12, 48000.0, 512 },
    { itu51, 8, 48000.0, 512 },
};
constexpr int numFitted = 4;

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
    double microsecondsPerBlock() const { return 1e6 * processSeconds / blocks; }
};

// The median of some runs by real-time factor, with the slowest and fastest.
struct Summary
{
    Measurement median;
    double slowest = 0.0, fastest = 0.0;

    explicit Summary (std::vector<Measurement> runs)
    {
        std::sort (runs.begin(), runs.end(),
                   [] (const Measurement& a, const Measurement& b) { return a.realTimeFactor() < b.realTimeFactor(); });
        median = runs[runs.size() / 2];
        slowest = runs.front().realTimeFactor();
        fastest = runs.back().realTimeFactor();
    }
};

class Bench
{
public:
    Bench (const Scenario& s, bool reference) : scenario (s)
    {
        juce::AudioProcessor::BusesLayout layout;
        layout.inputBuses.add (juce::AudioChannelSet::discreteChannels (s.numInputs));
        layout.outputBuses.add (juce::AudioChannelSet::stereo());
        processor.setBusesLayout (layout);
        processor.prepareToPlay (s.sampleRate, s.blockSize);
        processor.pluginState.channelProfile = (uint8_t) s.layoutId;
        processor.pluginState.room = room;
        processor.layoutSettingsChanged();
        processor.render.referenceRays = reference;

        // One second of input per channel, each channel noise plus a tone of its own.
        const int length = (int) s.sampleRate;
        input.setSize (s.numInputs, length);
        juce::Random random (1);
        for (int c = 0; c < s.numInputs; ++c)
            for (int i = 0; i < length; ++i)
                input.setSample (c, i, 0.05f * (random.nextFloat() - 0.5f)
                                           + 0.2f * std::sin (0.02f * (float) (c + 1) * (float) i));
        const int stretch = (int) std::ceil (headInterval * s.sampleRate / s.blockSize) + 1;
        blocks.assign ((size_t) stretch, juce::AudioBuffer<float> (s.numInputs, s.blockSize));
    }

    const char* layoutName() const
    {
        const auto* profile = processor.pluginState.channelProfiles.findById (scenario.layoutId);
        return profile != nullptr ? profile->name.toRawUTF8() : "?";
    }

    // The blocks between two orientations are timed together, with their
    // inputs copied beforehand, so that reading the clock costs little
    // against even the shortest block.
    Measurement run (double seconds)
    {
        Measurement m;
        juce::MidiBuffer midi;
        const double rate = scenario.sampleRate;
        const int n = scenario.blockSize;
        const int64_t total = (int64_t) (seconds * rate);
        for (int64_t done = 0; done < total;)
        {
            if ((double) time / rate >= nextHead)
            {
                float r[9];
                headAt ((double) time / rate, r);
                head.write (r);
                const double h0 = threadCpuSeconds();
                processor.trackerChanged (head);
                m.headSeconds += threadCpuSeconds() - h0;
                ++m.headCalls;
                nextHead += headInterval;
            }

            int count = 0;
            do
                fillBlock (blocks[(size_t) count], time + (int64_t) count * n);
            while (++count < (int) blocks.size() && done + (int64_t) count * n < total
                   && (double) (time + (int64_t) count * n) / rate < nextHead);

            const double t0 = threadCpuSeconds();
            for (int k = 0; k < count; ++k)
                processor.processBlock (blocks[(size_t) k], midi);
            m.processSeconds += threadCpuSeconds() - t0;

            for (int k = 0; k < count; ++k)
                sink += blocks[(size_t) k].getSample (0, n - 1);
            time += (int64_t) count * n;
            done += (int64_t) count * n;
            m.blocks += count;
        }
        m.audioSeconds = (double) m.blocks * n / rate;
        return m;
    }

    float sink = 0.0f;

private:
    Scenario scenario;
    BinauralAudioProcessor processor;
    HeadMatrix head;
    juce::AudioBuffer<float> input;
    std::vector<juce::AudioBuffer<float>> blocks; // as many as fit between two orientations

    void fillBlock (juce::AudioBuffer<float>& block, int64_t start) const
    {
        const int length = input.getNumSamples();
        for (int c = 0; c < scenario.numInputs; ++c)
            for (int i = 0, pos = (int) (start % length); i < scenario.blockSize; ++i, pos = (pos + 1) % length)
                block.setSample (c, i, input.getSample (c, pos));
    }
    int64_t time = 0;
    double nextHead = 0.0;
};

struct Result
{
    int blockSize = 0;
    double fastMicroseconds = 0.0, referenceMicroseconds = 0.0;
};

Result runScenario (const Scenario& s, double seconds, int runs, bool withReference)
{
    Bench fast (s, false);
    std::unique_ptr<Bench> reference;
    if (withReference)
        reference = std::make_unique<Bench> (s, true);

    // Warm up: caches, branch predictors, the first rebuild.
    fast.run (std::min (1.0, seconds));
    if (reference != nullptr)
        reference->run (std::min (1.0, seconds));

    // By turns, so that a change of load falls on both alike.
    std::vector<Measurement> fastRuns, referenceRuns;
    for (int r = 0; r < runs; ++r)
    {
        fastRuns.push_back (fast.run (seconds));
        if (reference != nullptr)
            referenceRuns.push_back (reference->run (seconds));
    }

    const Summary f (fastRuns);
    const double usPerHead = f.median.headCalls > 0 ? 1e6 * f.median.headSeconds / f.median.headCalls : 0.0;
    Result result { s.blockSize, f.median.microsecondsPerBlock(), 0.0 };
    std::printf ("%-24s %6d %6.0f %6d %8.1f %7.1f %7.1f %9.1f", fast.layoutName(), s.numInputs, s.sampleRate / 1000.0,
                 s.blockSize, f.median.realTimeFactor(), f.slowest, f.fastest, result.fastMicroseconds);
    if (reference != nullptr)
    {
        const Summary ref (referenceRuns);
        result.referenceMicroseconds = ref.median.microsecondsPerBlock();
        std::printf (" %8.1f %9.1f %7.2f", ref.median.realTimeFactor(), result.referenceMicroseconds,
                     f.median.realTimeFactor() / ref.median.realTimeFactor());
    }
    std::printf (" %8.1f\n", usPerHead);
    if (fast.sink == 12345.678f)
        std::printf (" ");
    return result;
}

// Least-squares line through (block length, microseconds per block): the
// intercept is the fixed cost of a block, the slope the cost per sample.
void printFit (const char* path, const std::vector<Result>& results, double Result::*microseconds)
{
    const double count = (double) results.size();
    double sx = 0.0, sy = 0.0, sxx = 0.0, sxy = 0.0;
    for (const auto& r : results)
    {
        const double x = r.blockSize, y = r.*microseconds;
        sx += x;
        sy += y;
        sxx += x * x;
        sxy += x * y;
    }
    const double slope = (count * sxy - sx * sy) / (count * sxx - sx * sx);
    const double intercept = (sy - slope * sx) / count;
    std::printf ("%-10s fixed %7.2f us per block, %7.4f us per sample\n", path, intercept, slope);
}
} // namespace

int main (int argc, char** argv)
{
    bool quick = false, withReference = true;
    int only = -1;
    for (int i = 1; i < argc; ++i)
    {
        if (std::strcmp (argv[i], "--quick") == 0)
            quick = true;
        else if (std::strcmp (argv[i], "--no-reference") == 0)
            withReference = false;
        else if (std::strcmp (argv[i], "--scenario") == 0 && i + 1 < argc)
            only = std::atoi (argv[++i]);
        else
        {
            std::fprintf (stderr, "usage: %s [--quick] [--no-reference] [--scenario N]\n", argv[0]);
            return 2;
        }
    }

    juce::ScopedJuceInitialiser_GUI juce;
    const double seconds = quick ? 1.0 : 10.0; // audio per run
    const int runs = quick ? 3 : 7;

    std::printf ("processBlock real-time factor (audio time / CPU time), median of %d runs of %.0f s;\n"
                 "spatialiser on, \"%s\", head turning every 10 ms; \"ref\" is the one-ray-at-a-time path\n\n",
                 runs, seconds, Zeph::roomPreset (room).name);
    std::printf ("%-24s %6s %6s %6s %8s %7s %7s %9s", "layout", "inputs", "kHz", "block", "RTF", "min", "max",
                 "us/block");
    if (withReference)
        std::printf (" %8s %9s %7s", "ref RTF", "ref us", "ratio");
    std::printf (" %8s\n", "us/head");

    std::vector<Result> fitted;
    const int count = (int) (sizeof (scenarios) / sizeof (scenarios[0]));
    for (int k = 0; k < count; ++k)
        if (only < 0 || only == k)
        {
            const Result r = runScenario (scenarios[k], seconds, runs, withReference);
            if (k < numFitted)
                fitted.push_back (r);
        }

    if (fitted.size() == (size_t) numFitted)
    {
        std::printf ("\nblock cost of \"Dolby 7.1.4\" at 48 kHz, fitted over blocks of 32 to 2048:\n");
        printFit ("normal", fitted, &Result::fastMicroseconds);
        if (withReference)
            printFit ("reference", fitted, &Result::referenceMicroseconds);
    }
    return 0;
}
