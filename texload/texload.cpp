// The PNG texture loader: decoding through libpng, gamma, the GL probes and the three upload
// paths (colour-indexed, plain, derived alpha).

#include "texload/texload.h"
#include "texload/png_limits.h"
#include "platform/data_file.h"

#include <png.h>

#include <math.h>
#include <setjmp.h>
#include <stdlib.h>
#include <string.h>

TexLoaderState texLoader = {
    2.2, false, -1, NULL, 0, NULL, {0, 0, 0}, false, DefaultAlphaCallback, NULL, "",
};

// Colour-index internal formats of GL_EXT_paletted_texture, by palette size.
static const GLenum ColorIndex1 = 0x80E2;
static const GLenum ColorIndex2 = 0x80E3;
static const GLenum ColorIndex4 = 0x80E4;
static const GLenum ColorIndex8 = 0x80E5;
static const GLenum ColorIndex12 = 0x80E6;
static const GLenum ColorIndex16 = 0x80E7;

// The gamma assumed for a file without gAMA: the inverse of the display gamma, so that such
// files pass unchanged.
static const double DefaultFileGamma = 1.0 / 2.2;

// VIEWING_GAMMA values outside this range are taken as a mistake, not as a gamma.
static const double MinViewingGamma = 0.1;
static const double MaxViewingGamma = 10.0;

// One line on standard error about a VIEWING_GAMMA text that did not read whole as a viewing
// gamma, saying what was used; once for each text in a row.
static void SayGammaUsed(const char *text, const char *what)
{
    if (strncmp(texLoader.GammaTextSaid, text, sizeof texLoader.GammaTextSaid - 1) == 0)
        return;
    snprintf(texLoader.GammaTextSaid, sizeof texLoader.GammaTextSaid, "%s", text);
    fprintf(stderr, "%s: VIEWING_GAMMA=%s: %s; images are corrected for a display gamma of %g\n",
            dataReports.program, text, what, texLoader.DisplayGamma);
    fflush(stderr);
}

void ApplyViewingGamma()
{
    if (texLoader.GammaSetExplicitly)
        return;
    const char *text = getenv("VIEWING_GAMMA");
    if (!text)
        return;
    double viewing = 0.0;
    int used = 0;
    const bool number = sscanf(text, "%lf%n", &viewing, &used) == 1;
    if (number && isfinite(viewing) && viewing >= MinViewingGamma && viewing <= MaxViewingGamma) {
        texLoader.DisplayGamma = 2.2 / viewing;
        // Characters after the number (a decimal comma, units, a typing slip) are not read.
        const char *rest = text + used;
        while (*rest == ' ' || *rest == '\t')
            rest++;
        if (*rest) {
            char what[96];
            snprintf(what, sizeof what, "read as %g, \"%.40s\" after it ignored", viewing, rest);
            SayGammaUsed(text, what);
        }
    } else {
        texLoader.DisplayGamma = 2.2;
        SayGammaUsed(text, "not a viewing gamma from 0.1 to 10");
    }
}

int HasGLExtension(const char *name)
{
    if (!name || !*name)
        return 0;
    if (!texLoader.ExtensionString) {
        // The list is copied: the string GL hands out dies with its context, and the first
        // context's answer is kept for the life of the process.
        const char *list = (const char *)glGetString(GL_EXTENSIONS);
        if (!list)
            return 0;
        texLoader.ExtensionString = strdup(list);
        if (!texLoader.ExtensionString)
            return 0;
    }
    const char *list = texLoader.ExtensionString;
    const size_t length = strlen(name);
    for (const char *at = strstr(list, name); at; at = strstr(at + 1, name)) {
        // A whole name only: a longer name that merely begins or ends with this one is another
        // extension.
        const bool startsName = at == list || at[-1] == ' ';
        const bool endsName = at[length] == '\0' || at[length] == ' ';
        if (startsName && endsName)
            return 1;
    }
    return 0;
}

GLuint CreateTextureObject(GLint wrap, GLint magFilter, GLint minFilter)
{
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, magFilter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, minFilter);
    return name;
}

GLuint BindPngTexture(const char *path, int mipmapMode, int alphaMode, TextureInfo *info, GLint wrap,
                      GLint minFilter, GLint magFilter)
{
    const GLuint name = CreateTextureObject(wrap, magFilter, minFilter);
    if (name == 0)
        return 0;
    return LoadPngFile(path, mipmapMode, alphaMode, info) ? name : 0;
}

