# The browser build, included by the top-level CMakeLists.txt when compiling with emscripten
# (emcmake, make web): the demo from the same app/, render/, audio/ and texload/ sources as the
# Linux and Windows builds, on the web platform's Win32 and GL subsets (platform/web) and the
# sound layer on Web Audio (platform/web/decoder_webaudio.cpp, sound_webaudio.cpp); libpng and
# zlib compiled here from their released sources; and the static site in KELVO_WEB_SITE:
# index.html, the page's script and style, kelvo.js, kelvo.wasm, data/ and the licence notices.
#
# Also the sound layer's check program for the browser (kelvo_sound_check.js, tests/sound_check.cpp
# as on Linux and Windows), which the web tests run; it is not part of the site.

set(LIBPNG_SOURCE "" CACHE STRING "libpng's source to build for WebAssembly: a folder or an archive (empty: found or fetched)")
set(ZLIB_SOURCE "" CACHE STRING "zlib's source to build for WebAssembly: a folder or an archive (empty: found or fetched)")
set(KELVO_WEB_SITE ${CMAKE_BINARY_DIR}/site CACHE PATH "Where the static site is put together")
include(cmake/library_sources.cmake)

# A library's source folder into `result`: the folder `given` (named by `variable` or found by
# kelvo_library_sources), or the one folder an archive holds, unpacked into the build tree (again
# when another archive is given). `marker` is a file at the top of the source.
function(kelvo_web_source given variable name marker result)
  if(NOT EXISTS "${given}")
    message(FATAL_ERROR "${variable}: ${given} does not exist")
  endif()
  if(IS_DIRECTORY "${given}")
    set(folder "${given}")
  else()
    set(unpacked ${CMAKE_BINARY_DIR}/deps/${name})
    file(TIMESTAMP "${given}" stamp)
    set(stamp "${given} ${stamp}")
    set(previous "")
    if(EXISTS ${unpacked}.from)
      file(READ ${unpacked}.from previous)
    endif()
    if(NOT previous STREQUAL stamp)
      file(REMOVE_RECURSE ${unpacked})
      file(ARCHIVE_EXTRACT INPUT "${given}" DESTINATION ${unpacked})
      file(WRITE ${unpacked}.from "${stamp}")
    endif()
    file(GLOB found LIST_DIRECTORIES false ${unpacked}/${marker} ${unpacked}/*/${marker})
    list(LENGTH found count)
    if(NOT count EQUAL 1)
      message(FATAL_ERROR "${variable}: ${given} holds no ${name} source (no ${marker} at its top)")
    endif()
    get_filename_component(folder ${found} DIRECTORY)
  endif()
  if(NOT EXISTS ${folder}/${marker} OR NOT EXISTS ${folder}/LICENSE)
    message(FATAL_ERROR "${variable}: ${folder} is not ${name}'s source (no ${marker} or LICENSE)")
  endif()
  message(STATUS "${name} for WebAssembly: built from ${folder}")
  set(${result} ${folder} PARENT_SCOPE)
endfunction()

enable_language(C)
kelvo_library_sources("make web" libpng zlib)
kelvo_web_source("${kelvo_zlib_source}" ZLIB_SOURCE zlib zlib.h kelvo_zlib_dir)
kelvo_web_source("${kelvo_libpng_source}" LIBPNG_SOURCE libpng png.h kelvo_png_dir)

# zlib and libpng as static libraries of this build: their own sources, compiled as their
# Makefiles would (libpng with its prebuilt configuration), without their CMake projects.
set(kelvo_zlib_sources adler32.c compress.c crc32.c deflate.c gzclose.c gzlib.c gzread.c gzwrite.c
  infback.c inffast.c inflate.c inftrees.c trees.c uncompr.c zutil.c)
list(TRANSFORM kelvo_zlib_sources PREPEND ${kelvo_zlib_dir}/)
add_library(kelvo_web_zlib STATIC ${kelvo_zlib_sources})
target_include_directories(kelvo_web_zlib PUBLIC ${kelvo_zlib_dir})
target_compile_options(kelvo_web_zlib PRIVATE -w)
target_compile_definitions(kelvo_web_zlib PRIVATE HAVE_UNISTD_H HAVE_STDARG_H)

set(kelvo_png_sources png.c pngerror.c pngget.c pngmem.c pngpread.c pngread.c pngrio.c pngrtran.c
  pngrutil.c pngset.c pngtrans.c pngwio.c pngwrite.c pngwtran.c pngwutil.c)
list(TRANSFORM kelvo_png_sources PREPEND ${kelvo_png_dir}/)
configure_file(${kelvo_png_dir}/scripts/pnglibconf.h.prebuilt ${CMAKE_BINARY_DIR}/libpng/pnglibconf.h COPYONLY)
add_library(kelvo_web_png STATIC ${kelvo_png_sources})
target_include_directories(kelvo_web_png PUBLIC ${kelvo_png_dir} ${CMAKE_BINARY_DIR}/libpng)
target_compile_options(kelvo_web_png PRIVATE -w)
target_compile_definitions(kelvo_web_png PRIVATE PNG_ARM_NEON_OPT=0 PNG_INTEL_SSE_OPT=0 PNG_MIPS_MSA_OPT=0
  PNG_POWERPC_VSX_OPT=0 PNG_LOONGARCH_LSX_OPT=0 PNG_RISCV_RVV_OPT=0)
target_link_libraries(kelvo_web_png PUBLIC kelvo_web_zlib)

# The sound layer on Web Audio, over the shared part, as on the other platforms.
add_library(kelvo_web_sound STATIC
  platform/sound/sound_core.cpp
  platform/web/decoder_webaudio.cpp
  platform/web/sound_webaudio.cpp
  platform/data_file.cpp)
target_include_directories(kelvo_web_sound PUBLIC ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/platform/sound/include)

# The Win32 and GL subsets in a page. Their headers (windows.h, GL/gl.h, GL/glu.h) come before
# emscripten's own GL headers.
add_library(kelvo_web_platform STATIC
  platform/web/web_window.cpp
  platform/web/web_input.cpp
  platform/web/web_msgbox.cpp
  platform/web/web_gl.cpp)
target_include_directories(kelvo_web_platform BEFORE PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/platform/web/include)
target_include_directories(kelvo_web_platform PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(kelvo_web_platform PUBLIC kelvo_web_sound)

# How the programs are linked: one module per page instance (play again makes a new one),
# suspending in SwapBuffers, MessageBoxA, fullscreen and the MP3 decoding until the browser
# answers (ASYNCIFY), WebGL 1 or 2 through the platform's own GL subset. ASYNCIFY instruments
# only the functions that reach those waits by direct calls: none is reached through a function
# pointer (the window procedure, libpng's callbacks), so the frame's own code runs uninstrumented.
# A wait added below a call through a pointer would need ASYNCIFY_IGNORE_INDIRECT off again.
set(kelvo_web_link
  -sMODULARIZE=1 -sENVIRONMENT=web -sALLOW_MEMORY_GROWTH=1 -sINITIAL_MEMORY=33554432
  -sASYNCIFY=1 -sASYNCIFY_STACK_SIZE=65536 -sASYNCIFY_IGNORE_INDIRECT=1
  -sMIN_WEBGL_VERSION=1 -sMAX_WEBGL_VERSION=2
  -sFORCE_FILESYSTEM=1 -sEXPORTED_RUNTIME_METHODS=FS,callMain -sEXIT_RUNTIME=0)

add_executable(kelvo ${KELVO_APP_SOURCES} platform/web/web_main.cpp)
target_include_directories(kelvo BEFORE PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/platform/web/include)
target_include_directories(kelvo PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/platform/sound/include)
target_compile_definitions(kelvo PRIVATE KELVO_VERSION="${PROJECT_VERSION}")
target_link_libraries(kelvo PRIVATE kelvo_web_platform kelvo_web_png)
target_link_options(kelvo PRIVATE ${kelvo_web_link} -sEXPORT_NAME=createKelvo)
set_target_properties(kelvo PROPERTIES SUFFIX .js)

# The check programs the web tests run in tests/web/check_page.html (not part of the site): the
# sound layer's (tests/sound_check.cpp, as on Linux and Windows) and the window and GL subsets'.
# They end the runtime when main returns, so that the page hears their exit code.
add_executable(kelvo_sound_check tests/sound_check.cpp)
target_link_libraries(kelvo_sound_check PRIVATE kelvo_web_sound)
target_link_options(kelvo_sound_check PRIVATE ${kelvo_web_link} -sEXIT_RUNTIME=1 -sEXPORT_NAME=createSoundCheck)
set_target_properties(kelvo_sound_check PROPERTIES SUFFIX .js)
add_executable(kelvo_gl_check tests/web/gl_check.cpp)
target_link_libraries(kelvo_gl_check PRIVATE kelvo_web_platform)
target_link_options(kelvo_gl_check PRIVATE ${kelvo_web_link} -sEXIT_RUNTIME=1 -sEXPORT_NAME=createGlCheck)
set_target_properties(kelvo_gl_check PROPERTIES SUFFIX .js)

# The site: the page, the program, the data and the notices of what is linked into it.
set(kelvo_web_page platform/web/page/index.html platform/web/page/kelvo_page.js platform/web/page/kelvo_page.css)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/site.stamp
  COMMAND ${CMAKE_COMMAND} -DSITE=${KELVO_WEB_SITE} -DSOURCE=${CMAKE_CURRENT_SOURCE_DIR}
    -DPROGRAM=$<TARGET_FILE:kelvo> -DPNG_LICENCE=${kelvo_png_dir}/LICENSE -DZLIB_LICENCE=${kelvo_zlib_dir}/LICENSE
    -DVERSION=${PROJECT_VERSION} -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/web_site.cmake
  COMMAND ${CMAKE_COMMAND} -E touch ${CMAKE_BINARY_DIR}/site.stamp
  DEPENDS kelvo ${kelvo_web_page} cmake/web_site.cmake data/bg.png data/fg.png data/kelvo.png data/music.mp3 LICENSE
  WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}
  COMMENT "Putting the site together in ${KELVO_WEB_SITE}"
  VERBATIM)
add_custom_target(kelvo_site ALL DEPENDS ${CMAKE_BINARY_DIR}/site.stamp)
