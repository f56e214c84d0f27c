# JUCE's modules, each compiled into a static library of its own named
# vb_<module> (vb_juce_core, vb_juce_audio_basics, ...), so that a library of
# ours links, and sees the headers and definitions of, only the modules it
# uses. A module library links the modules it depends on.

# Settings of every module, seen by everything that uses JUCE.
set(VB_JUCE_SETTINGS
  JUCE_WEB_BROWSER=0
  JUCE_USE_CURL=0
  JUCE_VST3_CAN_REPLACE_VST2=0
  JUCE_DISPLAY_SPLASH_SCREEN=0
  JUCE_STRICT_REFCOUNTEDPOINTER=1)

# Settings that change the headers of juce_events and the modules above it.
set(VB_JUCE_FLAVOUR_SETTINGS
  JUCE_PLUGINHOST_VST3=1
  JUCE_MODAL_LOOPS_PERMITTED=1)

set(VB_JUCE_MODULES
  juce_core juce_audio_basics juce_audio_formats
  juce_events juce_audio_devices juce_data_structures juce_graphics juce_gui_basics juce_gui_extra
  juce_audio_processors)

function(vb_juce_module module)
  set(target vb_${module})
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
    if(dependency IN_LIST VB_JUCE_MODULES)
      list(APPEND links vb_${dependency})
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
    target_compile_definitions(${target} PUBLIC ${VB_JUCE_FLAVOUR_SETTINGS})
  elseif(module STREQUAL "juce_graphics")
    target_link_libraries(${target} PUBLIC juce::pkgconfig_JUCE_IMG_LINUX_DEPS)
  endif()
endfunction()

foreach(module IN LISTS VB_JUCE_MODULES)
  vb_juce_module(${module})
endforeach()
