// The frame of the demo: the fixed GL state, the clock sample and the end test.
#include <gtest/gtest.h>

#include <windows.h>

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

#include "app/app.h"
#include "platform/linux/test_seam.h"
#include "render/frame.h"
#include "render/layers.h"
#include "tests/fakes.h"
#include "tests/render_helpers.h"

namespace {

const AppState pristine = appState;

class Frame : public testing::Test {
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
};

TEST_F(Frame, InitSceneSetsTheFixedStateAndStartsTheMusicOnce)
{
    EXPECT_EQ(fakeMusic.starts, 1);
    GLint value = 0;
    glGetIntegerv(GL_SHADE_MODEL, &value);
    EXPECT_EQ(value, GL_SMOOTH);
    GLfloat clear[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_EQ(clear[0], 0.0f);
    EXPECT_EQ(clear[1], 0.0f);
    EXPECT_EQ(clear[2], 0.0f);
    EXPECT_EQ(clear[3], 0.5f);
    GLfloat depth = 0;
    glGetFloatv(GL_DEPTH_CLEAR_VALUE, &depth);
    EXPECT_EQ(depth, 1.0f);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    glGetIntegerv(GL_DEPTH_FUNC, &value);
    EXPECT_EQ(value, GL_LEQUAL);
    glGetIntegerv(GL_PERSPECTIVE_CORRECTION_HINT, &value);
    EXPECT_EQ(value, GL_NICEST);
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &value);
    EXPECT_EQ(value, GL_MODULATE);
    glGetIntegerv(GL_MATRIX_MODE, &value);
    EXPECT_EQ(value, GL_MODELVIEW);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(Frame, SamplesTheClockOnceAndEndsAt142Seconds)
{
    fakeMusic.position = 141999;
    fakeMusic.advancePerQuery = 1;
    EXPECT_TRUE(DrawFrame());
    EXPECT_EQ(renderer.DemoClock, 141999.0f);
    EXPECT_EQ(fakeMusic.queries, 1);
    EXPECT_FALSE(DrawFrame()) << "142000 ms is already over";
    EXPECT_EQ(renderer.DemoClock, 142000.0f);

    fakeMusic.position = 500000; // a seek far past the end ends the demo too
    EXPECT_FALSE(DrawFrame());
    fakeMusic.position = -400;
    EXPECT_TRUE(DrawFrame());
    EXPECT_EQ(renderer.DemoClock, -400.0f);
}

TEST_F(Frame, ClearsDepthEachFrame)
{
    // Leftovers of an earlier picture: white, with a depth nearer than every layer. Uncleared,
    // that depth would keep every layer out.
    renderer.backgroundTexture = MakeSolidTexture(0, 255, 0, 255);
    renderer.foregroundTexture = renderer.logoTexture = MakeSolidTexture(0, 0, 0, 255);
    glClearColor(1, 1, 1, 1);
    glClearDepth(0.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glClearColor(0, 0, 0, 0.5f);
    glClearDepth(1.0);
    DrawFrame();
    int x = 0;
    while (x < 800 && BarEdgeDistance(x, 340, 0.0f) < 12.0)
        x++;
    ASSERT_LT(x, 800) << "a pixel clear of the bars";
    GLubyte pixel[4] = {9, 9, 9, 9};
    glReadPixels(x, 599 - 340, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    EXPECT_EQ(pixel[0], 0);
    EXPECT_EQ(pixel[1], 255);
    EXPECT_EQ(pixel[2], 0);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(Frame, RecreationKeepsTheClockAndStartsTheMusicAgain)
{
    fakeMusic.position = 5000;
    DrawFrame();
    DestroyMainWindow();
    ASSERT_TRUE(CreateMainWindow("kelvo", 800, 600, 32, false));
    EXPECT_EQ(renderer.DemoClock, 5000.0f);
    EXPECT_EQ(fakeMusic.starts, 2) << "the music decides itself whether a second start does anything";
}

class WholeFrame : public RenderTest {};

TEST_F(WholeFrame, OnlyTheMiddleQuarterShowsInEveryFrameAndTheStateComesBack)
{
    // White everywhere under the bands, overlays and glow at their brightest.
    renderer.backgroundTexture = renderer.foregroundTexture = renderer.logoTexture =
        MakeSolidTexture(255, 255, 255, 255);
    for (int clock : {0, 10000, 30000, 100000, 141999}) {
        SCOPED_TRACE(clock);
        fakeMusic.position = clock;
        DrawFrame();
        Picture picture = ReadPicture();
        int lit = 0, litBands = 0;
        for (int row = 0; row < 600; row++)
            for (int x = 0; x < 800; x++) {
                Rgb c = picture.at(x, row);
                bool isLit = c.r || c.g || c.b;
                (row >= 225 && row < 375 ? lit : litBands) += isLit;
            }
        EXPECT_EQ(litBands, 0);
        EXPECT_GT(lit, 800 * 150 / 2);
        ExpectFrameStartState();
        EXPECT_EQ(renderer.firstGlErrorOperation, nullptr);
    }
}

// The background's texel at a pixel through the scene's perspective (column, row of a 2 x 2
// image), and how many pixels the pixel lies from a texel boundary.
void BackgroundTexelAt(int x, int row, float clock, int *column, int *texelRow, double *margin)
{
    const double pixel = 2.0 * 18.0 * 0.41421356237309503 / 600.0;
    ScenePoint p = ScenePointAt(x, row, 18.0);
    double s = float(BackgroundOffset(clock)) + (p.x + 10.0) / 20.0;
    double t = (p.y + 10.0) / 20.0;
    double halves = s * 2.0;
    *column = int(std::floor(halves)) % 2;
    *texelRow = t < 0.5 ? 0 : 1;
    double fromColumnEdge = std::fabs(halves - std::round(halves)) * 10.0 / pixel;
    *margin = std::min(fromColumnEdge, std::fabs(p.y) / pixel);
}

TEST_F(WholeFrame, BackgroundShowsMirroredAndScrolledBetweenBlackBars)
{
    // Saturated colours come through the glow unchanged away from edges. At 30000 ms both
    // overlays are below zero, so their white adds nothing.
    const Rgb texels[2][2] = {{{255, 0, 0}, {0, 255, 0}}, {{0, 0, 255}, {255, 255, 255}}};
    renderer.backgroundTexture = MakeTexture(2, 2, {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255});
    renderer.foregroundTexture = renderer.logoTexture = MakeSolidTexture(255, 255, 255, 255);
    const float clock = 30000.0f;
    fakeMusic.position = int(clock);
    DrawFrame();
    Picture picture = ReadPicture();
    int checked[2][2] = {}, wrong = 0, barPixels = 0, darkBarPixels = 0;
    for (int row = 226; row < 374; row += 2)
        for (int x = 0; x < 800; x += 2) {
            double fromBar = BarEdgeDistance(x, row, clock);
            Rgb c = picture.at(x, row);
            if (fromBar < -5.0) {
                barPixels++;
                darkBarPixels += std::max(c.r, std::max(c.g, c.b)) < 64;
            }
            int column, texelRow;
            double margin;
            BackgroundTexelAt(x, row, clock, &column, &texelRow, &margin);
            if (fromBar < 12.0 || margin < 10.0)
                continue;
            Rgb e = texels[texelRow][column];
            checked[texelRow][column]++;
            wrong += c.r != e.r || c.g != e.g || c.b != e.b;
        }
    EXPECT_EQ(wrong, 0);
    for (auto &texelRow : checked)
        for (int count : texelRow)
            EXPECT_GT(count, 20) << "every texel shows somewhere";
    EXPECT_GT(barPixels, 100);
    EXPECT_EQ(darkBarPixels, barPixels) << "the middles of the bars stay dark under the glow";
}

TEST_F(WholeFrame, OverlaysAddNothingWhileTheirAlphasAreNegative)
{
    renderer.backgroundTexture = MakeSolidTexture(40, 40, 40, 255);
    GLuint white = MakeSolidTexture(255, 255, 255, 255);
    GLuint black = MakeSolidTexture(0, 0, 0, 255);
    for (int clock : {30000, 100000}) { // both alphas negative, then both positive
        fakeMusic.position = clock;
        renderer.foregroundTexture = renderer.logoTexture = white;
        DrawFrame();
        Picture withOverlays = ReadPicture();
        renderer.foregroundTexture = renderer.logoTexture = black;
        DrawFrame();
        EXPECT_EQ(withOverlays.rgb == ReadPicture().rgb, clock == 30000) << clock;
    }
}

TEST_F(WholeFrame, ChecksNameTheStepThatRaisedTheFirstGlError)
{
    // A rectangle texture bound as a 2-D one is refused.
    renderer.backgroundTexture = renderer.glowFullTexture;
    EXPECT_TRUE(DrawFrame());
    EXPECT_EQ(renderer.firstGlError, (GLenum)GL_INVALID_OPERATION);
    ASSERT_NE(renderer.firstGlErrorOperation, nullptr);
    EXPECT_STREQ(renderer.firstGlErrorOperation, "DrawBackground");
}

} // namespace
