// processBlock must never allocate, free or lock: not in either branch, not
// right after a rebuild, and not while a rebuild or a head movement runs on
// another thread.
#include "RealtimeRig.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace
{
constexpr int numLayouts = 16;
constexpr int block = 512;

// Under ThreadSanitizer the scenario still runs (and is checked for races and
// finite output); only the counting is skipped.
#define EXPECT_REALTIME_SAFE(counts)                                                        \
    do                                                                                      \
    {                                                                                       \
        if (! RealtimeProbe::available)                                                     \
            GTEST_SKIP() << "allocation and lock counting is compiled out under the sanitizers"; \
        EXPECT_EQ ((counts).allocations, 0u) << "allocations in processBlock";              \
        EXPECT_EQ ((counts).frees, 0u) << "frees in processBlock";                          \
        EXPECT_EQ ((counts).mutexLocks, 0u) << "mutex locks in processBlock";               \
    } while (false)

const char* roomName (int room)
{
    return room == 0 ? "Speech optimised" : room == 1 ? "Mixing studio" : "Hall";
}

// Runs `work` on another thread, over and over, until the scope ends.
class Background
{
public:
    template <typename Work>
    explicit Background (Work work)
        : thread ([this, work]() mutable {
              for (int i = 0; ! stop.load(); ++i)
              {
                  work (i);
                  rounds.fetch_add (1);
              }
          })
    {
    }

    ~Background()
    {
        stop = true;
        thread.join();
    }

    int completed() const { return rounds.load(); }

private:
    std::atomic<bool> stop { false };
    std::atomic<int> rounds { 0 };
    std::thread thread;
};

// Renders blocks until at least minBlocks are done and every background worker
// has completed minRounds while blocks were rendering (or a generous time ran out).
void renderAlongside (RealtimeRig& rig, std::initializer_list<const Background*> workers, int minBlocks, int minRounds)
{
    std::vector<int> before;
    for (auto* w : workers)
        before.push_back (w->completed());
    auto roundsDone = [&] {
        size_t k = 0;
        for (auto* w : workers)
            if (w->completed() - before[k++] < minRounds)
                return false;
        return true;
    };

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds (120);
    int blocks = 0;
    while ((blocks < minBlocks || ! roundsDone()) && std::chrono::steady_clock::now() < deadline)
    {
        rig.renderBlock (block);
        ++blocks;
    }
    EXPECT_TRUE (roundsDone()) << "the background work did not overlap the rendering";
}
} // namespace

TEST (Realtime, ProbeSeesThePluginCode)
{
    // A room build allocates its reflections and takes the room lock: run on
    // the marked thread, it must be counted, or the zeros below mean nothing.
    RealtimeRig rig (12);
    RealtimeProbe::reset();
    {
        RealtimeProbe::AudioThreadScope audioThread;
        rig.processor->layoutSettingsChanged();
    }
    if (! RealtimeProbe::available)
        GTEST_SKIP() << "allocation and lock counting is compiled out under the sanitizers";
    EXPECT_GE (RealtimeProbe::counts().allocations, 120u); // one per reflection at least
    EXPECT_GE (RealtimeProbe::counts().frees, 120u);       // the old set goes
    EXPECT_GE (RealtimeProbe::counts().mutexLocks, 1u);
}

TEST (Realtime, EveryLayoutInBothBranches)
{
    RealtimeRig rig (16);
    RealtimeProbe::reset();
    for (int id = 0; id < numLayouts; ++id)
        for (int room = 0; room < 3; ++room)
            for (int bypassed = 0; bypassed < 2; ++bypassed)
            {
                rig.state().bypassed = (uint8_t) bypassed;
                rig.setLayout (id, room);
                rig.renderBlocks (3, block); // the first block takes the build over
                EXPECT_EQ (rig.nonFiniteBlocks, 0) << "layout " << id << ", " << roomName (room);
            }
    EXPECT_REALTIME_SAFE (RealtimeProbe::counts());
}

TEST (Realtime, InputCountsBlockSizesAndRates)
{
    // Fewer inputs than positions, a mono input, blocks from one sample to
    // past the longest the renderer takes in one piece.
    for (int numIn : { 1, 2, 8, 12, 20 })
        for (double rate : { 44100.0, 96000.0, 192000.0 })
        {
            RealtimeRig rig (numIn, rate);
            rig.setLayout (numIn == 8 ? 1 : 11, 1);
            rig.setTrims (26, 16, 1); // "Nearfield": both equaliser stages run
            RealtimeProbe::reset();
            for (int n : { 1, 17, 64, 512, 2048, 3000, 4096 })
                for (int bypassed = 0; bypassed < 2; ++bypassed)
                {
                    rig.state().bypassed = (uint8_t) bypassed;
                    rig.renderBlocks (2, n);
                }
            EXPECT_EQ (rig.nonFiniteBlocks, 0) << numIn << " inputs at " << rate;
            if (RealtimeProbe::available)
            {
                EXPECT_EQ (RealtimeProbe::counts().total(), 0u) << numIn << " inputs at " << rate;
            }
        }
    EXPECT_REALTIME_SAFE (RealtimeProbe::counts());
}

