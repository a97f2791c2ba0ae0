# The body of the mingw-w64 toolchains (mingw-i686.cmake, mingw-x86_64.cmake), which set
# KELVO_MINGW_TRIPLET and CMAKE_SYSTEM_PROCESSOR and include this file. Debian's
# g++-mingw-w64-<arch>-posix, or an MSYS2 shell's own compiler.
set(CMAKE_SYSTEM_NAME Windows)

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
