// The glow pass on pictures with known results: uniform greys, a lone strip, bright borders; its
// counts and weights; and the state it leaves.
#include "tests/render_helpers.h"

#include <cmath>
#include <algorithm>
#include <cstring>

#include "app/app.h"
#include "render/frame.h"
#include "render/glow.h"
#include "tests/fakes.h"

namespace {

class Glow : public RenderTest {};

// Every pixel of the picture, the lower-left scratch quarter and the borders included, lies
// within [low, high] in all three channels.
void ExpectEverywhereBetween(const Picture &picture, int low, int high)
{
    int outside = 0;
    for (unsigned char v : picture.rgb)
        outside += v < low || v > high;
    EXPECT_EQ(outside, 0) << "centre " << picture.at(400, 300).r << ", lower-left " << picture.at(100, 500).r
                          << ", corner " << picture.at(0, 599).r;
}

TEST_F(Glow, UniformGreyBecomesFourTimesItsSquarePlusItself)
{
    // 4g^2 + g, a few levels short where each 8-bit step rounds: 64 ends near 124, 128 (0.5)
    // saturates, black stays black. Clamped edges keep the borders like the middle.
    struct Case {
        int level, low, high;
    };
    for (Case k : {Case{0, 0, 0}, Case{64, 118, 129}, Case{128, 255, 255}, Case{16, 16, 22}}) {
        SCOPED_TRACE(k.level);
        FillGrey(k.level);
        ApplyGlow(2.0f, 1.0f, 4.0f, 1.0f);
        ExpectEverywhereBetween(ReadPicture(), k.low, k.high);
    }
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

// Black with a grey strip of 16 columns from x = 400.
void DrawStrip(int level)
{
    FillGrey(0);
    glEnable(GL_SCISSOR_TEST);
    glScissor(400, 0, 16, 600);
    FillGrey(level);
    glDisable(GL_SCISSOR_TEST);
}

TEST_F(Glow, RadiusBelowOneMakesNoOffsetTapsButStillWeighsByTheWholeRadius)
{
    // With no powering and one layer, the strip's inside becomes 128 + 128 x alpha^2, where
    // alpha = gain / (2 radius + 1) with the radius untruncated; four pixels off it, only
    // offset taps could put light.
    struct Case {
        float radius, gain;
        int inside;
        bool lightBeside;
    };
    const Case cases[] = {
        {0.0f, 0.5f, 160, false}, {0.5f, 1.0f, 160, false}, {0.99f, 1.0f, 142, false}, {2.0f, 1.0f, 255, true},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.radius);
        DrawStrip(128);
        ApplyGlow(k.radius, 0.0f, 1.0f, k.gain);
        Picture picture = ReadPicture();
        EXPECT_NEAR(picture.at(408, 300).r, k.inside, 3);
        EXPECT_EQ(picture.at(396, 300).r > 0, k.lightBeside);
        EXPECT_EQ(picture.at(420, 300).r > 0, k.lightBeside);
        EXPECT_EQ(picture.at(380, 300).r, 0) << "nothing reaches this far";
    }
}

TEST_F(Glow, RadiusTwoAndAHalfTakesTwoTapsASideWeighedBySix)
{
    // Each direction keeps 5/6 of a uniform 128: 128 + 128 x 25/36, a level or two short.
    FillGrey(128);
    ApplyGlow(2.5f, 0.0f, 1.0f, 1.0f);
    EXPECT_NEAR(ReadPicture().at(400, 300).r, 215, 4);
}

TEST_F(Glow, PowerPassesCountOnlyWholePositiveNumbers)
{
    // Uniform 64 with unit weight and one layer ends as 64 + 64 x (64/255)^n.
    struct Case {
        float passes;
        int expected;
    };
    for (Case k : {Case{0.0f, 128}, Case{0.9f, 128}, Case{-3.0f, 128}, Case{1.0f, 80}, Case{2.7f, 68}}) {
        SCOPED_TRACE(k.passes);
        FillGrey(64);
        ApplyGlow(0.0f, k.passes, 1.0f, 1.0f);
        EXPECT_NEAR(ReadPicture().at(400, 300).r, k.expected, 2);
    }
}

TEST_F(Glow, GlowLayersCountEveryWholeNumberBelowTheParameterAndAtLeastOne)
{
    struct Case {
        float layers;
        int count;
    };
    const Case cases[] = {{-1.0f, 1}, {0.0f, 1}, {1.0f, 1}, {1.5f, 2}, {4.0f, 4}, {4.5f, 5}, {NAN, 1}};
    for (const Case &k : cases) {
        SCOPED_TRACE(k.layers);
        FillGrey(32);
        ApplyGlow(0.0f, 0.0f, k.layers, 1.0f);
        EXPECT_NEAR(ReadPicture().at(400, 300).r, 32 * (k.count + 1), 2);
    }
}

TEST_F(Glow, BrightBordersGlowAlongThemselvesAndNeverWrap)
{
    // White along the left and bottom edges, black elsewhere.
    FillGrey(0);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, 8, 600);
    FillGrey(255);
    glScissor(0, 0, 800, 8);
    FillGrey(255);
    glDisable(GL_SCISSOR_TEST);
    ApplyGlow(2.0f, 1.0f, 4.0f, 1.0f);
    Picture picture = ReadPicture();
    EXPECT_EQ(picture.at(0, 300).r, 255);
    EXPECT_GT(picture.at(10, 300).r, 0) << "glow beside the left edge";
    EXPECT_GT(picture.at(400, 589).r, 0) << "glow above the bottom edge";
    int wrapped = 0;
    for (int row = 0; row < 580; row++)
        for (int x = 780; x < 800; x++)
            wrapped += picture.at(x, row).r != 0;
    for (int row = 0; row < 20; row++)
        for (int x = 20; x < 800; x++)
            wrapped += picture.at(x, row).r != 0;
    EXPECT_EQ(wrapped, 0) << "light from the left and bottom edges shows at the right or top";
}

