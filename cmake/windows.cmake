# The Windows build, included by the top-level CMakeLists.txt when cross-compiling for Windows
# (cmake/mingw-i686.cmake for 32-bit x86, cmake/mingw-x86_64.cmake for x86-64): kelvo.exe from the same app/, render/, audio/ and texload/ sources
# as the Linux build, on the real Win32, WGL and GLU and on the sound layer's waveOut device and
# ACM decoder; the zip that ships it; and the sound layer's own check program for Wine runs.
# One file that runs on a bare Windows: libstdc++, winpthreads, libpng and zlib linked in.

include(ExternalProject)

set(LIBPNG_SOURCE "" CACHE STRING
  "libpng's source to build for Windows: a folder or an archive (empty: a libpng in CMAKE_PREFIX_PATH, else its release archive found or fetched)")
set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)

set(kelvo_png_prefix ${CMAKE_BINARY_DIR}/libpng)
set(kelvo_png_licence "")
if(NOT LIBPNG_SOURCE)
  find_library(KELVO_PNG_STATIC NAMES libpng16.a libpng.a)
  find_path(KELVO_PNG_INCLUDE png.h)
endif()
if(NOT LIBPNG_SOURCE AND KELVO_PNG_STATIC AND KELVO_PNG_INCLUDE)
  message(STATUS "libpng for Windows: ${KELVO_PNG_STATIC}")
  add_library(kelvo_png STATIC IMPORTED)
  set_target_properties(kelvo_png PROPERTIES IMPORTED_LOCATION ${KELVO_PNG_STATIC}
    INTERFACE_INCLUDE_DIRECTORIES ${KELVO_PNG_INCLUDE})
  get_filename_component(kelvo_png_root ${KELVO_PNG_INCLUDE} DIRECTORY)
  file(GLOB kelvo_png_licence ${kelvo_png_root}/share/licenses/libpng/LICENSE* ${kelvo_png_root}/share/doc/libpng/LICENSE*)
else()
  if(LIBPNG_SOURCE AND IS_DIRECTORY ${LIBPNG_SOURCE})
    set(kelvo_png_from SOURCE_DIR ${LIBPNG_SOURCE})
    set(kelvo_png_licence ${LIBPNG_SOURCE}/LICENSE)
  elseif(LIBPNG_SOURCE)
    if(NOT EXISTS ${LIBPNG_SOURCE})
      message(FATAL_ERROR "LIBPNG_SOURCE: ${LIBPNG_SOURCE} does not exist")
    endif()
    set(kelvo_png_from URL ${LIBPNG_SOURCE})
    set(kelvo_png_licence ${CMAKE_BINARY_DIR}/libpng-prefix/src/libpng/LICENSE)
  else()
    include(cmake/library_sources.cmake)
    kelvo_library_sources("make windows" libpng)
    set(kelvo_png_from URL ${kelvo_libpng_source} URL_HASH SHA256=${kelvo_libpng_source_sha256})
    set(kelvo_png_licence ${CMAKE_BINARY_DIR}/libpng-prefix/src/libpng/LICENSE)
  endif()
  message(STATUS "libpng for Windows: built from ${LIBPNG_SOURCE}${kelvo_libpng_source}")
  ExternalProject_Add(libpng ${kelvo_png_from}
    CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE} -DCMAKE_BUILD_TYPE=Release
      -DCMAKE_INSTALL_PREFIX=${kelvo_png_prefix} -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF
      -DPNG_TOOLS=OFF -DPNG_EXECUTABLES=OFF -DPNG_FRAMEWORK=OFF
      -DZLIB_LIBRARY=${ZLIB_LIBRARIES} -DZLIB_INCLUDE_DIR=${ZLIB_INCLUDE_DIRS}
    BUILD_BYPRODUCTS ${kelvo_png_prefix}/lib/libpng16.a)
  file(MAKE_DIRECTORY ${kelvo_png_prefix}/include)
  add_library(kelvo_png STATIC IMPORTED)
  set_target_properties(kelvo_png PROPERTIES IMPORTED_LOCATION ${kelvo_png_prefix}/lib/libpng16.a
    INTERFACE_INCLUDE_DIRECTORIES ${kelvo_png_prefix}/include)
  add_dependencies(kelvo_png libpng)
