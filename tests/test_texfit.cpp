// Fitting to power-of-two sides, nearest-neighbour resampling, halving and mipmap chains.
#include <gtest/gtest.h>

#include "tests/texload_support.h"

namespace {

TEST(FitTextureSize, NextPowerOfTwoCappedAtTheMaximum)
{
    const GLint saved = texLoader.MaxTextureSize;
    texLoader.MaxTextureSize = 1024;
    EXPECT_EQ(FitTextureSize(-5), 1);
    EXPECT_EQ(FitTextureSize(0), 1);
    EXPECT_EQ(FitTextureSize(1), 1);
    EXPECT_EQ(FitTextureSize(3), 4);
    EXPECT_EQ(FitTextureSize(64), 64);
    EXPECT_EQ(FitTextureSize(600), 1024);
    EXPECT_EQ(FitTextureSize(800), 1024);
    EXPECT_EQ(FitTextureSize(1024), 1024);
    EXPECT_EQ(FitTextureSize(1025), 1024);
    texLoader.MaxTextureSize = 1 << 30;
    EXPECT_EQ(FitTextureSize((1 << 23) + 1), 1 << 30);
    texLoader.MaxTextureSize = saved;
}

// Column j of the destination row takes source column at[j]; one byte per pixel holds its index.
void ExpectColumns(int srcWidth, int dstWidth, const std::vector<int> &at)
{
    Bytes src(srcWidth), dst(dstWidth, 0xEE);
    for (int i = 0; i < srcWidth; ++i)
        src[i] = (unsigned char)i;
    ResampleNearest(1, src.data(), srcWidth, 1, dst.data(), dstWidth, 1);
    for (size_t j = 0; j < at.size(); ++j)
        EXPECT_EQ(dst[j], at[j]) << srcWidth << " to " << dstWidth << ", column " << j;
}

TEST(ResampleNearest, PicksSourceColumnsAndRows)
{
    ExpectColumns(3, 4, {0, 0, 1, 2});
    ExpectColumns(4, 2, {0, 2});
    ExpectColumns(800, 1024, {0, 0, 1, 2, 3, 3, 4, 5, 6, 7});
    // Whole pixels and rows: a 2 × 3 RGB picture to 4 × 2.
    const Bytes src = {1, 2, 3, 4, 5, 6, 11, 12, 13, 14, 15, 16, 21, 22, 23, 24, 25, 26};
    Bytes dst(4 * 2 * 3, 0);
    ResampleNearest(3, src.data(), 2, 3, dst.data(), 4, 2);
    const Bytes want = {1, 2, 3, 1, 2, 3, 4, 5, 6, 4, 5, 6, 11, 12, 13, 11, 12, 13, 14, 15, 16, 14, 15, 16};
    EXPECT_EQ(dst, want);
    // The last destination column of an odd ratio stays inside the source.
    Bytes wide(1000), out(1024);
    for (int i = 0; i < 1000; ++i)
        wide[i] = (unsigned char)(i % 251);
    ResampleNearest(1, wide.data(), 1000, 1, out.data(), 1024, 1);
    EXPECT_EQ(out[1023], 999 % 251);
    Bytes untouched(4, 7);
    ResampleNearest(1, src.data(), 2, 1, untouched.data(), 0, 4);
    ResampleNearest(1, src.data(), 2, 1, untouched.data(), 4, -1);
    EXPECT_EQ(untouched, Bytes(4, 7));
}

TEST(HalveImage, AveragesOrPicksInPlace)
{
    // 2 × 2 blocks, floor of the mean per byte.
    Bytes block = {255, 1, 255, 2, 255, 0, 254, 0};
    EXPECT_EQ(HalveImage(2, 2, 2, block.data(), block.data(), 1), 1);
    EXPECT_EQ(block[0], 254);
    EXPECT_EQ(block[1], 0);
    // 4 × 2 one byte per pixel, picking: top-left of each block.
    Bytes pick = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(HalveImage(1, 4, 2, pick.data(), pick.data(), 0), 1);
    EXPECT_EQ(pick[0], 1);
    EXPECT_EQ(pick[1], 3);
    // A row and a column halve along their one side.
    Bytes row = {1, 2, 10, 20};
    EXPECT_EQ(HalveImage(1, 4, 1, row.data(), row.data(), 1), 1);
    EXPECT_EQ(row[0], 1);
    EXPECT_EQ(row[1], 15);
    Bytes column = {1, 2, 10, 20};
    EXPECT_EQ(HalveImage(1, 1, 4, column.data(), column.data(), 0), 1);
    EXPECT_EQ(column[0], 1);
    EXPECT_EQ(column[1], 10);
    Bytes single = {9};
    EXPECT_EQ(HalveImage(1, 1, 1, single.data(), single.data(), 1), 0);
    EXPECT_EQ(HalveImage(1, 0, 4, single.data(), single.data(), 1), 0);
    EXPECT_EQ(single[0], 9);
}

class MipChain : public testing::Test {
protected:
    void SetUp() override { CreateTextureObject(GL_REPEAT, GL_NEAREST, GL_NEAREST); }
    void TearDown() override
    {
        GLint name = 0;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &name);
        GLuint texture = GLuint(name);
        glDeleteTextures(1, &texture);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    }
};

