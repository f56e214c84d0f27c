# Warnings for our own code (JUCE itself is compiled without them).
add_library(vb_warnings INTERFACE)
target_compile_options(vb_warnings INTERFACE
  -Wall -Wextra -Wshadow -Wno-missing-field-initializers -Wno-unused-parameter)

# A static library made of every source in one folder of the tree.
function(vb_folder_library name folder)
  file(GLOB sources CONFIGURE_DEPENDS
    "${CMAKE_SOURCE_DIR}/${folder}/*.cpp"
    "${CMAKE_SOURCE_DIR}/${folder}/*.h")
  set(excluded ${ARGN})
  foreach(item IN LISTS excluded)
    list(REMOVE_ITEM sources "${CMAKE_SOURCE_DIR}/${folder}/${item}")
  endforeach()
  list(FILTER sources INCLUDE REGEX "\\.cpp$")
  if(NOT sources)
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE "${CMAKE_SOURCE_DIR}")
    target_link_libraries(${name} INTERFACE vb_juce)
    return()
  endif()
  file(GLOB headers CONFIGURE_DEPENDS "${CMAKE_SOURCE_DIR}/${folder}/*.h")
  add_library(${name} STATIC ${sources} ${headers})
  target_include_directories(${name} PUBLIC "${CMAKE_SOURCE_DIR}")
  target_link_libraries(${name} PUBLIC vb_juce PRIVATE vb_warnings)
endfunction()
