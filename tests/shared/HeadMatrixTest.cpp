#include "shared/HeadMatrix.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace
{
const float identity[9] = { 1, 0, 0, 0, 1, 0, 0, 0, 1 };

void expectMatrix (const float* actual, const float* expected)
{
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ (actual[i], expected[i]) << "element " << i;
}

void fillMatrix (float* m, float base)
{
    for (int i = 0; i < 9; ++i)
        m[i] = base + (float) i;
}
} // namespace

TEST (HeadMatrix, NewMatrixIsIdentityInBothHalves)
{
    HeadMatrix h;
    EXPECT_EQ (h.readMatrix.load(), h.buffer);
    EXPECT_EQ (h.writeMatrix, h.buffer + 9);
    EXPECT_EQ (h.writeIndex, 9);
    expectMatrix (h.buffer, identity);
    expectMatrix (h.buffer + 9, identity);

    float out[9];
    h.read (out);
    expectMatrix (out, identity);
}

TEST (HeadMatrix, EachWriteFlipsTheHalves)
{
    HeadMatrix h;
    float a[9], b[9], c[9];
    fillMatrix (a, 10);
    fillMatrix (b, 20);
    fillMatrix (c, 30);

    h.write (a);
    EXPECT_EQ (h.readMatrix.load(), h.buffer + 9);
    EXPECT_EQ (h.writeIndex, 0);
    EXPECT_EQ (h.writeMatrix, h.buffer);
    expectMatrix (h.readMatrix, a);
    expectMatrix (h.buffer, identity); // the old half is untouched

    h.write (b);
    EXPECT_EQ (h.readMatrix.load(), h.buffer);
    EXPECT_EQ (h.writeIndex, 9);
    EXPECT_EQ (h.writeMatrix, h.buffer + 9);
    expectMatrix (h.readMatrix, b);
    expectMatrix (h.buffer + 9, a);

    h.write (c);
    EXPECT_EQ (h.readMatrix.load(), h.buffer + 9);
    expectMatrix (h.readMatrix, c);
    expectMatrix (h.buffer, b);
}

TEST (HeadMatrix, PointersAlwaysDesignateDifferentHalves)
{
    HeadMatrix h;
    float m[9];
    for (int k = 0; k < 7; ++k)
    {
        fillMatrix (m, (float) k);
        h.write (m);
        EXPECT_EQ (h.readMatrix.load(), h.buffer + (9 - h.writeIndex));
        EXPECT_EQ (h.writeMatrix, h.buffer + h.writeIndex);
        EXPECT_NE (h.readMatrix.load(), h.writeMatrix);
    }
}

TEST (HeadMatrix, CopyPointsIntoItselfAndHoldsTheLatestMatrix)
{
    HeadMatrix h;
    float a[9], b[9];
    fillMatrix (a, 1);
    fillMatrix (b, 100);
    h.write (a);

    HeadMatrix copy (h);
    const float* copyRead = copy.readMatrix;
    EXPECT_TRUE (copyRead == copy.buffer || copyRead == copy.buffer + 9);
    EXPECT_EQ (copy.writeMatrix, copy.buffer + copy.writeIndex);
    expectMatrix (copy.buffer, a);
    expectMatrix (copy.buffer + 9, a);

    h.write (b);
    expectMatrix (copy.readMatrix, a); // the copy does not follow the source

    copy = h;
    expectMatrix (copy.readMatrix, b);
    EXPECT_NE (copy.readMatrix.load(), h.readMatrix.load());
}

// One writer at a high rate, one reader: every matrix read holds nine equal values
// of one write, and never an older write than one read before.
TEST (HeadMatrix, ConcurrentReaderNeverSeesATornMatrix)
{
    HeadMatrix h;
    const float zero[9] = {};
    h.write (zero);

    constexpr int minWrites = 200000;
    constexpr int minReads = 20000;
    std::atomic<bool> done { false };
    std::atomic<int> torn { 0 };
    std::atomic<int> reads { 0 };

    std::thread reader ([&] {
        float out[9];
        float last = 0;
        while (! done.load (std::memory_order_acquire))
        {
            h.read (out);
            for (int i = 1; i < 9; ++i)
                if (out[i] != out[0])
                    torn.fetch_add (1);
            if (out[0] < last)
                torn.fetch_add (1);
            last = out[0];
            reads.fetch_add (1, std::memory_order_relaxed);
        }
    });

    float m[9];
    int k = 0;
    while (k < minWrites || (reads.load (std::memory_order_relaxed) < minReads && k < 50 * minWrites))
    {
        ++k;
        for (int i = 0; i < 9; ++i)
            m[i] = (float) k;
        h.write (m);
    }
    done.store (true, std::memory_order_release);
    reader.join();

    EXPECT_EQ (torn.load(), 0);
    EXPECT_GT (reads.load(), 0);

    float out[9];
    h.read (out);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ (out[i], (float) k);
}

TEST (HeadMatrix, SeveralReadersAndOneWriter)
{
    HeadMatrix h;
    const float zero[9] = {};
    h.write (zero);
    std::atomic<bool> done { false };
    std::atomic<int> torn { 0 };

    auto readLoop = [&] {
        float out[9];
        while (! done.load (std::memory_order_acquire))
        {
            h.read (out);
            for (int i = 1; i < 9; ++i)
                if (out[i] != out[0] * (float) (i + 1))
                    torn.fetch_add (1);
        }
    };
    std::thread r1 (readLoop), r2 (readLoop);

    float m[9];
    for (int k = 0; k < 50000; ++k)
    {
        for (int i = 0; i < 9; ++i)
            m[i] = (float) k * (float) (i + 1);
        h.write (m);
    }
    done.store (true, std::memory_order_release);
    r1.join();
    r2.join();
    EXPECT_EQ (torn.load(), 0);
}
