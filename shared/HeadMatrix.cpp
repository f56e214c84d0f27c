#include "shared/HeadMatrix.h"

#include <thread>

HeadMatrix::HeadMatrix() noexcept
{
    readers[0].store (0, std::memory_order_relaxed);
    readers[1].store (0, std::memory_order_relaxed);
    setIdentity();
}

HeadMatrix::HeadMatrix (const HeadMatrix& other) noexcept : HeadMatrix()
{
    *this = other;
}

HeadMatrix& HeadMatrix::operator= (const HeadMatrix& other) noexcept
{
    if (this == &other)
        return *this;

    float m[9];
    other.read (m);
    write (m);
    write (m);
    return *this;
}

void HeadMatrix::setIdentity() noexcept
{
    for (int half = 0; half < 2; ++half)
        for (int i = 0; i < 9; ++i)
            buffer[9 * half + i] = (i % 4 == 0) ? 1.0f : 0.0f;

    writeIndex = 9;
    writeMatrix = buffer + writeIndex;
    readMatrix.store (buffer, std::memory_order_release);
}

void HeadMatrix::waitForReadersOf (int half) const noexcept
{
    // A reader holds a half for the time of nine float copies.
    while (readers[half].load (std::memory_order_seq_cst) != 0)
        std::this_thread::yield();
}

void HeadMatrix::write (const float* m) noexcept
{
    waitForReadersOf (writeIndex == 0 ? 0 : 1);

    for (int i = 0; i < 9; ++i)
        writeMatrix[i] = m[i];

    readMatrix.store (buffer + writeIndex, std::memory_order_seq_cst);
    writeIndex = (uint8_t) (9 - writeIndex);
    writeMatrix = buffer + writeIndex;
}

void HeadMatrix::read (float* out) const noexcept
{
    for (;;)
    {
        float* m = readMatrix.load (std::memory_order_acquire);
        const int half = (m == buffer) ? 0 : 1;

        // Mark the half, then make sure it is still the published one: a writer that
        // flipped in between may already be filling it.
        readers[half].fetch_add (1, std::memory_order_seq_cst);

        if (readMatrix.load (std::memory_order_seq_cst) == m)
        {
            for (int i = 0; i < 9; ++i)
                out[i] = m[i];

            readers[half].fetch_sub (1, std::memory_order_release);
            return;
        }

        readers[half].fetch_sub (1, std::memory_order_relaxed);
    }
}
