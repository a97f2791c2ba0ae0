// Load times of three large PNGs with the demo's arguments (averaged chain, the file's alpha,
// repeat wrap, nearest filters), split into phases, beside what libpng alone takes to decode
// the same file. The PNGs are written by the benchmark itself into a temporary folder.
//
// Phases: "fit" is FitTextureSize and ResampleNearest with its buffer, "chain" the halvings of
// the whole mipmap chain in one scratch block, "upload" the glTexImage2D calls of every level
// (with glFinish), each timed on its own; "decode" is what remains of the whole load, libpng
// with the loader's transformations and buffers. Every figure is the median of the runs.
#include <windows.h>

#include <GL/gl.h>

#include <png.h>

#include <algorithm>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>
#include <vector>

#include "texload/texload.h"

namespace {

const int Runs = 9;

double NowMs()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

LRESULT CALLBACK BenchWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);
}

bool MakeContext()
{
    WNDCLASSA windowClass = {};
    windowClass.style = CS_OWNDC;
    windowClass.lpfnWndProc = BenchWindowProc;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.lpszClassName = "BenchLoad";
    if (!RegisterClassA(&windowClass))
        return false;
    HWND window = CreateWindowExA(0, "BenchLoad", "bench", WS_OVERLAPPEDWINDOW, 0, 0, 64, 64, NULL, NULL,
                                  windowClass.hInstance, NULL);
    HDC dc = window ? GetDC(window) : NULL;
    PIXELFORMATDESCRIPTOR format = {};
    format.nSize = sizeof(format);
    format.nVersion = 1;
    format.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    format.iPixelType = PFD_TYPE_RGBA;
    format.cColorBits = 32;
    HGLRC context = dc && SetPixelFormat(dc, ChoosePixelFormat(dc, &format), &format) ? wglCreateContext(dc) : NULL;
    return context && wglMakeCurrent(dc, context);
}

// A picture with smooth gradients and some noise, so that it compresses like a real one.
bool WritePng(const char *path, int width, int height, int colorType)
{
    FILE *file = fopen(path, "wb");
    if (!file)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, NULL, NULL, NULL);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, 8, colorType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_color palette[256];
    if (colorType == PNG_COLOR_TYPE_PALETTE) {
        for (int i = 0; i < 256; ++i)
            palette[i] = {png_byte(i), png_byte(255 - i), png_byte(i * 7)};
        png_set_PLTE(png, info, palette, 256);
    }
    png_write_info(png, info);
    const int channels = colorType == PNG_COLOR_TYPE_PALETTE ? 1 : colorType == PNG_COLOR_TYPE_RGB ? 3 : 4;
    std::vector<png_byte> row(size_t(width) * channels);
    unsigned seed = 12345;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < channels; ++c) {
                seed = seed * 1103515245u + 12345u;
                row[size_t(x) * channels + c] = png_byte((x * (c + 1) + y * (3 - c)) / 4 + ((seed >> 16) & 7));
            }
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return fclose(file) == 0;
}

// libpng alone: the same file decoded to 8-bit RGB or RGBA rows. Nothing here has a destructor,
// as libpng's errors arrive by longjmp.
double DecodeFloorMs(const char *path)
{
    const double start = NowMs();
    FILE *file = fopen(path, "rb");
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, NULL, NULL, NULL);
    png_infop info = png_create_info_struct(png);
    if (!file || setjmp(png_jmpbuf(png))) {
        fprintf(stderr, "bench_load: libpng alone failed on %s\n", path);
        exit(1);
    }
    png_init_io(png, file);
    png_read_info(png, info);
    png_set_expand(png);
    png_read_update_info(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    png_bytep image = (png_bytep)malloc(rowBytes * height);
    png_bytepp rows = (png_bytepp)malloc(sizeof(png_bytep) * height);
    for (png_uint_32 i = 0; i < height; ++i)
        rows[i] = image + i * rowBytes;
    png_read_image(png, rows);
    png_read_end(png, NULL);
    png_destroy_read_struct(&png, &info, NULL);
    fclose(file);
    free(rows);
    free(image);
    return NowMs() - start;
}

// The picture as the loader has it after decoding: interleaved 8-bit RGB or RGBA.
std::vector<unsigned char> DecodeForPhases(const char *path, int *width, int *height, int *components)
{
    FILE *file = fopen(path, "rb");
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, NULL, NULL, NULL);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_read_info(png, info);
    png_set_expand(png);
    png_read_update_info(png, info);
    *width = int(png_get_image_width(png, info));
    *height = int(png_get_image_height(png, info));
    *components = png_get_channels(png, info);
    std::vector<unsigned char> image(png_get_rowbytes(png, info) * *height);
    std::vector<png_bytep> rows(*height);
    for (int i = 0; i < *height; ++i)
        rows[i] = image.data() + size_t(i) * png_get_rowbytes(png, info);
    png_read_image(png, rows.data());
    png_destroy_read_struct(&png, &info, NULL);
    fclose(file);
    return image;
}