int LoadPngFile(const char *path, int mipmapMode, int alphaMode, TextureInfo *info)
{
    if (!path)
        return 0;
    const char *refusal = NULL;
    FILE *file = OpenDataFile(path, &refusal);
    if (!file)
        return 0;
    texLoader.LoadingPath = path;
    const int result = LoadPngStream(file, mipmapMode, alphaMode, info);
    texLoader.LoadingPath = NULL;
    if (fclose(file) != 0)
        return 0;
    return result;
}

// Everything one load holds that a failure must release. A libpng error returns by longjmp
// into LoadPngStream, so what changes after the recovery point is set is volatile.
struct PngLoad {
    png_structp png;
    png_infop info;
    png_infop endInfo;
    unsigned char *volatile image;    // the decoded (later the fitted) picture
    unsigned char *volatile extra;    // the resampled or RGBA copy while it is being made
    png_bytep *volatile rows;         // the row table, only during png_read_image
    volatile bool alignmentsSaved;
    volatile GLint packAlignment;
    volatile GLint unpackAlignment;
    // The stream, and the bytes of it read ahead of libpng (the header chunk's start), which
    // libpng is given first.
    FILE *stream;
    unsigned char ahead[16];
    size_t aheadCount, aheadUsed;
};

// libpng's reads: the bytes read ahead first, then the stream; a short read is libpng's own
// "Read Error", as with its stdio reader.
static void ReadPngBytes(png_structp png, png_bytep out, png_size_t count)
{
    PngLoad *load = static_cast<PngLoad *>(png_get_io_ptr(png));
    size_t given = load->aheadCount - load->aheadUsed;
    if (given > count)
        given = count;
    memcpy(out, load->ahead + load->aheadUsed, given);
    load->aheadUsed += given;
    if (given < count && fread(out + given, 1, count - given, load->stream) != count - given)
        png_error(png, "Read Error");
}

// Whether the header chunk read ahead gives a side over the bound (one that libpng would itself
// refuse, with a warning and an error of its own).
static bool SideTooLarge(const PngLoad *load)
{
    if (load->aheadCount < 16 || memcmp(load->ahead + 4, "IHDR", 4) != 0)
        return false;
    for (int at = 8; at < 16; at += 4) {
        const png_uint_32 side = png_get_uint_32(load->ahead + at);
        if (side > MaxImageSide && side <= PNG_UINT_31_MAX)
            return true;
    }
    return false;
}

static void RestoreAlignments(PngLoad *load)
{
    if (!load->alignmentsSaved)
        return;
    glPixelStorei(GL_PACK_ALIGNMENT, load->packAlignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, load->unpackAlignment);
    load->alignmentsSaved = false;
}

static void ReleaseLoad(PngLoad *load)
{
    RestoreAlignments(load);
    png_destroy_read_struct(&load->png, &load->info, &load->endInfo);
    free(load->rows);
    free(load->extra);
    free(load->image);
    load->rows = NULL;
    load->extra = NULL;
    load->image = NULL;
}

// Once per process: the maximum texture size and whether colour-indexed textures can be used.
static void ProbeGL()
{
    if (texLoader.MaxTextureSize == 0)
        glGetIntegerv(GL_MAX_TEXTURE_SIZE, &texLoader.MaxTextureSize);
    if (texLoader.PalettedSupport == -1) {
        // One early driver announced the extension without a working colour table.
        const char *version = (const char *)glGetString(GL_VERSION);
        const bool brokenDriver = version && strstr(version, "1.1.0 3Dfx Beta");
        texLoader.PalettedSupport = HasGLExtension("GL_EXT_paletted_texture") && !brokenDriver ? 1 : 0;
    }
    if (texLoader.PalettedSupport == 1 && !texLoader.ColorTableProc) {
        texLoader.ColorTableProc = (ColorTableFn)(void (*)(void))wglGetProcAddress("glColorTableEXT");
        if (!texLoader.ColorTableProc)
            texLoader.PalettedSupport = 0;
    }
}

static void UploadByMipmapMode(int mipmapMode, int components, int width, int height, GLenum format,
                               const unsigned char *pixels)
{
    if (mipmapMode == MipChainAveraged)
        UploadMipChain(components, width, height, format, pixels, 1);
    else if (mipmapMode == MipChainPicked)
        UploadMipChain(components, width, height, format, pixels, 0);
    else
        glTexImage2D(GL_TEXTURE_2D, mipmapMode, components, width, height, 0, format, GL_UNSIGNED_BYTE, pixels);
}

