# JUCE's modules, each compiled into a static library of its own named
# vb_<module> (vb_juce_core, vb_juce_audio_basics, ...), so that a library of
# ours links, and sees the headers and definitions of, only the modules it
# uses. A module library links the modules it depends on.
#
# juce_events and the modules above it come in two builds, because JUCE's
# settings change their headers:
#   vb_<module>          for the tools and tests: VST3 plug-in hosting, and
#                        modal loops (runDispatchLoopUntil drives the tests' timers);
#   vb_<module>_shipped  for the bundle: neither.
# juce_core, juce_audio_basics and juce_audio_formats do not depend on
# either setting and are built once.

# Settings of every module, seen by everything that uses JUCE.
set(VB_JUCE_SETTINGS
  JUCE_WEB_BROWSER=0
  JUCE_USE_CURL=0
  JUCE_VST3_CAN_REPLACE_VST2=0
  JUCE_DISPLAY_SPLASH_SCREEN=0
  JUCE_STRICT_REFCOUNTEDPOINTER=1)

set(VB_JUCE_TOOL_SETTINGS JUCE_PLUGINHOST_VST3=1 JUCE_MODAL_LOOPS_PERMITTED=1)
set(VB_JUCE_SHIPPED_SETTINGS JUCE_PLUGINHOST_VST3=0 JUCE_MODAL_LOOPS_PERMITTED=0)

set(VB_JUCE_MODULES
  juce_core juce_audio_basics juce_audio_formats
  juce_events juce_audio_devices juce_data_structures juce_graphics juce_gui_basics juce_gui_extra
  juce_audio_processors)

set(VB_JUCE_SETTINGS_FREE_MODULES juce_core juce_audio_basics juce_audio_formats)

# vb_juce_module(<module> <suffix> <settings>...)
function(vb_juce_module module suffix)
  set(target vb_${module}${suffix})
  get_target_property(sources juce::${module} INTERFACE_JUCE_MODULE_SOURCES)
  get_target_property(definitions juce::${module} INTERFACE_COMPILE_DEFINITIONS)
  get_target_property(includes juce::${module} INTERFACE_INCLUDE_DIRECTORIES)
  get_target_property(dependencies juce::${module} INTERFACE_LINK_LIBRARIES)

  add_library(${target} STATIC ${sources})
  # A module sees only the modules it depends on, so it never calls into one
  # that a program may leave out.
  target_compile_definitions(${target} PUBLIC ${definitions})
  target_include_directories(${target} PUBLIC ${includes})

  set(links)
  foreach(dependency IN LISTS dependencies)
    if(dependency IN_LIST VB_JUCE_SETTINGS_FREE_MODULES)
      list(APPEND links vb_${dependency})
    elseif(dependency IN_LIST VB_JUCE_MODULES)
      list(APPEND links vb_${dependency}${suffix})
    elseif(dependency)
      list(APPEND links ${dependency})
    endif()
  endforeach()
  target_link_libraries(${target} PUBLIC ${links})
  set_target_properties(${target} PROPERTIES VB_LINKS "${links}" VB_JUCE_MODULE ${module})

  if(module STREQUAL "juce_core")
    target_compile_definitions(${target} PUBLIC ${VB_JUCE_SETTINGS})
    target_link_libraries(${target} PUBLIC juce::juce_recommended_config_flags)
  elseif(module STREQUAL "juce_events")
    target_compile_definitions(${target} PUBLIC ${ARGN})
  elseif(module STREQUAL "juce_audio_formats")
    # The tools read and write WAV only; Debian's FLAC and Ogg Vorbis codecs
    # would need libraries of their own.
    target_compile_definitions(${target} PUBLIC JUCE_USE_FLAC=0 JUCE_USE_OGGVORBIS=0)
  elseif(module STREQUAL "juce_graphics")
    target_link_libraries(${target} PUBLIC juce::pkgconfig_JUCE_IMG_LINUX_DEPS)
  endif()
endfunction()

foreach(module IN LISTS VB_JUCE_MODULES)
  vb_juce_module(${module} "" ${VB_JUCE_TOOL_SETTINGS})
  if(VB_BUILD_PLUGIN AND NOT module IN_LIST VB_JUCE_SETTINGS_FREE_MODULES)
    vb_juce_module(${module} _shipped ${VB_JUCE_SHIPPED_SETTINGS})
  endif()
endforeach()
