// Loading PNG files into textures: colour types and depths, ancillary chunks, gamma, the upload
// paths, the GL probes and every way a load can fail.
#include <gtest/gtest.h>

#include <png.h>
#include <zlib.h>

#include <math.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>

#include "tests/test_files.h"
#include "tests/texload_support.h"
#include "texload/png_check.h"

namespace {

const GLint PackBefore = 2, UnpackBefore = 8;

class PngLoad : public testing::Test {
protected:
    void SetUp() override
    {
        saved = texLoader;
        unsetenv("VIEWING_GAMMA");
        texLoader.DisplayGamma = 2.2;
        glPixelStorei(GL_PACK_ALIGNMENT, PackBefore);
        glPixelStorei(GL_UNPACK_ALIGNMENT, UnpackBefore);
    }
    void TearDown() override
    {
        GLint pack = 0, unpack = 0;
        glGetIntegerv(GL_PACK_ALIGNMENT, &pack);
        glGetIntegerv(GL_UNPACK_ALIGNMENT, &unpack);
        EXPECT_EQ(pack, PackBefore) << "pack alignment restored";
        EXPECT_EQ(unpack, UnpackBefore) << "unpack alignment restored";
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        DeleteTestTextures();
        while (glGetError() != GL_NO_ERROR) {
        }
        char *extensions = texLoader.ExtensionString; // a copy made during the test stays the one
        texLoader = saved;
        if (!texLoader.ExtensionString)
            texLoader.ExtensionString = extensions;
        unsetenv("VIEWING_GAMMA");
    }
    TexLoaderState saved;
};

// A w × h picture of one colour type; samples count up through the depth's range.
TestPng Picture(int colorType, int bitDepth, int w = 3, int h = 2)
{
    TestPng png;
    png.width = w;
    png.height = h;
    png.colorType = colorType;
    png.bitDepth = bitDepth;
    const int channels = colorType == 0 || colorType == 3 ? 1 : colorType == 4 ? 2 : colorType == 2 ? 3 : 4;
    int levels = 1 << (bitDepth == 16 ? 8 : bitDepth);
    if (colorType == 3) {
        levels = levels > 16 ? 16 : levels;
        for (int i = 0; i < levels; ++i)
            png.palette.insert(png.palette.end(), {(unsigned char)(i * 10), (unsigned char)(255 - i * 10), (unsigned char)(i * 3)});
    }
    for (int i = 0; i < w * h * channels; ++i) {
        const int value = (i * 5 + 1) % levels;
        png.samples.push_back(bitDepth == 16 ? value * 257 : value);
    }
    return png;
}

// What the loader should upload for Picture(): 8-bit samples, grey widened, palettes expanded,
// alpha kept only for colour types 4 and 6, columns fitted 3 → 4 as 0, 0, 1, 2.
Bytes Expected(const TestPng &png, bool keepAlpha)
{
    const int channels = png.colorType == 0 || png.colorType == 3 ? 1 : png.colorType == 4 ? 2 : png.colorType == 2 ? 3 : 4;
    const bool alpha = keepAlpha && (png.colorType & 4);
    const int maxValue = png.bitDepth == 16 ? 65535 : (1 << png.bitDepth) - 1;
    const int columns[4] = {0, 0, 1, 2};
    Bytes out;
    for (int y = 0; y < png.height; ++y) {
        for (int x : columns) {
            const int *s = &png.samples[size_t(y * png.width + x) * channels];
            unsigned char rgba[4];
            if (png.colorType == 3) {
                memcpy(rgba, &png.palette[size_t(s[0]) * 3], 3);
            } else {
                for (int c = 0; c < channels; ++c)
                    rgba[c] = (unsigned char)(s[c] * 255 / maxValue);
                if (png.colorType == 0 || png.colorType == 4) {
                    rgba[3] = rgba[1];
                    rgba[1] = rgba[2] = rgba[0];
                }
            }
            out.insert(out.end(), rgba, rgba + (alpha ? 4 : 3));
        }
    }
    return out;
}

TEST_F(PngLoad, EveryColourTypeAndDepthInterlacedOrNot)
{
    const int cases[][2] = {{0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {2, 8}, {2, 16}, {3, 1},
                            {3, 2}, {3, 4}, {3, 8}, {4, 8}, {4, 16}, {6, 8}, {6, 16}};
    for (const auto &c : cases) {
        for (bool interlaced : {false, true}) {
            TestPng png = Picture(c[0], c[1]);
            png.interlaced = interlaced;
            SCOPED_TRACE(testing::Message() << "colour type " << c[0] << ", depth " << c[1] << (interlaced ? ", interlaced" : ""));
            TextureInfo info = {0, 0, 0, -1};
            ASSERT_EQ(LoadBytes(EncodePng(png), 0, AlphaFromFile, &info), 1);
            const bool alpha = c[0] & 4;
            EXPECT_EQ(info.imageWidth, 3u);
            EXPECT_EQ(info.imageHeight, 2u);
            EXPECT_EQ(info.bitDepth, c[1]);
            EXPECT_EQ(info.alphaBits, alpha ? 8 : 0);
            Level level = ReadLevel(0, alpha ? GL_RGBA : GL_RGB);
            EXPECT_EQ(level.width, 4);
            EXPECT_EQ(level.height, 2);
            EXPECT_EQ(level.pixels, Expected(png, true));
            if (alpha) {
                GLint alphaSize = 0;
                glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_ALPHA_SIZE, &alphaSize);
                EXPECT_GT(alphaSize, 0);
            }
        }
    }
}

TEST_F(PngLoad, AlphaModesChooseTheUpload)
{
    const Bytes rgba = EncodePng(Picture(6, 8));
    TextureInfo info = {0, 0, 0, -1};
    ASSERT_EQ(LoadBytes(rgba, 0, AlphaNone, &info), 1);
    EXPECT_EQ(info.alphaBits, 0);
    EXPECT_EQ(ReadLevel(0, GL_RGB).pixels, Expected(Picture(6, 8), false));
    GLint alphaSize = -1;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_ALPHA_SIZE, &alphaSize);
    EXPECT_EQ(alphaSize, 0) << "three components uploaded";

