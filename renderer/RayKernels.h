// The filter kernels of RayBatch for one vector width. RayBatch.cpp includes
// this file once per instruction set, inside a namespace that defines
// W (lanes), V (a vector of W floats with + - *), load, store and
// transposeSquare (W vectors of W lanes, transposed in place).
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

// The first F head-model filters of W rays, held in registers over a block.
template <int F>
struct Filters
{
    V c[F][5];
    V s1[F];
    V s2[F];

    explicit Filters (const RayBatch::Lanes& lanes) noexcept
    {
        for (int f = 0; f < F; ++f)
        {
            for (int k = 0; k < 5; ++k)
                c[f][k] = load (lanes.coefficients[f][k]);
            s1[f] = load (lanes.contexts[f][0]);
            s2[f] = load (lanes.contexts[f][1]);
        }
    }

    void save (RayBatch::Lanes& lanes) const noexcept
    {
        for (int f = 0; f < F; ++f)
        {
            store (lanes.contexts[f][0], s1[f]);
            store (lanes.contexts[f][1], s2[f]);
        }
    }

    V run (V x) noexcept
    {
        for (int f = 0; f < F; ++f)
            x = biquadStep (x, s1[f], s2[f], c[f]);
        return x;
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

// Static rays: lane l reads lanes.source[l][0..n-1], scales it by its gain
// and runs filters 0 and 1.
inline void staticGroup (RayBatch::Lanes& lanes, float* outL, float* outR, int count, int32_t n) noexcept
{
    Filters<2> filters (lanes);
    const V g = load (lanes.gain);

    int32_t i = 0;
    for (; i + W <= n; i += W)
    {
        V x[W];
        for (int l = 0; l < W; ++l)
            x[l] = load (lanes.source[l] + i);
        transposeSquare (x);
        for (int j = 0; j < W; ++j)
            x[j] = filters.run (x[j] * g);
        addPairs (x, outL + i, outR + i, count);
    }
    for (; i < n; ++i)
    {
        float column[W];
        for (int l = 0; l < W; ++l)
            column[l] = lanes.source[l][i];
        addPairs (filters.run (load (column) * g), outL + i, outR + i, count);
    }

    filters.save (lanes);
}

// Moving rays: input (n x W, interleaved) holds the interpolated, scaled
// reads; all five filters run.
inline void movingGroup (RayBatch::Lanes& lanes, const float* input, float* outL, float* outR, int count,
                         int32_t n) noexcept
{
    Filters<Ray::numFilters> filters (lanes);

    int32_t i = 0;
    for (; i + W <= n; i += W)
    {
        V y[W];
        for (int j = 0; j < W; ++j)
            y[j] = filters.run (load (input + (size_t) (i + j) * W));
        addPairs (y, outL + i, outR + i, count);
    }
    for (; i < n; ++i)
        addPairs (filters.run (load (input + (size_t) i * W)), outL + i, outR + i, count);

    filters.save (lanes);
}
