// The PNG texture loader.
#ifndef KELVO_TEXLOAD_TEXLOAD_H
#define KELVO_TEXLOAD_TEXLOAD_H

#include <windows.h>

#include <GL/gl.h>

#include <stdint.h>

// What a load found, for callers that want to know.
struct TextureInfo {
    uint32_t imageWidth;  // from the PNG header, before fitting
    uint32_t imageHeight;
    int32_t bitDepth;     // bits per sample: 1, 2, 4, 8 or 16
    int32_t alphaBits;    // alpha bits of the uploaded texture: 0 or 8
};

// Where alpha comes from (the derived modes are 0 to 7 and AlphaCallback).
const int AlphaCallback = -3;
const int AlphaFromFile = -2;
const int AlphaNone = -1;
const int AlphaColorKey = 0;

// What is uploaded: a single level (0 or more) or a whole mipmap chain.
const int MipChainAveraged = -1;
const int MipChainPicked = -2;

// Creates and binds a GL_TEXTURE_2D with the wrap and filters and loads the PNG into it;
// the texture name, or 0 on failure.
GLuint BindPngTexture(const char *path, int mipmapMode, int alphaMode, TextureInfo *info, GLint wrap,
                      GLint minFilter, GLint magFilter);

#endif