    // A derived mode ignores the file's alpha.
    ASSERT_EQ(LoadBytes(rgba, 0, AlphaSum, &info), 1);
    EXPECT_EQ(info.alphaBits, 8);
    const Bytes rgb = Expected(Picture(6, 8), false);
    const Bytes got = ReadLevel(0, GL_RGBA).pixels;
    ASSERT_EQ(got.size(), rgb.size() / 3 * 4);
    for (size_t i = 0; i < rgb.size() / 3; ++i) {
        const int sum = rgb[3 * i] + rgb[3 * i + 1] + rgb[3 * i + 2];
        EXPECT_EQ(got[4 * i + 3], sum > 255 ? 255 : sum) << "pixel " << i;
    }

    // Grey 128 under AlphaSumThird, no gamma in effect.
    TestPng grey = Picture(0, 8, 2, 2);
    grey.samples.assign(4, 128);
    ASSERT_EQ(LoadBytes(EncodePng(grey), 0, AlphaSumThird, &info), 1);
    EXPECT_EQ(ReadLevel(0, GL_RGBA).pixels, Bytes(16, 128));

    // A palette image under the callback: fully opaque RGBA.
    ASSERT_EQ(LoadBytes(EncodePng(Picture(3, 4)), 0, AlphaCallback, &info), 1);
    const Bytes opaque = ReadLevel(0, GL_RGBA).pixels;
    for (size_t i = 3; i < opaque.size(); i += 4)
        EXPECT_EQ(opaque[i], 255);

    EXPECT_EQ(LoadBytes(rgba, 0, 8, &info), 0) << "no such alpha mode";
    EXPECT_EQ(LoadBytes(rgba, -3, AlphaNone, &info), 0) << "no such mipmap mode";
}

