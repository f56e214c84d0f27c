#pragma once

// The four unit-stride vector operations the renderer uses, in one place so
// that the platform's vector library can sit behind them.
namespace Zeph::Vec
{
// d[i] = 0
void clear (float* d, int n) noexcept;
// d[i] = a[i] + b[i]
void add (const float* a, const float* b, float* d, int n) noexcept;
// d[i] = a[i] * s
void multiply (const float* a, float s, float* d, int n) noexcept;
// d[i] = a[i] * s + b[i]
void multiplyAdd (const float* a, float s, const float* b, float* d, int n) noexcept;
} // namespace Zeph::Vec
