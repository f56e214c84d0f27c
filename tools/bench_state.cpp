// How long the bundle's component takes to restore damaged states of about 1 MB
// through the plain VST3 interfaces: the CPU time of setState on the calling
// thread, the median of some runs per block. Each should stay well under 50 ms.
//
//   bench_state                     full run of the bundle this build makes
//   bench_state --quick             one run per block (CI)
//   bench_state [--quick] <bundle>  another bundle

#include "tools/host/HostState.h"
#include "tools/host/Vst3Instance.h"

#include <juce_events/juce_events.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <random>
#include <vector>

namespace
{
constexpr size_t megabyte = 1 << 20;
constexpr double goalMilliseconds = 50.0;

double threadCpuSeconds()
{
    timespec t {};
    clock_gettime (CLOCK_THREAD_CPUTIME_ID, &t);
    return (double) t.tv_sec + 1e-9 * (double) t.tv_nsec;
}

const juce::MemoryBlock text ("Bypassed=False\r\nChannelProfile=2\r\nRoom=2\r\n", 41);

// Serialised tree data written by hand: NUL-terminated names, counts, bytes.
struct TreeData
{
    juce::MemoryOutputStream out;

    TreeData& name (const juce::String& s)
    {
        out.writeString (s);
        return *this;
    }
    TreeData& count (int n)
    {
        out.writeCompressedInt (n);
        return *this;
    }
    TreeData& fill (size_t numBytes, char byte)
    {
        out.writeRepeatedByte ((juce::uint8) byte, numBytes);
        return *this;
    }
};

juce::MemoryBlock trailed (const TreeData& data)
{
    return VbHost::HostState::withFrameworkTrailer (text, data.out.getMemoryBlock(), data.out.getDataSize());
}

struct Block
{
    const char* name;
    std::function<juce::MemoryBlock()> make;
};

const std::vector<Block>& blocks()
{
    static const std::vector<Block> list {
        { "random bytes",
          [] {
              std::mt19937 random (1);
              juce::MemoryBlock block (megabyte);
              for (size_t i = 0; i < megabyte; ++i)
                  block[i] = (char) random();
              return block;
          } },
        { "trailer length 2^64-1",
          [] { return VbHost::HostState::withFrameworkTrailer (text, juce::MemoryBlock (megabyte, true), ~0ull); } },
        { "property count 2^31-1",
          [] { return trailed (TreeData().name ("T").count (0x7fffffff).fill (megabyte, 0)); } },
        { "child count 2^31-1",
          [] { return trailed (TreeData().name ("T").count (0).count (0x7fffffff).fill (megabyte, 0)); } },
        { "children nested 200000 deep",
          [] {
              TreeData data;
              for (int i = 0; i < 200000; ++i)
                  data.name ("T").count (0).count (1);
              return trailed (data.name ("T").count (0).count (0));
          } },
        { "120000 properties",
          [] {
              TreeData data;
              data.name ("T").count (120000);
              for (int i = 0; i < 120000; ++i)
                  data.name ("p" + juce::String (i)).count (0);
              return trailed (data.count (0));
          } },
        { "1000 string properties (read)",
          [] {
              TreeData data;
              data.name ("JUCEPrivateData").count (1000);
              for (int i = 0; i < 1000; ++i)
                  data.name ("p" + juce::String (i)).count (1000).fill (1, 5).fill (999, 'a');
              return trailed (data.count (0));
          } },
        { "1 MB binary property (read)",
          [] { return trailed (TreeData().name ("JUCEPrivateData").count (1).name ("Bypass").count ((int) megabyte + 1).fill (1, 8).fill (megabyte, 1).count (0)); } },
    };
    return list;
}

int run (const juce::File& bundle, bool quick)
{
    juce::String error;
    auto module = VbHost::Vst3Module::open (bundle, error);
    auto instance = module != nullptr ? VbHost::Vst3Instance::create (*module, error) : nullptr;
    if (instance == nullptr)
    {
        std::fprintf (stderr, "bench_state: %s\n", error.toRawUTF8());
        return 1;
    }

    const int runs = quick ? 1 : 9;
    std::printf ("setState, CPU time of the calling thread (median of %d)\n", runs);
    for (const auto& block : blocks())
    {
        const auto bytes = block.make();
        std::vector<double> milliseconds;
        for (int i = 0; i < runs; ++i)
        {
            const double start = threadCpuSeconds();
            instance->setState (bytes);
            milliseconds.push_back (1000.0 * (threadCpuSeconds() - start));
        }
        std::sort (milliseconds.begin(), milliseconds.end());
        const double median = milliseconds[milliseconds.size() / 2];
        std::printf ("  %-32s %8zu bytes %8.2f ms%s\n", block.name, bytes.getSize(), median,
                     median > goalMilliseconds ? "  (over 50 ms)" : "");
    }
    return 0;
}
} // namespace

int main (int argc, char** argv)
{
    juce::StringArray args (argv + 1, argc - 1);
    const bool quick = args.contains ("--quick");
    args.removeString ("--quick");
    juce::ScopedJuceInitialiser_GUI juce;
    return run (juce::File (args.isEmpty() ? juce::String (VB_VST3_BUNDLE) : args[0]), quick);
}
