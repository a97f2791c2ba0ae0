// Reads what a kelvo X11 window shows and prints figures of its picture on one line. A window
// of any size shows the 800 x 600 picture scaled to fit with 4:3 kept, centred, black around
// it; the figures are taken on that picture sampled back to 800 x 600 (each pixel the mean of
// the window pixels under it):
//   bands=<brightest channel value in the rows above 223 and from 377 on (two rows left out on
//          each side, where a scaled picture blends the band's edge with the black)>
//   mean=<mean channel value of rows 225 to 374>  white=<percent of those pixels at 250 or more>
//   outside=<brightest channel value of the window outside the picture, 0 when it fills it>
//   diff=<mean absolute channel difference of rows 225 to 374 to REFERENCE, when given>
// With --on RRGGBB, WINDOW-ID is a compositor's output that shows the kelvo window on a plain
// background of that colour: the figures are taken in the bounding box of the rows and columns
// that are mostly of other colours, printed first as at=WxH+X+Y (exit 1 when there are none).
// Usage: kelvo_x11_picture [--on RRGGBB] WINDOW-ID [REFERENCE.png]
//   (exit 1 when the window cannot be read)
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <png.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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
    const char *program = argv[0];
    long background = -1;
    if (argc >= 3 && std::strcmp(argv[1], "--on") == 0) {
        char *end = NULL;
        background = std::strtol(argv[2], &end, 16);
        if (*argv[2] == '\0' || *end != '\0' || background < 0 || background > 0xffffff)
            background = -2;
        argc -= 2;
        argv += 2;
    }
    if (argc < 2 || argc > 3 || background == -2) {
        std::fprintf(stderr, "usage: %s [--on RRGGBB] WINDOW-ID [REFERENCE.png]\n", program);
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
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes)) {
        std::fprintf(stderr, "no window %s\n", argv[1]);
        XCloseDisplay(display);
        return 1;
    }
    XImage *image = XGetImage(display, window, 0, 0, unsigned(attributes.width), unsigned(attributes.height),
                              AllPlanes, ZPixmap);
    if (!image) {
        std::fprintf(stderr, "cannot read window %s\n", argv[1]);
        XCloseDisplay(display);
        return 1;
    }
    auto channels = [&](int x, int y, int rgb[3]) {
        unsigned long pixel = XGetPixel(image, x, y);
        rgb[0] = int((pixel & image->red_mask) >> 16);
        rgb[1] = int((pixel & image->green_mask) >> 8);
        rgb[2] = int(pixel & image->blue_mask);
    };
    // The part of the window that the figures are taken in: all of it, or the kelvo window on
    // the background.
    int areaX = 0, areaY = 0, windowWidth = attributes.width, windowHeight = attributes.height;
    if (background >= 0) {
        // The rows and the columns with more than CursorSide pixels of another colour: a
        // pointer's cursor drawn over the background has fewer.
        const int CursorSide = 64;
        std::vector<int> rowCount(size_t(attributes.height), 0), columnCount(size_t(attributes.width), 0);
        for (int y = 0; y < attributes.height; y++)
            for (int x = 0; x < attributes.width; x++) {
                int rgb[3];
                channels(x, y, rgb);
                if (((long(rgb[0]) << 16) | (rgb[1] << 8) | rgb[2]) != background)
                    rowCount[size_t(y)]++, columnCount[size_t(x)]++;
            }
        int left = attributes.width, top = attributes.height, right = -1, bottom = -1;
        for (int y = 0; y < attributes.height; y++)
            if (rowCount[size_t(y)] > CursorSide)
                top = y < top ? y : top, bottom = y;
        for (int x = 0; x < attributes.width; x++)
            if (columnCount[size_t(x)] > CursorSide)
                left = x < left ? x : left, right = x;
        if (right < 0) {
            std::fprintf(stderr, "window %s shows nothing but its background\n", argv[1]);
            XDestroyImage(image);
            XCloseDisplay(display);
            return 1;
        }
        areaX = left;
        areaY = top;
        windowWidth = right - left + 1;
        windowHeight = bottom - top + 1;
        std::printf("at=%dx%d+%d+%d ", windowWidth, windowHeight, areaX, areaY);
    }
    // Where the picture lies in the window: as large as fits, 4:3 kept, centred.
    int placeWidth = windowWidth, placeHeight = windowHeight;
    if (long(windowWidth) * Height <= long(windowHeight) * Width)
        placeHeight = int(std::lround(double(windowWidth) * Height / Width));
    else
        placeWidth = int(std::lround(double(windowHeight) * Width / Height));
    const int placeX = areaX + (windowWidth - placeWidth) / 2, placeY = areaY + (windowHeight - placeHeight) / 2;
    int outside = 0;
    for (int y = areaY; y < areaY + windowHeight; y++)
        for (int x = areaX; x < areaX + windowWidth; x++) {
            if (x >= placeX && x < placeX + placeWidth && y >= placeY && y < placeY + placeHeight)
                continue;
            int rgb[3];
            channels(x, y, rgb);
            for (int c = 0; c < 3; c++)
                outside = rgb[c] > outside ? rgb[c] : outside;
        }
    int bands = 0;
    long long sum = 0, white = 0, diff = 0;
    for (int y = 0; y < Height; y++)
        for (int x = 0; x < Width; x++) {
            // The window pixels under picture pixel (x, y); at least the one under its centre.
            int left = placeX + x * placeWidth / Width, right = placeX + (x + 1) * placeWidth / Width;
            int top = placeY + y * placeHeight / Height, bottom = placeY + (y + 1) * placeHeight / Height;
            if (right <= left)
                left = right = placeX + int((x + 0.5) * placeWidth / Width), right++;
            if (bottom <= top)
                top = bottom = placeY + int((y + 0.5) * placeHeight / Height), bottom++;
            int rgb[3] = {0, 0, 0};
            long total[3] = {0, 0, 0};
            for (int v = top; v < bottom; v++)
                for (int u = left; u < right; u++) {
                    int one[3];
                    channels(u, v, one);
                    for (int c = 0; c < 3; c++)
                        total[c] += one[c];
                }
            long count = long(right - left) * (bottom - top);
            for (int c = 0; c < 3; c++)
                rgb[c] = int((total[c] + count / 2) / count);
            bool inBand = y >= BandTop && y < BandEnd;
            bool edge = y >= BandTop - 2 && y < BandEnd + 2;
            for (int c = 0; c < 3; c++) {
                if (!inBand && !edge) {
                    bands = rgb[c] > bands ? rgb[c] : bands;
                    continue;
                }
                if (!inBand)
                    continue;
                sum += rgb[c];
                if (!reference.empty())
                    diff += std::abs(rgb[c] - int(reference[size_t(y * Width + x) * 3 + c]));
            }
            white += inBand && rgb[0] >= 250 && rgb[1] >= 250 && rgb[2] >= 250;
        }
    const double bandValues = 3.0 * Width * (BandEnd - BandTop);
    std::printf("bands=%d mean=%.1f white=%.1f outside=%d", bands, double(sum) / bandValues,
                100.0 * double(white) / (bandValues / 3.0), outside);
    if (!reference.empty())
        std::printf(" diff=%.1f", double(diff) / bandValues);
    std::printf("\n");
    XDestroyImage(image);
    XCloseDisplay(display);
    return 0;
}
