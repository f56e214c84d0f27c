// Ray rendering speed: nanoseconds per ray-sample for a static and a moving
// ray at several block sizes, one ray at a time (Ray::renderAudio) and many
// side by side (RayBatch, at every lane width the processor has).

#include "renderer/FlexibleDelay.h"
#include "renderer/vector/RayBatch.h"
#include "renderer/Ray.h"
#include "renderer/Settings.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace
{
struct Bench
{
    Zeph::Settings settings;
    std::vector<float> ringStorage = std::vector<float> (Zeph::FlexibleDelay::defaultSize);
    Zeph::FlexibleDelay ring;
    std::vector<float> input, out, scratch;
    std::mt19937 rng { 1 };

    explicit Bench (int32_t n) : input ((size_t) n), out ((size_t) n), scratch ((size_t) n + Zeph::Ray::scratchExtra)
    {
        ring.buffer = ringStorage.data();
        std::uniform_real_distribution<float> dist (-1.0f, 1.0f);
        for (auto& x : ringStorage)
            x = dist (rng);
        for (auto& x : input)
            x = dist (rng);
    }

    // Renders blocks until about totalSamples have passed; returns ns per sample.
    double run (Zeph::Ray& ray, int32_t n, int64_t totalSamples, bool retarget)
    {
        const int64_t blocks = std::max<int64_t> (1, totalSamples / n);
        float sink = 0.0f;
        const auto start = std::chrono::steady_clock::now();
        for (int64_t b = 0; b < blocks; ++b)
        {
            ring.write (input.data(), n);
            if (retarget && ray.currentDelay == ray.targetDelay)
                ray.targetDelay = ray.targetDelay > 300.0f ? 137.3f : 611.7f;
            ray.renderAudio (settings, ring, out.data(), scratch.data(), n, 0.7f);
            sink += out[(size_t) (n - 1)];
        }
        const auto stop = std::chrono::steady_clock::now();
        if (sink == 12345.678f)
            std::printf (" ");
        return std::chrono::duration<double, std::nano> (stop - start).count() / (double) (blocks * n);
    }
};

// Pairs of rays from sources spread around the head.
struct Pairs
{
    std::vector<Zeph::Ray> left, right;

    Pairs (const Zeph::Settings& settings, int count, uint8_t order)
    {
        for (int k = 0; k < count; ++k)
        {
            const float a = 0.37f * (float) k;
            const float d = 1.5f + (float) (k % 7);
            const float x = d * std::sin (a), y = d * std::cos (a), z = 0.3f * (float) (k % 3);
            left.emplace_back (0, order);
            right.emplace_back (1, order);
            left.back().compile (settings, x, y, z, 35.0f, 1.5f, 1.0f, true);
            right.back().compile (settings, x, y, z, 35.0f, 1.5f, 1.0f, true);
        }
    }
};

// How the moving rays' delays change: jumping far at once (the delay slews
// at its limit, a new phase every sample), or drifting as a head turning at
// about 90 degrees a second moves them (a new phase every ten or so samples).
enum class Motion
{
    jumping,
    turning
};

// ns per ray-sample of a batch of pairs rendered together.
double runBatch (Bench& bench, Pairs& pairs, int32_t n, int64_t totalSamples, int width,
                 Motion motion = Motion::jumping)
{
    Zeph::RayBatch batch;
    batch.useLaneWidth (width);
    std::vector<float> outL ((size_t) n), outR ((size_t) n);
    const int64_t numRays = 2 * (int64_t) pairs.left.size();
    const int64_t blocks = std::max<int64_t> (1, totalSamples / (n * numRays));
    float sink = 0.0f;
    const auto start = std::chrono::steady_clock::now();
    for (int64_t b = 0; b < blocks; ++b)
    {
        bench.ring.write (bench.input.data(), n);
        batch.startBlock();
        for (size_t p = 0; p < pairs.left.size(); ++p)
        {
            auto& ray = pairs.left[p];
            if (ray.order == 0 && motion == Motion::turning)
            {
                const float speed = (0.0005f + 0.0001f * (float) (p % 10)) * (((b * n) / 48000) % 2 == 0 ? 1.0f : -1.0f);
                ray.targetDelay += speed * (float) n;
                pairs.right[p].targetDelay -= speed * (float) n;
            }
            else if (ray.order == 0 && ray.currentDelay == ray.targetDelay)
                ray.targetDelay = ray.targetDelay > 300.0f ? 137.3f : 611.7f;
            batch.add (ray, pairs.right[p], bench.ring, 0.7f);
        }
        batch.render (bench.settings, outL.data(), outR.data(), n);
        sink += outL[(size_t) (n - 1)];
    }
    const auto stop = std::chrono::steady_clock::now();
    if (sink == 12345.678f)
        std::printf (" ");
    return std::chrono::duration<double, std::nano> (stop - start).count() / (double) (blocks * n * numRays);
}

// The fastest of a few runs: what the code costs when nothing else runs.
template <typename Run>
double fastest (Run run)
{
    double best = run();
    for (int k = 1; k < 5; ++k)
        best = std::min (best, run());
    return best;
}

Zeph::Ray makeRay (const Zeph::Settings& settings, uint8_t order)
{
    Zeph::Ray ray (0, order);
    ray.compile (settings, 1.3f, 1.7f, 0.4f, 35.0f, 1.5f, 1.0f, true);
    return ray;
}
} // namespace

int main (int argc, char** argv)
{
    const bool quick = argc > 1 && std::string (argv[1]) == "--quick";
    const int64_t samplesPerRun = quick ? 1'000'000 : 20'000'000;
    std::printf ("%-8s %10s %14s   (the fastest of five runs)\n", "ray", "block", "ns/sample");
    for (int32_t n : { 64, 512, 2048 })
    {
        Bench bench (n);
        Zeph::Ray staticRay = makeRay (bench.settings, 1);
        Zeph::Ray movingRay = makeRay (bench.settings, 0);
        bench.run (staticRay, n, samplesPerRun / 10, false); // warm up
        bench.run (movingRay, n, samplesPerRun / 10, true);
        std::printf ("%-8s %10d %14.3f\n", "static", n, fastest ([&] { return bench.run (staticRay, n, samplesPerRun, false); }));
        std::printf ("%-8s %10d %14.3f\n", "moving", n, fastest ([&] { return bench.run (movingRay, n, samplesPerRun, true); }));

        // A pass as in "Dolby 7.1.4": 143 static pairs, 11 moving pairs.
        Pairs statics (bench.settings, 143, 1);
        Pairs movings (bench.settings, 11, 0);
        for (const int width : { 16, 8, 4 })
        {
            if (Zeph::RayKernels::forWidth (width) == nullptr)
                continue;
            runBatch (bench, statics, n, samplesPerRun / 10, width); // warm up
            std::printf ("static batch x%-2d %3d %7d %10.3f\n", width, 143, n,
                         fastest ([&] { return runBatch (bench, statics, n, samplesPerRun, width); }));
            std::printf ("moving batch x%-2d %3d %7d %10.3f (jumping)\n", width, 11, n,
                         fastest ([&] { return runBatch (bench, movings, n, samplesPerRun, width); }));
            std::printf ("moving batch x%-2d %3d %7d %10.3f (turning)\n", width, 11, n,
                         fastest ([&] { return runBatch (bench, movings, n, samplesPerRun, width, Motion::turning); }));
        }
    }
    return 0;
}
