// Opens the plug-in's editor in a real window, as a host does, and saves the
// X server's picture of that window with xwd. Run it under an X server
// (scripts/capture-editor.sh uses xvfb-run).
#include "tools/host/PluginHost.h"

#include <cstdio>
#include <memory>

namespace
{
constexpr int exitFailure = 1;
constexpr int exitUsage = 2;

void printUsage()
{
    std::fputs ("usage: capture_editor --bundle BUNDLE.vst3 --xwd OUT.xwd [--inputs N] [--settle-ms MS]\n"
                "Loads the bundle through JUCE's VST3 hosting, prepares it with N inputs (default 8),\n"
                "shows its editor in a window of its own, lets it settle (default 1500 ms) and saves\n"
                "the window as the X server shows it (xwd format).\n",
                stderr);
}

// The host's window around the plug-in's editor.
class HostWindow : public juce::Component
{
public:
    explicit HostWindow (juce::AudioProcessorEditor& editorToShow) : editor (editorToShow)
    {
        setOpaque (true);
        addAndMakeVisible (editor);
        setSize (editor.getWidth(), editor.getHeight());
    }

    void paint (juce::Graphics& g) override { g.fillAll (juce::Colours::magenta); } // shows where the editor is not
    void childBoundsChanged (juce::Component*) override { setSize (editor.getWidth(), editor.getHeight()); }

private:
    juce::AudioProcessorEditor& editor;
};

int fail (const juce::String& message)
{
    std::fprintf (stderr, "capture_editor: %s\n", message.toRawUTF8());
    return exitFailure;
}

// Saves the window's picture with xwd.
bool saveWindow (juce::Component& window, const juce::File& out, juce::String& error)
{
    auto* peer = window.getPeer();
    if (peer == nullptr)
    {
        error = "the window has no native peer (is an X server running?)";
        return false;
    }
    const auto windowId = juce::String ((juce::pointer_sized_uint) peer->getNativeHandle());
    juce::ChildProcess xwd;
    if (! xwd.start (juce::StringArray { "xwd", "-id", windowId, "-silent", "-out", out.getFullPathName() }))
    {
        error = "cannot start xwd";
        return false;
    }
    const auto output = xwd.readAllProcessOutput();
    if (! xwd.waitForProcessToFinish (30000) || xwd.getExitCode() != 0 || ! out.existsAsFile())
    {
        error = "xwd failed: " + output;
        return false;
    }
    return true;
}
} // namespace

int main (int argc, char** argv)
{
    juce::JUCEApplicationBase::createInstance = []() -> juce::JUCEApplicationBase* { return nullptr; };
    juce::ScopedJuceInitialiser_GUI juceInit;

    juce::File bundle, out;
    int numInputs = 8;
    int settleMs = 1500;
    for (int i = 1; i + 1 < argc; i += 2)
    {
        const juce::String option (argv[i]), value (juce::String::fromUTF8 (argv[i + 1]));
        if (option == "--bundle")
            bundle = juce::File::getCurrentWorkingDirectory().getChildFile (value);
        else if (option == "--xwd")
            out = juce::File::getCurrentWorkingDirectory().getChildFile (value);
        else if (option == "--inputs")
            numInputs = value.getIntValue();
        else if (option == "--settle-ms")
            settleMs = value.getIntValue();
        else
            bundle = juce::File();
    }
    if (argc % 2 == 0 || bundle == juce::File() || out == juce::File() || numInputs < 1 || settleMs < 0)
    {
        printUsage();
        return exitUsage;
    }

    juce::String error;
    auto plugin = VbHost::HostedPlugin::load (bundle, error);
    if (plugin == nullptr)
        return fail (error);
    if (! plugin->prepare (48000.0, 512, numInputs, 2, error))
        return fail (error);

    std::unique_ptr<juce::AudioProcessorEditor> editor (plugin->instance().createEditorIfNeeded());
    if (editor == nullptr)
        return fail ("the plug-in made no editor");

    bool saved = false;
    {
        HostWindow window (*editor);
        window.setTopLeftPosition (0, 0);
        window.addToDesktop (0);
        window.setVisible (true);
        juce::MessageManager::getInstance()->runDispatchLoopUntil (settleMs);
        saved = saveWindow (window, out, error);
        window.removeChildComponent (editor.get());
    }
    editor.reset();
    plugin.reset();
    if (! saved)
        return fail (error);

    std::printf ("%s\n", out.getFullPathName().toRawUTF8());
    return 0;
}
