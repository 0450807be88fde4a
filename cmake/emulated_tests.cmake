# The test suite of a build for another architecture (the `arm64` preset), run under the emulator
# CMAKE_CROSSCOMPILING_EMULATOR names; included by tests/CMakeLists.txt in place of its rooms.
# What runs: the core's differential tests, the plug-in loaded by our own hosts, the command's
# tests, the plug-in's frames through the three hosts against the native build's (cross/), and
# the package. What says nothing about the architecture stays native: the hosts' own tests, the
# Windows checks, and the C binding's tests against older and incomplete hosts (their programs
# and host libraries are not built here).
#
# Each test program is one test, run whole in one emulated process: starting the emulator once
# per test case would cost more than the cases. `emulated_filter_<program>` leaves out cases that
# observe the emulator rather than the program, or that cost minutes under emulation for nothing
# the architecture changes, each with its reason.

set(native_only_programs avisynth_c_old_host_tests avisynth_c_incomplete_host_tests)
set(native_only_libraries sorvan_avs_c_host_if6 sorvan_avs_c_host_no_bitblt)

# Demo: the script runs build/bin/* directly, which this machine cannot execute.
# MemoryBound: measures the command's peak memory, which here is the emulator's.
# ThreadStartFailure: preloads a library into the command, which here would go into the emulator.
# EndingSignal, IgnoredSignals: start the command by their own exec, not through the emulator.
# CommandMatchesTheCore: 366 formats and settings, two runs of the command each, two seconds a
# run here; a sample of every family, depth and layout runs as cli_command_tests.sample.
set(emulated_filter_cli_command_tests
    "--gtest_filter=-Demo.ScriptMakes*:MemoryBound.*:*ThreadStartFailure*:*EndingSignal*:IgnoredSignals.*:*CommandMatchesTheCore*")
set(command_sample raw_yuv420p raw_yuv420p10le raw_yuv444p16le raw_grayf32le raw_gbrpf32le raw_yuva444p10le raw_bgr24
                   raw_bgra raw_rgb48le raw_uyvy422 y4m_420 y4m_411p12 y4m_444alpha)
list(TRANSFORM command_sample PREPEND "*CommandMatchesTheCore*/")
list(TRANSFORM command_sample APPEND "_*")
list(JOIN command_sample ":" command_sample)

# Replaces GoogleTest's discovery (which would start each program under the emulator at build
# time, then once per case).
function(gtest_discover_tests target)
  if(target IN_LIST native_only_programs)
    set_target_properties(${target} PROPERTIES EXCLUDE_FROM_ALL TRUE)
    return()
  endif()
  add_test(NAME ${target} COMMAND ${target} --gtest_brief=1 ${emulated_filter_${target}})
  set_tests_properties(${target} PROPERTIES LABELS emulated TIMEOUT 1200)
endfunction()

foreach(room support core plugin cli cross packaging)
  add_subdirectory(${room})
endforeach()
set_target_properties(${native_only_libraries} PROPERTIES EXCLUDE_FROM_ALL TRUE)
# The preset builds unity translation units, which halves the cross build; these programs' files
# each have helpers of the same names in their anonymous namespaces, so they are built file by file.
set_target_properties(core_tests cli_command_tests PROPERTIES UNITY_BUILD OFF)

add_test(NAME cli_command_tests.sample COMMAND cli_command_tests --gtest_brief=1 "--gtest_filter=${command_sample}")
set_tests_properties(cli_command_tests.sample PROPERTIES LABELS emulated TIMEOUT 1200)

# Programs of this build that the command's tests start (the command, the sample tool, all in
# the build's bin/) run under the emulator too; the shell and other programs of this machine not.
string(REPLACE ";" "\",\"" emulator_words "${CMAKE_CROSSCOMPILING_EMULATOR}")
target_compile_definitions(cli_command_tests PRIVATE "SORVAN_TEST_EMULATOR=\"${emulator_words}\""
                           "SORVAN_TEST_PROGRAMS=\"${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/\"")
