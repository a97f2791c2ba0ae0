// libFuzzer target: LoadPngStream on arbitrary bytes read from memory, under a real GL context.
// The input's last byte also picks the mipmap mode, the alpha mode and whether the GL pretends
// to offer colour-indexed textures, so that every upload path is reached. Chunk CRCs are made
// right before the load, or nearly every mutation would end at the first CRC check (the CRC
// failures themselves are covered by the seeds and the tests).
#include <windows.h>

#include <GL/gl.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <vector>

#include <zlib.h>

#include "texload/texload.h"

static LRESULT CALLBACK FuzzWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);
}

static void APIENTRY IgnoreColorTable(GLenum, GLenum, GLsizei width, GLenum, GLenum, const GLvoid *table)
{
    // Read the whole table, as a driver would.
    volatile unsigned char sum = 0;
    for (GLsizei i = 0; i < 3 * width; ++i)
        sum = sum + ((const unsigned char *)table)[i];
}

static uint32_t ReadBig32(const unsigned char *p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// Rewrites the CRC of every whole chunk after the signature.
static void FixChunkCrcs(std::vector<unsigned char> &file)
{
    size_t at = 8;
    while (at + 12 <= file.size()) {
        const size_t length = ReadBig32(&file[at]);
        if (length > file.size() - at - 12)
            break;
        const uLong crc = crc32(0, &file[at + 4], uInt(length + 4));
        unsigned char *out = &file[at + 8 + length];
        out[0] = (unsigned char)(crc >> 24);
        out[1] = (unsigned char)(crc >> 16);
        out[2] = (unsigned char)(crc >> 8);
        out[3] = (unsigned char)crc;
        at += 12 + length;
    }
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    WNDCLASSA windowClass = {};
    windowClass.style = CS_OWNDC;
    windowClass.lpfnWndProc = FuzzWindowProc;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.lpszClassName = "Fuzz";
    HWND window = RegisterClassA(&windowClass)
                      ? CreateWindowExA(0, "Fuzz", "fuzz", WS_OVERLAPPEDWINDOW, 0, 0, 64, 64, NULL, NULL,
                                        windowClass.hInstance, NULL)
                      : NULL;
    HDC dc = window ? GetDC(window) : NULL;
    PIXELFORMATDESCRIPTOR format = {};
    format.nSize = sizeof(format);
    format.nVersion = 1;
    format.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    format.iPixelType = PFD_TYPE_RGBA;
    format.cColorBits = 32;
    HGLRC context = dc && SetPixelFormat(dc, ChoosePixelFormat(dc, &format), &format) ? wglCreateContext(dc) : NULL;
    if (!context || !wglMakeCurrent(dc, context)) {
        fprintf(stderr, "fuzz_png: no GL context\n");
        exit(1);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const unsigned choice = data[size - 1];
    const int alphaMode = int(choice % 11) - 3;
    const int mipmapMode = int((choice / 11) % 4) - 2;
    const bool indexed = choice >= 176;
    texLoader.PalettedSupport = indexed ? 1 : 0;
    texLoader.ColorTableProc = indexed ? IgnoreColorTable : NULL;

    std::vector<unsigned char> file(data, data + size);
    FixChunkCrcs(file);
    FILE *stream = fmemopen(file.data(), file.size(), "rb");
    if (!stream)
        return 0;
    GLuint texture = CreateTextureObject(GL_REPEAT, GL_NEAREST, GL_NEAREST);
    TextureInfo info;
    LoadPngStream(stream, mipmapMode, alphaMode, &info);
    fclose(stream);
    glDeleteTextures(1, &texture);
    while (glGetError() != GL_NO_ERROR) {
    }
    return 0;
}
