// Composes frames of the frame tool into one picture for the README: the band between the
// letterbox bars of each 800 x 600 frame (rows 225 to 374), reduced by a whole factor with each
// output pixel the mean of the block it covers, laid out in a grid of the given number of
// columns, left to right and then down, with transparent gaps that let the page show through.
//
// Usage: frame_strip <factor 1..8> <columns 1..8> <out.png> <frame.png> [<frame.png> ...]
//
// Exit codes: 0 written; 1 a frame could not be read or the picture not written; 2 bad arguments.

#include <png.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "tools/png_write.h"

namespace {

const int FrameWidth = 800;
const int FrameHeight = 600;
const int BandTop = 225;    // the first row the letterbox leaves visible
const int BandHeight = 150; // rows 225 to 374
const int Gap = 6;          // transparent pixels between two bands of the grid

// Reads an 800 x 600 PNG as RGB bytes, the top row first; false with a message otherwise.
bool ReadFrame(const char *path, std::vector<unsigned char> *rgb)
{
    png_image image;
    memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path)) {
        fprintf(stderr, "frame_strip: %s: %s\n", path, image.message);
        return false;
    }
    if (image.width != FrameWidth || image.height != FrameHeight) {
        fprintf(stderr, "frame_strip: %s is %u x %u, not a %d x %d frame\n", path, image.width, image.height, FrameWidth,
                FrameHeight);
        png_image_free(&image);
        return false;
    }
    image.format = PNG_FORMAT_RGB;
    rgb->assign(PNG_IMAGE_SIZE(image), 0);
    if (!png_image_finish_read(&image, nullptr, rgb->data(), 0, nullptr)) {
        fprintf(stderr, "frame_strip: %s: %s\n", path, image.message);
        png_image_free(&image);
        return false;
    }
    return true;
}

// A small whole number from 1 to 8, or 0.
int ParseSmall(const char *text)
{
    if (strlen(text) != 1 || text[0] < '1' || text[0] > '8')
        return 0;
    return text[0] - '0';
}

} // namespace

int main(int argc, char **argv)
{
    int factor = argc > 2 ? ParseSmall(argv[1]) : 0;
    int columns = argc > 2 ? ParseSmall(argv[2]) : 0;
    if (argc < 5 || factor == 0 || columns == 0) {
        fprintf(stderr, "usage: frame_strip <factor 1..8> <columns 1..8> <out.png> <frame.png> [<frame.png> ...]\n");
        return 2;
    }
    const int frameCount = argc - 4;
    if (columns > frameCount)
        columns = frameCount;
    const int rows = (frameCount + columns - 1) / columns;
    const int bandWidth = FrameWidth / factor, bandHeight = BandHeight / factor;
    const int outWidth = columns * bandWidth + (columns - 1) * Gap;
    const int outHeight = rows * bandHeight + (rows - 1) * Gap;
    std::vector<unsigned char> out(size_t(outWidth) * size_t(outHeight) * 4, 0);

    std::vector<unsigned char> frame;
    for (int i = 0; i < frameCount; i++) {
        if (!ReadFrame(argv[4 + i], &frame))
            return 1;
        const int left = (i % columns) * (bandWidth + Gap), top = (i / columns) * (bandHeight + Gap);
        for (int y = 0; y < bandHeight; y++)
            for (int x = 0; x < bandWidth; x++) {
                unsigned char *p = &out[(size_t(top + y) * size_t(outWidth) + size_t(left + x)) * 4];
                for (int c = 0; c < 3; c++) {
                    int sum = 0;
                    for (int dy = 0; dy < factor; dy++)
                        for (int dx = 0; dx < factor; dx++)
                            sum += frame[(size_t(BandTop + y * factor + dy) * FrameWidth + size_t(x * factor + dx)) * 3 + size_t(c)];
                    p[c] = (unsigned char)((sum + factor * factor / 2) / (factor * factor));
                }
                p[3] = 255;
            }
    }
    return WritePngFile(argv[3], outWidth, outHeight, 4, out.data()) ? 0 : 1;
}
