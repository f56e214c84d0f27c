#include "tools/host/ArdourSession.h"

#include "tools/host/HostState.h"
#include "tools/host/RenderWav.h"

#include <cstring>

namespace VbHost
{
namespace
{
const juce::File luaProgram ("/usr/bin/ardour7-lua");
const juce::File exportProgram ("/usr/bin/ardour7-export");
const juce::File ardourLibraries ("/usr/lib/ardour7");
const juce::File scannerProgram ("/usr/lib/ardour7/ardour-vst3-scanner");

// Ardour 7.3's AVX-512 buffer mixing writes 16 bytes past the export channel's
// buffer on processors with AVX-512F (mended in Ardour 8.5): the corrupted heap
// aborts Ardour at close or spoils a later export. 95 keeps its AVX and FMA
// routines and leaves out AVX-512F.
const char* const fpuFlags = "ARDOUR_FPU_FLAGS=95";

constexpr int phaseTimeoutMs = 180000;
constexpr int closeGraceMs = 15000; // a loaded session may hang on closing
const char* const doneMarker = "VB-DONE";

// Ardour 7 keeps time in superclock ticks: 282240000 per second.
juce::String audioTime (juce::int64 samples)
{
    return "a" + juce::String (samples * (282240000 / (juce::int64) ArdourSession::sampleRate));
}

const char* const createScript = R"lua(
AudioEngine:set_backend ("None (Dummy)", "", "")
local s = create_session (arg[1], arg[2], 48000)
assert (s, "cannot create the session")
for i = 3, #arg do
  local name, width = arg[i]:match ("^(.*):(%d+)$")
  local t = s:new_audio_track (tonumber (width), 2, nil, 1, name, ARDOUR.PresentationInfo.max_order,
                               ARDOUR.TrackMode.Normal, false, false):front ()
  t:set_strict_io (true)
  local p = ARDOUR.LuaAPI.new_plugin (s, "Vontaleer Binaural", ARDOUR.PluginType.VST3, "")
  assert (not p:isnil (), "the bundle is not among Ardour's plug-ins")
  assert (t:add_processor_by_index (p, 0, nil, true) == 0, "cannot add the plug-in")
  t:panner_shell ():set_bypassed (true)
end
s:master_out ():panner_shell ():set_bypassed (true)
assert (s:save_state ("", false, false, false, false, false) == 0, "cannot save the session")
print ("VB-DONE")
close_session ()
)lua";

const char* const reloadScript = R"lua(
AudioEngine:set_backend ("None (Dummy)", "", "")
local s = load_session (arg[1], arg[2])
assert (s, "cannot load the session")
assert (s:save_state ("", false, false, false, false, false) == 0, "cannot save the session")
print ("VB-DONE")
close_session ()
)lua";

const char* const rcConfig = R"xml(<?xml version="1.0" encoding="UTF-8"?>
<Ardour>
  <Config>
    <Option name="hide-dummy-backend" value="0"/>
  </Config>
</Ardour>
)xml";

juce::String logTail (const juce::File& log)
{
    juce::StringArray lines;
    lines.addLines (log.loadFileAsString());
    lines.removeEmptyStrings();
    lines.removeRange (0, lines.size() - 15);
    return lines.joinIntoString ("\n");
}

//==============================================================================
// The .vstpreset layout Ardour keeps a VST3 plug-in's state in: a header with the
// class id, the chunks, and a list of them at the end.
void appendLe (juce::MemoryOutputStream& out, juce::int64 value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.writeByte ((char) ((value >> (8 * i)) & 0xff));
}

juce::int64 readLe (const juce::MemoryBlock& block, size_t offset, int bytes)
{
    juce::int64 value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | (uint8_t) block[offset + (size_t) i];
    return value;
}

