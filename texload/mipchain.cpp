// Power-of-two fitting, nearest-neighbour resampling and mipmap chains for the texture loader.

#include "texload/texload.h"

#include <stdlib.h>

int FitTextureSize(int n)
{
    if (n > texLoader.MaxTextureSize)
        return texLoader.MaxTextureSize;
    for (int k = 0; k < 24; ++k) {
        if ((1 << k) >= n)
            return 1 << k;
    }
    return texLoader.MaxTextureSize;
}

void ResampleNearest(int bpp, const unsigned char *src, int srcWidth, int srcHeight, unsigned char *dst,
                     int dstWidth, int dstHeight)
{
    if (dstWidth <= 0 || dstHeight <= 0 || srcWidth <= 0 || srcHeight <= 0 || bpp <= 0)
        return;
    // The steps are single precision, as in the texture sizes the loader was tuned with; for
    // power-of-two destinations they are exact. A step rounded up can never carry the index of
    // the last row or column past the source, since the sides stay far below 2^24.
    const float columnStep = float(double(srcWidth) / double(dstWidth));
    const float rowStep = float(double(srcHeight) / double(dstHeight));
    const size_t pixelBytes = size_t(bpp);
    unsigned char *out = dst;
    for (int i = 0; i < dstHeight; ++i) {
        const size_t sourceRow = size_t(double(i) * double(rowStep));
        const unsigned char *row = src + sourceRow * size_t(srcWidth) * pixelBytes;
        for (int j = 0; j < dstWidth; ++j) {
            const unsigned char *pixel = row + size_t(double(j) * double(columnStep)) * pixelBytes;
            for (size_t b = 0; b < pixelBytes; ++b)
                *out++ = pixel[b];
        }
    }
}

int HalveImage(int bpp, int width, int height, const unsigned char *src, unsigned char *dst, int average)
{
    if (bpp <= 0 || width <= 0 || height <= 0 || (width == 1 && height == 1))
        return 0;
    const size_t pixelBytes = size_t(bpp);
    // An odd side drops its last column or row instead of reading past the image. Every output
    // byte lies at or before the first byte it is made from and is written after reading them,
    // which is what makes halving in place safe.
    unsigned char *out = dst;
    if (width >= 2 && height >= 2) {
        const size_t outWidth = size_t(width / 2), outHeight = size_t(height / 2);
        const size_t rowBytes = size_t(width) * pixelBytes;
        for (size_t r = 0; r < outHeight; ++r) {
            const unsigned char *top = src + 2 * r * rowBytes;
            const unsigned char *bottom = top + rowBytes;
            if (average) {
                for (size_t c = 0; c < outWidth; ++c, top += 2 * pixelBytes, bottom += 2 * pixelBytes) {
                    for (size_t k = 0; k < pixelBytes; ++k)
                        *out++ = (unsigned char)((top[k] + top[k + pixelBytes] + bottom[k] + bottom[k + pixelBytes]) >> 2);
                }
            } else {
                for (size_t c = 0; c < outWidth; ++c, top += 2 * pixelBytes) {
                    for (size_t k = 0; k < pixelBytes; ++k)
                        *out++ = top[k];
                }
            }
        }
        return 1;
    }
    // A single row or a single column: pairs of neighbouring pixels.
    const size_t outCount = size_t(width >= 2 ? width / 2 : height / 2);
    const unsigned char *in = src;
    if (average) {
        for (size_t p = 0; p < outCount; ++p, in += 2 * pixelBytes) {
            for (size_t k = 0; k < pixelBytes; ++k)
                *out++ = (unsigned char)((in[k] + in[k + pixelBytes]) >> 1);
        }
    } else {
        for (size_t p = 0; p < outCount; ++p, in += 2 * pixelBytes) {
            for (size_t k = 0; k < pixelBytes; ++k)
                *out++ = in[k];
        }
    }
    return 1;
}

void UploadMipChain(int bpp, int width, int height, GLenum format, const unsigned char *pixels, int average)
{
    // One scratch block holds the first reduction; every later level is halved inside it.
    const size_t scratchBytes = size_t(width >= 2 ? width / 2 : 1) * size_t(height >= 2 ? height / 2 : 1) * size_t(bpp);
    unsigned char *scratch = (unsigned char *)malloc(scratchBytes);

    glTexImage2D(GL_TEXTURE_2D, 0, bpp, width, height, 0, format, GL_UNSIGNED_BYTE, pixels);
    if (!scratch)
        return; // level 0 alone: complete for the non-mipmap filters at least

    int level = 1;
    int more = HalveImage(bpp, width, height, pixels, scratch, average);
    while (more) {
        if (width >= 2)
            width /= 2;
        if (height >= 2)
            height /= 2;
        glTexImage2D(GL_TEXTURE_2D, level, bpp, width, height, 0, format, GL_UNSIGNED_BYTE, scratch);
        ++level;
        more = HalveImage(bpp, width, height, scratch, scratch, average);
    }
    free(scratch);
}
