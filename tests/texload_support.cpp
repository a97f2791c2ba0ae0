// Test support for the texture loader.
#include "tests/texload_support.h"

#include <gtest/gtest.h>

#include <png.h>
#include <zlib.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

std::vector<GLuint> madeTextures;

LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);
}

// One small window and GL context made through the Win32 layer, current for every test.
class GlContext : public testing::Environment {
public:
    void SetUp() override
    {
        WNDCLASSA windowClass = {};
        windowClass.style = CS_OWNDC;
        windowClass.lpfnWndProc = TestWindowProc;
        windowClass.hInstance = GetModuleHandleA(NULL);
        windowClass.lpszClassName = "TexloadTest";
        ASSERT_TRUE(RegisterClassA(&windowClass));
        window = CreateWindowExA(0, "TexloadTest", "texload", WS_OVERLAPPEDWINDOW, 0, 0, 64, 64, NULL, NULL,
                                 windowClass.hInstance, NULL);
        ASSERT_TRUE(window);
        dc = GetDC(window);
        PIXELFORMATDESCRIPTOR format = {};
        format.nSize = sizeof(format);
        format.nVersion = 1;
        format.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
        format.iPixelType = PFD_TYPE_RGBA;
        format.cColorBits = 32;
        ASSERT_TRUE(SetPixelFormat(dc, ChoosePixelFormat(dc, &format), &format));
        context = wglCreateContext(dc);
        ASSERT_TRUE(context);
        ASSERT_TRUE(wglMakeCurrent(dc, context));
    }
    void TearDown() override
    {
        DeleteTestTextures();
        wglMakeCurrent(NULL, NULL);
        wglDeleteContext(context);
        ReleaseDC(window, dc);
        DestroyWindow(window);
        UnregisterClassA("TexloadTest", GetModuleHandleA(NULL));
    }

private:
    HWND window = NULL;
    HDC dc = NULL;
    HGLRC context = NULL;
};

testing::Environment *const glContext = testing::AddGlobalTestEnvironment(new GlContext);

void WriteToBytes(png_structp png, png_bytep data, png_size_t length)
{
    Bytes *out = static_cast<Bytes *>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void FlushNothing(png_structp) {}

int ChannelsOf(int colorType)
{
    switch (colorType) {
    case 0: case 3: return 1;
    case 4: return 2;
    case 2: return 3;
    default: return 4;
    }
}

} // namespace

void AppendChunk(Bytes &file, const char *type, const Bytes &data)
{
    const unsigned length = unsigned(data.size());
    const unsigned char header[8] = {(unsigned char)(length >> 24), (unsigned char)(length >> 16),
                                     (unsigned char)(length >> 8), (unsigned char)length,
                                     (unsigned char)type[0], (unsigned char)type[1],
                                     (unsigned char)type[2], (unsigned char)type[3]};
    file.insert(file.end(), header, header + 8);
    file.insert(file.end(), data.begin(), data.end());
    uLong crc = crc32(0, header + 4, 4);
    if (!data.empty()) // zlib answers 0 for no buffer at all
        crc = crc32(crc, data.data(), uInt(data.size()));
    const unsigned char tail[4] = {(unsigned char)(crc >> 24), (unsigned char)(crc >> 16), (unsigned char)(crc >> 8),
                                   (unsigned char)crc};
    file.insert(file.end(), tail, tail + 4);
}

Bytes WithoutIend(const Bytes &file)
{
    return Bytes(file.begin(), file.end() - 12);
}

