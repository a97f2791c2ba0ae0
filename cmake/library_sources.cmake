# libpng's and zlib's released sources for the builds that compile them (Windows, the web), found
# or fetched in one order for every build: the archive or folder given in LIBPNG_SOURCE or
# ZLIB_SOURCE; else the release archive in KELVO_SOURCES_COPY, where the machine keeps a copy;
# else the one in KELVO_SOURCES_CACHE, fetched by an earlier build; else the release archive
# downloaded from KELVO_SOURCES_URL, or from the project's own download location when that is
# empty. Every archive found in a copy, in the cache or downloaded must have a pinned SHA-256:
# one that differs is refused, in one line naming the file and both sums.

set(KELVO_SOURCES_URL "" CACHE STRING
  "Where to download libpng's and zlib's release archives: a URL or a folder holding them (empty: each project's own download location)")
get_filename_component(kelvo_sources_copy_default "${CMAKE_CURRENT_LIST_DIR}/../../shared/deps" ABSOLUTE)
set(KELVO_SOURCES_COPY "${kelvo_sources_copy_default}" CACHE PATH
  "A folder where this machine keeps libpng's and zlib's release archives (CI's ../shared/deps)")
if(DEFINED ENV{XDG_CACHE_HOME} AND IS_ABSOLUTE "$ENV{XDG_CACHE_HOME}")
  set(kelvo_sources_cache_default "$ENV{XDG_CACHE_HOME}/kelvo/sources")
elseif(DEFINED ENV{HOME} AND IS_ABSOLUTE "$ENV{HOME}")
  set(kelvo_sources_cache_default "$ENV{HOME}/.cache/kelvo/sources")
else()
  get_filename_component(kelvo_sources_cache_default "${CMAKE_CURRENT_LIST_DIR}/../build-sources" ABSOLUTE)
endif()
set(KELVO_SOURCES_CACHE "${kelvo_sources_cache_default}" CACHE PATH
  "Where downloaded release archives are kept, for every build folder and clone: a second build fetches nothing")