TEST_F(PngLoad, MipmapModes)
{
    TestPng wide = Picture(2, 8, 256, 64);
    ASSERT_EQ(LoadBytes(EncodePng(wide), MipChainAveraged, AlphaFromFile), 1);
    EXPECT_EQ(ReadLevel(7, GL_RGB).width, 2);
    EXPECT_EQ(ReadLevel(8, GL_RGB).width, 1);
    EXPECT_EQ(ReadLevel(9, GL_RGB).width, 0);

    TestPng square = Picture(0, 8, 2, 2);
    square.samples = {10, 20, 31, 40};
    ASSERT_EQ(LoadBytes(EncodePng(square), MipChainPicked, AlphaFromFile), 1);
    EXPECT_EQ(ReadLevel(1, GL_RGB).pixels, Bytes({10, 10, 10}));
    ASSERT_EQ(LoadBytes(EncodePng(square), MipChainAveraged, AlphaFromFile), 1);
    EXPECT_EQ(ReadLevel(1, GL_RGB).pixels, Bytes({25, 25, 25}));

    ASSERT_EQ(LoadBytes(EncodePng(Picture(0, 8, 1, 1)), MipChainAveraged, AlphaFromFile), 1);
    EXPECT_EQ(ReadLevel(1, GL_RGB).width, 0);

    ASSERT_EQ(LoadBytes(EncodePng(square), 2, AlphaFromFile), 1) << "a single level by number";
    EXPECT_EQ(ReadLevel(0, GL_RGB).width, 0);
    EXPECT_EQ(ReadLevel(2, GL_RGB).pixels, Bytes({10, 10, 10, 20, 20, 20, 31, 31, 31, 40, 40, 40}));
}

TEST_F(PngLoad, FitsToPowersOfTwoWithinTheMaximum)
{
    TextureInfo info = {};
    ASSERT_EQ(LoadBytes(EncodePng(Picture(2, 8, 100, 60)), 0, AlphaNone, &info), 1);
    EXPECT_EQ(ReadLevel(0, GL_RGB).width, 128);
    EXPECT_EQ(ReadLevel(0, GL_RGB).height, 64);
    EXPECT_EQ(info.imageWidth, 100u);
    EXPECT_EQ(info.imageHeight, 60u);
    EXPECT_EQ(info.bitDepth, 8);
    EXPECT_EQ(info.alphaBits, 0);

    texLoader.MaxTextureSize = 256;
    ASSERT_EQ(LoadBytes(EncodePng(Picture(0, 8, 300, 300)), 0, AlphaNone), 1);
    EXPECT_EQ(ReadLevel(0, GL_RGB).width, 256);
    EXPECT_EQ(ReadLevel(0, GL_RGB).height, 256);
}

// Grey 128 loaded with whatever gamma is in effect; the texel's value.
int GreyAfterGamma(double fileGamma, bool sRGB = false, bool iCCP = false)
{
    TestPng grey = Picture(0, 8, 1, 1);
    grey.samples = {128};
    grey.gamma = fileGamma;
    grey.sRGB = sRGB;
    grey.iCCP = iCCP;
    if (LoadBytes(EncodePng(grey), 0, AlphaNone) != 1)
        return -1;
    return ReadLevel(0, GL_RGB).pixels.at(0);
}