// The colour-index upload: the palette as colour table, the picture as one byte per index.
static bool UploadPaletted(PngLoad *load, int mipmapMode, int width, int height, TextureInfo *info)
{
    if (info)
        info->alphaBits = 0;
    if (!texLoader.ColorTableProc)
        return false;
    png_colorp palette = NULL;
    int entries = 0;
    if (!png_get_PLTE(load->png, load->info, &palette, &entries))
        return false;
    GLenum internalFormat;
    switch (entries) {
    case 2: internalFormat = ColorIndex1; break;
    case 4: internalFormat = ColorIndex2; break;
    case 16: internalFormat = ColorIndex4; break;
    case 256: internalFormat = ColorIndex8; break;
    case 4096: internalFormat = ColorIndex12; break;
    case 65536: internalFormat = ColorIndex16; break;
    default: return false;
    }
    texLoader.ColorTableProc(GL_TEXTURE_2D, GL_RGB8, entries, GL_RGB, GL_UNSIGNED_BYTE, palette);
    glTexImage2D(GL_TEXTURE_2D, mipmapMode, GLint(internalFormat), width, height, 0, GL_COLOR_INDEX,
                 GL_UNSIGNED_BYTE, load->image);
    return true;
}

// Decodes, fits and uploads; true when the picture was uploaded. libpng errors leave by
// longjmp instead, and the caller releases the load either way.
static bool DecodeAndUpload(PngLoad *load, FILE *stream, int mipmapMode, int alphaMode, TextureInfo *info)
{
    png_structp png = load->png;
    png_infop pngInfo = load->info;

    load->stream = stream;
    png_set_read_fn(png, load, ReadPngBytes);
    png_set_sig_bytes(png, 8);
    png_set_user_limits(png, MaxImageSide, MaxImageSide);
    png_set_chunk_malloc_max(png, MaxChunkBytes);
    png_set_chunk_cache_max(png, MaxCachedChunks);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, SkippedChunks, SkippedChunkCount);
    png_read_info(png, pngInfo);
    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colorType = 0;
    png_get_IHDR(png, pngInfo, &width, &height, &bitDepth, &colorType, NULL, NULL, NULL);
    if (info) {
        info->imageWidth = width;
        info->imageHeight = height;
        info->bitDepth = bitDepth;
    }
    if ((unsigned long long)width * height > MaxImagePixels)
        return false; // refused before anything is allocated for it

    ProbeGL();
    if (texLoader.MaxTextureSize <= 0)
        return false; // no GL context answered: nothing could be uploaded
    if (mipmapMode < MipChainPicked || alphaMode < AlphaCallback || alphaMode > AlphaMagnitude)
        return false; // not a mode of the loader

    const bool paletted = texLoader.PalettedSupport == 1 && mipmapMode >= 0 && alphaMode == AlphaNone;
    int workingType = colorType;
    if (workingType == PNG_COLOR_TYPE_GRAY || workingType == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(png);
    if ((workingType & PNG_COLOR_MASK_ALPHA) && alphaMode != AlphaFromFile) {
        png_set_strip_alpha(png);
        workingType &= ~PNG_COLOR_MASK_ALPHA;
    }
    if (workingType == PNG_COLOR_TYPE_PALETTE && !paletted)
        png_set_expand(png);
    // Every buffer holds one byte per sample: 16-bit samples are scaled down, grey samples
    // below 8 bits widened, and palette indices below 8 bits unpacked to one per byte.
    if (bitDepth == 16)
        png_set_scale_16(png);
    if (bitDepth < 8 && (colorType & PNG_COLOR_MASK_PALETTE) == 0)
        png_set_expand_gray_1_2_4_to_8(png);
    if (bitDepth < 8 && colorType == PNG_COLOR_TYPE_PALETTE && paletted)
        png_set_packing(png);

    ApplyViewingGamma();
    double fileGamma = 0.0;
    if (!png_get_gAMA(png, pngInfo, &fileGamma))
        fileGamma = DefaultFileGamma;
    // The fixed-point form: the floating-point one reads values of 128 and above as already
    // fixed-point, and a gAMA chunk may hold such a value.
    png_set_gamma_fixed(png, png_fixed_point(floor(texLoader.DisplayGamma * PNG_FP_1 + 0.5)),
                        png_fixed_point(floor(fileGamma * PNG_FP_1 + 0.5)));

    // Older libpng let png_read_image deinterlace by itself; this one wants to be told first.
    png_set_interlace_handling(png);

    png_read_update_info(png, pngInfo);
    const size_t rowBytes = png_get_rowbytes(png, pngInfo);
    const int components = int(rowBytes / width);
    if (rowBytes != size_t(width) * size_t(components) || (components != 1 && components != 3 && components != 4))
        return false;
    if (rowBytes > SIZE_MAX / height)
        return false;
    load->image = (unsigned char *)malloc(rowBytes * height);
    load->rows = (png_bytep *)malloc(sizeof(png_bytep) * height);
    if (!load->image || !load->rows)
        return false;
    for (png_uint_32 i = 0; i < height; ++i) {
        const png_uint_32 row = texLoader.RowsBottomUp ? height - 1 - i : i;
        load->rows[row] = load->image + size_t(i) * rowBytes;
    }
    png_read_image(png, load->rows);
    free(load->rows);
    load->rows = NULL;

    int fittedWidth = FitTextureSize(int(width));
    int fittedHeight = FitTextureSize(int(height));
    if (fittedWidth != int(width) || fittedHeight != int(height)) {
        load->extra = (unsigned char *)malloc(size_t(components) * size_t(fittedWidth) * size_t(fittedHeight));
        if (!load->extra)
            return false;
        ResampleNearest(components, load->image, int(width), int(height), load->extra, fittedWidth, fittedHeight);
        free(load->image);
        load->image = load->extra;
        load->extra = NULL;
    }

    GLint packAlignment = 4, unpackAlignment = 4;
    glGetIntegerv(GL_PACK_ALIGNMENT, &packAlignment);
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &unpackAlignment);
    load->packAlignment = packAlignment;
    load->unpackAlignment = unpackAlignment;
    load->alignmentsSaved = true;
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);

    if (paletted && workingType == PNG_COLOR_TYPE_PALETTE) {
        if (!UploadPaletted(load, mipmapMode, fittedWidth, fittedHeight, info))
            return false;
    } else if (alphaMode == AlphaNone || alphaMode == AlphaFromFile) {
        GLenum format;
        int alphaBits;
        if (workingType == PNG_COLOR_TYPE_GRAY || workingType == PNG_COLOR_TYPE_RGB ||
            workingType == PNG_COLOR_TYPE_PALETTE) {
            format = GL_RGB;
            alphaBits = 0;
        } else if (workingType == PNG_COLOR_TYPE_GRAY_ALPHA || workingType == PNG_COLOR_TYPE_RGB_ALPHA) {
            format = GL_RGBA;
            alphaBits = 8;
        } else {
            return false;
        }
        if (info)
            info->alphaBits = alphaBits;
        const int formatComponents = format == GL_RGBA ? 4 : 3;
        if (components != formatComponents)
            return false;
        UploadByMipmapMode(mipmapMode, formatComponents, fittedWidth, fittedHeight, format, load->image);
    } else {
        if (info)
            info->alphaBits = 8;
        if (components != 3)
            return false;
        const size_t pixelCount = size_t(fittedWidth) * size_t(fittedHeight);
        load->extra = (unsigned char *)malloc(pixelCount * 4);
        if (!load->extra)
            return false;
        if (!DeriveAlpha(alphaMode, load->image, pixelCount, load->extra))
            return false;
        UploadByMipmapMode(mipmapMode, 4, fittedWidth, fittedHeight, GL_RGBA, load->extra);
        free(load->extra);
        load->extra = NULL;
    }

    RestoreAlignments(load);
    png_read_end(png, load->endInfo);
    return true;
}

