// The vector kernels of RayBatch for one vector width. RayKernels.cpp
// includes this file once per instruction set, inside a namespace that
// defines W (lanes), V (a vector of W floats with + - *), M (a lane mask),
// load, store, broadcast, transposeSquare (W vectors of W lanes, transposed
// in place), truncate (toward zero), atLeast, below, differ, where (the
// value where the mask is set, else 0), bits (of a mask) and nonFinite (bits
// of the lanes that are not finite).
// No include guard and no includes on purpose.

// One step of a biquad on W rays, exactly as Biquad::processInPlace computes
// it for one ray: c holds b0, b1, b2, a1, a2.
inline V biquadStep (V x, V& s1, V& s2, const V* c) noexcept
{
    const V y = c[0] * x + s1;
    s1 = c[1] * x + s2 - c[3] * y;
    s2 = c[2] * x - c[4] * y;
    return y;
}

// The first F head-model filters of the W rays in lanes first..first+W-1,
// held in registers over a block. Skewed, they run as a staggered cascade:
// at step t filter f takes sample t + lag - f, so the filters of one step
// depend only on the step before and the processor can overlap them (worth
// it for a long cascade). Either way each filter sees its samples in order,
// with the same inputs as in a plain cascade.
template <int F, bool skewed>
struct Filters
{
    static constexpr int lag = skewed ? F - 1 : 0;

    V c[F][5];
    V s1[F];
    V s2[F];
    V latest[F]; // skewed: each filter's output of the step before

    Filters() = default;

    Filters (const RayLanes& lanes, int first) noexcept
    {
        for (int f = 0; f < F; ++f)
        {
            for (int k = 0; k < 5; ++k)
                c[f][k] = load (lanes.coefficients[f][k] + first);
            s1[f] = load (lanes.contexts[f][0] + first);
            s2[f] = load (lanes.contexts[f][1] + first);
            latest[f] = broadcast (0.0f);
        }
    }

    // Stores the memories; returns the bits of the lanes holding one that
    // is not finite.
    uint32_t save (RayLanes& lanes, int first) const noexcept
    {
        uint32_t bad = 0;
        for (int f = 0; f < F; ++f)
        {
            store (lanes.contexts[f][0] + first, s1[f]);
            store (lanes.contexts[f][1] + first, s2[f]);
            bad |= nonFinite (s1[f]) | nonFinite (s2[f]);
        }
        return bad;
    }

    // A step with every filter busy: x is sample t + lag; returns sample t.
    V step (V x) noexcept
    {
        if (! skewed)
        {
            for (int f = 0; f < F; ++f)
                x = biquadStep (x, s1[f], s2[f], c[f]);
            return x;
        }
        for (int f = F - 1; f > 0; --f)
            latest[f] = biquadStep (latest[f - 1], s1[f], s2[f], c[f]);
        latest[0] = biquadStep (x, s1[0], s2[0], c[0]);
        return latest[F - 1];
    }

    // A skewed step while the cascade fills or drains: only filters
    // first..last have a sample.
    V step (V x, int first, int last) noexcept
    {
        for (int f = last; f >= first; --f)
            latest[f] = biquadStep (f == 0 ? x : latest[f - 1], s1[f], s2[f], c[f]);
        return latest[F - 1];
    }
};

// Adds W consecutive samples of the first `count` pairs of lanes into the
// outputs, pair after pair, as adding each ray's block in turn would:
// y[j] holds sample j of every lane; left rays sit in the lower half.
inline void addPairs (V* y, float* outL, float* outR, int count) noexcept
{
    transposeSquare (y); // now y[l] holds lane l's W samples
    V left = load (outL);
    V right = load (outR);
    for (int p = 0; p < count; ++p)
    {
        left = left + y[p];
        right = right + y[W / 2 + p];
    }
    store (outL, left);
    store (outR, right);
}

// The same for one sample.
inline void addPairs (V y, float* outL, float* outR, int count) noexcept
{
    float lanes[W];
    store (lanes, y);
    for (int p = 0; p < count; ++p)
    {
        *outL += lanes[p];
        *outR += lanes[W / 2 + p];
    }
}

// Adds the samples of a block of W that lie in 0..n-1 (the last block), as
// addPairs adds a whole block.
template <int G>
inline void addPairsInside (V (*y)[W], float* outL, float* outR, const int* counts, int32_t t0, int32_t n) noexcept
{
    float left[W] = {}, right[W] = {};
    const int32_t from = t0 < 0 ? -t0 : 0;
    const int32_t to = n - t0 < W ? n - t0 : W;
    for (int32_t k = from; k < to; ++k)
    {
        left[k] = outL[t0 + k];
        right[k] = outR[t0 + k];
    }
    for (int v = 0; v < G; ++v)
        addPairs (y[v], left, right, counts[v]);
    for (int32_t k = from; k < to; ++k)
    {
        outL[t0 + k] = left[k];
        outR[t0 + k] = right[k];
    }
}

