# The JUCE modules, compiled once into one static library that the plug-in,
# the tests and the tools all link.
add_library(vb_juce STATIC)

target_link_libraries(vb_juce
  PRIVATE
    juce::juce_core
    juce::juce_events
    juce::juce_data_structures
    juce::juce_graphics
    juce::juce_gui_basics
    juce::juce_audio_basics
    juce::juce_audio_formats
    juce::juce_audio_devices
    juce::juce_audio_processors
  PUBLIC
    juce::juce_recommended_config_flags
    juce::pkgconfig_JUCE_IMG_LINUX_DEPS)

target_compile_definitions(vb_juce
  PUBLIC
    JUCE_WEB_BROWSER=0
    JUCE_USE_CURL=0
    JUCE_VST3_CAN_REPLACE_VST2=0
    JUCE_DISPLAY_SPLASH_SCREEN=0
    JUCE_PLUGINHOST_VST3=1
    JUCE_MODAL_LOOPS_PERMITTED=1
    JUCE_STRICT_REFCOUNTEDPOINTER=1)

# Consumers see the module headers and the module-availability macros, but not
# the module sources.
target_include_directories(vb_juce INTERFACE
  $<TARGET_PROPERTY:vb_juce,INCLUDE_DIRECTORIES>)
target_compile_definitions(vb_juce INTERFACE
  $<TARGET_PROPERTY:vb_juce,COMPILE_DEFINITIONS>)
set_target_properties(vb_juce PROPERTIES POSITION_INDEPENDENT_CODE ON)
