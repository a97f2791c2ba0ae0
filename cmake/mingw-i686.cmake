# CMake toolchain for 32-bit x86 Windows with mingw-w64:
# cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(KELVO_MINGW_TRIPLET i686-w64-mingw32)
# SSE2 for all floating point, as in the 64-bit program: x87's 80-bit intermediates would round
# the picture's arithmetic differently, and SSE2 is on every x86 processor that runs Windows 7.
# libpng, built with this toolchain, gets the same.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
