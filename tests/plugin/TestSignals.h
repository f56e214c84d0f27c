#pragma once

#include <cstdint>

namespace TestSignals
{
// Deterministic noise in [-0.25, 0.25), different for every channel.
inline float noise (int channel, int64_t t)
{
    uint32_t x = (uint32_t) (t * 2654435761u) ^ (uint32_t) (channel * 40503u + 17u);
    x ^= x >> 13;
    x *= 0x5bd1e995u;
    x ^= x >> 15;
    return ((float) (x & 0xffff) / 32768.0f - 1.0f) * 0.25f;
}
} // namespace TestSignals