TEST (Realtime, SettingsChangedBetweenBlocks)
{
    RealtimeRig rig (16);
    RealtimeProbe::reset();
    juce::Random random (7);
    for (int round = 0; round < 120; ++round)
    {
        switch (round % 6)
        {
            case 0: rig.setLayout (random.nextInt (numLayouts), random.nextInt (3)); break;
            case 1: rig.setTrims (random.nextInt (33), random.nextInt (33), random.nextInt (2)); break;
            case 2: rig.state().soloMutes.set (random.nextInt (16), (SoloMuteState) random.nextInt (3)); break;
            case 3: rig.state().bypassed = (uint8_t) random.nextInt (2); break;
            case 4:
                rig.loadState ("Bypassed=False\r\nChannelProfile=" + juce::String (random.nextInt (numLayouts))
                               + "\r\nSoloMutes=-m-s\r\nRoom=" + juce::String (random.nextInt (3))
                               + "\r\nLoudspeakers=1\r\nVolumeTrim=20\r\nReverbTrim=30");
                break;
            default:
                rig.state().soloMutes.reset();
                rig.state().soloMutes.updateAnySolo();
                break;
        }
        rig.renderBlock (random.nextBool() ? block : 1 + random.nextInt (2048));
    }
    EXPECT_EQ (rig.nonFiniteBlocks, 0);
    EXPECT_REALTIME_SAFE (RealtimeProbe::counts());
}

TEST (Realtime, RebuildOnAnotherThread)
{
    RealtimeRig rig (12);
    RealtimeProbe::reset();
    {
        // The builder walks every layout and room; every build allocates its set.
        Background builder ([&rig] (int i) {
            rig.setLayout ((i * 5) % numLayouts, i % 3);
            if (i % 4 == 0)
                rig.setTrims (i % 33, (i * 7) % 33, (i / 4) % 2);
        });
        renderAlongside (rig, { &builder }, 100, 30);
    }
    EXPECT_EQ (rig.nonFiniteBlocks, 0);
    EXPECT_REALTIME_SAFE (RealtimeProbe::counts());
}

// Layouts that all give twelve channels to render with twelve inputs.
constexpr int twelveChannelLayouts[] = { 10, 11, 13, 15 };

TEST (Realtime, RebuildOnAnotherThreadWithSpatialiserOff)
{
    RealtimeRig rig (12);
    rig.state().bypassed = 1;
    RealtimeProbe::reset();
    {
        Background builder ([&rig] (int i) {
            rig.setLayout (twelveChannelLayouts[i % 4], (i / 4) % 3);
            if (i % 4 == 0)
                rig.setTrims (i % 33, (i * 7) % 33, (i / 4) % 2);
        });
        renderAlongside (rig, { &builder }, 100, 30);
    }
    EXPECT_EQ (rig.nonFiniteBlocks, 0);
    EXPECT_REALTIME_SAFE (RealtimeProbe::counts());
}

// A switch to a smaller layout in mid-block while the spatialiser is off.
TEST (Realtime, LayoutShrinksWhileDownmixing)
{
    RealtimeRig rig (16);
    rig.state().bypassed = 1;
    {
        Background builder ([&rig] (int i) { rig.setLayout (i % 2 == 0 ? 13 : 0, 1); });
        renderAlongside (rig, { &builder }, 2000, 200);
    }
    EXPECT_EQ (rig.nonFiniteBlocks, 0);
}

TEST (Realtime, HeadMovementOnAnotherThread)
{
    for (int id : { 1, 11, 13 })
    {
        RealtimeRig rig (16);
        rig.setLayout (id, 1);
        RealtimeProbe::reset();
        {
            Background tracker ([&rig] (int i) {
                HeadMatrix head;
                float m[9];
                headRotation (0.02f * (float) i, 0.3f * std::sin (0.01f * (float) i), m);
                head.write (m);
                rig.processor->trackerChanged (head);
            });
            renderAlongside (rig, { &tracker }, 100, 200);
        }
        EXPECT_EQ (rig.nonFiniteBlocks, 0) << "layout " << id;
        if (RealtimeProbe::available)
        {
            EXPECT_EQ (RealtimeProbe::counts().total(), 0u) << "layout " << id;
        }
    }
    EXPECT_REALTIME_SAFE (RealtimeProbe::counts());
}

TEST (Realtime, RebuildAndHeadMovementTogether)
{
    RealtimeRig rig (12);
    RealtimeProbe::reset();
    {
        Background tracker ([&rig] (int i) {
            HeadMatrix head;
            float m[9];
            headRotation (-0.03f * (float) i, 0.1f, m);
            head.write (m);
            rig.processor->trackerChanged (head);
        });
        Background builder ([&rig] (int i) {
            rig.setLayout (i % 2 == 0 ? 11 : (i * 3) % numLayouts, (i / 2) % 3);
            rig.state().soloMutes.set (i % 12, (SoloMuteState) ((i / 12) % 3));
            std::this_thread::sleep_for (std::chrono::microseconds (200)); // lets the tracker in
        });
        renderAlongside (rig, { &tracker, &builder }, 150, 30);
    }
    EXPECT_EQ (rig.nonFiniteBlocks, 0);
    EXPECT_REALTIME_SAFE (RealtimeProbe::counts());
}
