// Bounds and chunk choices the PNG loader decodes under, shared with the check of files that
// did not load, so that the check sees a file as the loader does.
#ifndef KELVO_TEXLOAD_PNG_LIMITS_H
#define KELVO_TEXLOAD_PNG_LIMITS_H

#include <png.h>

// Bounds that no real texture reaches, so that a hostile file can't make a load take
// gigabytes or minutes: image sides, pixels in all (a picture of 4096 x 4096, 64 MiB decoded
// as RGBA, the same on every build), the memory one ancillary chunk may take (a decompressed
// zTXt), and how many such chunks are kept at all.
static const png_uint_32 MaxImageSide = 16384;
static const png_uint_32 MaxImageSquare = 4096;
static const unsigned long long MaxImagePixels = (unsigned long long)MaxImageSquare * MaxImageSquare;
static const png_alloc_size_t MaxChunkBytes = 1 << 20;
static const png_uint_32 MaxCachedChunks = 16;

// Of the ancillary chunks only gAMA and zTXt are honoured. tRNS must be skipped so that palette
// expansion never adds alpha; sRGB and iCCP because libpng would take a gamma from them.
static const png_byte SkippedChunks[] = "bKGD\0cHRM\0eXIf\0hIST\0iCCP\0iTXt\0oFFs\0pCAL\0pHYs\0sBIT\0sCAL\0sPLT\0sRGB\0tEXt\0tIME\0tRNS";
static const int SkippedChunkCount = 16;

#endif
