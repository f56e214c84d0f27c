// The input rings and the reverb lines: non-finite input kept out, rings sized
// for the rate, and moved onto new storage without losing what they hold.
#include "renderer/Render.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace
{
constexpr float quietNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float inf = std::numeric_limits<float>::infinity();
constexpr float largest = std::numeric_limits<float>::max();

// The newest n samples of a ring, oldest first.
std::vector<float> newest (const float* ring, int32_t size, int32_t writePos, int32_t n)
{
    std::vector<float> out;
    for (int32_t i = n; i > 0; --i)
        out.push_back (ring[((writePos - i) % size + size) % size]);
    return out;
}
} // namespace

TEST (InputRing, NonFiniteSamplesAreWrittenAsSilence)
{
    std::vector<float> storage (8, 7.0f);
    Zeph::FlexibleDelay ring;
    ring.buffer = storage.data();
    ring.size = 8;
    ring.writePos = 5; // the block wraps
    const float block[] = { quietNaN, 1e30f, -inf, -0.0f, largest, 1e-40f };
    ring.write (block, 6);
    EXPECT_EQ (ring.writePos, 3);
    const std::vector<float> expected { 0.0f, 1e30f, 0.0f, -0.0f, largest, 1e-40f };
    EXPECT_EQ (newest (storage.data(), 8, ring.writePos, 6), expected);
    EXPECT_TRUE (std::signbit (storage[0])); // -0 stays as it came
}

TEST (InputRing, MovingKeepsTheNewestSamples)
{
    struct Case
    {
        int32_t size, writePos, newSize;
    };
    for (const auto& c : { Case { 10, 3, 16 }, Case { 10, 0, 16 }, Case { 10, 7, 4 }, Case { 10, 2, 10 } })
    {
        std::vector<float> old ((size_t) c.size);
        for (int32_t i = 0; i < c.size; ++i)
            old[(size_t) i] = (float) (i + 1);
        Zeph::FlexibleDelay ring;
        ring.buffer = old.data();
        ring.size = c.size;
        ring.writePos = c.writePos;
        const int32_t kept = std::min (c.size, c.newSize);
        const auto before = newest (old.data(), c.size, c.writePos, kept);

        std::vector<float> fresh ((size_t) c.newSize, 99.0f);
        ring.moveTo (fresh.data(), c.newSize);
        EXPECT_EQ (ring.size, c.newSize);
        EXPECT_EQ (ring.writePos, 0);
        EXPECT_EQ (newest (fresh.data(), c.newSize, 0, kept), before) << c.size << " to " << c.newSize;
        for (int32_t i = 0; i < c.newSize - kept; ++i)
            EXPECT_EQ (fresh[(size_t) i], 0.0f);
    }
}

TEST (RingSizes, GrowWithTheRateAboveTheirDefaults)
{
    struct Case
    {
        float rate;
        int32_t input, line0, line7;
    };
    const Case cases[] = {
        { 44100.0f, 20480, 6172, 19828 },
        { 48000.0f, 20480, 6172, 19828 },
        { 192000.0f, 20480, 6172, 19828 },
        { 352800.0f, 31753 + 2048 + 146, 7577 + 2048, 32670 + 2048 }, // 90 ms rounded up; taps truncated from 7.35 x
        { 384000.0f, 34561 + 2048 + 146, 8248 + 2048, 35560 + 2048 },
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ (Zeph::Render::inputRingSizeFor (c.rate), c.input) << c.rate;
        EXPECT_EQ (Zeph::Reverb::lineSizeFor (0, c.rate / 48000.0f, 2048), c.line0) << c.rate;
        EXPECT_EQ (Zeph::Reverb::lineSizeFor (7, c.rate / 48000.0f, 2048), c.line7) << c.rate;
    }
    EXPECT_EQ (Zeph::Render::inputRingSizeFor (quietNaN), 20480);
    EXPECT_EQ (Zeph::Render::inputRingSizeFor (1.0e12f), Zeph::FlexibleDelay::maxSize);
}

TEST (RingSizes, RenderResizesAndKeepsTheReverbContents)
{
    Zeph::Render render;
    auto& line = render.reverb.delays[7];
    std::vector<float> input (2048);
    for (size_t i = 0; i < input.size(); ++i)
        input[i] = std::sin (0.01f * (float) i);
    line.writeIntoDelay (input.data(), 2048);
    const auto before = newest (line.buffer, line.size, line.writePos, 2048);

    render.sizeRingsFor (384000.0f);
    EXPECT_EQ (line.size, 35560 + 2048);
    EXPECT_EQ (render.reverbBuffers[7].getNumSamples(), line.size);
    EXPECT_EQ (line.buffer, render.reverbBuffers[7].getReadPointer (0));
    EXPECT_EQ (newest (line.buffer, line.size, line.writePos, 2048), before);
    for (auto* ring : render.inputDelays)
        EXPECT_EQ (ring->size, render.historyBuffer.getNumSamples());

    render.sizeRingsFor (48000.0f);
    EXPECT_EQ (line.size, 19828);
    EXPECT_EQ (newest (line.buffer, line.size, line.writePos, 2048), before);
}

TEST (ReverbLine, OverflowIsClearedFromStateAndRing)
{
    Zeph::Render render; // designed for 44.1 kHz
    auto& line = render.reverb.delays[2];
    std::vector<float> loud (256);
    for (size_t i = 0; i < loud.size(); ++i)
        loud[i] = (i % 2 == 0 ? 1.0f : -1.0f) * largest;
    line.writeIntoDelay (loud.data(), 256);
    EXPECT_TRUE (std::isfinite (line.context.s1) && std::isfinite (line.context.s2) && std::isfinite (line.dampState));
    for (int32_t i = 0; i < line.size; ++i)
        ASSERT_TRUE (std::isfinite (line.buffer[i])) << i;
}
