#include "shared/Rotation.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

TEST (Rotation, RotationsPassAndWhatIsNoneIsStraightenedOrRefused)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float s = 1448.0f / 2048.0f; // a 90-degree yaw quaternion on the wire
    const float quantised[9] { s * s - s * s, -2 * s * s, 0, 2 * s * s, s * s - s * s, 0, 0, 0, 2 * s * s };

    const struct
    {
        const char* what;
        std::vector<float> in;
        bool accepted;
        std::vector<float> out; // empty: the input itself
    } cases[] {
        { "identity", { 1, 0, 0, 0, 1, 0, 0, 0, 1 }, true, {} },
        { "quantised quaternion", { quantised, quantised + 9 }, true, {} },
        { "unnormalised quaternion (2, 0, 0, 0)", { 4, 0, 0, 0, 4, 0, 0, 0, 4 }, true, { 1, 0, 0, 0, 1, 0, 0, 0, 1 } },
        { "scaled yaw", { 0, -3, 0, 3, 0, 0, 0, 0, 3 }, true, { 0, -1, 0, 1, 0, 0, 0, 0, 1 } },
        { "zero quaternion", { 0, 0, 0, 0, 0, 0, 0, 0, 0 }, false, {} },
        { "not a number", { nan, 0, 0, 0, 1, 0, 0, 0, 1 }, false, {} },
        { "mirror image", { -1, 0, 0, 0, 1, 0, 0, 0, 1 }, false, {} },
        { "all rows equal", { 3.999f, 3.999f, 3.999f, 3.999f, 3.999f, 3.999f, 3.999f, 3.999f, 3.999f }, false, {} },
        { "third row in the plane of the others", { 1, 0, 0, 0, 1, 0, 1, 1, 0 }, false, {} },
    };

    for (const auto& c : cases)
    {
        float out[9] { 7, 7, 7, 7, 7, 7, 7, 7, 7 };
        EXPECT_EQ (toRotation (c.in.data(), out), c.accepted) << c.what;
        const auto& expected = ! c.accepted ? std::vector<float> (9, 7.0f) : c.out.empty() ? c.in : c.out;
        for (int i = 0; i < 9; ++i)
            EXPECT_NEAR (out[i], expected[(size_t) i], 1.0e-6f) << c.what << ", element " << i;
    }

    // A skewed matrix comes out orthonormal and turning the right way.
    const float skewed[9] { 1.0f, 0.3f, 0.0f, 0.2f, 0.9f, 0.1f, 0.0f, 0.0f, 1.2f };
    float r[9];
    ASSERT_TRUE (toRotation (skewed, r));
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            EXPECT_NEAR (r[3 * i] * r[3 * j] + r[3 * i + 1] * r[3 * j + 1] + r[3 * i + 2] * r[3 * j + 2],
                         i == j ? 1.0f : 0.0f, 1.0e-5f);
    const float det = r[0] * (r[4] * r[8] - r[5] * r[7]) - r[1] * (r[3] * r[8] - r[5] * r[6])
                      + r[2] * (r[3] * r[7] - r[4] * r[6]);
    EXPECT_NEAR (det, 1.0f, 1.0e-5f);
}
