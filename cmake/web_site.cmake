# Puts the browser build's static site together: cmake -DSITE= -DSOURCE= -DPROGRAM= -DPNG_LICENCE=
# -DZLIB_LICENCE= -DVERSION= -P web_site.cmake. PROGRAM is kelvo.js, with kelvo.wasm beside it.
# Fails when a licence notice is missing: the site may not be served without them.
foreach(notice PNG_LICENCE ZLIB_LICENCE)
  if(NOT ${notice} OR NOT EXISTS "${${notice}}")
    message(FATAL_ERROR "web site: no ${notice} notice (${${notice}})")
  endif()
endforeach()
get_filename_component(program_dir ${PROGRAM} DIRECTORY)
file(REMOVE_RECURSE ${SITE})
file(MAKE_DIRECTORY ${SITE}/data ${SITE}/licences)
file(COPY ${PROGRAM} ${program_dir}/kelvo.wasm DESTINATION ${SITE})
file(COPY ${SOURCE}/platform/web/page/kelvo_page.js ${SOURCE}/platform/web/page/kelvo_page.css DESTINATION ${SITE})
# The page names the version it shows.
file(READ ${SOURCE}/platform/web/page/index.html page)
string(REPLACE "@KELVO_VERSION@" "${VERSION}" page "${page}")
file(WRITE ${SITE}/index.html "${page}")
foreach(name bg.png fg.png kelvo.png music.mp3)
  file(COPY ${SOURCE}/data/${name} DESTINATION ${SITE}/data)
endforeach()
configure_file(${SOURCE}/LICENSE ${SITE}/licences/LICENSE-kelvo.txt COPYONLY)
configure_file(${PNG_LICENCE} ${SITE}/licences/LICENSE-libpng.txt COPYONLY)
configure_file(${ZLIB_LICENCE} ${SITE}/licences/LICENSE-zlib.txt COPYONLY)
