#include "renderer/VectorOps.h"

#include <juce_audio_basics/juce_audio_basics.h>

namespace Zeph::Vec
{
using juce::FloatVectorOperations;

void clear (float* d, int n) noexcept
{
    if (n > 0)
        FloatVectorOperations::clear (d, n);
}

void add (const float* a, const float* b, float* d, int n) noexcept
{
    if (n > 0)
        FloatVectorOperations::add (d, a, b, n);
}

void multiply (const float* a, float s, float* d, int n) noexcept
{
    if (n > 0)
        FloatVectorOperations::multiply (d, a, s, n);
}

void multiplyAdd (const float* a, float s, const float* b, float* d, int n) noexcept
{
    if (n <= 0)
        return;
    if (d == b)
        FloatVectorOperations::addWithMultiply (d, a, s, n);
    else
    {
        FloatVectorOperations::multiply (d, a, s, n);
        FloatVectorOperations::add (d, b, n);
    }
}
} // namespace Zeph::Vec
