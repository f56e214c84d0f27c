// Damaged component states handed to the bundle through the plain VST3 interfaces,
// as a host restores a corrupt project. The framework keeps its own data after the
// plug-in's text: eight zero bytes, a serialised ValueTree (holding the host bypass),
// its length as eight bytes and the text "JUCEPrivateData". A trailer whose length
// does not fit is no trailer: the whole block is the plug-in's text. Private data
// that does not read within its bytes is ignored. Whatever the block, the instance
// then renders finite output, and what it saves loads back the same.

#include "tests/host/HostFixture.h"
#include "tools/host/HostState.h"
#include "tools/host/Vst3Instance.h"

#include <juce_data_structures/juce_data_structures.h>

#include <cstring>
#include <functional>
#include <limits>
#include <random>

namespace
{
using HostTesting::bytesOf;
using HostTesting::stateText;

constexpr double rate = 48000.0;
constexpr int blockSize = 256;
constexpr int intMax = std::numeric_limits<int>::max();

// The text every instance starts from, and the text the damaged blocks carry.
const juce::String firstText = stateText (false, 1, "");
const juce::String blockText = stateText (true, 2, "-s-m", 2, 1, 20, 9) + "\r\n";

juce::MemoryBlock join (std::initializer_list<juce::MemoryBlock> parts)
{
    juce::MemoryBlock result;
    for (const auto& part : parts)
        result.append (part.getData(), part.getSize());
    return result;
}

juce::MemoryBlock eightBytes (uint64_t value)
{
    const auto littleEndian = juce::ByteOrder::swapIfBigEndian (value);
    return { &littleEndian, sizeof (littleEndian) };
}

const juce::MemoryBlock marker ("JUCEPrivateData", 15);

juce::MemoryBlock withTrailer (const juce::String& text, const juce::MemoryBlock& privateData, uint64_t length)
{
    return VbHost::HostState::withFrameworkTrailer (bytesOf (text), privateData, length);
}

juce::MemoryBlock withTrailer (const juce::String& text, const juce::MemoryBlock& privateData)
{
    return withTrailer (text, privateData, privateData.getSize());
}

juce::String hex (const juce::MemoryBlock& block)
{
    return juce::String::toHexString (block.getData(), (int) block.getSize());
}

juce::MemoryBlock serialised (const juce::ValueTree& tree)
{
    juce::MemoryOutputStream out;
    tree.writeToStream (out);
    return out.getMemoryBlock();
}

// The private data the framework writes.
juce::MemoryBlock frameworkData (bool bypass)
{
    juce::ValueTree tree ("JUCEPrivateData");
    tree.setProperty ("Bypass", bypass, nullptr);
    return serialised (tree);
}

// Hand-made serialised trees: NUL-terminated names, counts as the framework
// writes them, and raw bytes.
struct TreeBytes
{
    juce::MemoryOutputStream out;

    TreeBytes& name (const char* text)
    {
        out.write (text, std::strlen (text) + 1);
        return *this;
    }
    TreeBytes& count (int n)
    {
        out.writeCompressedInt (n);
        return *this;
    }
    TreeBytes& raw (std::initializer_list<uint8_t> bytes)
    {
        for (auto b : bytes)
            out.writeByte ((char) b);
        return *this;
    }
    juce::MemoryBlock block() const { return out.getMemoryBlock(); }
};

constexpr uint8_t intMarker = 1, stringMarker = 5, arrayMarker = 7, binaryMarker = 8;

// Nested children, each holding the next, this many levels deep.
juce::MemoryBlock nested (int levels)
{
    TreeBytes bytes;
    for (int i = 0; i < levels; ++i)
        bytes.name ("T").count (0).count (1);
    bytes.name ("T").count (0).count (0);
    return bytes.block();
}

class CorruptState : public HostTesting::PlainHostTest
{
protected:
    // A fresh instance holding the first text with the host bypass on.
    std::unique_ptr<VbHost::Vst3Instance> freshInstance()
    {
        juce::String error;
        auto instance = VbHost::Vst3Instance::create (*module, error);
        EXPECT_NE (instance, nullptr) << error;
        if (instance != nullptr)
        {
            EXPECT_TRUE (instance->setArrangements (VbHost::Speakers::stereo, VbHost::Speakers::stereo));
            EXPECT_TRUE (instance->setState (withTrailer (firstText, frameworkData (true))));
        }
        return instance;
    }

    // What a fresh instance saves after loading a sound block with this text and bypass.
    juce::MemoryBlock savedAfterLoading (const juce::String& text, bool bypass)
    {
        auto instance = freshInstance();
        if (instance == nullptr)
            return {};
        instance->setState (withTrailer (text, frameworkData (bypass)));
        return instance->getState();
    }