void Bench(const char *label, const char *path)
{
    std::vector<double> whole, floorMs, fit, chain, upload;
    int width = 0, height = 0, components = 0;
    std::vector<unsigned char> decoded = DecodeForPhases(path, &width, &height, &components);
    const GLenum format = components == 4 ? GL_RGBA : GL_RGB;

    for (int run = 0; run < Runs; ++run) {
        TextureInfo info;
        double start = NowMs();
        GLuint texture = BindPngTexture(path, MipChainAveraged, AlphaFromFile, &info, GL_REPEAT, GL_NEAREST, GL_NEAREST);
        glFinish();
        whole.push_back(NowMs() - start);
        if (!texture) {
            fprintf(stderr, "bench_load: %s did not load\n", path);
            exit(1);
        }
        glDeleteTextures(1, &texture);

        floorMs.push_back(DecodeFloorMs(path));

        // Fit.
        start = NowMs();
        int fittedWidth = FitTextureSize(width), fittedHeight = FitTextureSize(height);
        std::vector<unsigned char> *fitted = &decoded;
        std::vector<unsigned char> resampled;
        if (fittedWidth != width || fittedHeight != height) {
            resampled.resize(size_t(components) * fittedWidth * fittedHeight);
            ResampleNearest(components, decoded.data(), width, height, resampled.data(), fittedWidth, fittedHeight);
            fitted = &resampled;
        }
        fit.push_back(NowMs() - start);

        // Chain: every halving, each level kept apart for the upload below.
        std::vector<std::vector<unsigned char>> levels;
        std::vector<int> sizes;
        start = NowMs();
        std::vector<unsigned char> scratch(size_t(std::max(1, fittedWidth / 2)) * std::max(1, fittedHeight / 2) * components);
        int w = fittedWidth, h = fittedHeight;
        double halving = 0;
        for (int more = HalveImage(components, w, h, fitted->data(), scratch.data(), 1); more;
             more = HalveImage(components, w, h, scratch.data(), scratch.data(), 1)) {
            w = w > 1 ? w / 2 : 1;
            h = h > 1 ? h / 2 : 1;
            const double pause = NowMs();
            levels.emplace_back(scratch.begin(), scratch.begin() + size_t(w) * h * components);
            sizes.push_back(w);
            sizes.push_back(h);
            halving -= NowMs() - pause;
        }
        chain.push_back(NowMs() - start + halving);

        // Upload.
        GLuint target = CreateTextureObject(GL_REPEAT, GL_NEAREST, GL_NEAREST);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        start = NowMs();
        glTexImage2D(GL_TEXTURE_2D, 0, components, fittedWidth, fittedHeight, 0, format, GL_UNSIGNED_BYTE, fitted->data());
        for (size_t level = 0; level < levels.size(); ++level)
            glTexImage2D(GL_TEXTURE_2D, GLint(level + 1), components, sizes[2 * level], sizes[2 * level + 1], 0, format,
                         GL_UNSIGNED_BYTE, levels[level].data());
        glFinish();
        upload.push_back(NowMs() - start);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        glDeleteTextures(1, &target);
    }

    const double wholeMs = Median(whole), fitMs = Median(fit), chainMs = Median(chain), uploadMs = Median(upload);
    const double floorDecode = Median(floorMs);
    printf("%-28s %4dx%-4d -> %4dx%-4d  whole %7.2f ms  = decode %7.2f + fit %6.2f + chain %6.2f + upload %6.2f"
           "   libpng alone %7.2f ms   whole/libpng %.2f\n",
           label, width, height, FitTextureSize(width), FitTextureSize(height), wholeMs,
           wholeMs - fitMs - chainMs - uploadMs, fitMs, chainMs, uploadMs, floorDecode, wholeMs / floorDecode);
}

} // namespace

int main()
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    unsetenv("VIEWING_GAMMA");
    if (!MakeContext()) {
        fprintf(stderr, "bench_load: no GL context\n");
        return 1;
    }
    char folder[] = "/tmp/kelvo_bench_XXXXXX";
    if (!mkdtemp(folder)) {
        perror("bench_load: mkdtemp");
        return 1;
    }
    const struct {
        const char *label, *name;
        int width, height, colorType;
    } files[] = {
        {"RGB 2048x1024", "rgb.png", 2048, 1024, PNG_COLOR_TYPE_RGB},
        {"RGBA 1024x1024", "rgba.png", 1024, 1024, PNG_COLOR_TYPE_RGB_ALPHA},
        {"palette 1000x600", "palette.png", 1000, 600, PNG_COLOR_TYPE_PALETTE},
    };
    printf("bench_load: median of %d runs; MipChainAveraged, AlphaFromFile, GL_REPEAT, GL_NEAREST\n", Runs);
    int status = 0;
    for (const auto &f : files) {
        char path[256];
        snprintf(path, sizeof path, "%s/%s", folder, f.name);
        if (!WritePng(path, f.width, f.height, f.colorType)) {
            fprintf(stderr, "bench_load: could not write %s\n", path);
            status = 1;
            continue;
        }
        Bench(f.label, path);
        remove(path);
    }
    rmdir(folder);
    return status;
}