TEST_F(PngLoad, GammaFromTheFileAndViewingGamma)
{
    EXPECT_EQ(GreyAfterGamma(0), 128) << "no gAMA, no VIEWING_GAMMA: unchanged";
    EXPECT_EQ(GreyAfterGamma(0, true, true), 128) << "sRGB and iCCP are not read";
    EXPECT_EQ(GreyAfterGamma(1 / 2.2), 128);
    const int linear = int(lround(255 * pow(128 / 255.0, 1 / 2.2)));
    EXPECT_NEAR(GreyAfterGamma(1.0), linear, 1) << "a linear file brightens";
    EXPECT_NEAR(GreyAfterGamma(1.0, true), linear, 1) << "sRGB beside gAMA changes nothing";

    setenv("VIEWING_GAMMA", "2.2", 1);
    EXPECT_NEAR(GreyAfterGamma(0), int(lround(255 * pow(128 / 255.0, 2.2))), 1);
    EXPECT_DOUBLE_EQ(texLoader.DisplayGamma, 1.0);
    setenv("VIEWING_GAMMA", "1.0", 1);
    EXPECT_EQ(GreyAfterGamma(0), 128);
    EXPECT_DOUBLE_EQ(texLoader.DisplayGamma, 2.2);

    // Values that are no gamma keep the display gamma at 2.2 and the image loads.
    for (const char *bad : {"abc", "", "0", "-1", "0.001", "1e300", "nan", "inf"}) {
        setenv("VIEWING_GAMMA", "2.2", 1);
        ApplyViewingGamma();
        setenv("VIEWING_GAMMA", bad, 1);
        EXPECT_EQ(GreyAfterGamma(0), 128) << "VIEWING_GAMMA=" << bad;
        EXPECT_DOUBLE_EQ(texLoader.DisplayGamma, 2.2) << "VIEWING_GAMMA=" << bad;
    }
}

TEST_F(PngLoad, AViewingGammaNotReadWholeIsSaidOnceWithWhatWasUsed)
{
    texLoader.GammaTextSaid[0] = '\0';
    struct Case { const char *text; double display; const char *line; };
    const Case cases[] = {
        {"2.2abc", 1.0, "kelvo: VIEWING_GAMMA=2.2abc: read as 2.2, \"abc\" after it ignored; images are corrected for a "
                        "display gamma of 1\n"},
        {"1,5", 2.2, "kelvo: VIEWING_GAMMA=1,5: read as 1, \",5\" after it ignored; images are corrected for a display "
                     "gamma of 2.2\n"},
        {"abc", 2.2, "kelvo: VIEWING_GAMMA=abc: not a viewing gamma from 0.1 to 10; images are corrected for a display "
                     "gamma of 2.2\n"},
        {"2.2", 1.0, ""},
        {" 1.1 ", 2.0, ""},
    };
    for (const Case &c : cases) {
        setenv("VIEWING_GAMMA", c.text, 1);
        testing::internal::CaptureStderr();
        GreyAfterGamma(0);
        GreyAfterGamma(0);  // a second load says nothing more
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.line) << c.text;
        EXPECT_DOUBLE_EQ(texLoader.DisplayGamma, c.display) << c.text;
    }
}

TEST_F(PngLoad, LibpngWarningsNameTheImage)
{
    // A zTXt chunk that inflates past the bound on one chunk: libpng warns and skips it.
    Bytes letters(2 << 20, 'a'), deflated(compressBound(uLong(letters.size())));
    uLongf deflatedSize = uLongf(deflated.size());
    ASSERT_EQ(compress2(deflated.data(), &deflatedSize, letters.data(), uLong(letters.size()), 9), Z_OK);
    Bytes text = {'b', 'i', 'g', 0, 0};
    text.insert(text.end(), deflated.begin(), deflated.begin() + long(deflatedSize));
    const Bytes picture = EncodePng(Picture(2, 8, 4, 4));
    Bytes file(picture.begin(), picture.begin() + 33);
    AppendChunk(file, "zTXt", text);
    file.insert(file.end(), picture.begin() + 33, picture.end());
    const std::string path = WriteTempFile("warned.png", file);
    testing::internal::CaptureStderr();
    EXPECT_NE(BindPngTexture(path.c_str(), 0, AlphaNone, NULL, GL_REPEAT, GL_NEAREST, GL_NEAREST), 0u);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(said.rfind("libpng warning: " + path + ": zTXt", 0), 0u) << said;
}