# The pinned releases: the archive's name, the variable that names a source by hand, where the
# project publishes the archive, and the SHA-256 sums accepted for it. The first sum is the
# release archive's as published; the second that of the same tag's tree archived as CI keeps it
# (git archive --prefix=NAME/ TAG | xz), the same source in other bytes.
set(kelvo_libpng_archive libpng-1.6.58.tar.xz)
set(kelvo_libpng_variable LIBPNG_SOURCE)
set(kelvo_libpng_urls https://download.sourceforge.net/libpng/libpng-1.6.58.tar.xz)
set(kelvo_libpng_sha256
  28eb403f51f0f7405249132cecfe82ea5c0ef97f1b32c5a65828814ae0d34775
  cf76e2c4750469118b972599161f579ec9eee28cc8fc89f34d211d3be32e9d45)
set(kelvo_zlib_archive zlib-1.3.1.tar.xz)
set(kelvo_zlib_variable ZLIB_SOURCE)
set(kelvo_zlib_urls https://github.com/madler/zlib/releases/download/v1.3.1/zlib-1.3.1.tar.xz
  https://zlib.net/zlib-1.3.1.tar.xz)
set(kelvo_zlib_sha256
  38ef96b8dfe510d42707d9c781877914792541133e1870841463bfa73f883e32
  662e1a0c37e92cc858de48f58e6e428c85af4660d96e2cead6ba0c53def1a11b)

# The line that refuses `file` of `library` when its sum is not a pinned one; empty when it is.
function(kelvo_check_archive library file from result)
  file(SHA256 "${file}" sum)
  set(line "")
  if(NOT sum IN_LIST kelvo_${library}_sha256)
    list(GET kelvo_${library}_sha256 0 expected)
    set(line "${kelvo_${library}_archive} from ${from}: SHA-256 ${sum}, expected ${expected}; refused")
  endif()
  set(${result} "${line}" PARENT_SCOPE)
endfunction()

# The addresses to fetch `library`'s archive from, into `result`.
function(kelvo_archive_urls library result)
  set(base "${KELVO_SOURCES_URL}")
  if(NOT base)
    set(${result} ${kelvo_${library}_urls} PARENT_SCOPE)
    return()
  endif()
  if(NOT base MATCHES "^[A-Za-z][A-Za-z0-9+.-]*://")
    get_filename_component(base "${base}" ABSOLUTE)
    set(base "file://${base}")
  endif()
  string(REGEX REPLACE "/+$" "" base "${base}")
  set(${result} "${base}/${kelvo_${library}_archive}" PARENT_SCOPE)
endfunction()

# `library`'s archive, checked, into the cache: its path into `result`, or empty with the reason
# in `why`. A sum that differs is fatal: nothing else is tried after a refused archive.
function(kelvo_fetch_archive library result why)
  set(archive "${kelvo_${library}_archive}")
  set(cached "${KELVO_SOURCES_CACHE}/${archive}")
  if(EXISTS "${cached}")
    kelvo_check_archive(${library} "${cached}" "${cached}" refused)
    if(NOT refused)
      set(${result} "${cached}" PARENT_SCOPE)
      return()
    endif()
    # Damaged where it was kept (it was checked when it arrived): fetched again.
    file(REMOVE "${cached}")
  endif()
  kelvo_archive_urls(${library} urls)
  file(MAKE_DIRECTORY "${KELVO_SOURCES_CACHE}")
  # A name of its own, so that two builds fetching at once (the two Windows programs) each
  # rename a whole archive into place.
  string(RANDOM LENGTH 8 tag)
  set(partial "${cached}.${tag}.part")
  set(reasons "")
  foreach(url IN LISTS urls)
    message(STATUS "Downloading ${url}")
    file(DOWNLOAD "${url}" "${partial}" STATUS status TLS_VERIFY ON INACTIVITY_TIMEOUT 30 TIMEOUT 600)
    list(GET status 0 code)
    if(code EQUAL 0)
      kelvo_check_archive(${library} "${partial}" "${url}" refused)
      if(refused)
        file(REMOVE "${partial}")
        kelvo_stop("${refused}")
      endif()
      file(RENAME "${partial}" "${cached}")
      set(${result} "${cached}" PARENT_SCOPE)
      return()
    endif()
    file(REMOVE "${partial}")
    list(GET status 1 message)
    string(REGEX REPLACE "^\"(.*)\"$" "\\1" message "${message}")
    list(APPEND reasons "${message}")
  endforeach()
  list(REMOVE_DUPLICATES reasons)
  list(JOIN reasons "; " reasons)
  set(${result} "" PARENT_SCOPE)
  set(${why} "${reasons}" PARENT_SCOPE)
endfunction()

# Stops the configuration with `line`, kept whole (CMake wraps a message unless it starts with a
# space).
function(kelvo_stop line)
  message(FATAL_ERROR " ${line}")
endfunction()

# The sources of the libraries named after `command` (libpng, zlib) for the build that `command`
# runs (make web, make windows): each one's folder or archive into kelvo_<library>_source. When
# any cannot be had, one line names the archives to give by hand and the configuration stops.
# An archive found or fetched has its SHA-256 in kelvo_<library>_source_sha256.
function(kelvo_library_sources command)
  file(REMOVE "${CMAKE_BINARY_DIR}/library-sources-missing.txt")
  set(missing "")
  set(reasons "")
  foreach(library IN LISTS ARGN)
    set(variable ${kelvo_${library}_variable})
    set(archive ${kelvo_${library}_archive})
    set(source "")
    if(${variable})
      set(source "${${variable}}")
      message(STATUS "${library}: ${source} (${variable})")
    elseif(KELVO_SOURCES_COPY AND EXISTS "${KELVO_SOURCES_COPY}/${archive}")
      set(source "${KELVO_SOURCES_COPY}/${archive}")
      kelvo_check_archive(${library} "${source}" "${source}" refused)
      if(refused)
        kelvo_stop("${refused}")
      endif()
      message(STATUS "${library}: ${source} (this machine's copy)")
    else()
      kelvo_fetch_archive(${library} source why)
      if(source)
        message(STATUS "${library}: ${source}")
      else()
        list(APPEND missing ${library})
        list(APPEND reasons "${why}")
      endif()
    endif()
    set(kelvo_${library}_source "${source}" PARENT_SCOPE)
    # The checked archive's sum, for a build step that unpacks it to check again (URL_HASH).
    set(kelvo_${library}_source_sha256 "" PARENT_SCOPE)
    if(source AND NOT ${variable})
      file(SHA256 "${source}" sum)
      set(kelvo_${library}_source_sha256 "${sum}" PARENT_SCOPE)
    endif()
  endforeach()
  if(missing)
    set(give "")
    set(names "")
    foreach(library IN LISTS missing)
      list(APPEND give "${kelvo_${library}_variable}=path/to/${kelvo_${library}_archive}")
      list(APPEND names "${kelvo_${library}_archive}")
    endforeach()
    list(JOIN give " " give)
    list(JOIN names " and " names)
    list(REMOVE_DUPLICATES reasons)
    list(JOIN reasons "; " reasons)
    # Kept in the build folder too, where make test reads why it skips the web tests.
    set(them them)
    list(LENGTH missing count)
    if(count EQUAL 1)
      set(them it)
    endif()
    set(line "${names} could not be downloaded (${reasons}); give ${them} by hand: ${command} ${give}")
    file(WRITE "${CMAKE_BINARY_DIR}/library-sources-missing.txt" "${line}\n")
    kelvo_stop("${line}")
  endif()
endfunction()
