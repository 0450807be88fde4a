# What every configuration of the project shares (the Linux build and the Windows DLLs'): the one
# list of bindings and the settings of the plug-in's freestanding libraries.
include_guard(GLOBAL)

# The root of the source tree: every include path starts there ("core/…", "plugin/…").
get_filename_component(SORVAN_SOURCE_ROOT "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)

# Every host interface the plug-in library can serve. Each has its binding in plugin/<binding>/,
# its tests in tests/plugin/<binding>/ and a minimal host of our own in hosts/<host>/, the host
# named here. A new interface is one more entry in these lines and those three folders.
set(SORVAN_ALL_BINDINGS classic avisynth_c vapoursynth)
set(SORVAN_HOST_OF_classic frameserver)
set(SORVAN_HOST_OF_avisynth_c avisynth_c)
set(SORVAN_HOST_OF_vapoursynth vapoursynth)

# Stops the configuration when the list in `variable` is empty or names an unknown binding.
function(sorvan_check_bindings variable)
  if(NOT ${variable})
    message(FATAL_ERROR "${variable} is empty: choose from ${SORVAN_ALL_BINDINGS}")
  endif()
  foreach(binding IN LISTS ${variable})
    if(NOT binding IN_LIST SORVAN_ALL_BINDINGS)
      message(FATAL_ERROR "${variable}: unknown binding '${binding}' (known: ${SORVAN_ALL_BINDINGS})")
    endif()
  endforeach()
endfunction()

# Sets `result` to whether `binding` is built (in SORVAN_BINDINGS); a name that is no binding
# at all stops the configuration instead of quietly leaving something out.
function(sorvan_binding_built binding result)
  if(NOT binding IN_LIST SORVAN_ALL_BINDINGS)
    message(FATAL_ERROR "no binding is called '${binding}' (known: ${SORVAN_ALL_BINDINGS})")
  endif()
  if(binding IN_LIST SORVAN_BINDINGS)
    set(${result} TRUE PARENT_SCOPE)
  else()
    set(${result} FALSE PARENT_SCOPE)
  endif()
endfunction()

# The hosts/ folder of each built binding's minimal host, in `result`.
function(sorvan_built_hosts result)
  set(hosts)
  foreach(binding IN LISTS SORVAN_BINDINGS)
    list(APPEND hosts ${SORVAN_HOST_OF_${binding}})
  endforeach()
  set(${result} ${hosts} PARENT_SCOPE)
endfunction()

# A static library of the plug-in's own code (core/ and plugin/), from the sources that follow
# the name: freestanding C++ without RTTI, position-independent (it goes into the shared
# plug-in) and with hidden symbols, so that only the entry points leave the plug-in.
function(sorvan_plugin_library name)
  add_library(${name} STATIC ${ARGN})
  target_include_directories(${name} PUBLIC ${SORVAN_SOURCE_ROOT})
  set_target_properties(${name} PROPERTIES
    POSITION_INDEPENDENT_CODE ON
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  target_compile_options(${name} PRIVATE -fno-rtti)
endfunction()