TEST_F(PngLoad, AncillaryChunksOtherThanGammaAreIgnored)
{
    TestPng palette = Picture(3, 8);
    palette.trns = {0, 0, 0, 0};
    palette.zTXt = true;
    TextureInfo info = {0, 0, 0, -1};
    ASSERT_EQ(LoadBytes(EncodePng(palette), 0, AlphaFromFile, &info), 1);
    EXPECT_EQ(info.alphaBits, 0) << "tRNS adds no alpha";
    EXPECT_EQ(ReadLevel(0, GL_RGB).pixels, Expected(palette, false));
}

struct ColorTableCall {
    int calls;
    GLenum target, internalFormat, format, type;
    GLsizei width;
    Bytes table;
} colorTable;

void APIENTRY RecordColorTable(GLenum target, GLenum internalFormat, GLsizei width, GLenum format, GLenum type,
                               const GLvoid *table)
{
    colorTable.calls++;
    colorTable.target = target;
    colorTable.internalFormat = internalFormat;
    colorTable.width = width;
    colorTable.format = format;
    colorTable.type = type;
    colorTable.table.assign((const unsigned char *)table, (const unsigned char *)table + 3 * width);
}

TEST_F(PngLoad, PaletteAsColourIndicesWhereTheGLOffersThem)
{
    texLoader.PalettedSupport = 1;
    texLoader.ColorTableProc = RecordColorTable;
    colorTable = ColorTableCall();

    const TestPng sixteen = Picture(3, 8);
    TextureInfo info = {0, 0, 0, -1};
    EXPECT_EQ(LoadBytes(EncodePng(sixteen), 0, AlphaNone, &info), 1);
    EXPECT_EQ(info.alphaBits, 0);
    ASSERT_EQ(colorTable.calls, 1);
    EXPECT_EQ(colorTable.target, GLenum(GL_TEXTURE_2D));
    EXPECT_EQ(colorTable.internalFormat, GLenum(GL_RGB8));
    EXPECT_EQ(colorTable.width, 16);
    EXPECT_EQ(colorTable.format, GLenum(GL_RGB));
    EXPECT_EQ(colorTable.type, GLenum(GL_UNSIGNED_BYTE));
    EXPECT_EQ(colorTable.table, sixteen.palette);

    TestPng two = Picture(3, 1); // two entries, one bit per index
    EXPECT_EQ(LoadBytes(EncodePng(two), 0, AlphaNone), 1);
    EXPECT_EQ(colorTable.width, 2);

    TestPng seventeen = Picture(3, 8);
    seventeen.palette.insert(seventeen.palette.end(), {1, 2, 3});
    EXPECT_EQ(LoadBytes(EncodePng(seventeen), 0, AlphaNone, &info), 0) << "no index format for 17 entries";
    EXPECT_EQ(colorTable.calls, 2);

    // A chain, or alpha wanted, expands the palette instead.
    ASSERT_EQ(LoadBytes(EncodePng(sixteen), MipChainAveraged, AlphaNone), 1);
    EXPECT_EQ(ReadLevel(0, GL_RGB).pixels, Expected(sixteen, false));
    EXPECT_EQ(colorTable.calls, 2);
}

TEST_F(PngLoad, ProbesTheGLOnce)
{
    texLoader.PalettedSupport = -1;
    texLoader.ColorTableProc = NULL;
    texLoader.MaxTextureSize = 0;
    ASSERT_EQ(LoadBytes(EncodePng(Picture(3, 8)), 0, AlphaNone), 1);
    GLint max = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max);
    EXPECT_EQ(texLoader.MaxTextureSize, max);
    EXPECT_EQ(texLoader.PalettedSupport, HasGLExtension("GL_EXT_paletted_texture") ? 1 : 0);
}

