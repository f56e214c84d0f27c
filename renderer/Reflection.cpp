#include "renderer/Reflection.h"

namespace Zeph
{
Reflection::Reflection (uint8_t channelIndex, uint8_t order, const float (&sourcePosition)[3],
                        float reflectionAngle, float pathGain) noexcept
    : channel (channelIndex),
      position { sourcePosition[0], sourcePosition[1], sourcePosition[2] },
      angle (reflectionAngle),
      refDistance (1.5f),
      gain (pathGain),
      isDirect (order == 0),
      left (0, order),
      right (1, order)
{
}

void Reflection::compile (const HeadMatrix* headMatrix, const Settings& settings, bool force) noexcept
{
    if (isDirect)
    {
        float p[3] = { position[0], position[1], position[2] };
        if (headMatrix != nullptr)
        {
            // Row vector times the row-major matrix: p'[c] = sum over r of p[r] M[r][c].
            float m[9];
            headMatrix->read (m);
            for (int c = 0; c < 3; ++c)
                p[c] = position[0] * m[c] + position[1] * m[3 + c] + position[2] * m[6 + c];
        }
        left.compile (settings, p[0], p[1], p[2], angle, refDistance, gain, force);
        right.compile (settings, p[0], p[1], p[2], angle, refDistance, gain, force);
        return;
    }

    // Image sources, desk and floor never move once their set is built.
    if (! force)
        return;
    left.compile (settings, position[0], position[1], position[2], angle, refDistance, gain, true);
    right.compile (settings, position[0], position[1], position[2], angle, refDistance, gain, true);
}
} // namespace Zeph
