# CMake toolchain for 32-bit x86 Windows with mingw-w64 (Debian's g++-mingw-w64-i686-posix, or
# an MSYS2 mingw32 shell's own compiler): cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(KELVO_MINGW_TRIPLET i686-w64-mingw32)
# The posix thread model: std::mutex and std::thread, from winpthreads, linked statically.
find_program(CMAKE_C_COMPILER NAMES ${KELVO_MINGW_TRIPLET}-gcc-posix ${KELVO_MINGW_TRIPLET}-gcc gcc)
find_program(CMAKE_CXX_COMPILER NAMES ${KELVO_MINGW_TRIPLET}-g++-posix ${KELVO_MINGW_TRIPLET}-g++ g++)
find_program(CMAKE_RC_COMPILER NAMES ${KELVO_MINGW_TRIPLET}-windres windres)

# Libraries and headers come from the cross prefix (and CMAKE_PREFIX_PATH), never the host's.
if(EXISTS /usr/${KELVO_MINGW_TRIPLET})
  list(APPEND CMAKE_FIND_ROOT_PATH /usr/${KELVO_MINGW_TRIPLET})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
