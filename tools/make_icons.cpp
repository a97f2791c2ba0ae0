// Makes the demo's application icons from its own images: a square of the night panorama
// (data/bg.png) around the city, with the wordmark (the first "kelvo" of data/kelvo.png) laid
// over it, corners rounded off. Writes <out>/<size>x<size>/kelvo.png for the hicolor theme's
// sizes; the same images give the same bytes. With --source, writes instead the 64-pixel icon as
// C++ source, the icon the demo's window shows.
//
// Usage: make_icons <folder holding bg.png and kelvo.png> <out folder>
//        make_icons --source <folder holding bg.png and kelvo.png> <out.cpp>
// Exit codes: 0 written; 1 an image could not be read or an icon written; 2 bad arguments.

#include <png.h>

#include <errno.h>
#include <math.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tools/png_write.h"

namespace {

struct Image {
    int width = 0;
    int height = 0;
    std::vector<float> rgba; // 0..1, straight alpha, top row first
};

const int IconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

// The panorama square: the city on the far shore and its lights, in bg.png's pixels.
const int PanoramaLeft = 560;
const int PanoramaTop = 330;
const int PanoramaSide = 300;

bool ReadImage(const std::string &path, Image *image)
{
    png_image png;
    memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) {
        fprintf(stderr, "make_icons: cannot read %s: %s\n", path.c_str(), png.message);
        return false;
    }
    png.format = PNG_FORMAT_RGBA;
    std::vector<unsigned char> bytes(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, bytes.data(), 0, nullptr)) {
        fprintf(stderr, "make_icons: cannot decode %s: %s\n", path.c_str(), png.message);
        return false;
    }
    image->width = int(png.width);
    image->height = int(png.height);
    image->rgba.resize(bytes.size());
    for (size_t i = 0; i < bytes.size(); i++)
        image->rgba[i] = bytes[i] / 255.0f;
    return true;
}

// The part of `source` from (left, top), `width` x `height`, shrunk or grown to `side` x `side`
// by averaging the source pixels under each target pixel (alpha-weighted colour).
Image Resample(const Image &source, double left, double top, double width, double height, int side)
{
    Image out;
    out.width = out.height = side;
    out.rgba.assign(size_t(side) * side * 4, 0.0f);
    const int samples = 8; // per axis, inside each target pixel
    for (int y = 0; y < side; y++)
        for (int x = 0; x < side; x++) {
            double sum[4] = {0, 0, 0, 0};
            for (int sy = 0; sy < samples; sy++)
                for (int sx = 0; sx < samples; sx++) {
                    int u = int(left + (x + (sx + 0.5) / samples) * width / side);
                    int v = int(top + (y + (sy + 0.5) / samples) * height / side);
                    u = std::min(std::max(u, 0), source.width - 1);
                    v = std::min(std::max(v, 0), source.height - 1);
                    const float *p = &source.rgba[(size_t(v) * source.width + u) * 4];
                    for (int c = 0; c < 3; c++)
                        sum[c] += p[c] * p[3];
                    sum[3] += p[3];
                }
            float *q = &out.rgba[(size_t(y) * side + x) * 4];
            for (int c = 0; c < 3; c++)
                q[c] = sum[3] > 0 ? float(sum[c] / sum[3]) : 0.0f;
            q[3] = float(sum[3] / (samples * samples));
        }
    return out;
}

// The bounding box of the pixels with some alpha in the left half of the wordmark image,
// where its first word lies; false when there are none.
bool FirstWordBox(const Image &mark, int *left, int *top, int *right, int *bottom)
{
    *left = mark.width;
    *top = mark.height;
    *right = -1;
    *bottom = -1;
    for (int y = 0; y < mark.height; y++)
        for (int x = 0; x < mark.width / 2; x++)
            if (mark.rgba[(size_t(y) * mark.width + x) * 4 + 3] > 0.1f) {
                *left = std::min(*left, x);
                *right = std::max(*right, x);
                *top = std::min(*top, y);
                *bottom = std::max(*bottom, y);
            }
    return *right >= *left;
}

// Coverage of pixel (x, y) by a square of `side` with corners rounded to radius side / 6.
float RoundedCoverage(int x, int y, int side)
{
    const double radius = side / 6.0;
    const int samples = 4;
    int inside = 0;
    for (int sy = 0; sy < samples; sy++)
        for (int sx = 0; sx < samples; sx++) {
            double px = x + (sx + 0.5) / samples, py = y + (sy + 0.5) / samples;
            double cx = std::min(std::max(px, radius), side - radius);
            double cy = std::min(std::max(py, radius), side - radius);
            if ((px - cx) * (px - cx) + (py - cy) * (py - cy) <= radius * radius)
                inside++;
        }
    return float(inside) / (samples * samples);
}