juce::MemoryBlock presetWithComponentState (const juce::String& classIdHex, const juce::MemoryBlock& state)
{
    constexpr int headerSize = 4 + 4 + 32 + 8;
    juce::MemoryOutputStream out;
    out.write ("VST3", 4);
    appendLe (out, 1, 4);
    out.write (classIdHex.toRawUTF8(), 32);
    appendLe (out, headerSize + (juce::int64) state.getSize(), 8);
    out << state;
    out.write ("List", 4);
    appendLe (out, 1, 4);
    out.write ("Comp", 4);
    appendLe (out, headerSize, 8);
    appendLe (out, (juce::int64) state.getSize(), 8);
    return out.getMemoryBlock();
}

bool componentStateOfPreset (const juce::MemoryBlock& preset, juce::MemoryBlock& result)
{
    if (preset.getSize() < 48 || std::memcmp (preset.getData(), "VST3", 4) != 0)
        return false;
    const auto list = (size_t) readLe (preset, 40, 8);
    if (list + 8 > preset.getSize() || std::memcmp (preset.begin() + list, "List", 4) != 0)
        return false;

    const auto count = readLe (preset, list + 4, 4);
    for (juce::int64 i = 0; i < count; ++i)
    {
        const size_t entry = list + 8 + (size_t) i * 20;
        if (entry + 20 > preset.getSize())
            return false;
        if (std::memcmp (preset.begin() + entry, "Comp", 4) != 0)
            continue;
        const auto offset = (size_t) readLe (preset, entry + 4, 8);
        const auto size = (size_t) readLe (preset, entry + 12, 8);
        if (offset + size > preset.getSize())
            return false;
        result = juce::MemoryBlock (preset.begin() + offset, size);
        return true;
    }
    return false;
}

//==============================================================================
juce::XmlElement* findChild (juce::XmlElement& parent, const juce::String& tag, const juce::String& attribute,
                             const juce::String& value)
{
    for (auto* child : parent.getChildWithTagNameIterator (tag))
        if (child->getStringAttribute (attribute) == value)
            return child;
    return nullptr;
}

juce::XmlElement* pluginInsert (juce::XmlElement& route)
{
    return findChild (route, "Processor", "type", "vst3");
}

juce::XmlElement* ensureChild (juce::XmlElement& parent, const juce::String& tag)
{
    if (auto* child = parent.getChildByName (tag))
        return child;
    return parent.createNewChildElement (tag);
}

// A region over one mono source per channel; whole-file regions live in the session's
// region list, the others in a playlist.
juce::XmlElement* makeRegion (const juce::String& name, const juce::StringArray& sourceIds, juce::int64 length,
                              int id, bool wholeFile)
{
    auto* region = new juce::XmlElement ("Region");
    region->setAttribute ("name", name);
    region->setAttribute ("muted", "0");
    region->setAttribute ("opaque", "1");
    region->setAttribute ("locked", "0");
    region->setAttribute ("automatic", "0");
    region->setAttribute ("whole-file", wholeFile ? "1" : "0");
    region->setAttribute ("import", "1");
    region->setAttribute ("external", "0");
    region->setAttribute ("start", "a0");
    region->setAttribute ("length", audioTime (length) + "@a0");
    region->setAttribute ("sync-position", "a0");
    region->setAttribute ("layering-index", "0");
    region->setAttribute ("envelope-active", "0");
    region->setAttribute ("default-fade-in", "0");
    region->setAttribute ("default-fade-out", "0");
    region->setAttribute ("fade-in-active", "0");
    region->setAttribute ("fade-out-active", "0");
    region->setAttribute ("scale-amplitude", "1");
    region->setAttribute ("id", id);
    region->setAttribute ("type", "audio");
    region->setAttribute ("channels", sourceIds.size());
    for (int k = 0; k < sourceIds.size(); ++k)
    {
        region->setAttribute ("source-" + juce::String (k), sourceIds[k]);
        region->setAttribute ("master-source-" + juce::String (k), sourceIds[k]);
    }
    return region;
}
} // namespace

