# JUCE's VST3 wrapper with cmake/patches/vst3-state-loader.patch applied: the
# wrapper's source, patched at configure time into the build tree, takes the place
# of the installed one (the installed files stay untouched). Whatever links
# juce::juce_audio_plugin_client_VST3 compiles the patched copy.

set(VB_WRAPPER_PATCH "${CMAKE_SOURCE_DIR}/cmake/patches/vst3-state-loader.patch")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${VB_WRAPPER_PATCH}")

find_program(VB_PATCH_PROGRAM patch)
if(NOT VB_PATCH_PROGRAM)
  message(FATAL_ERROR "the 'patch' program is missing (scripts/setup.sh installs it)")
endif()

get_target_property(juce_modules juce::juce_audio_plugin_client INTERFACE_JUCE_MODULE_PATH)
set(installed "${juce_modules}/juce_audio_plugin_client")
set(copy "${CMAKE_BINARY_DIR}/juce-patched/juce_audio_plugin_client")
set(wrapper VST3/juce_VST3_Wrapper.cpp)

# The wrapper's entry source beside the patched wrapper, and the module's own
# headers through a link, so that each header stays one file to the compiler.
file(COPY "${installed}/juce_audio_plugin_client_VST3.cpp" DESTINATION "${copy}")
if(NOT EXISTS "${copy}/utility")
  file(CREATE_LINK "${installed}/utility" "${copy}/utility" SYMBOLIC)
endif()

# Patched beside, then put in place only when it differs, so that an unchanged
# patch rebuilds nothing.
set(scratch "${CMAKE_BINARY_DIR}/juce-patched/scratch")
file(REMOVE_RECURSE "${scratch}")
file(COPY "${installed}/${wrapper}" DESTINATION "${scratch}/VST3")
execute_process(
  COMMAND "${VB_PATCH_PROGRAM}" --batch --forward --fuzz=0 --no-backup-if-mismatch --reject-file=-
          -p1 -d "${scratch}" -i "${VB_WRAPPER_PATCH}"
  RESULT_VARIABLE patch_result OUTPUT_VARIABLE patch_output ERROR_VARIABLE patch_output)
if(NOT patch_result EQUAL 0)
  message(FATAL_ERROR "cmake/patches/vst3-state-loader.patch no longer applies to ${installed}/${wrapper} "
                      "(JUCE ${JUCE_VERSION}): check whether this JUCE still needs it and update it.\n${patch_output}")
endif()
file(MAKE_DIRECTORY "${copy}/VST3")
file(COPY_FILE "${scratch}/${wrapper}" "${copy}/${wrapper}" ONLY_IF_DIFFERENT)
file(REMOVE_RECURSE "${scratch}")

get_target_property(wrapper_sources juce_audio_plugin_client_VST3 INTERFACE_SOURCES)
string(REPLACE "${installed}/juce_audio_plugin_client_VST3.cpp" "${copy}/juce_audio_plugin_client_VST3.cpp"
       wrapper_sources "${wrapper_sources}")
if(NOT "${copy}/juce_audio_plugin_client_VST3.cpp" IN_LIST wrapper_sources)
  message(FATAL_ERROR "juce_audio_plugin_client_VST3 no longer compiles ${installed}/juce_audio_plugin_client_VST3.cpp")
endif()
set_target_properties(juce_audio_plugin_client_VST3 PROPERTIES INTERFACE_SOURCES "${wrapper_sources}")