TEST_F(PngLoad, HasGLExtensionMatchesWholeNames)
{
    char *real = texLoader.ExtensionString;
    texLoader.ExtensionString = NULL;
    EXPECT_EQ(HasGLExtension("GL_ARB_multitexture"), 1) << "from the context itself";
    EXPECT_EQ(HasGLExtension("GL_ARB_multi"), 0);
    free(texLoader.ExtensionString);

    const struct {
        const char *list;
        int found;
    } lists[] = {
        {"GL_A GL_EXT_paletted_texture GL_B", 1},
        {"GL_A GL_EXT_paletted_texture", 1},
        {"GL_EXT_paletted_texture", 1},
        {"GL_EXT_paletted_texture_x GL_B", 0},
        {"GL_X_GL_EXT_paletted_texture GL_B", 0},
        {"GL_EXT_paletted_texture_x GL_EXT_paletted_texture", 1},
        {"", 0},
    };
    for (const auto &l : lists) {
        texLoader.ExtensionString = strdup(l.list);
        EXPECT_EQ(HasGLExtension("GL_EXT_paletted_texture"), l.found) << '"' << l.list << '"';
        free(texLoader.ExtensionString);
    }
    texLoader.ExtensionString = real;
    EXPECT_EQ(HasGLExtension(""), 0);
}

// The texture that BindPngTexture left bound, and whether it has the demo's parameters.
void ExpectBoundWithParameters(GLuint name)
{
    GLint bound = 0, value = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(GLuint(bound), name);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &value);
    EXPECT_EQ(value, GL_CLAMP_TO_EDGE);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &value);
    EXPECT_EQ(value, GL_CLAMP_TO_EDGE);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &value);
    EXPECT_EQ(value, GL_LINEAR_MIPMAP_NEAREST);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &value);
    EXPECT_EQ(value, GL_NEAREST);
}

TEST_F(PngLoad, BindPngTextureFromAFile)
{
    const std::string good = WriteTempFile("kelvo_good.png", EncodePng(Picture(2, 8, 4, 4)));
    TextureInfo info = {};
    const GLuint name = BindPngTexture(good.c_str(), MipChainAveraged, AlphaFromFile, &info, GL_CLAMP_TO_EDGE,
                                       GL_LINEAR_MIPMAP_NEAREST, GL_NEAREST);
    ASSERT_NE(name, 0u);
    ExpectBoundWithParameters(name);
    EXPECT_EQ(ReadLevel(2, GL_RGB).width, 1);

    GLint before = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &before);
    EXPECT_EQ(BindPngTexture("no/such/file.png", MipChainAveraged, AlphaFromFile, &info, GL_CLAMP_TO_EDGE,
                             GL_LINEAR_MIPMAP_NEAREST, GL_NEAREST),
              0u);
    GLint after = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &after);
    EXPECT_NE(after, before) << "a new texture object is made and bound all the same";
    ExpectBoundWithParameters(GLuint(after));
    EXPECT_EQ(ReadLevel(0, GL_RGB).width, 0);

    const std::string text = WriteTempFile("kelvo_text.png", Bytes(100, 'x'));
    EXPECT_EQ(BindPngTexture(text.c_str(), 0, AlphaNone, NULL, GL_CLAMP_TO_EDGE, GL_LINEAR_MIPMAP_NEAREST, GL_NEAREST), 0u);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &after);
    ExpectBoundWithParameters(GLuint(after));

    GLuint names[3] = {name, GLuint(before), GLuint(after)};
    glDeleteTextures(3, names);
    remove(good.c_str());
    remove(text.c_str());
}

// The file with the byte at offset changed.
TEST_F(PngLoad, APipeInPlaceOfAFileIsRefusedWithoutWaiting)
{
    const std::string path = "/tmp/kelvo_pipe_" + std::to_string(getpid()) + ".png";
    StuckPipe pipe(path, 5);
    ASSERT_TRUE(pipe.made());
    EXPECT_EQ(BindPngTexture(path.c_str(), 0, AlphaNone, NULL, GL_CLAMP_TO_EDGE, GL_LINEAR_MIPMAP_NEAREST, GL_NEAREST),
              0u);
    char reason[256] = "";
    DescribePngProblem(path.c_str(), reason, sizeof reason);
    EXPECT_STREQ(reason, "a pipe, not a file");
    EXPECT_FALSE(pipe.released()) << "the loader waited for a writer";
}

