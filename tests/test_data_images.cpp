// The demo's own images in data/, loaded through the loader with the scene's arguments.
#include <gtest/gtest.h>

#include <windows.h>

#include <GL/gl.h>

#include <algorithm>
#include <math.h>
#include <stdlib.h>
#include <string>
#include <vector>

#include "app/app.h"
#include "platform/linux/test_seam.h"
#include "render/frame.h"
#include "tests/fakes.h"
#include "texload/texload.h"

namespace {

const AppState pristine = appState;

// One image as the scene has it: the load's record and level 0 read back as RGBA.
struct LoadedImage {
    GLuint name;
    TextureInfo info;
    GLint width, height;
    std::vector<unsigned char> rgba;
    int alphaAt(int x, int row) const { return rgba[(size_t(row) * size_t(width) + size_t(x)) * 4 + 3]; }
};

class DataImages : public testing::Test {
protected:
    void SetUp() override
    {
        Seam_Reset();
        appState = pristine;
        ResetFakeMusic();
        renderer = RendererState();
        ASSERT_TRUE(CreateMainWindow("kelvo", 800, 600, 32, false));
    }
    void TearDown() override
    {
        DestroyMainWindow();
        Seam_Reset();
    }

    LoadedImage Load(const char *name)
    {
        LoadedImage image = {};
        const std::string path = std::string(KELVO_DATA) + "/" + name;
        image.name = BindPngTexture(path.c_str(), MipChainAveraged, AlphaFromFile, &image.info, GL_REPEAT, GL_NEAREST,
                                    GL_NEAREST);
        if (image.name == 0)
            return image;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &image.width);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &image.height);
        image.rgba.resize(size_t(image.width) * size_t(image.height) * 4);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, image.rgba.data());
        return image;
    }
};

// How much the picture changes from the 8 columns ending at x to the 8 starting at x + 1
// (wrapping, as the repeat wrap joins the last column to the first): the mean absolute
// difference of their means over the rows from first to last. Means over 8 columns let small
// lights pass and show where a smooth field jumps.
double BlockStep(const LoadedImage &image, int x, int first, int last)
{
    const int block = 8;
    double sum = 0.0;
    for (int row = first; row <= last; row++)
        for (int c = 0; c < 3; c++) {
            int before = 0, after = 0;
            for (int k = 0; k < block; k++) {
                before += image.rgba[(size_t(row) * size_t(image.width) + size_t((x - k + image.width) % image.width)) * 4 + size_t(c)];
                after += image.rgba[(size_t(row) * size_t(image.width) + size_t((x + 1 + k) % image.width)) * 4 + size_t(c)];
            }
            sum += fabs(double(before - after)) / block;
        }
    return sum / double((last - first + 1) * 3);
}

// The step across the wrap is an ordinary one: no more than 1.5 times the median step
// between neighbouring blocks elsewhere in the band.
void ExpectSeamless(const LoadedImage &image, int firstRow, int lastRow)
{
    std::vector<double> steps;
    for (int x = 0; x + 1 < image.width; x++)
        steps.push_back(BlockStep(image, x, firstRow, lastRow));
    std::nth_element(steps.begin(), steps.begin() + long(steps.size() / 2), steps.end());
    double median = steps[steps.size() / 2];
    EXPECT_GT(median, 0.5) << "the band has detail to compare";
    EXPECT_LE(BlockStep(image, image.width - 1, firstRow, lastRow), 1.5 * median);
}

TEST_F(DataImages, EachLoadsAtItsOwnPowerOfTwoSizeWithTheIntendedAlpha)
{
    struct Expected {
        const char *name;
        unsigned width, height;
        int alphaBits;
    };
    for (const Expected &e : {Expected{"bg.png", 1024, 1024, 0}, Expected{"fg.png", 1024, 512, 8},
                              Expected{"kelvo.png", 1024, 512, 8}}) {
        SCOPED_TRACE(e.name);
        LoadedImage image = Load(e.name);
        ASSERT_NE(image.name, 0u);
        EXPECT_EQ(image.info.imageWidth, e.width);
        EXPECT_EQ(image.info.imageHeight, e.height);
        EXPECT_EQ(image.info.bitDepth, 8);
        EXPECT_EQ(image.info.alphaBits, e.alphaBits);
        EXPECT_EQ(image.width, GLint(e.width)) << "uploaded as it is, not resampled";
        EXPECT_EQ(image.height, GLint(e.height));
    }
}

TEST_F(DataImages, OverlaysShowLightOnlyInTheBandTheLayersShow)
{
    // Visible rows of the 512: the foreground at 2.8 units shows 182 to 330, the logo at 2.7
    // shows 184 to 327. Outside a margin around them there is nothing; inside, bright light.
    for (const char *name : {"fg.png", "kelvo.png"}) {
        SCOPED_TRACE(name);
        LoadedImage image = Load(name);
        ASSERT_NE(image.name, 0u);
        ASSERT_EQ(image.height, 512);
        int outside = 0, brightest = 0;
        for (int row = 0; row < image.height; row++)
            for (int x = 0; x < image.width; x++) {
                if (row < 170 || row > 342)
                    outside = std::max(outside, image.alphaAt(x, row));
                else if (row >= 190 && row <= 322)
                    brightest = std::max(brightest, image.alphaAt(x, row));
            }
        EXPECT_EQ(outside, 0);
        EXPECT_GE(brightest, 250);
    }
    // The foreground does not scroll: only columns 116 to 908 ever show.
    LoadedImage fg = Load("fg.png");
    int beside = 0;
    for (int row = 0; row < fg.height; row++)
        for (int x : {0, 50, 99, 925, 980, 1023})
            beside = std::max(beside, fg.alphaAt(x, row));
    EXPECT_EQ(beside, 0);
}

TEST_F(DataImages, ScrollingImagesJoinWithoutASeam)
{
    // The background shows rows 417 to 607 (mirrored, which keeps the band in place); the logo
    // rows 184 to 327.
    LoadedImage bg = Load("bg.png");
    ASSERT_NE(bg.name, 0u);
    ExpectSeamless(bg, 417, 607);
    LoadedImage logo = Load("kelvo.png");
    ASSERT_NE(logo.name, 0u);
    ExpectSeamless(logo, 184, 327);
}

} // namespace
