#!/usr/bin/env bash
# Where the Windows and web builds get libpng's and zlib's sources (cmake/library_sources.cmake),
# with no network: the download location is a local folder or file:// URL, the machine's copy and
# the cache are folders of the test's own. A project of a few lines includes the module and asks
# for the sources as web.cmake and windows.cmake do.
#   fetched  the right archives arrive in the cache and are taken from it the next time, with
#            nothing to download; a source given by hand and the machine's copy come first; a
#            damaged archive in the cache is fetched again. Needs the release archives (CI keeps
#            them in ../shared/deps, or name their folder in KELVO_TEST_ARCHIVES); skipped without.
#   refused  a downloaded archive or a machine's copy whose SHA-256 differs is refused in one line
#            naming the file and both sums, and is not kept.
#   missing  with nothing to be had, one line names the archives to give by hand, also in the
#            build folder's library-sources-missing.txt, which make test reads.
# Usage: library_sources.sh SOURCE-ROOT GROUP
set -u
root=${1:?usage: library_sources.sh SOURCE-ROOT GROUP}
group=${2:?usage: library_sources.sh SOURCE-ROOT GROUP}
. "$(dirname "$0")/harness.sh"
need_tools cmake sha256sum

png=libpng-1.6.58.tar.xz
zlib=zlib-1.3.1.tar.xz
png_release=28eb403f51f0f7405249132cecfe82ea5c0ef97f1b32c5a65828814ae0d34775
archives=${KELVO_TEST_ARCHIVES:-$root/../shared/deps}
have_archives=false
if [ -f "$archives/$png" ] && [ -f "$archives/$zlib" ]; then
    have_archives=true
    archives=$(cd "$archives" && pwd)
fi

project=$workdir/project
mkdir -p "$project"
cat >"$project/CMakeLists.txt" <<EOF
cmake_minimum_required(VERSION 3.16)
project(sources NONE)
include("$root/cmake/library_sources.cmake")
kelvo_library_sources("\${COMMAND}" \${LIBRARIES})
file(WRITE "\${CMAKE_BINARY_DIR}/found.txt" "libpng=\${kelvo_libpng_source}\nzlib=\${kelvo_zlib_source}\n")
EOF

nowhere=$workdir/nowhere
empty=$workdir/empty
mkdir -p "$empty"
# Configures the project in a new build folder $workdir/build with the cache variables given as
# arguments (the copy and the cache default to folders that hold nothing); its output is in
# $workdir/out, its status in $rc, what it found in $workdir/build/found.txt.
configure() {
    rm -rf "$workdir/build"
    cmake -S "$project" -B "$workdir/build" -DCOMMAND="make web" "-DLIBRARIES=libpng;zlib" \
        -DKELVO_SOURCES_COPY="$nowhere" -DKELVO_SOURCES_CACHE="$workdir/cache" "$@" >"$workdir/out" 2>&1
    rc=$?
}
found() { sed -n "s/^$1=//p" "$workdir/build/found.txt" 2>/dev/null; }
# The configuration stopped with exactly this line as its message (CMake indents it by three).
stopped_with() {
    [ "$rc" -ne 0 ] || { fail "$2: the configuration went on"; return; }
    grep -qxF "   $1" "$workdir/out" || { fail "$2: no line \"$1\""; sed 's/^/    /' "$workdir/out"; }
}
sum() { sha256sum "$1" | cut -d' ' -f1; }
# A copy of $1 with one byte changed, or a file of other bytes where the archive is not here.
changed_copy() {
    if $have_archives; then cp "$archives/$1" "$2"; else head -c 4096 /dev/urandom >"$2"; fi
    printf 'X' | dd of="$2" bs=1 seek=1000 conv=notrunc status=none
}

