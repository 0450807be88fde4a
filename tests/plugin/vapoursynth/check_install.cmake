# Installs the build into a scratch prefix and checks that the plug-in lands in the folder
# VapourSynth searches: <libdir>/vapoursynth. Run with -DBUILD_DIR=... -DPREFIX=... -DLIBDIR=...
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX} RESULT_VARIABLE status
                OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${status}")
endif()
if(NOT EXISTS ${PREFIX}/${LIBDIR}/vapoursynth/libsorvan.so)
  message(FATAL_ERROR "libsorvan.so is not in ${PREFIX}/${LIBDIR}/vapoursynth")
endif()
file(REMOVE_RECURSE ${PREFIX})