Bytes Damaged(Bytes file, size_t offset, unsigned char value)
{
    file[offset] = value;
    return file;
}

TEST_F(PngLoad, DamagedFilesFailAndKeepWhatWasLearnt)
{
    const Bytes good = EncodePng(Picture(2, 8, 8, 8));
    const TextureInfo untouched = {7, 7, 7, 7};
    TextureInfo info = untouched;

    EXPECT_EQ(LoadBytes(Bytes(good.begin(), good.begin() + 7), 0, AlphaNone, &info), 0) << "short";
    EXPECT_EQ(LoadBytes(Damaged(good, 0, 0x88), 0, AlphaNone, &info), 0) << "signature";
    EXPECT_EQ(memcmp(&info, &untouched, sizeof info), 0);

    // IHDR with colour type 1 and a correct CRC.
    Bytes badType(good.begin(), good.begin() + 8);
    AppendChunk(badType, "IHDR", Bytes({0, 0, 0, 8, 0, 0, 0, 8, 8, 1, 0, 0, 0}));
    badType.insert(badType.end(), good.begin() + 33, good.end());
    EXPECT_EQ(LoadBytes(badType, 0, AlphaNone, &info), 0) << "colour type";

    const size_t idat = 33; // signature and IHDR come first; the writer puts IDAT right after
    ASSERT_EQ(memcmp(&good[idat + 4], "IDAT", 4), 0);
    info = untouched;
    EXPECT_EQ(LoadBytes(Bytes(good.begin(), good.begin() + idat + 20), 0, AlphaNone, &info), 0) << "truncated";
    EXPECT_EQ(info.imageWidth, 8u);
    EXPECT_EQ(info.imageHeight, 8u);
    EXPECT_EQ(info.bitDepth, 8);
    EXPECT_EQ(info.alphaBits, 7) << "the upload path was never chosen";
    EXPECT_EQ(LoadBytes(Damaged(good, good.size() - 16, good[good.size() - 16] ^ 1), 0, AlphaNone), 0) << "CRC";
    EXPECT_EQ(ReadLevel(0, GL_RGB).width, 0);

    // An unknown critical chunk after the image data fails in png_read_end, after the upload.
    Bytes late = WithoutIend(good);
    AppendChunk(late, "ABCD", Bytes({1, 2, 3}));
    AppendChunk(late, "IEND", Bytes());
    EXPECT_EQ(LoadBytes(late, 0, AlphaNone), 0);
    EXPECT_EQ(ReadLevel(0, GL_RGB).width, 8) << "the texture keeps the picture";
    // An unknown ancillary one is skipped.
    Bytes ancillary = WithoutIend(good);
    AppendChunk(ancillary, "abCD", Bytes({1, 2, 3}));
    AppendChunk(ancillary, "IEND", Bytes());
    EXPECT_EQ(LoadBytes(ancillary, 0, AlphaNone), 1);
}

size_t PeakRssKb()
{
    rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    return size_t(usage.ru_maxrss);
}