// G vectors of W lanes side by side (independent filter chains for the
// processor to overlap): lane l reads lanes.source[l][0..n-1], scales it by
// its gain when `gained`, and runs the first F filters in a plain cascade.
// Vector v holds counts[v] pairs; the vectors are added in order. A source
// is read in whole vectors, up to RayLanes::readSlack samples past n;
// nothing read there reaches a filter.
template <int F, int G, bool gained>
inline uint32_t filterGroup (RayLanes& lanes, float* outL, float* outR, const int* counts, int32_t n) noexcept
{
    static_assert (W <= RayLanes::readSlack, "the last block stays inside a source's slack");
    Filters<F, false> filters[G];
    V g[G];
    for (int v = 0; v < G; ++v)
    {
        filters[v] = Filters<F, false> (lanes, v * W);
        g[v] = load (lanes.gain + v * W);
    }

    for (int32_t first = 0; first < n; first += W)
    {
        V x[G][W];
        for (int v = 0; v < G; ++v)
        {
            for (int l = 0; l < W; ++l)
                x[v][l] = load (lanes.source[v * W + l] + first);
            transposeSquare (x[v]);
            if (gained)
                for (int j = 0; j < W; ++j)
                    x[v][j] = x[v][j] * g[v];
        }

        if (first + W <= n)
        {
            for (int j = 0; j < W; ++j)
                for (int v = 0; v < G; ++v)
                    x[v][j] = filters[v].step (x[v][j]);
            for (int v = 0; v < G; ++v)
                addPairs (x[v], outL + first, outR + first, counts[v]);
            continue;
        }

        // The last samples.
        for (int j = 0; j < n - first; ++j)
            for (int v = 0; v < G; ++v)
                x[v][j] = filters[v].step (x[v][j]);
        addPairsInside<G> (x, outL, outR, counts, first, n);
    }

    uint32_t bad = 0;
    for (int v = 0; v < G; ++v)
        bad |= filters[v].save (lanes, v * W) << (v * W);
    return bad;
}

// Static rays: the gain, filters 0 and 1.
inline uint32_t staticGroup (RayLanes& lanes, float* outL, float* outR, const int* counts, int32_t n) noexcept
{
    if (staticVectors == 2 && counts[1] > 0)
        return filterGroup<2, staticVectors, true> (lanes, outL, outR, counts, n);
    return filterGroup<2, 1, true> (lanes, outL, outR, counts, n);
}

// Samples first..first+W-1 of the W lanes: x[j] holds sample first + j.
inline void loadSamples (const RayLanes& lanes, int32_t first, V* x) noexcept
{
    for (int l = 0; l < W; ++l)
        x[l] = load (lanes.source[l] + first);
    transposeSquare (x);
}

// addPairs for the first `length` of the W samples.
inline void addPairs (V* y, float* outL, float* outR, int count, int32_t length) noexcept
{
    if (length == W)
        return addPairs (y, outL, outR, count);
    float left[W] = {}, right[W] = {};
    for (int32_t k = 0; k < length; ++k)
    {
        left[k] = outL[k];
        right[k] = outR[k];
    }
    addPairs (y, left, right, count);
    for (int32_t k = 0; k < length; ++k)
    {
        outL[k] = left[k];
        outR[k] = right[k];
    }
}

// The first `count` floats of every lane's row as columns: column[j] holds
// float j of every lane.
inline void loadColumns (const float* const* rows, int count, V* column) noexcept
{
    int first = 0;
    for (; first + W <= count; first += W)
    {
        for (int l = 0; l < W; ++l)
            column[first + l] = load (rows[l] + first);
        transposeSquare (column + first);
    }
    for (; first < count; ++first)
    {
        float lanes[W];
        for (int l = 0; l < W; ++l)
            lanes[l] = rows[l][first];
        column[first] = load (lanes);
    }
}

// The columns back into the rows.
inline void storeColumns (V* column, int count, float* const* rows) noexcept
{
    int first = 0;
    for (; first + W <= count; first += W)
    {
        transposeSquare (column + first);
        for (int l = 0; l < W; ++l)
            store (rows[l] + first, column[first + l]);
    }
    for (; first < count; ++first)
    {
        float lanes[W];
        store (lanes, column[first]);
        for (int l = 0; l < W; ++l)
            rows[l][first] = lanes[l];
    }
}

