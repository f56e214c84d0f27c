#include "renderer/Ray.h"

#include "renderer/Finite.h"
#include "renderer/InterpolationCoefficients.h"
#include "renderer/Units.h"
#include "renderer/vector/VectorOps.h"

#include <algorithm>
#include <cmath>

namespace Zeph
{
namespace
{
using Table = InterpolationCoefficients;

constexpr float earOffset = 0.0715f;   // metres from the head centre to each ear
constexpr float minDistance = 1.0e-3f; // keeps a source at the ear finite
constexpr float constantDelay = 4.0f;  // samples, part of every ray delay

// Where the source lies as seen from one ear.
struct EarGeometry
{
    float distance = 1.0f;
    float lateral = 0.0f; // degrees, positive toward the ear's own side
    float polar = 0.0f;   // degrees in [-90, 270]: 0 front, 90 above, 180 behind
    float front = 1.0f;   // cos(polar) cos(lateral)
    float rear = 0.0f;    // 1 behind the ear, 1 - front otherwise
};

EarGeometry earGeometry (uint8_t ear, float x, float y, float z) noexcept
{
    EarGeometry g;
    if (ear == 0)
        x = -x; // the left ear's frame mirrors the right ear's
    const float xe = x - earOffset;

    const float d = std::sqrt (xe * xe + y * y + z * z);
    g.distance = d >= minDistance ? d : minDistance;

    float lat = radiansToDegrees (std::asin (std::clamp (xe / g.distance, -1.0f, 1.0f)));
    if (lat > 180.0f)
        lat -= 360.0f;
    else if (lat < -180.0f)
        lat += 360.0f;

    float pol = radiansToDegrees (std::atan2 (z, y));

    if (lat < -90.0f)
    {
        lat = -180.0f - lat;
        pol = 180.0f - pol;
    }
    else if (lat > 90.0f)
    {
        lat = 180.0f - lat;
        pol = 180.0f - pol;
    }
    if (pol < -90.0f)
        pol += 360.0f;
    else if (pol > 270.0f)
        pol -= 360.0f;

    g.lateral = lat;
    g.polar = pol;
    g.front = std::cos (degreesToRadians (pol)) * std::cos (degreesToRadians (lat));
    g.rear = g.front < 0.0f ? 1.0f : 1.0f - g.front;
    return g;
}

// What one head-model filter should become.
struct FilterTarget
{
    int32_t type;
    float frequency; // Hz
    float q;         // Q or shelf slope
    float db;
};

void headModelTargets (FilterTarget targets[Ray::numFilters], float angle, const EarGeometry& g) noexcept
{
    const float u = (g.lateral + 90.0f) / 5.0f;

    const float reflectionDb = -std::max (0.0f, angle - 7.5f) / 8.1f;
    targets[0] = { BiquadDesigner::highShelf, 1400.0f, 0.22f, reflectionDb };

    const float shelfDb = Table::lookup (Table::lateralShelfDb, u / 2.0f);
    targets[1] = { BiquadDesigner::highShelf, 4500.0f, 0.7f, shelfDb };

    const float lateralDb = Table::lookup (Table::lateralPeakDb, u / 2.0f);
    targets[2] = { BiquadDesigner::peak, 7000.0f, lateralDb >= 0.0f ? 0.8f : 1.2f, lateralDb };

    const float c = g.front;
    const float frontBackDb = 3.5f * c * c * c - 1.3f;
    targets[3] = { BiquadDesigner::highShelf, 11000.0f, frontBackDb >= 0.0f ? 1.33f : 0.8f, frontBackDb };

    float polarDb = 0.92f * std::abs (std::cos (degreesToRadians (g.lateral)))
                    * Table::lookupLinear (Table::polarPeakDb, (g.polar + 90.0f) / 10.0f);
    if (polarDb < 0.0f)
        polarDb *= 0.6f;
    targets[4] = { BiquadDesigner::peak, 7000.0f, polarDb >= 0.0f ? 0.85f : 1.1f, polarDb };
}

float rayDelay (const Settings& settings, const EarGeometry& g, float refDistance) noexcept
{
    const float u = (g.lateral + 90.0f) / 5.0f;
    const float itd = Table::lookup (Table::itdMicroseconds, u)
                      + Table::lookup (Table::itdExtraMicroseconds, u) * g.rear;
    return (g.distance - refDistance) * settings.samplesPerMetre
           + itd * settings.samplesPerMicrosecond + constantDelay;
}

// Moves one design parameter toward its target: all the way with force,
// half-way otherwise. A step too small to change the float lands on the
// target, so a glide always ends.
void moveToward (float& current, float target, bool force, bool& moved) noexcept
{
    if (current == target)
        return;
    moved = true;
    float next = force ? target : current + (target - current) * 0.5f;
    if (next == current)
        next = target;
    current = next;
}

void updateDesign (Ray::Design& design, const FilterTarget& target, const Settings& settings, bool force) noexcept
{
    BiquadDesigner::State& st = design.state;
    if (st.type != target.type)
    {
        st.type = target.type;
        st.built = false;
    }

    bool moved = false;
    moveToward (st.w0, settings.radiansPerSample * target.frequency, force, moved);
    moveToward (st.q, target.q, force, moved);
    moveToward (st.amplitude, filterAmplitude (target.db), force, moved);
    moveToward (st.gain, 1.0f, force, moved);
    if (moved)
        st.built = false;

    if (! st.built)
    {
        BiquadDesigner::buildFromState (design.coefficients, st);
        st.built = true;
    }
}

int32_t wrapIndex (int64_t index, int32_t size) noexcept
{
    if (index >= 0 && index < size)
        return (int32_t) index;
    if (index < 0 && index >= -(int64_t) size)
        return (int32_t) (index + size); // the usual case: one turn back
    const int64_t r = index % size;
    return (int32_t) (r < 0 ? r + size : r);
}

// dest[j] = g * ring[start + j] for j < count, in contiguous runs.
void copyFromRing (const FlexibleDelay& ring, int64_t start, int32_t count, float g, float* dest) noexcept
{
    int32_t pos = wrapIndex (start, ring.size);
    while (count > 0)
    {
        const int32_t run = std::min (count, ring.size - pos);
        Vec::multiply (ring.buffer + pos, g, dest, run);
        dest += run;
        count -= run;
        pos = 0;
    }
}

// Clamps a delay into [lo, hi]; NaN gives lo.
float clampDelay (float delay, float lo, float hi) noexcept
{
    if (! (delay > lo))
        return lo;
    return delay < hi ? delay : hi;
}

} // namespace

void Ray::compile (const Settings& settings, float x, float y, float z, float angle,
                   float refDistance, float sourceGain, bool force) noexcept
{
    const EarGeometry geometry = earGeometry (ear, x, y, z);
    const float newGain = sourceGain / geometry.distance;
    const float delay = rayDelay (settings, geometry, refDistance);

    FilterTarget targets[numFilters];
    headModelTargets (targets, angle, geometry);
    for (int k = force ? 0 : 1; k < numFilters; ++k)
        updateDesign (designs[k], targets[k], settings, force);

    RayUpdate& update = mailbox.writeSlot();
    update.gain = newGain;
    update.targetDelay = delay;
    for (int k = 1; k < numFilters; ++k)
        update.coefficients[k - 1] = designs[k].coefficients;
    mailbox.publish();

    if (force)
    {
        // Not rendered meanwhile: set the render fields at once as well.
        gain = newGain;
        currentDelay = delay;
        targetDelay = delay;
        for (int k = 0; k < numFilters; ++k)
            coefficients[k] = designs[k].coefficients;
    }
}

void Ray::takeFreshUpdate() noexcept
{
    if (const RayUpdate* update = mailbox.take())
    {
        gain = update->gain;
        targetDelay = update->targetDelay;
        for (int k = 1; k < numFilters; ++k)
            coefficients[k] = update->coefficients[k - 1];
    }
}

Ray::MovingRead Ray::startMovingRead (const FlexibleDelay& ring, int32_t n) noexcept
{
    const float longest = std::max (0.0f, (float) (ring.size - n - movingReadOffset - 2));
    const float cur = clampDelay (currentDelay, 0.0f, longest);
    const float target = clampDelay (targetDelay, 0.0f, longest);
    const int32_t whole = (int32_t) cur;
    const int64_t start = (int64_t) ring.writePos - n - whole - (movingReadOffset + 2);

    const float slew = (float) n / 64.0f;
    const float next = std::clamp (target, cur - slew, cur + slew);
    currentDelay = next;
    return { (cur - (float) whole) * 64.0f, (next - cur) * 64.0f / (float) n, wrapIndex (start, ring.size) };
}

void Ray::readMoving (const FlexibleDelay& ring, float* scratch, int32_t n, float g, float* out) noexcept
{
    const MovingRead read = startMovingRead (ring, n);
    copyFromRing (ring, read.start, n + scratchExtra, g, scratch);
    interpolateMoving (scratch, out, n, read);
}

void Ray::renderAudio (const Settings& settings, const FlexibleDelay& ring, float* out,
                       float* scratch, int32_t n, float callerGain) noexcept
{
    takeUpdate();
    if (n <= 0)
        return;
    if (ring.buffer == nullptr || ring.size <= 0)
        return Vec::clear (out, n);

    const float g = callerGain * gain;
    if (order != 0)
        copyFromRing (ring, staticReadIndex (ring, n), n, g, out);
    else
        readMoving (ring, scratch, n, g, out);

    for (int k = 0; k < numFilters; ++k)
        if (order == 0 || ((settings.filterMask >> k) & 1) != 0)
            Biquad::processInPlace (contexts[k], coefficients[k], out, (uint32_t) n);
    Finite::resetIfNonFinite (contexts, numFilters);
}
} // namespace Zeph
