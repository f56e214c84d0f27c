#include "renderer/Room.h"

namespace Zeph
{
Room::ReflectionSet& Room::claimInactiveSet() noexcept
{
    uint32_t word = state.load (std::memory_order_acquire);
    while (! state.compare_exchange_weak (word, word & ~swapBit, std::memory_order_acq_rel, std::memory_order_acquire))
    {
    }
    return reflectionSets[1 - (word & activeBit)];
}

void Room::publishInactiveSet() noexcept
{
    state.fetch_or (swapBit | resetBit, std::memory_order_release);
}

bool Room::takePendingReset() noexcept
{
    return (state.fetch_and (~resetBit, std::memory_order_acq_rel) & resetBit) != 0;
}

Room::ReflectionSet& Room::takePendingSwap() noexcept
{
    uint32_t word = state.load (std::memory_order_acquire);
    while ((word & (swapBit | resetBit)) == swapBit)
    {
        const uint32_t flipped = (word ^ activeBit) & ~swapBit;
        if (state.compare_exchange_weak (word, flipped, std::memory_order_acq_rel, std::memory_order_acquire))
        {
            word = flipped;
            break;
        }
    }
    return reflectionSets[word & activeBit];
}
} // namespace Zeph