// libpng's warnings, as its own handler words them, with the file named.
static void SayPngWarning(png_structp, png_const_charp message)
{
    fprintf(stderr, "libpng warning: %s: %s\n", texLoader.LoadingPath ? texLoader.LoadingPath : "an image", message);
    fflush(stderr);
}

int LoadPngStream(FILE *stream, int mipmapMode, int alphaMode, TextureInfo *info)
{
    unsigned char signature[8];
    if (!stream || fread(signature, 1, 8, stream) != 8 || !png_check_sig(signature, 8))
        return 0;

    PngLoad load = {};
    // Sides over the bound are refused here, before libpng reads the header and speaks of it.
    load.aheadCount = fread(load.ahead, 1, sizeof load.ahead, stream);
    if (SideTooLarge(&load))
        return 0;
    load.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, NULL, NULL, SayPngWarning);
    if (!load.png)
        return 0;
    load.info = png_create_info_struct(load.png);
    load.endInfo = load.info ? png_create_info_struct(load.png) : NULL;
    if (!load.endInfo) {
        png_destroy_read_struct(&load.png, load.info ? &load.info : NULL, NULL);
        return 0;
    }
    // Nothing with a destructor lives in this function: a libpng error jumps back here.
    if (setjmp(png_jmpbuf(load.png))) {
        ReleaseLoad(&load);
        return 0;
    }
    const bool uploaded = DecodeAndUpload(&load, stream, mipmapMode, alphaMode, info);
    ReleaseLoad(&load);
    return uploaded ? 1 : 0;
}
