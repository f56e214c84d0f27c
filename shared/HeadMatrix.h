#pragma once

#include <atomic>
#include <cstdint>

// The head orientation as a row-major 3 by 3 rotation matrix (element 3 * row + column),
// held twice so that a new matrix can be written while the previous one is read.
//
// One thread writes (the MIDI input thread). Publication is one release store of
// readMatrix after all nine values are in place. A reader that loads readMatrix once
// and reads through that pointer sees one complete matrix as long as it is done
// before the writer comes round to that half again; read() guarantees this for any
// reader: it marks the half it reads, and write() never fills a marked half.
// Neither side takes a lock; read() never waits.
struct HeadMatrix
{
    HeadMatrix() noexcept;

    // A copy holds the source's current matrix in both halves and points into itself.
    HeadMatrix (const HeadMatrix& other) noexcept;
    HeadMatrix& operator= (const HeadMatrix& other) noexcept;

    // Copies nine values into the write half, then makes that half the read half.
    void write (const float* m) noexcept;

    // Copies the latest complete matrix into out (nine floats). Lock-free, never waits.
    void read (float* out) const noexcept;

    float buffer[18];
    float* writeMatrix;
    std::atomic<float*> readMatrix;
    uint8_t writeIndex;

private:
    void setIdentity() noexcept;
    void waitForReadersOf (int half) const noexcept;

    // Readers inside read(), per half (0: buffer + 0, 1: buffer + 9).
    mutable std::atomic<int> readers[2];
};