//==============================================================================
ArdourSession::ArdourSession (const juce::File& workDirectory, const juce::File& bundle)
    : work (workDirectory),
      bundleSource (bundle),
      home (workDirectory.getChildFile ("home")),
      vst3Folder (workDirectory.getChildFile ("vst3")),
      sessionFolder (workDirectory.getChildFile (sessionName))
{
    work.deleteRecursively();
    home.createDirectory();
    vst3Folder.createDirectory();
}

bool ArdourSession::isInstalled()
{
    return luaProgram.existsAsFile() && exportProgram.existsAsFile() && scannerProgram.existsAsFile();
}

juce::File ArdourSession::sessionFile() const
{
    return sessionFolder.getChildFile (sessionName + ".ardour");
}

juce::StringArray ArdourSession::environment() const
{
    return { "HOME=" + home.getFullPathName(),
             "XDG_CONFIG_HOME=" + home.getChildFile (".config").getFullPathName(),
             "XDG_CACHE_HOME=" + home.getChildFile (".cache").getFullPathName(),
             "XDG_DATA_HOME=" + home.getChildFile (".local/share").getFullPathName(),
             "VST3_PATH=" + vst3Folder.getFullPathName(),
             "LD_LIBRARY_PATH=" + ardourLibraries.getFullPathName(),
             fpuFlags };
}

// Runs a command in Ardour's private environment, its output going to a log file.
// A command that prints the done marker is given a short while to exit and is then
// ended: closing a loaded session can hang.
bool ArdourSession::run (const juce::String& phase, const juce::StringArray& command, juce::String& error) const
{
    const auto log = work.getChildFile (phase + ".log");
    juce::StringArray args { "/bin/sh", "-c", "log=$1; shift; exec \"$@\" >\"$log\" 2>&1", "sh",
                             log.getFullPathName(), "env" };
    args.addArray (environment());
    args.addArray (command);

    juce::ChildProcess process;
    if (! process.start (args, 0))
    {
        error = phase + ": cannot start " + command[0];
        return false;
    }

    auto deadline = juce::Time::getMillisecondCounter() + (juce::uint32) phaseTimeoutMs;
    bool markerSeen = false;
    while (! process.waitForProcessToFinish (200))
    {
        if (! markerSeen && log.loadFileAsString().contains (doneMarker))
        {
            markerSeen = true;
            deadline = juce::jmin (deadline, juce::Time::getMillisecondCounter() + (juce::uint32) closeGraceMs);
        }
        if (juce::Time::getMillisecondCounter() > deadline)
        {
            process.kill();
            if (markerSeen)
                return true;
            error = phase + " did not finish in time:\n" + logTail (log);
            return false;
        }
    }

    const auto exitCode = process.getExitCode();
    const auto output = log.loadFileAsString();
    if (exitCode != 0 || output.contains ("Error:"))
    {
        error = phase + " failed (exit code " + juce::String (exitCode) + "):\n" + logTail (log);
        return false;
    }
    return true;
}

bool ArdourSession::runLua (const juce::String& phase, const juce::String& script, const juce::StringArray& args,
                            juce::String& error) const
{
    const auto file = work.getChildFile (phase + ".lua");
    if (! file.replaceWithText (script))
    {
        error = "cannot write " + file.getFullPathName();
        return false;
    }

    juce::StringArray command { luaProgram.getFullPathName(), file.getFullPathName() };
    command.addArray (args);
    if (! run (phase, command, error))
        return false;
    if (! work.getChildFile (phase + ".log").loadFileAsString().contains (doneMarker))
    {
        error = phase + " stopped early:\n" + logTail (work.getChildFile (phase + ".log"));
        return false;
    }
    return true;
}

