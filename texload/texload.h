// The PNG texture loader: PNG file to GL_TEXTURE_2D, with display-gamma correction, alpha
// derived from colour on request, power-of-two fitting and mipmap chains.
#ifndef KELVO_TEXLOAD_TEXLOAD_H
#define KELVO_TEXLOAD_TEXLOAD_H

#include <windows.h>

#include <GL/gl.h>

#include <stdint.h>
#include <stdio.h>

// What a load found, for callers that want to know.
struct TextureInfo {
    uint32_t imageWidth;  // from the PNG header, before fitting
    uint32_t imageHeight;
    int32_t bitDepth;     // bits per sample: 1, 2, 4, 8 or 16
    int32_t alphaBits;    // alpha bits of the uploaded texture: 0 or 8
};

// Where alpha comes from. AlphaFromFile and AlphaNone derive nothing; the others derive alpha
// from each pixel's R, G and B.
const int AlphaCallback = -3;     // AlphaCallbackProc(R, G, B)
const int AlphaFromFile = -2;     // the file's own alpha channel, where it has one
const int AlphaNone = -1;         // no alpha: RGB, or palette indices
const int AlphaColorKey = 0;      // 0 where the pixel equals ColorKey, else 255
const int AlphaSum = 1;           // R + G + B, clamped to 255
const int AlphaSumHalf = 2;       // (R + G + B) / 2, clamped
const int AlphaSumThird = 3;      // (R + G + B) / 3
const int AlphaSquares = 4;       // R² + G² + B², clamped
const int AlphaSquaresHalf = 5;   // (R² + G² + B²) / 2, clamped
const int AlphaSquaresThird = 6;  // (R² + G² + B²) / 3, clamped
const int AlphaMagnitude = 7;     // sqrt(R² + G² + B²), clamped

// What is uploaded: a single level (0 or more) or a whole mipmap chain.
const int MipChainAveraged = -1;
const int MipChainPicked = -2;

// The alpha callback: R, G and B (0 to 255) to an alpha byte.
typedef unsigned char (*AlphaCallbackFn)(int r, int g, int b);
// glColorTableEXT.
typedef void(APIENTRY *ColorTableFn)(GLenum target, GLenum internalFormat, GLsizei width, GLenum format,
                                     GLenum type, const GLvoid *table);

// Process-wide loader state, set up lazily by the first load and never reset: the probes keep
// what the first GL context said. Written only by texload, except that tests may set the
// probe results (PalettedSupport, ColorTableProc, MaxTextureSize) to stand for another GL.
struct TexLoaderState {
    double DisplayGamma;               // 2.2, or 2.2 / VIEWING_GAMMA; ApplyViewingGamma, every load
    bool GammaSetExplicitly;           // never set: VIEWING_GAMMA is always consulted
    int PalettedSupport;               // -1 not probed, 0 no, 1 GL_EXT_paletted_texture usable
    ColorTableFn ColorTableProc;       // glColorTableEXT once found
    GLint MaxTextureSize;              // GL_MAX_TEXTURE_SIZE; 0 until the first load
    char *ExtensionString;             // the first context's GL_EXTENSIONS, copied; never freed
    int ColorKey[3];                   // R, G, B; only the low byte of each counts
    bool RowsBottomUp;                 // never set: the image's top row is texture row 0
    AlphaCallbackFn AlphaCallbackProc; // DefaultAlphaCallback
    const char *LoadingPath;           // the file LoadPngFile reads, named in libpng's warnings; else null
    char GammaTextSaid[64];            // the VIEWING_GAMMA text a line was last printed about
};

extern TexLoaderState texLoader;

// Creates and binds a GL_TEXTURE_2D with the wrap and filters and loads the PNG into it;
// the texture name, or 0 when nothing loaded (the texture object then stays created and bound).
GLuint BindPngTexture(const char *path, int mipmapMode, int alphaMode, TextureInfo *info, GLint wrap,
                      GLint minFilter, GLint magFilter);

// Generates one texture name, binds it to GL_TEXTURE_2D and sets wrap S/T and both filters;
// the name (0 when GL gave none).
GLuint CreateTextureObject(GLint wrap, GLint magFilter, GLint minFilter);

// Loads the PNG file at path into the bound texture; 1, or 0 when it can't be opened, read,
// decoded or closed.
int LoadPngFile(const char *path, int mipmapMode, int alphaMode, TextureInfo *info);

// Loads the PNG that stream is positioned at into the bound texture; 1, or 0 on any failure,
// with everything allocated released and the pixel-store alignments as they were.
int LoadPngStream(FILE *stream, int mipmapMode, int alphaMode, TextureInfo *info);

// Sets DisplayGamma from VIEWING_GAMMA (2.2 / its value); unset changes nothing, and a value
// that is not a usable gamma gives 2.2.
void ApplyViewingGamma();

// 1 when the first context's extension list names exactly this extension, else 0 (also when
// there is no list).
int HasGLExtension(const char *name);

// The texture side for an image side of n: the next power of two, at most MaxTextureSize.
int FitTextureSize(int n);

// Fills the destination (dstWidth × dstHeight pixels of bpp bytes) from the source by
// nearest-neighbour sampling; writes nothing for a destination side of 0 or less.
void ResampleNearest(int bpp, const unsigned char *src, int srcWidth, int srcHeight, unsigned char *dst,
                     int dstWidth, int dstHeight);

// Writes the 2:1 reduction of a width × height image (even sides, or 1) into dst, which may be
// src; 1 when written, 0 for a 1 × 1 image or a side of 0 or less.
int HalveImage(int bpp, int width, int height, const unsigned char *src, unsigned char *dst, int average);

// Uploads the image and every halving down to 1 × 1 as levels 0, 1, ... of the bound texture,
// averaging or picking; uploads only level 0 when the scratch block can't be allocated.
void UploadMipChain(int bpp, int width, int height, GLenum format, const unsigned char *pixels, int average);

// Fills pixelCount RGBA pixels from as many RGB pixels, alpha by the derived mode; false
// (nothing written) for a mode that derives nothing.
bool DeriveAlpha(int alphaMode, const unsigned char *rgb, size_t pixelCount, unsigned char *rgba);

// The alpha callback in use: 255 for every pixel.
unsigned char DefaultAlphaCallback(int r, int g, int b);

#endif
