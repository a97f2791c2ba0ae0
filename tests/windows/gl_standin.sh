#!/usr/bin/env bash
# Builds the stand-in opengl32.dll (gl_standin.c) for x86-64 Windows: it exports every function
# of Wine's own opengl32.dll (the file named by $1, whose export table is read), each a jump to
# the real one, but for the calls the stand-in can fail.
# Usage: gl_standin.sh WINE-OPENGL32.DLL OUT-FOLDER    (writes OUT-FOLDER/opengl32.dll)
set -eu
real=$1
out=$2
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$out"
names=$(x86_64-w64-mingw32-objdump -p "$real" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed -n 's/^[[:space:]]*\[ *[0-9]*\] \([A-Za-z_][A-Za-z0-9_]*\)$/\1/p')
[ -n "$names" ] || { echo "gl_standin.sh: no exports read from $real" >&2; exit 1; }
own="wglSetPixelFormat wglCreateContext wglMakeCurrent wglDeleteContext"
{
    echo "    .text"
    i=0
    for name in $names; do
        echo "    .globl stub_$name"
        echo "stub_$name: jmp *standinTargets+$((8 * i))(%rip)"
        i=$((i + 1))
    done
} >"$out/stubs.S"
{
    echo "const char *const standinNames[] = {"
    for name in $names; do echo "    \"$name\","; done
    echo "};"
    echo "void *standinTargets[$(echo "$names" | wc -w)];"
    echo "const int standinCount = $(echo "$names" | wc -w);"
} >"$out/names.c"
{
    echo "LIBRARY opengl32.dll"
    echo "EXPORTS"
    for name in $names; do
        if [[ " $own " == *" $name "* ]]; then echo "    $name = standin_$name"; else echo "    $name = stub_$name"; fi
    done
} >"$out/opengl32.def"
x86_64-w64-mingw32-gcc -O2 -shared -o "$out/opengl32.dll" "$here/gl_standin.c" "$out/names.c" "$out/stubs.S" \
    "$out/opengl32.def" -static-libgcc