TEST_F(MipChain, OneByOneIsLevelZeroOnly)
{
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    const Bytes pixel = {10, 20, 30};
    UploadMipChain(3, 1, 1, GL_RGB, pixel.data(), 1);
    EXPECT_EQ(ReadLevel(0, GL_RGB).pixels, pixel);
    EXPECT_EQ(ReadLevel(1, GL_RGB).width, 0);
}

TEST_F(MipChain, RowAveragedDownToOnePixel)
{
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    const Bytes pixels = {0, 10, 255, 1, 3, 20, 254, 2, 100, 0, 0, 255, 201, 0, 1, 255};
    UploadMipChain(4, 4, 1, GL_RGBA, pixels.data(), 1);
    Level one = ReadLevel(1, GL_RGBA), two = ReadLevel(2, GL_RGBA);
    EXPECT_EQ(one.width, 2);
    EXPECT_EQ(one.pixels, Bytes({1, 15, 254, 1, 150, 0, 0, 255}));
    EXPECT_EQ(two.width, 1);
    EXPECT_EQ(two.pixels, Bytes({75, 7, 127, 128}));
    EXPECT_EQ(ReadLevel(3, GL_RGBA).width, 0);
}

TEST_F(MipChain, ColumnPickedKeepsEveryOtherRow)
{
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    Bytes pixels;
    for (int row = 0; row < 8; ++row)
        pixels.insert(pixels.end(), {(unsigned char)row, (unsigned char)(10 * row), 7});
    UploadMipChain(3, 1, 8, GL_RGB, pixels.data(), 0);
    EXPECT_EQ(ReadLevel(1, GL_RGB).pixels, Bytes({0, 0, 7, 2, 20, 7, 4, 40, 7, 6, 60, 7}));
    EXPECT_EQ(ReadLevel(2, GL_RGB).pixels, Bytes({0, 0, 7, 4, 40, 7}));
    Level last = ReadLevel(3, GL_RGB);
    EXPECT_EQ(last.height, 1);
    EXPECT_EQ(last.pixels, Bytes({0, 0, 7}));
    EXPECT_EQ(ReadLevel(4, GL_RGB).width, 0);
    EXPECT_EQ(pixels[3], 1) << "the caller's pixels stay as they were";
}

TEST_F(MipChain, WideImageGoesDownToOneByOne)
{
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    Bytes pixels(256 * 64 * 3);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = (unsigned char)(i * 7);
    UploadMipChain(3, 256, 64, GL_RGB, pixels.data(), 1);
    const int sizes[9][2] = {{256, 64}, {128, 32}, {64, 16}, {32, 8}, {16, 4}, {8, 2}, {4, 1}, {2, 1}, {1, 1}};
    Bytes expected = pixels;
    int w = 256, h = 64;
    for (int level = 0; level < 9; ++level) {
        Level got = ReadLevel(level, GL_RGB);
        EXPECT_EQ(got.width, sizes[level][0]) << "level " << level;
        EXPECT_EQ(got.height, sizes[level][1]) << "level " << level;
        EXPECT_TRUE(got.pixels == Bytes(expected.begin(), expected.begin() + size_t(w) * h * 3)) << "level " << level;
        HalveImage(3, w, h, expected.data(), expected.data(), 1);
        w = w > 1 ? w / 2 : 1;
        h = h > 1 ? h / 2 : 1;
    }
    EXPECT_EQ(ReadLevel(9, GL_RGB).width, 0);
}

} // namespace
