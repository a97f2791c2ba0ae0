// Test support for the texture loader: one GL context for the whole binary, PNG files written
// through libpng at test time, loads from memory and texture read-back.
#ifndef KELVO_TESTS_TEXLOAD_SUPPORT_H
#define KELVO_TESTS_TEXLOAD_SUPPORT_H

#include <windows.h>

#include <GL/gl.h>

#include <string>
#include <vector>

#include "texload/texload.h"

typedef std::vector<unsigned char> Bytes;

// A PNG to write. samples holds one value per sample, rows top first, in the file's bit depth
// (palette indices for colour type 3); the writer packs and orders them.
struct TestPng {
    int width = 1, height = 1, bitDepth = 8, colorType = 2;
    bool interlaced = false;
    std::vector<int> samples;
    std::vector<unsigned char> palette; // R, G, B per entry
    double gamma = 0;                   // gAMA when above 0
    bool sRGB = false, iCCP = false, zTXt = false;
    std::vector<unsigned char> trns;    // tRNS entries for palettes
};

// The encoded file.
Bytes EncodePng(const TestPng &png);

// Appends a raw chunk with its CRC (no check of the type or contents).
void AppendChunk(Bytes &file, const char *type, const Bytes &data);
// The file with its IEND chunk removed, for appending chunks before putting it back.
Bytes WithoutIend(const Bytes &file);

// Creates a texture (GL_REPEAT, GL_NEAREST), loads the bytes through LoadPngStream and leaves
// the texture bound; the loader's result.
int LoadBytes(const Bytes &file, int mipmapMode, int alphaMode, TextureInfo *info = nullptr);

// One level of the bound texture read back packed: width, height and the pixels; an absent
// level reads as 0 × 0.
struct Level {
    int width = 0, height = 0;
    Bytes pixels;
};
Level ReadLevel(int level, GLenum format);

// Deletes every texture made since the last call.
void DeleteTestTextures();

// Writes bytes to a file under the build's temporary folder; its path.
std::string WriteTempFile(const char *name, const Bytes &bytes);

#endif