// The icon's RGBA pixels, top row first.
std::vector<unsigned char> IconPixels(const Image &panorama, const Image &mark, int markLeft, int markTop,
                                      int markWidth, int markHeight, int side)
{
    Image back = Resample(panorama, PanoramaLeft, PanoramaTop, PanoramaSide, PanoramaSide, side);
    // The wordmark spans 90% of the width, centred, a little below the middle like a caption.
    const int markSide = side;
    double scale = 0.9 * markSide / markWidth;
    double boxHeight = markSide / scale; // source pixels covered by the square
    double sourceTop = markTop + markHeight / 2.0 - boxHeight * 0.45;
    double sourceLeft = markLeft + markWidth / 2.0 - boxHeight / 2.0;
    Image word = Resample(mark, sourceLeft, sourceTop, boxHeight, boxHeight, side);

    std::vector<unsigned char> bytes(size_t(side) * side * 4);
    for (int y = 0; y < side; y++)
        for (int x = 0; x < side; x++) {
            size_t i = (size_t(y) * side + x) * 4;
            float a = word.rgba[i + 3];
            for (int c = 0; c < 3; c++) {
                float v = word.rgba[i + c] * a + back.rgba[i + c] * (1.0f - a);
                bytes[i + c] = (unsigned char)lrintf(std::min(std::max(v, 0.0f), 1.0f) * 255.0f);
            }
            bytes[i + 3] = (unsigned char)lrintf(RoundedCoverage(x, y, side) * 255.0f);
        }
    return bytes;
}

bool MakeIcon(const Image &panorama, const Image &mark, int markLeft, int markTop, int markWidth, int markHeight,
              int side, const std::string &outFolder)
{
    std::vector<unsigned char> bytes = IconPixels(panorama, mark, markLeft, markTop, markWidth, markHeight, side);
    std::string folder = outFolder + "/" + std::to_string(side) + "x" + std::to_string(side);
    if (mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) {
        fprintf(stderr, "make_icons: cannot make %s: %s\n", folder.c_str(), strerror(errno));
        return false;
    }
    return WritePngFile((folder + "/kelvo.png").c_str(), side, side, 4, bytes.data());
}

// The window icon the demo shows, as C++ source for the window layer: ProgramIconSide and
// ProgramIconRgba (top row first). A partly written file is removed.
bool WriteIconSource(const std::vector<unsigned char> &bytes, int side, const std::string &path)
{
    FILE *out = fopen(path.c_str(), "w");
    if (!out) {
        fprintf(stderr, "make_icons: cannot write %s: %s\n", path.c_str(), strerror(errno));
        return false;
    }
    fprintf(out, "// Made by tools/make_icons from data/bg.png and data/kelvo.png.\n"
                 "namespace win32layer {\nextern const int ProgramIconSide = %d;\n"
                 "extern const unsigned char ProgramIconRgba[%zu] = {",
            side, bytes.size());
    for (size_t i = 0; i < bytes.size(); i++)
        fprintf(out, "%s%u,", i % 24 ? "" : "\n", unsigned(bytes[i]));
    fprintf(out, "\n};\n} // namespace win32layer\n");
    bool written = !ferror(out);
    written = fclose(out) == 0 && written;
    if (!written) {
        fprintf(stderr, "make_icons: cannot write %s\n", path.c_str());
        remove(path.c_str());
    }
    return written;
}

const int WindowIconSide = 64;

} // namespace

int main(int argc, char **argv)
{
    bool source = argc == 4 && strcmp(argv[1], "--source") == 0;
    if (argc != 3 && !source) {
        fprintf(stderr, "usage: make_icons <folder holding bg.png and kelvo.png> <out folder>\n"
                        "       make_icons --source <folder holding bg.png and kelvo.png> <out.cpp>\n");
        return 2;
    }
    if (source) {
        argv++;
        argc--;
    }
    std::string data = argv[1], out = argv[2];
    Image panorama, mark;
    if (!ReadImage(data + "/bg.png", &panorama) || !ReadImage(data + "/kelvo.png", &mark))
        return 1;
    if (panorama.width < PanoramaLeft + PanoramaSide || panorama.height < PanoramaTop + PanoramaSide) {
        fprintf(stderr, "make_icons: %s/bg.png is %d x %d, too small for the icon's square\n", argv[1],
                panorama.width, panorama.height);
        return 1;
    }
    int left, top, right, bottom;
    if (!FirstWordBox(mark, &left, &top, &right, &bottom)) {
        fprintf(stderr, "make_icons: %s/kelvo.png has no wordmark in its left half\n", argv[1]);
        return 1;
    }
    if (source)
        return WriteIconSource(IconPixels(panorama, mark, left, top, right - left + 1, bottom - top + 1, WindowIconSide),
                               WindowIconSide, out)
                   ? 0
                   : 1;
    if (mkdir(out.c_str(), 0755) != 0 && errno != EEXIST) {
        fprintf(stderr, "make_icons: cannot make %s: %s\n", out.c_str(), strerror(errno));
        return 1;
    }
    for (int side : IconSizes)
        if (!MakeIcon(panorama, mark, left, top, right - left + 1, bottom - top + 1, side, out))
            return 1;
    return 0;
}