TEST_F(PngLoad, BombsAreBounded)
{
    // Sides past the bound are refused before anything is allocated for them, and before libpng
    // reads the header, so that it says nothing about them: the demo's own line names the file.
    Bytes huge(EncodePng(Picture(0, 8, 1, 1)));
    for (Bytes size : {Bytes({0, 0, 0x40, 0x01, 0, 0, 0, 1}), Bytes({0, 0, 0, 1, 0, 0, 0x40, 0x01})}) {
        Bytes wide(huge.begin(), huge.begin() + 8);
        size.insert(size.end(), {8, 0, 0, 0, 0});
        AppendChunk(wide, "IHDR", size);
        wide.insert(wide.end(), huge.begin() + 33, huge.end());
        testing::internal::CaptureStderr();
        EXPECT_EQ(LoadBytes(wide, 0, AlphaNone), 0);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        char reason[256] = "";
        DescribePngProblem(WriteTempFile("wide.png", wide).c_str(), reason, sizeof reason);
        EXPECT_NE(std::string(reason).find("too large (libpng: Image "), std::string::npos) << reason;
    }

    // Sides within the bound whose pixels together are not: a valid 16384 x 16384 picture (black,
    // 1 bit a pixel, a few kilobytes) is refused at its header and named; the same budget holds
    // on every build.
    const png_uint_32 side = 16384;
    const size_t rowBytes = 1 + side / 8;
    Bytes raw(rowBytes * side, 0), packed(compressBound(uLong(raw.size())));
    uLongf packedSize = uLongf(packed.size());
    ASSERT_EQ(compress2(packed.data(), &packedSize, raw.data(), uLong(raw.size()), 1), Z_OK);
    Bytes black(huge.begin(), huge.begin() + 8);
    AppendChunk(black, "IHDR", Bytes({0, 0, 0x40, 0, 0, 0, 0x40, 0, 1, 0, 0, 0, 0}));
    AppendChunk(black, "IDAT", Bytes(packed.begin(), packed.begin() + long(packedSize)));
    AppendChunk(black, "IEND", Bytes());
    TextureInfo blackInfo = {};
    EXPECT_EQ(LoadBytes(black, MipChainAveraged, AlphaFromFile, &blackInfo), 0);
    EXPECT_EQ(blackInfo.imageWidth, side) << "the header was read";
    char reason[256] = "";
    DescribePngProblem(WriteTempFile("black16384.png", black).c_str(), reason, sizeof reason);
    EXPECT_STREQ(reason, "too large (16384 x 16384 pixels; at most 16777216 pixels in all, as 4096 x 4096)");
    // At the budget, a picture loads.
    Bytes atBudget(huge.begin(), huge.begin() + 8);
    AppendChunk(atBudget, "IHDR", Bytes({0, 0, 0x40, 0, 0, 0, 4, 0, 1, 0, 0, 0, 0}));  // 16384 x 1024
    Bytes rawRows(rowBytes * 1024, 0), packedRows(compressBound(uLong(rawRows.size())));
    packedSize = uLongf(packedRows.size());
    ASSERT_EQ(compress2(packedRows.data(), &packedSize, rawRows.data(), uLong(rawRows.size()), 1), Z_OK);
    AppendChunk(atBudget, "IDAT", Bytes(packedRows.begin(), packedRows.begin() + long(packedSize)));
    AppendChunk(atBudget, "IEND", Bytes());
    // (From a file: not among the fuzz target's seeds, where its 16 million pixels a try would
    // slow every input grown from it.)
    EXPECT_NE(BindPngTexture(WriteTempFile("budget.png", atBudget).c_str(), 0, AlphaNone, NULL, GL_REPEAT, GL_NEAREST,
                             GL_NEAREST),
              0u);

    // Hundreds of zTXt chunks of 2 MiB each once inflated: only a few are inflated at all, and
    // none past 1 MiB.
    Bytes letters(2 << 20, 'a'), deflated(compressBound(uLong(letters.size())));
    uLongf deflatedSize = uLongf(deflated.size());
    ASSERT_EQ(compress2(deflated.data(), &deflatedSize, letters.data(), uLong(letters.size()), 9), Z_OK);
    Bytes text = {'b', 'o', 'm', 'b', 0, 0};
    text.insert(text.end(), deflated.begin(), deflated.begin() + deflatedSize);
    const Bytes picture = EncodePng(Picture(2, 8, 4, 4));
    Bytes bomb(picture.begin(), picture.begin() + 33);
    for (int i = 0; i < 400; ++i)
        AppendChunk(bomb, "zTXt", text);
    bomb.insert(bomb.end(), picture.begin() + 33, picture.end());

    const size_t peakBefore = PeakRssKb();
    EXPECT_EQ(LoadBytes(bomb, 0, AlphaNone), 1) << "the picture itself is fine";
    EXPECT_LT(PeakRssKb() - peakBefore, size_t(200 * 1024)) << "peak memory grew by more than 200 MB";
}

} // namespace