// Ardour finds VST3 plug-ins only through its scanner's cache, and only a cache
// newer than the module counts.
bool ArdourSession::scanBundle (juce::String& error)
{
    const auto config = home.getChildFile (".config/ardour7/config");
    config.getParentDirectory().createDirectory();
    config.replaceWithText (rcConfig);

    const auto bundle = vst3Folder.getChildFile (bundleSource.getFileName());
    if (! bundleSource.copyDirectoryTo (bundle))
    {
        error = "cannot copy " + bundleSource.getFullPathName();
        return false;
    }
    const auto past = juce::Time::getCurrentTime() - juce::RelativeTime::minutes (10);
    for (const auto& file : bundle.findChildFiles (juce::File::findFiles, true))
        file.setLastModificationTime (past);

    if (! run ("scan", { scannerProgram.getFullPathName(), "-f", bundle.getFullPathName() }, error))
        return false;

    const auto caches = home.getChildFile (".cache/ardour7/vst").findChildFiles (juce::File::findFiles, false, "*.v3i");
    if (caches.isEmpty())
    {
        error = "Ardour's VST3 scanner wrote no cache for " + bundle.getFullPathName();
        return false;
    }
    for (const auto& cache : caches)
        cache.setLastModificationTime (juce::Time::getCurrentTime());
    return true;
}

bool ArdourSession::create (const std::vector<ArdourTrack>& tracks, juce::String& error)
{
    if (! scanBundle (error))
        return false;

    juce::StringArray args { sessionFolder.getFullPathName(), sessionName };
    for (const auto& track : tracks)
        args.add (track.name + ":" + juce::String (track.audio.getNumChannels()));
    return runLua ("create", createScript, args, error) && fillSession (tracks, error);
}

// Gives every track a region playing its audio from the session's start and the
// plug-in its state, and sets the session range to the audio's length.
bool ArdourSession::fillSession (const std::vector<ArdourTrack>& tracks, juce::String& error)
{
    auto session = juce::parseXML (sessionFile());
    if (session == nullptr)
    {
        error = "cannot read " + sessionFile().getFullPathName();
        return false;
    }

    const auto audioFolder = sessionFolder.getChildFile ("interchange").getChildFile (sessionName).getChildFile ("audiofiles");
    auto* routes = session->getChildByName ("Routes");
    auto* playlists = session->getChildByName ("Playlists");
    auto* sources = ensureChild (*session, "Sources");
    auto* regions = ensureChild (*session, "Regions");
    auto* locations = ensureChild (*session, "Locations");
    if (routes == nullptr || playlists == nullptr || ! audioFolder.isDirectory())
    {
        error = "the session Ardour made has no routes, playlists or audio folder";
        return false;
    }

    int nextId = session->getIntAttribute ("id-counter") + 1000;
    juce::int64 length = 0;

    for (const auto& track : tracks)
    {
        auto* route = findChild (*routes, "Route", "name", track.name);
        auto* playlist = route != nullptr ? findChild (*playlists, "Playlist", "id", route->getStringAttribute ("audio-playlist")) : nullptr;
        auto* insert = route != nullptr ? pluginInsert (*route) : nullptr;
        auto* chunk = insert != nullptr ? insert->getChildByName ("vst3") : nullptr;
        chunk = chunk != nullptr ? chunk->getChildByName ("chunk") : nullptr;
        if (playlist == nullptr || chunk == nullptr)
        {
            error = "track " + track.name + " lacks its playlist or the plug-in";
            return false;
        }

        length = track.audio.getNumSamples();
        juce::StringArray sourceIds;
        for (int k = 0; k < track.audio.getNumChannels(); ++k)
        {
            const auto name = track.name + "-" + juce::String (k + 1) + ".wav";
            Wav::Writer writer;
            const float* channel[] = { track.audio.getReadPointer (k) };
            if (! writer.open (audioFolder.getChildFile (name), sampleRate, 1, 32, error)
                || ! writer.write (channel, track.audio.getNumSamples()) || ! writer.close())
            {
                error = "cannot write " + name + (error.isEmpty() ? "" : ": " + error);
                return false;
            }

            const auto id = juce::String (nextId++);
            auto* source = sources->createNewChildElement ("Source");
            source->setAttribute ("name", name);
            source->setAttribute ("type", "audio");
            source->setAttribute ("flags", "");
            source->setAttribute ("id", id);
            source->setAttribute ("captured-for", track.name);
            source->setAttribute ("channel", "0");
            source->setAttribute ("origin", "");
            source->setAttribute ("gain", "1");
            source->setAttribute ("natural-position", "a0");
            sourceIds.add (id);
        }
        regions->addChildElement (makeRegion (track.name, sourceIds, length, nextId++, true));
        playlist->addChildElement (makeRegion (track.name + ".1", sourceIds, length, nextId++, false));

        const auto preset = presetWithComponentState (
            insert->getStringAttribute ("unique-id"),
            juce::MemoryBlock (track.stateText.toRawUTF8(), track.stateText.getNumBytesAsUTF8()));
        chunk->deleteAllTextElements();
        chunk->addTextElement (juce::Base64::toBase64 (preset.getData(), preset.getSize()));
    }

    auto* range = locations->createNewChildElement ("Location");
    range->setAttribute ("id", nextId++);
    range->setAttribute ("name", "session");
    range->setAttribute ("start", "a0");
    range->setAttribute ("end", audioTime (length));
    range->setAttribute ("flags", "IsSessionRange");
    range->setAttribute ("locked", "0");
    range->setAttribute ("timestamp", "0");
    range->setAttribute ("cue", "0");
    session->setAttribute ("id-counter", nextId);

    if (! session->writeTo (sessionFile()))
    {
        error = "cannot write " + sessionFile().getFullPathName();
        return false;
    }
    return true;
}

