#include "renderer/Room.h"

namespace Zeph
{
void Room::takePendingSwap() noexcept
{
    if (swapPending)
    {
        swapPending = false;
        activeSet = (uint8_t) (1 - activeSet);
    }
}
} // namespace Zeph