endif()
target_link_libraries(kelvo_png INTERFACE ZLIB::ZLIB)

# The sound layer on waveOut and the ACM, as on Linux over the shared part.
add_library(kelvo_sound_win STATIC
  platform/sound/sound_core.cpp
  platform/sound/mp3_frames.cpp
  platform/windows/decoder_acm.cpp
  platform/windows/sound_winmm.cpp
  platform/data_file.cpp)
target_include_directories(kelvo_sound_win PUBLIC ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/platform/sound/include)
target_link_libraries(kelvo_sound_win PUBLIC winmm msacm32)

# 32-bit x86 or x86-64: the name the zip and the manifest give it.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(kelvo_windows_kind win64)
  set(KELVO_MANIFEST_ARCH amd64)
else()
  set(kelvo_windows_kind win32)
  set(KELVO_MANIFEST_ARCH x86)
endif()

# The program's resources (platform/windows/kelvo.rc.in): the icon, made as the desktop entry's
# is by tools/make_icons, here compiled for the build machine and packed into an .ico by icotool;
# the version record; the manifest.
find_program(KELVO_HOST_CXX NAMES c++ g++ NO_CMAKE_FIND_ROOT_PATH)
find_program(KELVO_ICOTOOL icotool NO_CMAKE_FIND_ROOT_PATH)
if(NOT KELVO_HOST_CXX OR NOT KELVO_ICOTOOL)
  message(FATAL_ERROR "the Windows program's icon needs a C++ compiler for this machine and icotool (Debian: build-essential, libpng-dev, icoutils)")
endif()
set(kelvo_icons ${CMAKE_BINARY_DIR}/icons)
set(kelvo_icon_sizes 16 24 32 48 64 128)
set(kelvo_icon_pngs "")
foreach(size ${kelvo_icon_sizes})
  list(APPEND kelvo_icon_pngs ${kelvo_icons}/${size}x${size}/kelvo.png)
endforeach()
set(KELVO_ICO ${CMAKE_BINARY_DIR}/kelvo.ico)
add_custom_command(OUTPUT ${kelvo_icons}/make_icons
  COMMAND ${CMAKE_COMMAND} -E make_directory ${kelvo_icons}
  COMMAND ${KELVO_HOST_CXX} -std=c++17 -O2 -I${CMAKE_CURRENT_SOURCE_DIR}
    ${CMAKE_CURRENT_SOURCE_DIR}/tools/make_icons.cpp ${CMAKE_CURRENT_SOURCE_DIR}/tools/png_write.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/platform/printable.cpp -lpng -lz -lm -o ${kelvo_icons}/make_icons
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tools/make_icons.cpp ${CMAKE_CURRENT_SOURCE_DIR}/tools/png_write.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/platform/printable.cpp
  COMMENT "Building make_icons for this machine")
# The sizes up to 128 as bitmaps with alpha, which every Windows shows; 256 as PNG, as Explorer
# takes its largest icons.
add_custom_command(OUTPUT ${KELVO_ICO}
  COMMAND ${kelvo_icons}/make_icons ${CMAKE_CURRENT_SOURCE_DIR}/data ${kelvo_icons}
  COMMAND ${KELVO_ICOTOOL} -c -o ${KELVO_ICO} ${kelvo_icon_pngs} -r ${kelvo_icons}/256x256/kelvo.png
  DEPENDS ${kelvo_icons}/make_icons ${CMAKE_CURRENT_SOURCE_DIR}/data/bg.png ${CMAKE_CURRENT_SOURCE_DIR}/data/kelvo.png
  COMMENT "Making kelvo.ico from data/bg.png and data/kelvo.png")