bool ArdourSession::exportTo (const juce::File& wav, juce::String& error)
{
    wav.deleteFile();
    if (! run ("export-" + wav.getFileNameWithoutExtension(),
               { exportProgram.getFullPathName(), "-b", "float", "-o", wav.getFullPathName(),
                 sessionFolder.getFullPathName(), sessionName },
               error))
        return false;
    if (! wav.existsAsFile())
    {
        error = "Ardour exported nothing to " + wav.getFullPathName();
        return false;
    }
    return true;
}

bool ArdourSession::reloadAndSave (juce::String& error)
{
    return runLua ("reload", reloadScript, { sessionFolder.getFullPathName(), sessionName }, error);
}

bool ArdourSession::readInsert (const juce::String& trackName, PluginInsert& result, juce::String& error) const
{
    auto session = juce::parseXML (sessionFile());
    auto* routes = session != nullptr ? session->getChildByName ("Routes") : nullptr;
    auto* route = routes != nullptr ? findChild (*routes, "Route", "name", trackName) : nullptr;
    auto* insert = route != nullptr ? pluginInsert (*route) : nullptr;
    if (insert == nullptr)
    {
        error = "no plug-in on track " + trackName + " in " + sessionFile().getFullPathName();
        return false;
    }

    result.instances = insert->getIntAttribute ("count");
    if (auto* input = insert->getChildByName ("ConfiguredInput"))
        if (auto* channels = input->getChildByName ("Channels"))
            result.inputs = channels->getIntAttribute ("count");

    auto* vst3 = insert->getChildByName ("vst3");
    auto* chunk = vst3 != nullptr ? vst3->getChildByName ("chunk") : nullptr;
    juce::MemoryOutputStream preset;
    juce::MemoryBlock component;
    if (chunk == nullptr || ! juce::Base64::convertFromBase64 (preset, chunk->getAllSubText().trim())
        || ! componentStateOfPreset (preset.getMemoryBlock(), component))
    {
        error = "no readable plug-in state on track " + trackName;
        return false;
    }
    result.pluginState = HostState::stripFrameworkTrailer (component);
    return true;
}
} // namespace VbHost
