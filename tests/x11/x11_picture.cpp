// Reads what an 800 x 600 X11 window shows and prints figures of its picture on one line:
//   bands=<brightest channel value in the rows above 225 and from 375 on>
//   mean=<mean channel value of rows 225 to 374>  white=<percent of those pixels at 250 or more>
//   diff=<mean absolute channel difference of rows 225 to 374 to REFERENCE, when given>
// Usage: kelvo_x11_picture WINDOW-ID [REFERENCE.png]   (exit 1 when the window cannot be read)
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

const int Width = 800, Height = 600, BandTop = 225, BandEnd = 375;

bool ReadReference(const char *path, std::vector<png_byte> *rgb)
{
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path))
        return false;
    image.format = PNG_FORMAT_RGB;
    if (image.width != Width || image.height != Height) {
        png_image_free(&image);
        return false;
    }
    rgb->resize(PNG_IMAGE_SIZE(image));
    return png_image_finish_read(&image, NULL, rgb->data(), 0, NULL) != 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s WINDOW-ID [REFERENCE.png]\n", argv[0]);
        return 2;
    }
    std::vector<png_byte> reference;
    if (argc == 3 && !ReadReference(argv[2], &reference)) {
        std::fprintf(stderr, "%s: not an 800 x 600 PNG\n", argv[2]);
        return 1;
    }
    Display *display = XOpenDisplay(NULL);
    if (!display) {
        std::fprintf(stderr, "cannot open the display\n");
        return 1;
    }
    Window window = Window(std::strtoul(argv[1], NULL, 0));
    XImage *image = XGetImage(display, window, 0, 0, Width, Height, AllPlanes, ZPixmap);
    if (!image) {
        std::fprintf(stderr, "cannot read window %s\n", argv[1]);
        XCloseDisplay(display);
        return 1;
    }
    int bands = 0;
    long long sum = 0, white = 0, diff = 0;
    for (int y = 0; y < Height; y++)
        for (int x = 0; x < Width; x++) {
            unsigned long pixel = XGetPixel(image, x, y);
            int rgb[3] = {int((pixel & image->red_mask) >> 16), int((pixel & image->green_mask) >> 8),
                          int(pixel & image->blue_mask)};
            bool inBand = y >= BandTop && y < BandEnd;
            for (int c = 0; c < 3; c++) {
                if (!inBand) {
                    bands = rgb[c] > bands ? rgb[c] : bands;
                    continue;
                }
                sum += rgb[c];
                if (!reference.empty())
                    diff += std::abs(rgb[c] - int(reference[size_t(y * Width + x) * 3 + c]));
            }
            white += inBand && rgb[0] >= 250 && rgb[1] >= 250 && rgb[2] >= 250;
        }
    const double bandValues = 3.0 * Width * (BandEnd - BandTop);
    std::printf("bands=%d mean=%.1f white=%.1f", bands, double(sum) / bandValues,
                100.0 * double(white) / (bandValues / 3.0));
    if (!reference.empty())
        std::printf(" diff=%.1f", double(diff) / bandValues);
    std::printf("\n");
    XDestroyImage(image);
    XCloseDisplay(display);
    return 0;
}
