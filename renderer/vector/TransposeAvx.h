// Eight rows of eight floats transposed in place: r[j][l] becomes r[l][j].
// No include guard and no includes on purpose: included inside a namespace
// of a region compiled for AVX, after <immintrin.h>.
inline void transposeEight (__m256* r) noexcept
{
    __m256 t[8];
    for (int l = 0; l < 8; l += 2)
    {
        t[l] = _mm256_unpacklo_ps (r[l], r[l + 1]);     // l,l+1 of columns 0,1 | 4,5
        t[l + 1] = _mm256_unpackhi_ps (r[l], r[l + 1]); // l,l+1 of columns 2,3 | 6,7
    }
    __m256 u[8];
    for (int h = 0; h < 8; h += 4)
    {
        u[h] = _mm256_shuffle_ps (t[h], t[h + 2], _MM_SHUFFLE (1, 0, 1, 0));         // column 0 | 4
        u[h + 1] = _mm256_shuffle_ps (t[h], t[h + 2], _MM_SHUFFLE (3, 2, 3, 2));     // column 1 | 5
        u[h + 2] = _mm256_shuffle_ps (t[h + 1], t[h + 3], _MM_SHUFFLE (1, 0, 1, 0)); // 2 | 6
        u[h + 3] = _mm256_shuffle_ps (t[h + 1], t[h + 3], _MM_SHUFFLE (3, 2, 3, 2)); // 3 | 7
    }
    for (int j = 0; j < 4; ++j)
    {
        r[j] = _mm256_permute2f128_ps (u[j], u[j + 4], 0x20);
        r[j + 4] = _mm256_permute2f128_ps (u[j], u[j + 4], 0x31);
    }
}
