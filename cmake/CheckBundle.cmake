# cmake -DLIBRARY=<bundle's shared object> -P CheckBundle.cmake
#
# Fails when the bundle holds JUCE's code for hosting plug-ins of any format
# or can run a modal loop. (The format-neutral classes of juce_audio_processors,
# such as AudioPluginFormatManager, come with the module and host nothing.)

cmake_minimum_required(VERSION 3.22)

execute_process(COMMAND nm -C "${LIBRARY}" OUTPUT_VARIABLE symbols RESULT_VARIABLE result)
if(NOT result EQUAL 0 OR symbols STREQUAL "")
  message(FATAL_ERROR "nm could not read ${LIBRARY}")
endif()

set(found "")
foreach(name VST3PluginFormat VSTPluginFormat LV2PluginFormat LADSPAPluginFormat AudioUnitPluginFormat
             VST3PluginInstance VST3HostContext
             "MessageManager::runDispatchLoopUntil" "Component::runModalLoop")
  string(FIND "${symbols}" "${name}" at)
  if(NOT at EQUAL -1)
    string(APPEND found " ${name}")
  endif()
endforeach()

if(found)
  message(FATAL_ERROR "the bundle holds:${found}")
endif()