set(KELVO_MANIFEST ${CMAKE_BINARY_DIR}/kelvo.exe.manifest)
configure_file(platform/windows/kelvo.exe.manifest ${KELVO_MANIFEST} @ONLY)
configure_file(platform/windows/kelvo.rc.in ${CMAKE_BINARY_DIR}/kelvo.rc @ONLY)
set_source_files_properties(${CMAKE_BINARY_DIR}/kelvo.rc PROPERTIES OBJECT_DEPENDS "${KELVO_ICO};${KELVO_MANIFEST}")
enable_language(RC)

add_executable(kelvo WIN32 ${KELVO_APP_SOURCES} ${CMAKE_BINARY_DIR}/kelvo.rc)
target_link_libraries(kelvo PRIVATE kelvo_sound_win kelvo_png glu32 opengl32 gdi32 user32)
# Everything the compiler brings (libgcc, libstdc++, winpthreads) is linked in too.
set(kelvo_static_link -static -static-libgcc -static-libstdc++ -s)
target_link_options(kelvo PRIVATE ${kelvo_static_link})

# The sound layer's check program, a console program run under Wine by tools/check_win32.sh.
add_executable(kelvo_sound_check tests/sound_check.cpp)
target_link_libraries(kelvo_sound_check PRIVATE kelvo_sound_win)
target_link_options(kelvo_sound_check PRIVATE ${kelvo_static_link})

# The test's window probe (tests/windows/win_probe.cpp), a console program run under Wine beside
# the demo by tests/wine_demo.sh.
add_executable(kelvo_win_probe tests/windows/win_probe.cpp)
target_link_libraries(kelvo_win_probe PRIVATE user32 gdi32)
target_link_options(kelvo_win_probe PRIVATE ${kelvo_static_link})

# The frame benchmark (bench/bench_frame.cpp, which stands in for the music), for
# make bench-windows.
set(kelvo_bench_sources ${KELVO_APP_SOURCES})
list(REMOVE_ITEM kelvo_bench_sources audio/music.cpp)
add_executable(bench_frame bench/bench_frame.cpp ${kelvo_bench_sources})
target_include_directories(bench_frame PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(bench_frame PRIVATE kelvo_sound_win kelvo_png glu32 opengl32 gdi32 user32)
target_link_options(bench_frame PRIVATE ${kelvo_static_link})

# The zip: the program, its data, the README as text, the licence, and the licence notices of
# the libraries linked into it.
set(kelvo_zip_name kelvo-${PROJECT_VERSION}-${kelvo_windows_kind})
set(kelvo_zip_dir ${CMAKE_BINARY_DIR}/${kelvo_zip_name})
find_file(KELVO_ZLIB_COPYRIGHT copyright PATHS /usr/share/doc/libz-mingw-w64-dev NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
set(kelvo_zlib_licence ${KELVO_ZLIB_COPYRIGHT})
if(NOT kelvo_zlib_licence)
  file(GLOB kelvo_zlib_licence ${ZLIB_INCLUDE_DIRS}/../share/licenses/zlib/LICENSE*)
endif()
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/${kelvo_zip_name}.zip
  COMMAND ${CMAKE_COMMAND} -DZIP_DIR=${kelvo_zip_dir} -DZIP_FILE=${CMAKE_BINARY_DIR}/${kelvo_zip_name}.zip
    -DPROGRAM=$<TARGET_FILE:kelvo> -DSOURCE=${CMAKE_CURRENT_SOURCE_DIR}
    "-DPNG_LICENCE=${kelvo_png_licence}" "-DZLIB_LICENCE=${kelvo_zlib_licence}"
    -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/windows_zip.cmake
  DEPENDS kelvo ${CMAKE_CURRENT_SOURCE_DIR}/cmake/windows_zip.cmake ${CMAKE_CURRENT_SOURCE_DIR}/README-Windows.md
    ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE
  VERBATIM)
add_custom_target(kelvo_zip ALL DEPENDS ${CMAKE_BINARY_DIR}/${kelvo_zip_name}.zip)
