# Test programs built the way the plug-in DLL beside them is (the same toolchain, flags and
# runtime file, lld-link, import libraries from .def lists, no C runtime library), included by
# plugin/windows/CMakeLists.txt so that `make windows` builds them with the DLL:
# - weights_check.exe (both): the Gaussian weight tables with msvcrt.dll's pow;
# - classic_driver.exe (32-bit): the 2.5 entry driven with the Microsoft C++ ABI.
# tests/windows/CMakeLists.txt runs them under Wine.
set(test_programs_dir ${SORVAN_SOURCE_ROOT}/tests/windows)

set(program_import_libraries)
set(program_system_dlls msvcrt)
if(machine STREQUAL "x86")
  list(APPEND program_system_dlls kernel32)  # the 2.5 driver's, with their stdcall decorations
endif()
foreach(system_dll IN LISTS program_system_dlls)
  set(library ${CMAKE_BINARY_DIR}/test-programs-${system_dll}.lib)
  add_custom_command(
    OUTPUT ${library}
    COMMAND ${LLVM_DLLTOOL} -m ${dlltool_machine} -k -d ${test_programs_dir}/${system_dll}.def -l ${library}
    DEPENDS ${test_programs_dir}/${system_dll}.def
    VERBATIM)
  list(APPEND program_import_libraries ${library})
endforeach()

# name: the program; the remaining arguments: its sources and the static libraries it links.
function(sorvan_windows_test_program name)
  set(sources)
  set(libraries)
  foreach(item IN LISTS ARGN)
    if(TARGET ${item})
      list(APPEND libraries ${item})
    else()
      list(APPEND sources ${item})
    endif()
  endforeach()
  add_library(${name}_objects OBJECT ${sources} ${test_programs_dir}/msvc_startup.cpp)
  target_include_directories(${name}_objects PRIVATE ${SORVAN_SOURCE_ROOT})
  set(program ${CMAKE_BINARY_DIR}/${name}.exe)
  set(library_files)
  foreach(library IN LISTS libraries)
    list(APPEND library_files $<TARGET_FILE:${library}>)
  endforeach()
  add_custom_command(
    OUTPUT ${program}
    COMMAND ${LLD_LINK} /nologo /subsystem:console /entry:TestProgramStart /machine:${machine} /nodefaultlib
            ${extra_link_flags} /dynamicbase /nxcompat /opt:ref /brepro /out:${program}
            $<TARGET_OBJECTS:${name}_objects> ${library_files} ${program_import_libraries}
    DEPENDS ${name}_objects $<TARGET_OBJECTS:${name}_objects> ${libraries} ${program_import_libraries}
    COMMENT "Linking ${name}.exe"
    COMMAND_EXPAND_LISTS VERBATIM)
  add_custom_target(${name} ALL DEPENDS ${program})
endfunction()

sorvan_windows_test_program(weights_check ${test_programs_dir}/weights_check.cpp sorvan_core)
if(machine STREQUAL "x86")
  sorvan_windows_test_program(classic_driver ${test_programs_dir}/classic_driver.cpp
                              ${SORVAN_SOURCE_ROOT}/plugin/windows/runtime.cpp)
endif()
