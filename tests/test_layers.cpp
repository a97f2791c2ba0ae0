// The scene layers: their time expressions on their own, then each layer drawn into a real GL
// context and read back, and the GL state each one leaves.
#include "tests/render_helpers.h"

#include <cmath>
#include <cstdlib>

#include "render/frame.h"
#include "render/layers.h"

namespace {

struct TimePoint {
    float clock;
    double backgroundOffset, logoOffset, foregroundAlpha, logoAlpha;
};

TEST(TimeExpressions, MatchTheTimelineAtItsMarkedMoments)
{
    const TimePoint points[] = {
        {0.0f, 0.0, 0.0, 0.0, 0.0027},
        {10000.0f, 0.1818, 50.0, 0.031, -0.088},
        {60000.0f, 1.0909, 300.0, 0.182, -0.168},
        {100000.0f, 1.8182, 500.0, 0.140, 0.164},
    };
    for (const TimePoint &p : points) {
        SCOPED_TRACE(p.clock);
        EXPECT_NEAR(BackgroundOffset(p.clock), p.backgroundOffset, 1e-4);
        EXPECT_NEAR(LogoOffset(p.clock), p.logoOffset, 1e-4);
        EXPECT_NEAR(ForegroundAlpha(p.clock), p.foregroundAlpha, 5e-4);
        EXPECT_NEAR(LogoAlpha(p.clock), p.logoAlpha, 5e-4);
    }
    EXPECT_EQ(ForegroundAlpha(0.0f), 0.0) << "the foreground starts invisible";
}

TEST(TimeExpressions, ForegroundAlphaNearThePolesTakesTheSinglePrecisionPhase)
{
    // Near the inner tangent's poles a phase factor of 0.00010001 in double precision instead
    // of its single-precision value gives a quite different alpha, even of the other sign.
    const struct { float clock; double alpha; } points[] = {{47119.0f, -0.185}, {109945.0f, -0.119},
                                                            {141358.0f, 0.103}};
    for (const auto &p : points)
        EXPECT_NEAR(ForegroundAlpha(p.clock), p.alpha, 1e-3) << p.clock;
}

TEST(TimeExpressions, BarWidthJittersByATenthWithTheClockInRadians)
{
    // sin(11) and sin(344) lie within 1e-4 of -1, sin(33) and sin(699) of +1, sin(355) of 0.
    const struct { float clock; double scale; } points[] = {{0.0f, 1.0}, {11.0f, 0.9}, {344.0f, 0.9},
                                                            {33.0f, 1.1}, {699.0f, 1.1}, {355.0f, 1.0}};
    for (const auto &p : points)
        EXPECT_NEAR(BarWidthScale(p.clock), p.scale, 1e-5) << p.clock;
}

TEST(TimeExpressions, BarsTurnAtTheirOwnRatesFrom801DegreesApart)
{
    for (int bar = 0; bar < 38; bar++)
        EXPECT_EQ(BarAngleDegrees(bar, 0.0f), 801.0 * bar);
    EXPECT_NEAR(BarAngleDegrees(0, 600.0f), 1.0, 1e-12) << "bar 0: a degree per 600 ms";
    EXPECT_NEAR(BarAngleDegrees(37, 8000.0f) - BarAngleDegrees(37, 0.0f), 1.0, 1e-9) << "bar 37: per 8000 ms";
}

class Layers : public RenderTest {};

bool IsBlack(Rgb c)
{
    return c.r == 0 && c.g == 0 && c.b == 0;
}

TEST_F(Layers, LetterboxLeavesOnlyTheMiddleQuarterOfRows)
{
    FillGrey(255);
    DrawLetterbox();
    Picture picture = ReadPicture();
    for (int row = 0; row < 600; row++) {
        bool visible = row >= 225 && row < 375;
        for (int x = 0; x < 800; x++) {
            Rgb c = picture.at(x, row);
            if (IsBlack(c) == visible)
                FAIL() << "pixel " << x << ", row " << row << " is " << c.r << " " << c.g << " " << c.b;
        }
    }
    ExpectFrameStartState(); // matrices popped, colour back to white
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(Layers, BackgroundIsMirroredTopToBottomAndScrollsLeft)
{
    // Texture rows as uploaded: red, green on top; blue, white below.
    renderer.backgroundTexture = MakeTexture(2, 2, {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255, 255, 255, 255});
    struct Probe {
        float clock;
        int x, row;
        Rgb expected;
    };
    const Probe probes[] = {
        {0.0f, 350, 340, {255, 0, 0}},   // lower screen half shows the image's top row
        {0.0f, 450, 340, {0, 255, 0}},
        {0.0f, 350, 260, {0, 0, 255}},   // upper half its bottom row
        {0.0f, 450, 260, {255, 255, 255}},
        // A quarter width later the column boundary has moved left from 400 to 199, and the
        // repeat brings the first column back at 601.
        {13750.0f, 150, 340, {255, 0, 0}},
        {13750.0f, 250, 340, {0, 255, 0}},
        {13750.0f, 580, 340, {0, 255, 0}},
        {13750.0f, 620, 340, {255, 0, 0}},
    };
    for (const Probe &p : probes) {
        SCOPED_TRACE(testing::Message() << p.clock << " ms at " << p.x << ", " << p.row);
        renderer.DemoClock = p.clock;
        FillGrey(0);
        DrawBackground();
        Rgb c = ReadPicture().at(p.x, p.row);
        EXPECT_EQ(c.r, p.expected.r);
        EXPECT_EQ(c.g, p.expected.g);
        EXPECT_EQ(c.b, p.expected.b);
        glDisable(GL_TEXTURE_2D);
    }
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(Layers, ThirtyEightBlackBarsStandWhereTheirAnglesPutThem)
{
    renderer.backgroundTexture = MakeSolidTexture(255, 255, 255, 255);
    for (float clock : {0.0f, 12345.0f, 141999.0f}) {
        SCOPED_TRACE(clock);
        renderer.DemoClock = clock;
        FillGrey(0);
        DrawBackground();
        DrawBars();
        Picture picture = ReadPicture();
        int inside = 0, outside = 0, wrong = 0;
        for (int row = 0; row < 600; row += 3)
            for (int x = 0; x < 800; x += 3) {
                double distance = BarEdgeDistance(x, row, clock);
                Rgb c = picture.at(x, row);
                if (distance < -1.0) {
                    inside++;
                    wrong += !IsBlack(c);
                } else if (distance > 1.0) {
                    outside++;
                    wrong += c.r != 255 || c.g != 255 || c.b != 255;
                }
            }
        EXPECT_EQ(wrong, 0);
        EXPECT_GT(inside, 2000);
        EXPECT_GT(outside, 20000);
        glColor3f(1, 1, 1);
        glDisable(GL_TEXTURE_2D);
    }
}

TEST_F(Layers, OverlaysAddTheirTextureByTexelAlphaTimesTheirAlpha)
{
    // White texels at half alpha: the overlay adds 255 x 0.5 x its alpha where the alpha is
    // positive, and nothing where it is negative.
    renderer.foregroundTexture = MakeSolidTexture(255, 255, 255, 128);
    renderer.logoTexture = renderer.foregroundTexture;
    struct Case {
        void (*draw)();
        float clock;
        double alpha; // the timeline's alpha at that clock; negative ones add nothing
    };
    const Case cases[] = {
        {DrawForegroundOverlay, 60000.0f, 0.182},
        {DrawForegroundOverlay, 30000.0f, -0.168},
        {DrawLogoOverlay, 100000.0f, 0.164},
        {DrawLogoOverlay, 10000.0f, -0.088},
    };
    for (const Case &k : cases) {
        SCOPED_TRACE(k.clock);
        renderer.DemoClock = k.clock;
        FillGrey(0);
        k.draw();
        Picture picture = ReadPicture();
        double expected = std::max(0.0, 255.0 * (128.0 / 255.0) * k.alpha);
        for (int row : {100, 300, 500})
            EXPECT_NEAR(picture.at(400, row).g, expected, 1.0);
        EXPECT_TRUE(IsBlack(picture.at(400, 10))) << "the quads leave the top rows alone";
    }
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(Layers, LogoSlidesRightAsItsOffsetGrows)
{
    // One white and one black column: at v = 500 the white half is left of the centre; a
    // quarter width later it covers the middle.
    renderer.logoTexture = MakeTexture(2, 1, {255, 255, 255, 255, 0, 0, 0, 255});
    const float clocks[] = {100000.0f, 100050.0f};
    const bool whiteAt[2][4] = {{true, true, false, false}, {false, true, true, false}};
    const int columns[] = {100, 200, 600, 700};
    for (int c = 0; c < 2; c++) {
        renderer.DemoClock = clocks[c];
        FillGrey(0);
        DrawLogoOverlay();
        Picture picture = ReadPicture();
        for (int i = 0; i < 4; i++)
            EXPECT_EQ(picture.at(columns[i], 300).r > 20, whiteAt[c][i]) << clocks[c] << " ms, column " << columns[i];
    }
}

// The modelview matrix is a plain translation along the view axis.
void ExpectModelviewAt(float z)
{
    GLfloat m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    for (int i = 0; i < 16; i++)
        EXPECT_EQ(m[i], i == 14 ? z : (i % 5 == 0 ? 1.0f : 0.0f)) << "element " << i;
}

void ExpectColour(float r, float g, float b, float a)
{
    GLfloat c[4];
    glGetFloatv(GL_CURRENT_COLOR, c);
    EXPECT_EQ(c[0], r);
    EXPECT_EQ(c[1], g);
    EXPECT_EQ(c[2], b);
    EXPECT_EQ(c[3], a);
}

GLint Bound2D()
{
    GLint name = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &name);
    return name;
}

TEST_F(Layers, EachLayerLeavesTheStateTheNextOneExpects)
{
    renderer.backgroundTexture = MakeSolidTexture(1, 2, 3, 255);
    renderer.foregroundTexture = MakeSolidTexture(4, 5, 6, 255);
    renderer.logoTexture = MakeSolidTexture(7, 8, 9, 255);
    renderer.DemoClock = 60000.0f;
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    ExpectFrameStartState();

    DrawBackground();
    ExpectModelviewAt(-18.0f);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_EQ(Bound2D(), GLint(renderer.backgroundTexture));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    ExpectColour(1, 1, 1, 1);

    DrawBars();
    ExpectModelviewAt(-10.0f);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    ExpectColour(0, 0, 0, 1);

    GLint source = 0, destination = 0;
    DrawForegroundOverlay();
    ExpectModelviewAt(-2.8f);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_EQ(Bound2D(), GLint(renderer.foregroundTexture));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    glGetIntegerv(GL_BLEND_SRC, &source);
    glGetIntegerv(GL_BLEND_DST, &destination);
    EXPECT_EQ(source, GL_SRC_ALPHA);
    EXPECT_EQ(destination, GL_ONE);
    ExpectColour(1, 1, 1, 1);

    DrawLogoOverlay();
    ExpectModelviewAt(-2.7f);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_EQ(Bound2D(), GLint(renderer.logoTexture));
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    ExpectColour(1, 1, 1, 1);

    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

} // namespace
