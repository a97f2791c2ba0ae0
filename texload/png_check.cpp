// The check of a PNG file that did not load: the file's kind and size, its signature, then a
// silent decode of every row under the loader's bounds, keeping libpng's message.

#include "texload/png_check.h"
#include "texload/png_limits.h"
#include "platform/data_file.h"

#include <errno.h>
#include <setjmp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

namespace {

struct Decode {
    png_structp png;
    png_infop info;
    png_infop endInfo;
    png_bytep volatile row;
    char message[160];  // libpng's error
    char warning[160];  // and its last warning: a refused size is a warning before the error
    bool tooManyPixels; // the header's sides are within bounds, their product is not
};

void KeepError(png_structp png, png_const_charp message)
{
    Decode *decode = static_cast<Decode *>(png_get_error_ptr(png));
    snprintf(decode->message, sizeof decode->message, "%s", message);
    png_longjmp(png, 1);
}

void KeepWarning(png_structp png, png_const_charp message)
{
    Decode *decode = static_cast<Decode *>(png_get_error_ptr(png));
    snprintf(decode->warning, sizeof decode->warning, "%s", message);
}

// Reads the image through; "" when it decodes, else libpng's message. Nothing with a
// destructor lives here: an error jumps back into this function.
void DecodeWhole(FILE *file, Decode *decode)
{
    decode->message[0] = '\0';
    decode->warning[0] = '\0';
    decode->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, decode, KeepError, KeepWarning);
    if (!decode->png) {
        snprintf(decode->message, sizeof decode->message, "out of memory");
        return;
    }
    decode->info = png_create_info_struct(decode->png);
    decode->endInfo = png_create_info_struct(decode->png);
    if (setjmp(png_jmpbuf(decode->png)) == 0 && decode->info && decode->endInfo) {
        png_init_io(decode->png, file);
        png_set_sig_bytes(decode->png, 8);
        png_set_user_limits(decode->png, MaxImageSide, MaxImageSide);
        png_set_chunk_malloc_max(decode->png, MaxChunkBytes);
        png_set_chunk_cache_max(decode->png, MaxCachedChunks);
        png_set_keep_unknown_chunks(decode->png, PNG_HANDLE_CHUNK_NEVER, SkippedChunks, SkippedChunkCount);
        png_read_info(decode->png, decode->info);
        const png_uint_32 width = png_get_image_width(decode->png, decode->info);
        const png_uint_32 rows = png_get_image_height(decode->png, decode->info);
        if ((unsigned long long)width * rows > MaxImagePixels) {
            snprintf(decode->message, sizeof decode->message, "%u x %u pixels", unsigned(width), unsigned(rows));
            decode->tooManyPixels = true;
            png_longjmp(decode->png, 1);
        }
        const int passes = png_set_interlace_handling(decode->png);
        png_read_update_info(decode->png, decode->info);
        const png_uint_32 height = png_get_image_height(decode->png, decode->info);
        decode->row = static_cast<png_bytep>(malloc(png_get_rowbytes(decode->png, decode->info)));
        if (!decode->row)
            png_error(decode->png, "out of memory");
        for (int pass = 0; pass < passes; pass++)
            for (png_uint_32 y = 0; y < height; y++)
                png_read_row(decode->png, decode->row, NULL);
        png_read_end(decode->png, decode->endInfo);
    }
    free(decode->row);
    decode->row = NULL;
    png_destroy_read_struct(&decode->png, &decode->info, &decode->endInfo);
}

const char *OpenFailure(int error)
{
    switch (error) {
    case ENOENT: return "missing";
    case ENOTDIR: return "missing (a part of its path is not a folder)";
    case EACCES:
    case EPERM: return "permission denied";
    default: return strerror(error);
    }
}

} // namespace

void DescribePngProblem(const char *path, char *reason, size_t reasonSize)
{
    struct stat info;
    if (stat(path, &info) != 0) {
        snprintf(reason, reasonSize, "%s", OpenFailure(errno));
        return;
    }
    if (S_ISDIR(info.st_mode)) {
        snprintf(reason, reasonSize, "a folder, not a file");
        return;
    }
    const char *refusal = NULL;
    FILE *file = OpenDataFile(path, &refusal);
    if (!file) {
        snprintf(reason, reasonSize, "%s", refusal ? refusal : OpenFailure(errno));
        return;
    }
    unsigned char signature[8];
    const size_t got = fread(signature, 1, sizeof signature, file);
    if (got == 0) {
        snprintf(reason, reasonSize, "%s", ferror(file) ? strerror(errno) : "empty");
    } else if (got < sizeof signature || png_sig_cmp(signature, 0, sizeof signature) != 0) {
        snprintf(reason, reasonSize, "not a PNG");
    } else {
        Decode decode = {};
        DecodeWhole(file, &decode);
        const char *limit = strstr(decode.message, "exceeds user limit") ? decode.message
                            : strstr(decode.warning, "exceeds user limit") ? decode.warning : NULL;
        if (decode.tooManyPixels)
            snprintf(reason, reasonSize, "too large (%s; at most %llu pixels in all, as %u x %u)", decode.message,
                     MaxImagePixels, unsigned(MaxImageSquare), unsigned(MaxImageSquare));
        else if (decode.message[0] && limit)
            snprintf(reason, reasonSize, "too large (libpng: %s; at most %u pixels a side)", limit,
                     unsigned(MaxImageSide));
        else if (decode.message[0])
            snprintf(reason, reasonSize, "damaged (libpng: %s)", decode.message);
        else
            snprintf(reason, reasonSize, "not made into a texture");
    }
    fclose(file);
}

void ReportPngProblem(const char *path, const char *consequence)
{
    char reason[256];
    DescribePngProblem(path, reason, sizeof reason);
    fprintf(stderr, "%s: %s: %s; %s\n", dataReports.program, path, reason, consequence);
    fflush(stderr);
}
