// Compares what an 800 x 600 X11 window shows with a PNG of the same size, pixel by pixel, and
// prints on one line: differing=<pixels with any channel apart> largest=<largest channel
// difference> over=<pixels with a channel more than TOLERANCE apart>.
// Usage: kelvo_x11_match WINDOW-ID REFERENCE.png [TOLERANCE]
// Exit 0 when no pixel is more than TOLERANCE (default 0) apart, 1 otherwise or when the window
// or the file cannot be read.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char **argv)
{
    const unsigned Width = 800, Height = 600;
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: %s WINDOW-ID REFERENCE.png [TOLERANCE]\n", argv[0]);
        return 2;
    }
    int tolerance = argc == 4 ? std::atoi(argv[3]) : 0;
    png_image png = {};
    png.version = PNG_IMAGE_VERSION;
    std::vector<png_byte> reference;
    if (png_image_begin_read_from_file(&png, argv[2])) {
        png.format = PNG_FORMAT_RGB;
        if (png.width == Width && png.height == Height) {
            reference.resize(PNG_IMAGE_SIZE(png));
            if (!png_image_finish_read(&png, NULL, reference.data(), 0, NULL))
                reference.clear();
        } else {
            png_image_free(&png);
        }
    }
    if (reference.empty()) {
        std::fprintf(stderr, "%s: not an 800 x 600 PNG\n", argv[2]);
        return 1;
    }
    Display *display = XOpenDisplay(NULL);
    if (!display) {
        std::fprintf(stderr, "cannot open the display\n");
        return 1;
    }
    XImage *image = XGetImage(display, Window(std::strtoul(argv[1], NULL, 0)), 0, 0, Width, Height, AllPlanes, ZPixmap);
    if (!image) {
        std::fprintf(stderr, "cannot read window %s\n", argv[1]);
        XCloseDisplay(display);
        return 1;
    }
    long differing = 0, over = 0;
    int largest = 0;
    for (unsigned y = 0; y < Height; y++)
        for (unsigned x = 0; x < Width; x++) {
            unsigned long pixel = XGetPixel(image, int(x), int(y));
            int rgb[3] = {int((pixel & image->red_mask) >> 16), int((pixel & image->green_mask) >> 8),
                          int(pixel & image->blue_mask)};
            int apart = 0;
            for (int c = 0; c < 3; c++) {
                int d = std::abs(rgb[c] - int(reference[size_t(y * Width + x) * 3 + c]));
                apart = d > apart ? d : apart;
            }
            differing += apart > 0;
            over += apart > tolerance;
            largest = apart > largest ? apart : largest;
        }
    std::printf("differing=%ld largest=%d over=%ld\n", differing, largest, over);
    XDestroyImage(image);
    XCloseDisplay(display);
    return over == 0 ? 0 : 1;
}
