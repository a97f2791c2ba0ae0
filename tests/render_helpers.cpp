// A real GL context for drawing tests.
#include "tests/render_helpers.h"

#include "app/app.h"
#include "platform/linux/test_seam.h"
#include "render/frame.h"
#include "render/layers.h"
#include "tests/fakes.h"

#include <cmath>

static const AppState pristine = appState;

void RenderTest::SetUp()
{
    Seam_Reset();
    appState = pristine;
    ResetFakeMusic();
    renderer = RendererState();
    ASSERT_TRUE(CreateMainWindow("kelvo", 800, 600, 32, false));
    renderer.checkGlErrors = true;
    ASSERT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

void RenderTest::TearDown()
{
    DestroyMainWindow();
    Seam_Reset();
}

GLuint MakeTexture(int width, int height, const std::vector<unsigned char> &rgba)
{
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    return texture;
}

GLuint MakeSolidTexture(unsigned char r, unsigned char g, unsigned char b, unsigned char a)
{
    return MakeTexture(1, 1, {r, g, b, a});
}

Rgb Picture::at(int x, int row) const
{
    const unsigned char *p = &rgb[((599 - row) * 800 + x) * 3];
    return {p[0], p[1], p[2]};
}

Picture ReadPicture()
{
    Picture picture;
    picture.rgb.resize(800 * 600 * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, 800, 600, GL_RGB, GL_UNSIGNED_BYTE, picture.rgb.data());
    return picture;
}

void FillGrey(int level)
{
    glClearColor(level / 255.0f, level / 255.0f, level / 255.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glClearColor(0.0f, 0.0f, 0.0f, 0.5f);
}

void ExpectFrameStartState()
{
    GLint value = 0;
    glGetIntegerv(GL_MATRIX_MODE, &value);
    EXPECT_EQ(value, GL_MODELVIEW);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    glGetIntegerv(GL_DEPTH_FUNC, &value);
    EXPECT_EQ(value, GL_LEQUAL);
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(0x84F5)); // rectangle texturing
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[0], 0);
    EXPECT_EQ(viewport[1], 0);
    EXPECT_EQ(viewport[2], 800);
    EXPECT_EQ(viewport[3], 600);
    GLfloat colour[4];
    glGetFloatv(GL_CURRENT_COLOR, colour);
    EXPECT_EQ(colour[0], 1.0f);
    EXPECT_EQ(colour[1], 1.0f);
    EXPECT_EQ(colour[2], 1.0f);
    EXPECT_EQ(colour[3], 1.0f);
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &value);
    EXPECT_EQ(value, GL_MODULATE);
}

// The scene's projection: 45 degrees of vertical field of view, aspect 4 : 3.
static const double HalfViewPerUnit = 0.41421356237309503; // tan(22.5 degrees)

ScenePoint ScenePointAt(double x, double row, double distance)
{
    double halfHeight = distance * HalfViewPerUnit;
    return {((x + 0.5) / 400.0 - 1.0) * halfHeight * 4.0 / 3.0, (1.0 - (row + 0.5) / 300.0) * halfHeight};
}

double BarEdgeDistance(int x, int row, float clock)
{
    const double pixel = 2.0 * 10.0 * HalfViewPerUnit / 600.0; // one pixel at the bars' distance
    ScenePoint p = ScenePointAt(x, row, 10.0);
    double nearest = 1e9;
    for (int bar = 0; bar < 38; bar++) {
        double angle = float(BarAngleDegrees(bar, clock)) * M_PI / 180.0;
        double dx = p.x - float(3.0 * std::sin(double(bar)));
        double across = dx * std::cos(angle) + p.y * std::sin(angle);
        double halfWidth = 0.1 * float(1.0 + 0.1 * std::sin(double(clock))); // the width jitter
        double distance = (std::fabs(across) - halfWidth) / pixel;
        if (distance < nearest)
            nearest = distance;
    }
    return nearest;
}
