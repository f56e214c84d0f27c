#pragma once

// The unit-stride vector operations the renderer uses, each run at the
// widest vector width the processor has. All are elementwise and none fuses
// a multiply and an add, so every width gives the same samples.
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
// d[i] = a[i]; whether every a[i] is finite (neither infinity nor NaN)
bool copyFinite (const float* a, float* d, int n) noexcept;
// Whether every a[i] is finite.
bool allFinite (const float* a, int n) noexcept;

// The operations at one vector width: the functions above run the
// widest this processor has.
struct Operations
{
    void (*clear) (float*, int) noexcept;
    void (*add) (const float*, const float*, float*, int) noexcept;
    void (*multiply) (const float*, float, float*, int) noexcept;
    void (*multiplyAdd) (const float*, float, const float*, float*, int) noexcept;
    bool (*copyFinite) (const float*, float*, int) noexcept;
    bool (*allFinite) (const float*, int) noexcept;
};

// The operations of lanes floats per vector (1 for plain loops, 4, 8 or
// 16), or nullptr where this build or processor has no such width.
const Operations* operationsForWidth (int lanes) noexcept;
} // namespace Zeph::Vec
