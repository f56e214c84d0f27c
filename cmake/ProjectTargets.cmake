# Warnings for our own code (JUCE itself is compiled without them).
add_library(vb_warnings INTERFACE)
target_compile_options(vb_warnings INTERFACE
  -Wall -Wextra -Wshadow -Wno-missing-field-initializers -Wno-unused-parameter)

# An include root that holds only <folder> of the source tree, so that
# "<folder>/Header.h" resolves and nothing else of the tree does.
function(vb_include_root out owner folder)
  set(root "${CMAKE_BINARY_DIR}/include/${owner}")
  get_filename_component(parent "${root}/${folder}" DIRECTORY)
  file(MAKE_DIRECTORY "${parent}")
  if(NOT EXISTS "${root}/${folder}")
    file(CREATE_LINK "${CMAKE_SOURCE_DIR}/${folder}" "${root}/${folder}" SYMBOLIC)
  endif()
  set(${out} "${root}" PARENT_SCOPE)
endfunction()

# vb_library(<name> <folder> [TOOLS_ONLY] [LINKS <libraries>...] [EXCLUDE <files>...])
#
# A static library of the sources in <folder> and its subfolders. It and its
# users see its headers as "<folder>/...", and a source of it sees no other
# header of the tree than those of the libraries it links. LINKS names our
# libraries and JUCE modules (vb_juce_*).
#
# When something it links comes in a build for the bundle (<link>_shipped,
# see JuceModules.cmake), the library does too, unless it is TOOLS_ONLY:
# <name>_shipped, made of the same sources and linking the shipped builds.
function(vb_library name folder)
  cmake_parse_arguments(ARG "TOOLS_ONLY" "" "LINKS;EXCLUDE" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/${folder}/*.cpp")
  foreach(item IN LISTS ARG_EXCLUDE)
    list(REMOVE_ITEM sources "${CMAKE_SOURCE_DIR}/${folder}/${item}")
  endforeach()
  file(GLOB_RECURSE headers CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/${folder}/*.h")
  vb_include_root(root ${name} ${folder})

  set(shippedLinks)
  set(hasShippedBuild FALSE)
  foreach(link IN LISTS ARG_LINKS)
    if(TARGET ${link}_shipped)
      list(APPEND shippedLinks ${link}_shipped)
      set(hasShippedBuild TRUE)
    else()
      list(APPEND shippedLinks ${link})
    endif()
  endforeach()

  set(targets ${name})
  if(hasShippedBuild AND NOT ARG_TOOLS_ONLY)
    list(APPEND targets ${name}_shipped)
  endif()
  foreach(target IN LISTS targets)
    set(links ${ARG_LINKS})
    if(target STREQUAL "${name}_shipped")
      set(links ${shippedLinks})
    endif()
    add_library(${target} STATIC ${sources} ${headers})
    target_include_directories(${target} PUBLIC "${root}")
    target_link_libraries(${target} PUBLIC ${links} PRIVATE vb_warnings)
    set_target_properties(${target} PROPERTIES VB_LINKS "${links}" VB_FOLDER "${folder}")
  endforeach()
  set_property(GLOBAL APPEND PROPERTY VB_LIBRARIES ${name})
endfunction()

# Every target that <target> links, directly or not, among ours and JUCE's modules.
function(vb_link_closure out target)
  set(closure)
  set(pending ${target})
  while(pending)
    list(POP_FRONT pending current)
    get_target_property(links ${current} VB_LINKS)
    foreach(link IN LISTS links)
      if(TARGET ${link} AND NOT link IN_LIST closure)
        get_target_property(known ${link} VB_LINKS)
        if(NOT known STREQUAL "known-NOTFOUND")
          list(APPEND closure ${link})
          list(APPEND pending ${link})
        endif()
      endif()
    endforeach()
  endwhile()
  set(${out} ${closure} PARENT_SCOPE)
endfunction()

# The layers, checked once every target exists:
# - the engine links no MIDI, user interface or plug-in code;
# - a test checks that the sources of each library include only what it links
#   (the compiler cannot tell, since JUCE's module headers share one folder).
function(vb_check_layers)
  vb_link_closure(engine zeph)
  foreach(link IN LISTS engine)
    if(NOT link MATCHES "^(vb_shared|vb_juce_core|vb_juce_audio_basics)$")
      message(FATAL_ERROR "the engine (zeph) must not link ${link}")
    endif()
  endforeach()

  get_property(libraries GLOBAL PROPERTY VB_LIBRARIES)
  set(table "")
  foreach(library IN LISTS libraries)
    vb_link_closure(closure ${library})
    get_target_property(folder ${library} VB_FOLDER)
    set(folders ${folder})
    set(modules)
    foreach(link IN LISTS closure)
      get_target_property(linkFolder ${link} VB_FOLDER)
      get_target_property(module ${link} VB_JUCE_MODULE)
      if(linkFolder)
        list(APPEND folders ${linkFolder})
      elseif(module)
        list(APPEND modules ${module})
      endif()
    endforeach()
    list(JOIN folders "," folders)
    list(JOIN modules "," modules)
    string(APPEND table "${folder}|${folders}|${modules}\n")
  endforeach()
  file(WRITE "${CMAKE_BINARY_DIR}/layers.txt" "${table}")
endfunction()
