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

// The first F head-model filters of the W rays in lanes first..first+W-1,
// held in registers over a block.
template <int F>
struct Filters
{
    V c[F][5];
    V s1[F];
    V s2[F];

    Filters() = default;

    Filters (const RayBatch::Lanes& lanes, int first) noexcept
    {
        for (int f = 0; f < F; ++f)
        {
            for (int k = 0; k < 5; ++k)
                c[f][k] = load (lanes.coefficients[f][k] + first);
            s1[f] = load (lanes.contexts[f][0] + first);
            s2[f] = load (lanes.contexts[f][1] + first);
        }
    }

    void save (RayBatch::Lanes& lanes, int first) const noexcept
    {
        for (int f = 0; f < F; ++f)
        {
            store (lanes.contexts[f][0] + first, s1[f]);
            store (lanes.contexts[f][1] + first, s2[f]);
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

// Static rays, G vectors of W lanes side by side (independent filter chains
// for the processor to overlap): lane l reads lanes.source[l][0..n-1],
// scales it by its gain and runs filters 0 and 1. Vector v holds counts[v]
// pairs; the vectors are added in order.
template <int G>
inline void staticGroup (RayBatch::Lanes& lanes, float* outL, float* outR, const int* counts, int32_t n) noexcept
{
    Filters<2> filters[G];
    V g[G];
    for (int v = 0; v < G; ++v)
    {
        filters[v] = Filters<2> (lanes, v * W);
        g[v] = load (lanes.gain + v * W);
    }

    int32_t i = 0;
    for (; i + W <= n; i += W)
    {
        V x[G][W];
        for (int v = 0; v < G; ++v)
        {
            for (int l = 0; l < W; ++l)
                x[v][l] = load (lanes.source[v * W + l] + i);
            transposeSquare (x[v]);
        }
        for (int j = 0; j < W; ++j)
            for (int v = 0; v < G; ++v)
                x[v][j] = filters[v].run (x[v][j] * g[v]);
        for (int v = 0; v < G; ++v)
            addPairs (x[v], outL + i, outR + i, counts[v]);
    }
    for (; i < n; ++i)
    {
        for (int v = 0; v < G; ++v)
        {
            float column[W];
            for (int l = 0; l < W; ++l)
                column[l] = lanes.source[v * W + l][i];
            addPairs (filters[v].run (load (column) * g[v]), outL + i, outR + i, counts[v]);
        }
    }

    for (int v = 0; v < G; ++v)
        filters[v].save (lanes, v * W);
}

// Moving rays: input (n x W, interleaved) holds the interpolated, scaled
// reads; all five filters run.
inline void movingGroup (RayBatch::Lanes& lanes, const float* input, float* outL, float* outR, int count,
                         int32_t n) noexcept
{
    Filters<Ray::numFilters> filters (lanes, 0);

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

    filters.save (lanes, 0);
}
