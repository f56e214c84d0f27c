#pragma once

#include <juce_core/juce_core.h>

#include <algorithm>
#include <vector>

namespace Midi
{
// Listeners held as raw pointers that the list does not own, called in the
// order they were added. add, remove and call take the owner's lock, so once
// remove has returned no call made through call() reaches that listener. The
// lock is recursive: a listener may call back into its owner.
template <typename ListenerType>
class ListenerList
{
public:
    explicit ListenerList (juce::CriticalSection& ownersLock) noexcept : lock (ownersLock) {}

    void add (ListenerType* listener)
    {
        const juce::ScopedLock sl (lock);
        listeners.push_back (listener);
    }

    // Removes every entry of the listener.
    void remove (ListenerType* listener)
    {
        const juce::ScopedLock sl (lock);
        listeners.erase (std::remove (listeners.begin(), listeners.end(), listener), listeners.end());
    }

    void clear()
    {
        const juce::ScopedLock sl (lock);
        listeners.clear();
    }

    // function (listener) for every listener in order, holding the lock.
    template <typename Function>
    void call (Function&& function)
    {
        const juce::ScopedLock sl (lock);
        callUnlocked (function);
    }

    // The same without the lock: only on the thread that adds and removes the
    // listeners, for calls during which the lock must not be held.
    template <typename Function>
    void callUnlocked (Function&& function)
    {
        for (size_t i = 0; i < listeners.size(); ++i)
            function (*listeners[i]);
    }

    std::vector<ListenerType*> toVector() const
    {
        const juce::ScopedLock sl (lock);
        return listeners;
    }

private:
    juce::CriticalSection& lock;
    std::vector<ListenerType*> listeners;
};
} // namespace Midi
