// PNG output through libpng for the tools.

#include "tools/png_write.h"
#include "platform/printable.h"

#include <png.h>

#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <vector>

namespace {

// libpng's errors are caught by its setjmp; the message is kept for the report.
void KeepError(png_structp png, png_const_charp message)
{
    char *kept = static_cast<char *>(png_get_error_ptr(png));
    snprintf(kept, 200, "%s", message);
    png_longjmp(png, 1);
}

void IgnoreWarning(png_structp, png_const_charp) {}

// Writes the PNG to an open file; false with the reason in `error`.
bool WriteToFile(FILE *file, int width, int height, int channels, const unsigned char *pixels, char *error)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, error, KeepError, IgnoreWarning);
    if (!png) {
        snprintf(error, 200, "libpng could not start");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    // Made before setjmp, so that a longjmp never meets a half-built vector.
    std::vector<png_bytep> rows(static_cast<size_t>(height));
    for (int y = 0; y < height; y++)
        rows[size_t(y)] = const_cast<png_bytep>(pixels + size_t(y) * size_t(width) * size_t(channels));
    if (!info || setjmp(png_jmpbuf(png))) {
        if (!info)
            snprintf(error, 200, "libpng could not start");
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_compression_level(png, 9);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_ALL_FILTERS);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8,
                 channels == 4 ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

bool WritePngFile(const char *path, int width, int height, int channels, const unsigned char *pixels)
{
    if (width < 1 || height < 1 || (channels != 3 && channels != 4) || !pixels) {
        fprintf(stderr, "%s: %s: nothing to write (%d x %d, %d channels)\n", program_invocation_short_name,
                PrintableName(path).c_str(), width, height, channels);
        return false;
    }
    FILE *file = fopen(path, "wb");
    if (!file) {
        fprintf(stderr, "%s: %s: cannot be written: %s\n", program_invocation_short_name, PrintableName(path).c_str(),
                strerror(errno));
        return false;
    }
    char error[200] = "";
    bool written = WriteToFile(file, width, height, channels, pixels, error);
    if (fclose(file) != 0 && written) {
        snprintf(error, sizeof error, "%s", strerror(errno));
        written = false;
    }
    if (!written) {
        fprintf(stderr, "%s: %s: writing failed: %s\n", program_invocation_short_name, PrintableName(path).c_str(), error);
        remove(path);
    }
    return written;
}