Bytes EncodePng(const TestPng &layout)
{
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, NULL, NULL, NULL);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        ADD_FAILURE() << "the test PNG could not be written";
        return Bytes();
    }
    png_set_write_fn(png, &out, WriteToBytes, FlushNothing);
    png_set_IHDR(png, info, png_uint_32(layout.width), png_uint_32(layout.height), layout.bitDepth, layout.colorType,
                 layout.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!layout.palette.empty())
        png_set_PLTE(png, info, (png_const_colorp)layout.palette.data(), int(layout.palette.size() / 3));
    if (!layout.trns.empty())
        png_set_tRNS(png, info, layout.trns.data(), int(layout.trns.size()), NULL);
    if (layout.gamma > 0)
        png_set_gAMA(png, info, layout.gamma);
    if (layout.zTXt) {
        png_text text = {};
        text.compression = PNG_TEXT_COMPRESSION_zTXt;
        text.key = (png_charp) "Comment";
        text.text = (png_charp) "written by the loader's tests";
        text.text_length = strlen(text.text);
        png_set_text(png, info, &text, 1);
    }
    png_write_info(png, info);
    // Written raw: libpng would check them against gAMA, and the loader never looks inside.
    if (layout.sRGB) {
        const png_byte intent = 0;
        png_write_chunk(png, (png_const_bytep) "sRGB", &intent, 1);
    }
    if (layout.iCCP) {
        const png_byte profile[] = {'t', 'e', 's', 't', 0, 0, 0x78, 0x9c, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01};
        png_write_chunk(png, (png_const_bytep) "iCCP", profile, sizeof profile);
    }

    const int channels = ChannelsOf(layout.colorType);
    const size_t rowBytes = (size_t(layout.width) * channels * layout.bitDepth + 7) / 8;
    Bytes image(rowBytes * layout.height, 0);
    for (int y = 0; y < layout.height; ++y) {
        for (int s = 0; s < layout.width * channels; ++s) {
            const unsigned value = unsigned(layout.samples[size_t(y) * layout.width * channels + s]);
            unsigned char *row = image.data() + y * rowBytes;
            if (layout.bitDepth == 16) {
                row[2 * s] = (unsigned char)(value >> 8);
                row[2 * s + 1] = (unsigned char)value;
            } else if (layout.bitDepth == 8) {
                row[s] = (unsigned char)value;
            } else {
                const int bit = s * layout.bitDepth;
                row[bit / 8] |= (unsigned char)(value << (8 - layout.bitDepth - bit % 8));
            }
        }
    }
    std::vector<png_bytep> rows(layout.height);
    for (int y = 0; y < layout.height; ++y)
        rows[y] = image.data() + y * rowBytes;
    png_write_image(png, rows.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

// With KELVO_SEED_DIR set, every file a test loads is also written there: the fuzz target's
// seed corpus.
void SaveSeed(const Bytes &file)
{
    static int count = 0;
    const char *folder = getenv("KELVO_SEED_DIR");
    if (!folder)
        return;
    char path[4096];
    snprintf(path, sizeof path, "%s/seed%04d.png", folder, count++);
    FILE *out = fopen(path, "wb");
    if (out) {
        fwrite(file.data(), 1, file.size(), out);
        fclose(out);
    }
}

int LoadBytes(const Bytes &file, int mipmapMode, int alphaMode, TextureInfo *info)
{
    SaveSeed(file);
    madeTextures.push_back(CreateTextureObject(GL_REPEAT, GL_NEAREST, GL_NEAREST));
    FILE *stream = fmemopen((void *)file.data(), file.size(), "rb");
    if (!stream) {
        ADD_FAILURE() << "fmemopen failed";
        return -1;
    }
    const int result = LoadPngStream(stream, mipmapMode, alphaMode, info);
    fclose(stream);
    return result;
}

Level ReadLevel(int level, GLenum format)
{
    Level out;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &out.width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, &out.height);
    if (out.width == 0 || out.height == 0) {
        out.width = out.height = 0;
        return out;
    }
    GLint pack = 4;
    glGetIntegerv(GL_PACK_ALIGNMENT, &pack);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    out.pixels.assign(size_t(out.width) * out.height * (format == GL_RGBA ? 4 : 3), 0);
    glGetTexImage(GL_TEXTURE_2D, level, format, GL_UNSIGNED_BYTE, out.pixels.data());
    glPixelStorei(GL_PACK_ALIGNMENT, pack);
    return out;
}

void DeleteTestTextures()
{
    if (!madeTextures.empty())
        glDeleteTextures(GLsizei(madeTextures.size()), madeTextures.data());
    madeTextures.clear();
}

std::string WriteTempFile(const char *name, const Bytes &bytes)
{
    std::string path = std::string(testing::TempDir()) + name;
    FILE *file = fopen(path.c_str(), "wb");
    if (!file || fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size())
        ADD_FAILURE() << "could not write " << path;
    if (file)
        fclose(file);
    return path;
}