TEST_F(Glow, LeavesItsStateAndTheDepthBufferAsTheFrameExpects)
{
    // An entry state unlike the frame's: the pass sets what it needs and restores the rest.
    glViewport(10, 20, 300, 200);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_BLEND);
    glClearDepth(0.25);
    glClear(GL_DEPTH_BUFFER_BIT);
    glClearDepth(1.0);
    glTranslatef(1, 2, 3);
    GLfloat modelview[16], projection[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, modelview);
    glGetFloatv(GL_PROJECTION_MATRIX, projection);

    ApplyGlow(2.0f, 1.0f, 4.0f, 1.0f);

    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[0], 0);
    EXPECT_EQ(viewport[1], 0);
    EXPECT_EQ(viewport[2], 800);
    EXPECT_EQ(viewport[3], 600);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(0x84F5));
    GLint value = 0;
    glGetIntegerv(GL_BLEND_SRC, &value);
    EXPECT_EQ(value, GL_ONE);
    glGetIntegerv(GL_BLEND_DST, &value);
    EXPECT_EQ(value, GL_ONE);
    glGetIntegerv(0x84F6, &value); // rectangle texture binding
    EXPECT_EQ(value, GLint(renderer.glowFullTexture));
    glGetIntegerv(GL_MATRIX_MODE, &value);
    EXPECT_EQ(value, GL_MODELVIEW);
    GLfloat after[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, after);
    EXPECT_EQ(std::memcmp(after, modelview, sizeof after), 0);
    glGetFloatv(GL_PROJECTION_MATRIX, after);
    EXPECT_EQ(std::memcmp(after, projection, sizeof after), 0);
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_EQ(colour[0], 1.0f);
    EXPECT_EQ(colour[3], 0.2f);
    GLfloat depth[3] = {};
    glReadPixels(0, 0, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth[0]);
    glReadPixels(399, 299, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth[1]);
    glReadPixels(799, 599, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth[2]);
    for (GLfloat d : depth)
        EXPECT_NEAR(d, 0.25f, 1e-4f) << "the pass writes no depth";
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(Glow, TexturesHoldAFullAndAHalfFrameFilteredLinearly)
{
    GLuint full = renderer.glowFullTexture;
    ASSERT_TRUE(renderer.glowAvailable) << "Mesa offers rectangle textures";
    EXPECT_NE(full, 0u);
    EXPECT_NE(renderer.glowHalfTexture, 0u);
    EXPECT_NE(full, renderer.glowHalfTexture);
    GLint value = 0;
    glGetIntegerv(0x84F6, &value);
    EXPECT_EQ(value, GLint(renderer.glowHalfTexture)) << "the half texture stays bound";
    EXPECT_FALSE(glIsEnabled(0x84F5));
    const GLuint names[] = {renderer.glowFullTexture, renderer.glowHalfTexture};
    const GLint sizes[][2] = {{800, 600}, {400, 300}};
    for (int i = 0; i < 2; i++) {
        glBindTexture(0x84F5, names[i]);
        glGetTexLevelParameteriv(0x84F5, 0, GL_TEXTURE_WIDTH, &value);
        EXPECT_EQ(value, sizes[i][0]);
        glGetTexLevelParameteriv(0x84F5, 0, GL_TEXTURE_HEIGHT, &value);
        EXPECT_EQ(value, sizes[i][1]);
        glGetTexParameteriv(0x84F5, GL_TEXTURE_MIN_FILTER, &value);
        EXPECT_EQ(value, GL_LINEAR);
        glGetTexParameteriv(0x84F5, GL_TEXTURE_MAG_FILTER, &value);
        EXPECT_EQ(value, GL_LINEAR);
    }
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(Glow, WithoutRectangleTexturesTheFrameHasNoGlowAndTheSameExitState)
{
    renderer.glowAvailable = false;
    FillGrey(64);
    glViewport(0, 0, 100, 100);
    glDisable(GL_DEPTH_TEST);
    ApplyGlow(2.0f, 1.0f, 4.0f, 1.0f);
    ExpectEverywhereBetween(ReadPicture(), 64, 64);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 800);
    EXPECT_EQ(viewport[3], 600);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(Glow, SmallerWindowShowsTheLowerLeftOfTheFrameWithoutErrors)
{
    // The pass keeps its 800 x 600 working frame: in a 640 x 480 window the picture is cut at
    // the top and right, and the copies read beyond the drawable without any GL error.
    DestroyMainWindow();
    ASSERT_TRUE(CreateMainWindow("kelvo", 640, 480, 32, false));
    renderer.checkGlErrors = true;
    renderer.backgroundTexture = MakeSolidTexture(100, 100, 100, 255);
    for (int clock : {0, 1000}) {
        fakeMusic.position = clock;
        DrawFrame();
    }
    EXPECT_EQ(renderer.firstGlErrorOperation, nullptr);
    std::vector<unsigned char> rows(640 * 3);
    glReadPixels(0, 224, 640, 1, GL_RGB, GL_UNSIGNED_BYTE, rows.data()); // lowest row of the band above
    EXPECT_EQ(std::count(rows.begin(), rows.end(), 0), 640 * 3) << "the bottom band lies where it does at 800 x 600";
    ExpectFrameStartState();
}

TEST(GlowSupport, RectangleTexturesFromVersionThreeOneOrAnExtension)
{
    EXPECT_TRUE(RectangleTexturesOffered("4.5 (Compatibility Profile) Mesa 22.3.6", NULL));
    EXPECT_TRUE(RectangleTexturesOffered("3.1", NULL));
    EXPECT_TRUE(RectangleTexturesOffered("2.1", "GL_ARB_multitexture GL_ARB_texture_rectangle"));
    EXPECT_TRUE(RectangleTexturesOffered("1.5", "GL_NV_texture_rectangle GL_X"));
    EXPECT_FALSE(RectangleTexturesOffered("3.0", "GL_ARB_texture_rectangle_extra GL_X_GL_ARB_texture_rectangle"));
    EXPECT_FALSE(RectangleTexturesOffered("1.1", NULL));
    EXPECT_FALSE(RectangleTexturesOffered(NULL, "GL_ARB_texture_rectangle"));
}

} // namespace