// Moving rays: their interpolated reads (the gain is in them) through all
// five filters as a staggered cascade, with the coefficients and memories of
// rays[l] (null: a lane without a ray, whose filters pass nothing). At step
// t filter f takes sample t + lag - f: steps -lag..-1 fill the cascade, in
// steps 0..n-1-lag every filter is busy (W steps per block of input), and in
// the last lag steps it drains; step t gives sample t. Blocks shorter than
// the cascade run it plainly.
inline uint32_t movingGroup (RayLanes& lanes, Ray* const* rays, float* outL, float* outR, int count, int32_t n) noexcept
{
    constexpr int F = Ray::numFilters;
    using Cascade = Filters<F, true>;
    constexpr int lag = Cascade::lag;
    constexpr int coefficientCount = 5 * F; // b0 b1 b2 a1 a2 of each filter
    constexpr int memoryCount = 2 * F;      // s1 s2 of each filter
    static_assert (W + lag <= RayLanes::readSlack, "the last block stays inside a source's slack");
    static_assert (sizeof (Ray::coefficients) == sizeof (float) * coefficientCount, "coefficients are a row of floats");
    static_assert (sizeof (Ray::contexts) == sizeof (float) * memoryCount, "memories are a row of floats");

    static const float nothing[coefficientCount] = {};
    float unused[memoryCount] = {};
    const float* coefficientRows[W];
    float* memoryRows[W];
    for (int l = 0; l < W; ++l)
    {
        coefficientRows[l] = rays[l] != nullptr ? reinterpret_cast<const float*> (rays[l]->coefficients) : nothing;
        memoryRows[l] = rays[l] != nullptr ? reinterpret_cast<float*> (rays[l]->contexts) : unused;
    }
    V coefficients[coefficientCount];
    V memories[memoryCount];
    loadColumns (coefficientRows, coefficientCount, coefficients);
    loadColumns (memoryRows, memoryCount, memories);

    if (n < lag)
    {
        for (int f = 0; f < F; ++f)
        {
            for (int k = 0; k < 5; ++k)
                store (lanes.coefficients[f][k], coefficients[5 * f + k]);
            store (lanes.contexts[f][0], memories[2 * f]);
            store (lanes.contexts[f][1], memories[2 * f + 1]);
        }
        const uint32_t bad = filterGroup<F, 1, false> (lanes, outL, outR, &count, n);
        for (int f = 0; f < F; ++f)
        {
            memories[2 * f] = load (lanes.contexts[f][0]);
            memories[2 * f + 1] = load (lanes.contexts[f][1]);
        }
        storeColumns (memories, memoryCount, memoryRows);
        return bad;
    }

    Cascade filters;
    for (int f = 0; f < F; ++f)
    {
        for (int k = 0; k < 5; ++k)
            filters.c[f][k] = coefficients[5 * f + k];
        filters.s1[f] = memories[2 * f];
        filters.s2[f] = memories[2 * f + 1];
        filters.latest[f] = broadcast (0.0f);
    }

    V x[W];
    loadSamples (lanes, 0, x);
    for (int k = 0; k < lag; ++k)
        filters.step (x[k], 0, k);

    int32_t t0 = 0;
    for (; t0 + W + lag <= n; t0 += W)
    {
        loadSamples (lanes, t0 + lag, x);
        for (int j = 0; j < W; ++j)
            x[j] = filters.step (x[j]);
        addPairs (x, outL + t0, outR + t0, count);
    }

    // Fewer than W steps with every filter busy, then the drain: at its
    // step k, filters k + 1 .. F - 1 have samples.
    V y[2 * W];
    const int32_t busy = n - lag - t0;
    loadSamples (lanes, t0 + lag, x);
    for (int32_t j = 0; j < busy; ++j)
        y[j] = filters.step (x[j]);
    for (int k = 0; k < lag; ++k)
        y[busy + k] = filters.step (x[0], k + 1, F - 1);
    const int32_t length = busy + lag;
    for (int32_t j = length; j < 2 * W; ++j)
        y[j] = broadcast (0.0f);
    addPairs (y, outL + t0, outR + t0, count, length < W ? length : W);
    if (length > W)
        addPairs (y + W, outL + t0 + W, outR + t0 + W, count, length - W);

    uint32_t bad = 0;
    for (int f = 0; f < F; ++f)
    {
        memories[2 * f] = filters.s1[f];
        memories[2 * f + 1] = filters.s2[f];
        bad |= nonFinite (filters.s1[f]) | nonFinite (filters.s2[f]);
    }
    storeColumns (memories, memoryCount, memoryRows);
    return bad;
}