    // The instance renders finite output that is not silent, and what it saves loads back the same.
    static void expectRendersAndRoundTrips (VbHost::Vst3Instance& instance, const std::string& what)
    {
        juce::String error;
        ASSERT_TRUE (instance.start (rate, blockSize, error)) << what << ": " << error;
        const auto input = VbHost::Signals::make (2, 4 * blockSize, rate);
        const auto output = instance.process (input, blockSize);
        instance.stop();
        EXPECT_TRUE (HostTesting::allFinite (output)) << what;
        EXPECT_GT (output.getMagnitude (0, output.getNumSamples()), 0.0f) << what << ": the output is silent";

        const auto saved = instance.getState();
        EXPECT_TRUE (instance.setState (saved)) << what;
        EXPECT_EQ (hex (instance.getState()), hex (saved)) << what << ": the saved state does not load back";
    }
};

// One damaged block: whether the plug-in reads the block's text (or keeps the
// first), and whether the private data's bypass (off) applies (or stays on).
struct DamagedBlock
{
    const char* name;
    std::function<juce::MemoryBlock()> make;
    bool readsText;
    bool appliesPrivateData;
};

void PrintTo (const DamagedBlock& block, std::ostream* out)
{
    *out << block.name;
}

class DamagedBlocks : public CorruptState, public ::testing::WithParamInterface<DamagedBlock>
{
};

TEST_P (DamagedBlocks, LoadAsTheirSoundPartsSay)
{
    const auto& block = GetParam();
    const auto expected = savedAfterLoading (block.readsText ? blockText : firstText, ! block.appliesPrivateData);
    ASSERT_GT (expected.getSize(), 0u);

    auto instance = freshInstance();
    ASSERT_NE (instance, nullptr);
    instance->setState (block.make());
    const auto saved = instance->getState();
    EXPECT_EQ (HostTesting::textOf (saved), HostTesting::textOf (expected)) << "the text before the trailer";
    EXPECT_EQ (hex (saved), hex (expected)) << "the host bypass in the trailer";
    expectRendersAndRoundTrips (*instance, block.name);
}

std::string caseName (const ::testing::TestParamInfo<DamagedBlock>& caseInfo)
{
    return caseInfo.param.name;
}

const auto textSize = (uint64_t) bytesOf (blockText).getSize();
const auto dataSize = (uint64_t) frameworkData (false).getSize();

juce::MemoryBlock lengthCase (uint64_t length)
{
    return withTrailer (blockText, frameworkData (false), length);
}

const DamagedBlock trailerLengths[] = {
    { "ExactLength", [] { return lengthCase (dataSize); }, true, true },
    { "ZeroLength", [] { return lengthCase (0); }, true, false },
    // Private data one byte early starts with a NUL: a tree with no type.
    { "OneMoreThanThePrivateData", [] { return lengthCase (dataSize + 1); }, true, false },
    { "OneMoreThanTheBlockHolds", [] { return lengthCase (textSize + dataSize + 1); }, true, false },
    { "TheWholeBlock", [] { return lengthCase (textSize + 8 + dataSize + 23); }, true, false },
    { "FarBeforeTheStart", [] { return lengthCase ((1ull << 40) + 100); }, true, false },
    { "TwoToThe63", [] { return lengthCase (1ull << 63); }, true, false },
    { "AllOnes", [] { return lengthCase (~0ull); }, true, false },
    // The text, then a length far larger than the block and the marker.
    { "TextLengthAndMarker", [] { return join ({ bytesOf (blockText), eightBytes ((1ull << 40) + 100), marker }); },
      true, false },
    // A length that fits the block but leaves no room for the eight bytes before the private data.
    { "NoRoomForTheZeroBytes", [] { return join ({ bytesOf ("ab"), eightBytes (2), marker }); }, false, false },
};

INSTANTIATE_TEST_SUITE_P (TrailerLengths, DamagedBlocks, ::testing::ValuesIn (trailerLengths), caseName);

juce::MemoryBlock dataCase (const juce::MemoryBlock& privateData)
{
    return withTrailer (blockText, privateData);
}

const DamagedBlock privateData[] = {
    { "EveryKindOfValue",
      [] {
          juce::ValueTree tree ("JUCEPrivateData");
          tree.setProperty ("Bypass", false, nullptr);
          tree.setProperty ("int", 7, nullptr);
          tree.setProperty ("int64", (juce::int64) 1 << 40, nullptr);
          tree.setProperty ("double", 0.5, nullptr);
          tree.setProperty ("string", "text", nullptr);
          tree.setProperty ("array", juce::Array<juce::var> { 1, "x", juce::Array<juce::var> { 2.0 } }, nullptr);
          tree.setProperty ("binary", juce::MemoryBlock ("ab", 2), nullptr);
          tree.setProperty ("undefined", juce::var::undefined(), nullptr);
          tree.setProperty ("void", juce::var(), nullptr);
          juce::ValueTree child ("Child");
          child.setProperty ("true", true, nullptr);
          tree.appendChild (child, nullptr);
          return dataCase (serialised (tree));
      },
      true, true },
    // Counts far beyond what the bytes can hold: the reader would loop, allocate or recurse on.
    { "HugePropertyCount", [] { return dataCase (TreeBytes().name ("T").count (1 << 24).block()); }, true, false },
    { "LargestPropertyCount", [] { return dataCase (TreeBytes().name ("T").count (intMax).block()); }, true, false },
    { "HugeChildCount", [] { return dataCase (TreeBytes().name ("T").count (0).count (intMax).block()); }, true, false },
    { "HugeArrayCount",
      [] { return dataCase (TreeBytes().name ("T").count (1).name ("a").count (6).raw ({ arrayMarker }).count (1 << 24).block()); },
      true, false },
    { "HugeBinarySize",
      [] { return dataCase (TreeBytes().name ("T").count (1).name ("a").count (intMax).raw ({ binaryMarker }).block()); },
      true, false },
    { "NegativePropertyCount", [] { return dataCase (TreeBytes().name ("T").count (-1).block()); }, true, false },
    { "NegativeChildCount", [] { return dataCase (TreeBytes().name ("T").count (0).count (-5).block()); }, true, false },
    { "SmallestCount", [] { return dataCase (TreeBytes().name ("T").raw ({ 0x84, 0, 0, 0, 0x80 }).block()); }, true, false },
    { "CountWiderThanFourBytes", [] { return dataCase (TreeBytes().name ("T").raw ({ 5, 1, 0, 0, 0, 0 }).count (0).block()); },
      true, false },
    { "DeepNesting", [] { return dataCase (nested (100000)); }, true, false },
    // Strings and values cut short by the end of the private data.
    { "TypeWithoutItsEnd", [] { return dataCase (TreeBytes().raw ({ 'J', 'U', 'C', 'E' }).block()); }, true, false },
    { "NameWithoutItsEnd", [] { return dataCase (TreeBytes().name ("T").count (1).raw ({ 'B', 'y', 'p' }).block()); }, true,
      false },
    { "StringLongerThanTheData",
      [] { return dataCase (TreeBytes().name ("T").count (1).name ("Bypass").count (40).raw ({ stringMarker, 'a' }).block()); },
      true, false },
    { "IntCutShort",
      [] { return dataCase (TreeBytes().name ("T").count (1).name ("Bypass").count (5).raw ({ intMarker, 0 }).block()); },
      true, false },
    { "EmptyType", [] { return dataCase (TreeBytes().raw ({ 0 }).count (0).count (0).block()); }, true, false },
};

INSTANTIATE_TEST_SUITE_P (PrivateData, DamagedBlocks, ::testing::ValuesIn (privateData), caseName);

// Random blocks from fixed seeds: bytes alone, bytes under a trailer of random
// length, and random private data under a trailer that fits.
TEST_F (CorruptState, RandomBlocksLoadRenderAndRoundTrip)
{
    auto instance = freshInstance();
    ASSERT_NE (instance, nullptr);

    std::mt19937_64 random (20261209);
    auto bytes = [&random] (size_t size) {
        juce::MemoryBlock block (size);
        for (size_t i = 0; i < size; ++i)
            block[i] = (char) (random() & 0xff);
        return block;
    };
    const uint64_t lengths[] = { 0, 1, 7, 8, 64, 1ull << 31, 1ull << 63, ~0ull };

    for (int i = 0; i < 60; ++i)
    {
        const auto size = (size_t) (random() % 200);
        const juce::MemoryBlock blocks[] = {
            bytes (size),
            join ({ bytes (size), eightBytes (random() % 2 == 0 ? lengths[random() % 8] : random() % (size + 40)), marker }),
            withTrailer (blockText, bytes (size)),
        };
        for (const auto& block : blocks)
        {
            instance->setState (block);
            expectRendersAndRoundTrips (*instance, "random block " + std::to_string (i));
            if (HasFailure())
                return;
        }
    }
}
} // namespace
