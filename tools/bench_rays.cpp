// Ray rendering speed: nanoseconds per ray-sample for a static and a moving
// ray at several block sizes.

#include "renderer/FlexibleDelay.h"
#include "renderer/Ray.h"
#include "renderer/Settings.h"

#include <chrono>
#include <cstdio>
#include <random>
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

Zeph::Ray makeRay (const Zeph::Settings& settings, uint8_t order)
{
    Zeph::Ray ray (0, order);
    ray.compile (settings, 1.3f, 1.7f, 0.4f, 35.0f, 1.5f, 1.0f, true);
    return ray;
}
} // namespace

int main()
{
    constexpr int64_t samplesPerRun = 20'000'000;
    std::printf ("%-8s %10s %14s\n", "ray", "block", "ns/sample");
    for (int32_t n : { 64, 512, 2048 })
    {
        Bench bench (n);
        Zeph::Ray staticRay = makeRay (bench.settings, 1);
        Zeph::Ray movingRay = makeRay (bench.settings, 0);
        bench.run (staticRay, n, samplesPerRun / 10, false); // warm up
        bench.run (movingRay, n, samplesPerRun / 10, true);
        std::printf ("%-8s %10d %14.3f\n", "static", n, bench.run (staticRay, n, samplesPerRun, false));
        std::printf ("%-8s %10d %14.3f\n", "moving", n, bench.run (movingRay, n, samplesPerRun, true));
    }
    return 0;
}