case "$group" in
fetched)
    if ! $have_archives; then
        echo "skipped: no $png and $zlib in $archives (KELVO_TEST_ARCHIVES names their folder)"
        exit 77
    fi
    site=$workdir/site
    mkdir -p "$site"
    cp "$archives/$png" "$archives/$zlib" "$site/"

    # From a folder as the download location: both arrive in the cache, unchanged.
    configure -DKELVO_SOURCES_URL="$site"
    [ "$rc" -eq 0 ] || { sed 's/^/    /' "$workdir/out"; die "the right archives were not taken"; }
    [ "$(found libpng)" = "$workdir/cache/$png" ] || fail "libpng from $(found libpng), not the cache"
    [ "$(found zlib)" = "$workdir/cache/$zlib" ] || fail "zlib from $(found zlib), not the cache"
    cmp -s "$workdir/cache/$png" "$archives/$png" || fail "the cached libpng archive differs from the one served"
    ls "$workdir/cache" | grep -q '\.part$' && fail "a partial download was left in the cache"

    # A second build fetches nothing: with the download location gone, the cache serves both.
    rm -rf "$site"
    configure -DKELVO_SOURCES_URL="file://$site"
    [ "$rc" -eq 0 ] || fail "a second build did not take the cached archives"
    grep -q "Downloading" "$workdir/out" && fail "a second build downloaded again"
    [ "$(found zlib)" = "$workdir/cache/$zlib" ] || fail "the second build's zlib from $(found zlib)"

    # A damaged archive in the cache is fetched again from a file:// URL.
    mkdir -p "$site" && cp "$archives/$png" "$site/"
    printf 'X' | dd of="$workdir/cache/$png" bs=1 seek=500 conv=notrunc status=none
    configure -DKELVO_SOURCES_URL="file://$site/"
    [ "$rc" -eq 0 ] || fail "a damaged cached archive was not fetched again"
    cmp -s "$workdir/cache/$png" "$archives/$png" || fail "the damaged cached archive is still there"

    # The machine's copy comes before the cache and the download; a source given by hand before all.
    configure -DKELVO_SOURCES_COPY="$archives" -DKELVO_SOURCES_URL="$nowhere" -DKELVO_SOURCES_CACHE="$empty"
    [ "$rc" -eq 0 ] || fail "the machine's copy was not taken"
    [ "$(found libpng)" = "$archives/$png" ] || fail "libpng from $(found libpng), not the machine's copy"
    [ -z "$(ls "$empty")" ] || fail "the cache was written though the machine's copy was there"
    configure -DLIBPNG_SOURCE="$project" -DKELVO_SOURCES_COPY="$archives"
    [ "$(found libpng)" = "$project" ] || fail "LIBPNG_SOURCE not taken first: $(found libpng)"
    [ "$(found zlib)" = "$archives/$zlib" ] || fail "zlib from $(found zlib) beside a given libpng"
    ;;
refused)
    # A downloaded archive that differs: refused in one line, and not kept.
    site=$workdir/site
    mkdir -p "$site"
    changed_copy "$png" "$site/$png"
    configure -DKELVO_SOURCES_URL="file://$site"
    stopped_with "$png from file://$site/$png: SHA-256 $(sum "$site/$png"), expected $png_release; refused" \
        "a changed download"
    [ -e "$workdir/cache/$png" ] && fail "the refused archive was kept in the cache"
    ls "$workdir/cache" 2>/dev/null | grep -q '\.part$' && fail "a partial download was left in the cache"
    [ -e "$workdir/build/library-sources-missing.txt" ] && fail "a refused archive reads as one not to be had"

    # A changed copy where the machine keeps the archives: refused too, before any download.
    copy=$workdir/copy
    mkdir -p "$copy"
    changed_copy "$png" "$copy/$png"
    configure -DKELVO_SOURCES_COPY="$copy" -DKELVO_SOURCES_URL="$site"
    stopped_with "$png from $copy/$png: SHA-256 $(sum "$copy/$png"), expected $png_release; refused" \
        "a changed copy"
    ;;
missing)
    # Nothing at the download location, no copy, an empty cache: one line names both archives.
    configure -DKELVO_SOURCES_URL="file://$empty"
    line=$(cat "$workdir/build/library-sources-missing.txt" 2>/dev/null)
    case "$line" in
    "$png and $zlib could not be downloaded ("*"); give them by hand: make web LIBPNG_SOURCE=path/to/$png ZLIB_SOURCE=path/to/$zlib") ;;
    *) fail "the line for make test: \"$line\"" ;;
    esac
    stopped_with "$line" "nothing to be had"
    [ -z "$(ls "$workdir/cache" 2>/dev/null)" ] || fail "a failed download left $(ls "$workdir/cache") in the cache"

    # With libpng given, the line names zlib alone; the Windows build asks for libpng alone.
    configure -DKELVO_SOURCES_URL="$empty" -DLIBPNG_SOURCE="$project"
    stopped_with "$(cat "$workdir/build/library-sources-missing.txt" 2>/dev/null)" "zlib alone missing"
    grep -qF "   $zlib could not be downloaded (" "$workdir/out" || fail "the line does not name $zlib alone"
    grep -qF "give it by hand: make web ZLIB_SOURCE=path/to/$zlib" "$workdir/out" ||
        fail "the line does not say to give ZLIB_SOURCE"
    configure -DKELVO_SOURCES_URL="$empty" -DCOMMAND="make windows" -DLIBRARIES=libpng
    grep -qF "give it by hand: make windows LIBPNG_SOURCE=path/to/$png" "$workdir/out" ||
        fail "the Windows build's line: $(grep -A1 'CMake Error' "$workdir/out" | tail -1)"
    ;;
*)
    echo "unknown group $group"
    exit 2
    ;;
esac
finish
