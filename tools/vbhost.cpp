// vbhost: loads a VST3 bundle through JUCE's VST3 hosting, headless, and
// reports what a host sees of it, runs test signals and audio files through it and
// moves its state.

#include "tools/host/HostState.h"
#include "tools/host/Vst3Module.h"
#include "tools/host/PluginHost.h"
#include "tools/host/RenderJob.h"
#include "tools/host/Signals.h"

#include "renderer/ChannelProfiles.h"
#include "renderer/RoomPresets.h"

#include <juce_events/juce_events.h>

#include <cstdio>
#include <functional>
#include <map>

namespace
{
constexpr int exitOk = 0;
constexpr int exitFailure = 1;
constexpr int exitUsage = 2;

//==============================================================================
// Command line: positional arguments and "--name value" options.
struct Arguments
{
    juce::StringArray positional;
    std::map<juce::String, juce::String> options;

    bool has (const juce::String& name) const { return options.count (name) > 0; }
    juce::String get (const juce::String& name, const juce::String& fallback = {}) const
    {
        const auto it = options.find (name);
        return it != options.end() ? it->second : fallback;
    }
};

struct Command
{
    const char* name;
    const char* usage;   // arguments after the command name
    const char* summary;
    int numPositional;                 // required positional arguments after the command
    juce::StringArray allowedOptions;  // each takes one value
    std::function<int (const Arguments&)> run;
};

void printError (const juce::String& message)
{
    std::fprintf (stderr, "vbhost: %s\n", message.toRawUTF8());
}

void print (const juce::String& text)
{
    std::fputs (text.toRawUTF8(), stdout);
}

bool parseArguments (const Command& command, const juce::StringArray& args, Arguments& result, juce::String& error)
{
    for (int i = 0; i < args.size(); ++i)
    {
        const auto& arg = args[i];
        if (arg.startsWith ("--"))
        {
            const auto name = arg.substring (2);
            if (! command.allowedOptions.contains (name))
            {
                error = "unknown option " + arg + " for " + command.name;
                return false;
            }
            if (i + 1 >= args.size())
            {
                error = "option " + arg + " needs a value";
                return false;
            }
            result.options[name] = args[++i];
        }
        else
        {
            result.positional.add (arg);
        }
    }

    if (result.positional.size() != command.numPositional)
    {
        error = "wrong number of arguments for " + juce::String (command.name);
        return false;
    }
    return true;
}

bool parseInt (const juce::String& text, int minValue, int maxValue, int& value)
{
    const auto t = text.trim();
    if (t.isEmpty() || ! t.containsOnly ("0123456789"))
        return false;
    const auto v = t.getLargeIntValue();
    if (v < minValue || v > maxValue)
        return false;
    value = (int) v;
    return true;
}

bool parseDouble (const juce::String& text, double minValue, double maxValue, double& value)
{
    const auto t = text.trim();
    if (t.isEmpty() || ! t.containsOnly ("0123456789."))
        return false;
    value = t.getDoubleValue();
    return value >= minValue && value <= maxValue;
}

juce::File fileArgument (const juce::String& path)
{
    return juce::File::getCurrentWorkingDirectory().getChildFile (path);
}

std::unique_ptr<VbHost::HostedPlugin> loadOrReport (const juce::String& bundlePath)
{
    juce::String error;
    auto plugin = VbHost::HostedPlugin::load (fileArgument (bundlePath), error);
    if (plugin == nullptr)
        printError (error);
    return plugin;
}

// A state file holds either a host blob (as get-state --raw writes it) or the plug-in's own text.
bool applyStateFile (VbHost::HostedPlugin& plugin, const juce::String& path)
{
    const auto file = fileArgument (path);
    juce::MemoryBlock data;
    if (! file.existsAsFile() || ! file.loadFileAsData (data))
    {
        printError ("cannot read state file " + file.getFullPathName());
        return false;
    }

    juce::MemoryBlock stream;
    if (VbHost::HostState::componentStream (data, stream))
        plugin.setState (data);
    else
        plugin.setPluginState (data);
    return true;
}

juce::String stateText (const juce::MemoryBlock& bytes)
{
    return juce::String::fromUTF8 (static_cast<const char*> (bytes.getData()), (int) bytes.getSize());
}

juce::String yesNo (bool b)
{
    return b ? "yes" : "no";
}

juce::String describeSet (const juce::AudioChannelSet& set)
{
    if (set.isDisabled())
        return "disabled";
    return set.getDescription() + " (" + juce::String (set.size()) + " ch)";
}

//==============================================================================
int runInfo (const Arguments& args)
{
    auto plugin = loadOrReport (args.positional[0]);
    if (plugin == nullptr)
        return exitFailure;

    const auto id = plugin->identity();
    juce::String out;
    out << "Bundle:      " << plugin->bundle().getFullPathName() << "\n"
        << "Name:        " << id.name << "\n"
        << "Vendor:      " << id.vendor << "\n"
        << "Version:     " << id.version << "\n"
        << "Category:    " << id.category << "\n"
        << "Instrument:  " << yesNo (id.isInstrument) << "\n"
        << "MIDI in:     " << yesNo (id.acceptsMidi) << "\n"
        << "MIDI out:    " << yesNo (id.producesMidi) << "\n"
        << "Tail:        " << id.tailSeconds << " s\n"
        << "Latency:     " << id.latencySamples << " samples\n";

    out << "Buses:\n";
    for (const auto& bus : plugin->buses())
        out << "  " << (bus.isInput ? "input " : "output ") << bus.index << " \"" << bus.name << "\": "
            << describeSet (bus.layout) << ", default " << describeSet (bus.defaultLayout)
            << (bus.enabled ? ", enabled" : ", disabled") << "\n";

    const auto params = plugin->parameters();
    out << "Parameters (" << (int) params.size() << "):\n";
    for (const auto& p : params)
        out << "  " << p.index << ": id " << p.id << " \"" << p.name << "\" steps " << p.numSteps
            << " default " << p.defaultValue << (p.automatable ? " automatable" : "")
            << (p.isBypass ? " bypass" : "") << "\n";

    const auto programs = plugin->programs();
    out << "Programs (" << programs.size() << "):";
    for (const auto& name : programs)
        out << " \"" << name << "\"";
    out << "\n";

    out << "Layouts accepted (in x out):\n";
    for (const int ins : { 0, 1, 2, 6, 12, 16, 24 })
    {
        out << "  in " << juce::String (ins).paddedLeft (' ', 2) << ":";
        for (const int outs : { 0, 1, 2, 6 })
            out << "  out " << outs << " " << yesNo (plugin->isLayoutSupported (VbHost::HostedPlugin::layoutFor (ins, outs)));
        out << "\n";
    }

    juce::String error;
    if (auto module = VbHost::Vst3Module::open (plugin->bundle(), error))
    {
        const auto& factory = module->factory();
        out << "Factory:     vendor \"" << factory.vendor << "\" url \"" << factory.url << "\" email \""
            << factory.email << "\"\n";
        for (const auto& c : factory.classes)
            out << "  " << c.category << ": " << VbHost::formatClassId (c.cid) << "  \"" << c.name << "\" "
                << c.subCategories << " " << c.version << "\n";

        std::vector<VbHost::ProgramList> lists;
        if (module->readProgramLists (lists, error))
            for (const auto& list : lists)
                out << "  program list " << list.id << " \"" << list.name << "\": " << list.programCount
                    << " program(s)\n";

        const int emptyOut = module->proposeArrangements ({ VbHost::Speakers::stereo }, { VbHost::Speakers::empty }, error);
        out << "  empty output arrangement: " << (emptyOut == 1 ? "accepted" : emptyOut == 0 ? "refused" : error) << "\n";
    }
    else
    {
        out << "Factory:     " << error << "\n";
    }

    print (out);
    return exitOk;
}

int runProcess (const Arguments& args)
{
    int block = 512, ins = 2, outs = 2;
    double rate = 48000.0, seconds = 1.0;
    if (! parseDouble (args.get ("rate", "48000"), 8000.0, 384000.0, rate)
        || ! parseInt (args.get ("block", "512"), 1, 65536, block)
        || ! parseInt (args.get ("in", "2"), 0, VbHost::HostedPlugin::maxBusChannels, ins)
        || ! parseInt (args.get ("out", "2"), 0, VbHost::HostedPlugin::maxBusChannels, outs)
        || ! parseDouble (args.get ("seconds", "1"), 0.0, 600.0, seconds))
    {
        printError ("bad value: --rate 8000..384000, --block 1..65536, --in/--out 0..33, --seconds 0..600");
        return exitUsage;
    }

    auto plugin = loadOrReport (args.positional[0]);
    if (plugin == nullptr)
        return exitFailure;

    if (args.has ("state") && ! applyStateFile (*plugin, args.get ("state")))
        return exitFailure;

    juce::String error;
    if (! plugin->prepare (rate, block, ins, outs, error))
    {
        printError (error);
        return exitFailure;
    }

    const int numSamples = (int) std::lround (seconds * rate);
    const auto input = VbHost::Signals::make (plugin->numInputs(), numSamples, rate);
    const auto output = plugin->process (input, block, VbHost::ChannelOrder::host);
    plugin->release();

    juce::String out;
    out << "Processed " << numSamples << " samples at " << rate << " Hz in blocks of " << block << ", "
        << plugin->numInputs() << " in, " << plugin->numOutputs() << " out\n";
    out << "channel        peak         rms\n";
    const auto levels = VbHost::measureLevels (output);
    for (size_t c = 0; c < levels.size(); ++c)
        out << juce::String ((int) c).paddedLeft (' ', 7) << juce::String (levels[c].peak, 6).paddedLeft (' ', 12)
            << juce::String (levels[c].rms, 6).paddedLeft (' ', 12) << "\n";
    print (out);
    return exitOk;
}

int runGetState (const Arguments& args)
{
    auto plugin = loadOrReport (args.positional[0]);
    if (plugin == nullptr)
        return exitFailure;

    const auto blob = plugin->getState();
    if (args.has ("raw"))
    {
        const auto file = fileArgument (args.get ("raw"));
        if (! file.replaceWithData (blob.getData(), blob.getSize()))
        {
            printError ("cannot write " + file.getFullPathName());
            return exitFailure;
        }
    }

    print (stateText (VbHost::HostState::pluginBytes (blob)) + "\n");
    return exitOk;
}

int runSetState (const Arguments& args)
{
    auto plugin = loadOrReport (args.positional[0]);
    if (plugin == nullptr)
        return exitFailure;

    if (! applyStateFile (*plugin, args.positional[1]))
        return exitFailure;

    print (stateText (plugin->getPluginState()) + "\n");
    return exitOk;
}

//==============================================================================
// Render settings from the command line; false after printing what is wrong.
bool renderSettingsFrom (const Arguments& args, VbHost::RenderSettings& settings)
{
    const int lastRoom = Zeph::numListeningRooms - 1;
    const int lastLoudspeakers = Zeph::numLoudspeakerChoices - 1;
    const bool ok = parseInt (args.get ("layout", "1"), 0, 15, settings.layout)
                    && parseInt (args.get ("room", "1"), 0, lastRoom, settings.room)
                    && parseInt (args.get ("loudspeakers", "0"), 0, lastLoudspeakers, settings.loudspeakers)
                    && parseInt (args.get ("volume-trim", "26"), 0, 32, settings.volumeTrim)
                    && parseInt (args.get ("reverb-trim", "16"), 0, 32, settings.reverbTrim);
    if (! ok)
        printError ("bad value: --layout 0..15, --room 0.." + juce::String (lastRoom) + ", --loudspeakers 0.."
                    + juce::String (lastLoudspeakers) + ", --volume-trim 0..32, --reverb-trim 0..32");
    return ok;
}

// The names of the numbers in a state text's "Room" and "Loudspeakers" lines.
juce::String roomName (const juce::String& value)
{
    return Zeph::roomPreset ((Zeph::ListeningRoom) juce::jlimit (0, 255, value.getIntValue())).name;
}

juce::String loudspeakersName (const juce::String& value)
{
    return Zeph::loudspeakerPreset (value.getIntValue() > 0 ? Zeph::Loudspeakers::nearfield : Zeph::Loudspeakers::fullRange).name;
}

juce::String seconds (juce::int64 samples, double rate)
{
    return juce::String ((double) samples / rate, 3) + " s";
}

int runRender (const Arguments& args)
{
    static const juce::StringArray settingFlags { "layout", "room", "loudspeakers", "volume-trim", "reverb-trim" };

    VbHost::RenderJob job;
    VbHost::RenderSettings settings;
    if (! args.has ("out"))
    {
        printError ("render needs --out FILE.wav");
        return exitUsage;
    }
    for (const auto& flag : settingFlags)
    {
        if (args.has ("state") && args.has (flag))
        {
            printError ("--state and --" + flag + " exclude each other");
            return exitUsage;
        }
    }
    if (args.has ("in") && args.has ("rate"))
    {
        printError ("--rate sets the built-in signal's rate; an input file brings its own");
        return exitUsage;
    }
    if (! parseDouble (args.get ("rate", "48000"), 8000.0, 384000.0, job.sampleRate)
        || ! parseInt (args.get ("block", "512"), 1, 65536, job.blockSize)
        || ! parseInt (args.get ("bits", "32"), 24, 32, job.bitsPerSample)
        || (job.bitsPerSample != 24 && job.bitsPerSample != 32))
    {
        printError ("bad value: --rate 8000..384000, --block 1..65536, --bits 24 or 32");
        return exitUsage;
    }
    if (! renderSettingsFrom (args, settings))
        return exitUsage;

    job.output = fileArgument (args.get ("out"));
    if (args.has ("in"))
        job.input = fileArgument (args.get ("in"));

    auto plugin = loadOrReport (args.positional[0]);
    if (plugin == nullptr)
        return exitFailure;

    if (args.has ("state"))
    {
        const auto file = fileArgument (args.get ("state"));
        if (! file.existsAsFile() || ! file.loadFileAsData (job.state))
        {
            printError ("cannot read state file " + file.getFullPathName());
            return exitFailure;
        }
    }
    else
    {
        const auto text = VbHost::stateTextFor (settings);
        job.state.replaceAll (text.toRawUTF8(), text.getNumBytesAsUTF8());
    }

    // The plug-in's reading of the state names the layout.
    VbHost::applyState (*plugin, job.state);
    const auto state = stateText (plugin->getPluginState());
    const int layoutId = VbHost::stateValue (state, "ChannelProfile").getIntValue();
    const Zeph::ChannelProfiles profiles;
    const auto* profile = profiles.findById (layoutId);
    const int positions = profile != nullptr ? profile->numPositions() : 0;
    const auto layoutName = profile != nullptr ? profile->name : juce::String ("unknown");
    job.burstChannels = positions;

    VbHost::RenderOutcome outcome;
    juce::String error;
    if (! VbHost::renderToFile (*plugin, job, outcome, error))
    {
        printError (error);
        return exitFailure;
    }

    const bool spatialiserOn = VbHost::stateValue (state, "Bypassed").startsWithIgnoreCase ("F");
    const auto source = job.input == juce::File() ? juce::String ("built-in bursts, one per loudspeaker in turn")
                                                  : job.input.getFullPathName();
    juce::String out;
    out << "Rendered " << source << "\n"
        << "  layout:   \"" << layoutName << "\" (id " << layoutId << ", " << positions << " positions), spatialiser "
        << (spatialiserOn ? "on" : "off") << ", room \"" << roomName (VbHost::stateValue (state, "Room"))
        << "\", loudspeakers \"" << loudspeakersName (VbHost::stateValue (state, "Loudspeakers")) << "\"\n"
        << "  input:    " << outcome.numInputs << " channels, " << seconds (outcome.inputSamples, outcome.sampleRate)
        << " at " << outcome.sampleRate << " Hz\n"
        << "  output:   " << job.output.getFullPathName() << ", stereo "
        << (job.bitsPerSample == 32 ? "32-bit float" : "24-bit") << ", "
        << seconds (outcome.outputSamples, outcome.sampleRate) << " (with "
        << seconds (outcome.outputSamples - outcome.inputSamples, outcome.sampleRate) << " tail), blocks of "
        << job.blockSize << "\n"
        << "  peak:     " << juce::String (outcome.peak, 6) << " ("
        << juce::String (juce::Decibels::gainToDecibels (outcome.peak, -200.0f), 1) << " dBFS)\n";
    if (outcome.numInputs > positions)
        out << "  note:     the layout renders only the first " << positions << " input channels\n";
    print (out);

    if (outcome.nonFinite > 0)
    {
        printError ("the plug-in produced " + juce::String (outcome.nonFinite) + " non-finite output samples");
        return exitFailure;
    }
    return exitOk;
}

//==============================================================================
const std::vector<Command>& commands()
{
    static const std::vector<Command> list {
        { "info", "<bundle>",
          "identity, buses, parameters, programs, accepted layouts, class ids",
          1, {}, runInfo },
        { "process", "<bundle> [--rate 48000] [--block 512] [--in 2] [--out 2] [--seconds 1] [--state FILE]",
          "runs a test signal (a sine per input channel) through the plug-in, prints output peak and RMS",
          1, { "rate", "block", "in", "out", "seconds", "state" }, runProcess },
        { "get-state", "<bundle> [--raw FILE]",
          "prints the plug-in's state text; --raw also saves the host's state blob",
          1, { "raw" }, runGetState },
        { "set-state", "<bundle> <file>",
          "loads a state file (text or host blob), prints the state read back",
          2, {}, runSetState },
        { "render",
          "<bundle> [--in FILE] --out FILE.wav [--state FILE | --layout ID --room R --loudspeakers L "
          "--volume-trim V --reverb-trim T] [--rate 48000] [--block 512] [--bits 32|24]",
          "renders an audio file (or, without --in, a noise burst on each loudspeaker of the layout in turn) "
          "to a stereo WAV with a 1 s tail; the spatialiser is on unless --state says otherwise",
          1, { "in", "out", "state", "layout", "room", "loudspeakers", "volume-trim", "reverb-trim", "rate", "block", "bits" },
          runRender },
    };
    return list;
}

void printUsage()
{
    juce::String text ("usage:\n");
    for (const auto& c : commands())
        text << "  vbhost " << c.name << " " << c.usage << "\n      " << c.summary << "\n";
    std::fputs (text.toRawUTF8(), stderr);
}

int run (const juce::StringArray& argv)
{
    if (argv.isEmpty() || argv[0] == "--help" || argv[0] == "-h" || argv[0] == "help")
    {
        printUsage();
        return argv.isEmpty() ? exitUsage : exitOk;
    }

    for (const auto& command : commands())
    {
        if (argv[0] != command.name)
            continue;

        Arguments args;
        juce::String error;
        juce::StringArray rest (argv);
        rest.remove (0);
        if (! parseArguments (command, rest, args, error))
        {
            printError (error);
            std::fprintf (stderr, "usage: vbhost %s %s\n", command.name, command.usage);
            return exitUsage;
        }
        return command.run (args);
    }

    printError ("unknown command " + argv[0]);
    printUsage();
    return exitUsage;
}
} // namespace

int main (int argc, char** argv)
{
    // Runs headless: JUCE is initialised as an application that never opens a window.
    juce::JUCEApplicationBase::createInstance = []() -> juce::JUCEApplicationBase* { return nullptr; };
    juce::ScopedJuceInitialiser_GUI juceInit;

    juce::StringArray args;
    for (int i = 1; i < argc; ++i)
        args.add (juce::String::fromUTF8 (argv[i]));

    const int result = run (args);
    std::fflush (stdout);
    return result;
}