// Interpolates samples from..to-1 of one lane whose phase index and shift
// hold still over them, as Ray::readMoving does sample by sample. Writes up
// to a vector past `to`: the next run, or the slack past the block, takes it.
inline void interpolateRun (const float* scratch, float* out, int32_t from, int32_t to, int phaseIndex,
                            int shift) noexcept
{
    const float* w = InterpolationCoefficients::taps[phaseIndex & (InterpolationCoefficients::numPhases - 1)];
    const V w0 = broadcast (w[0]), w1 = broadcast (w[1]), w2 = broadcast (w[2]), w3 = broadcast (w[3]);
    const float* s = scratch - shift;
    for (int32_t i = from; i < to; i += W)
    {
        V y = load (s + i) * w0;
        y = y + load (s + i + 1) * w1;
        y = y + load (s + i + 2) * w2;
        y = y + load (s + i + 3) * w3;
        store (out + i, y);
    }
}

// dest[j] = g * source[j] for j < count.
inline void scale (const float* source, float g, float* dest, int32_t count) noexcept
{
    const V gain = broadcast (g);
    int32_t j = 0;
    for (; j + W <= count; j += W)
        store (dest + j, load (source + j) * gain);
    if (j == count)
        return;
    if (count >= W) // the last vector again, overlapping the one before
        store (dest + count - W, load (source + count - W) * gain);
    else
        for (; j < count; ++j)
            dest[j] = source[j] * g;
}

// A lane's ring samples from its start on, scaled into its scratch.
inline void scaleFromRing (const MovingLanes& lanes, int l) noexcept
{
    const float* ring = lanes.ring[l];
    float* dest = lanes.scratch[l];
    for (int32_t pos = lanes.start[l], left = lanes.readLength; left > 0; pos = 0)
    {
        const int32_t run = left < lanes.ringSize[l] - pos ? left : lanes.ringSize[l] - pos;
        scale (ring + pos, lanes.gain[l], dest, run);
        dest += run;
        left -= run;
    }
}

// The moving reads of W lanes: each lane's ring samples scaled into its
// scratch; then every lane's phase moved on sample by sample as in
// Ray::readMoving, and where the phase index or shift of a lane changes,
// the run it ends interpolated. A lane whose phase moves by an eighth of a
// step or more (its runs are short) is interpolated as Ray::readMoving does
// instead.
inline void interpolate (const MovingLanes& lanes, int32_t n) noexcept
{
    using Table = InterpolationCoefficients;
    constexpr float fastStep = 0.125f;
    const V step = load (lanes.phaseStep);
    uint32_t present = 0;
    for (int l = 0; l < W; ++l)
        if (lanes.ring[l] != nullptr)
        {
            scaleFromRing (lanes, l);
            present |= 1u << l;
        }
    const uint32_t fast = (bits (atLeast (step, broadcast (fastStep))) | bits (below (step, broadcast (-fastStep)))) & present;
    const uint32_t slow = present & ~fast;
    for (uint32_t which = fast; which != 0; which &= which - 1)
    {
        const int l = __builtin_ctz (which);
        Ray::interpolateMoving (lanes.scratch[l], lanes.out[l], n, { lanes.phase[l], lanes.phaseStep[l], 0 });
    }
    if (slow == 0)
        return;

    // Each slow lane's run so far: its first sample, phase index and shift.
    V phase = load (lanes.phase);
    V phaseIndex = truncate (phase);
    V shift = broadcast (0.0f);
    int32_t runStart[W] = {};
    float runIndex[W], runShift[W];
    store (runIndex, phaseIndex);
    store (runShift, shift);

    if ((bits (differ (step, broadcast (0.0f))) & slow) != 0)
    {
        const V phases = broadcast ((float) Table::numPhases);
        const V one = broadcast (1.0f);
        const V none = broadcast (0.0f);
        for (int32_t i = 1; i < n; ++i)
        {
            phase = phase + step;
            V next = truncate (phase);
            const uint32_t changed = bits (differ (next, phaseIndex)) & slow;
            if (changed == 0)
                continue;
            // Adding or taking off a whole turn where it wrapped, nothing
            // elsewhere: x - 64, x - (-64) and x - 0 round as x - 64, x + 64
            // and x do.
            const M up = atLeast (next, phases);
            const M down = below (next, none);
            const V turn = where (up, phases) - where (down, phases);
            phaseIndex = next - turn;
            phase = phase - turn;
            shift = shift + (where (up, one) - where (down, one));
            float index[W], shifts[W];
            store (index, phaseIndex);
            store (shifts, shift);
            for (uint32_t which = changed; which != 0; which &= which - 1)
            {
                const int l = __builtin_ctz (which);
                interpolateRun (lanes.scratch[l], lanes.out[l], runStart[l], i, (int) runIndex[l], (int) runShift[l]);
                runStart[l] = i;
                runIndex[l] = index[l];
                runShift[l] = shifts[l];
            }
        }
    }
    for (uint32_t which = slow; which != 0; which &= which - 1)
    {
        const int l = __builtin_ctz (which);
        interpolateRun (lanes.scratch[l], lanes.out[l], runStart[l], n, (int) runIndex[l], (int) runShift[l]);
    }
}
