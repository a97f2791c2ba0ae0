// The window's picture: the program draws into an offscreen framebuffer of the client size it
// asked for, which SwapBuffers scales onto the window with its proportions kept.
#include <gtest/gtest.h>

#include <windows.h>

#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>

#include "app/app.h"
#include "platform/linux/test_seam.h"
#include "tests/fakes.h"

#include <vector>

namespace {

class Picture : public testing::Test {
protected:
    void SetUp() override { ResetShellAndFakes(); }
    void TearDown() override
    {
        DestroyMainWindow();
        Seam_Reset();
    }
};

std::vector<int> Place(int drawableWidth, int drawableHeight)
{
    std::vector<int> place(4, -1);
    if (!Seam_PicturePlace(appState.window, drawableWidth, drawableHeight, place.data()))
        place.clear();
    return place;
}

TEST_F(Picture, FillsTheDrawableWithItsProportionsKeptAndCentred)
{
    ASSERT_TRUE(CreateMainWindow("kelvo", 800, 600, 32, false));
    EXPECT_EQ(Place(800, 600), (std::vector<int>{0, 0, 800, 600})) << "unscaled at its own size";
    EXPECT_EQ(Place(1200, 900), (std::vector<int>{0, 0, 1200, 900}));
    EXPECT_EQ(Place(400, 300), (std::vector<int>{0, 0, 400, 300}));
    EXPECT_EQ(Place(1280, 1024), (std::vector<int>{0, 32, 1280, 960})) << "black above and below";
    EXPECT_EQ(Place(1920, 1080), (std::vector<int>{240, 0, 1440, 1080})) << "black at the sides";
    EXPECT_EQ(Place(1366, 768), (std::vector<int>{171, 0, 1024, 768})) << "an odd margin rounds to the left";
    EXPECT_EQ(Place(801, 600), (std::vector<int>{0, 0, 800, 600}));
    EXPECT_EQ(Place(3, 1000), (std::vector<int>{0, 499, 3, 2}));
    EXPECT_EQ(Place(1, 1000), (std::vector<int>{0, 499, 1, 1})) << "never an empty picture";
    EXPECT_EQ(Place(0, 600), (std::vector<int>{0, 0, 0, 0})) << "a minimised window shows nothing";
    EXPECT_EQ(Place(800, -1), (std::vector<int>{0, 0, 0, 0}));
}

TEST_F(Picture, TheProgramDrawsAndReadsItsOwnPictureAndKeepsItsStateAcrossSwaps)
{
    ASSERT_TRUE(CreateMainWindow("kelvo", 800, 600, 32, false));
    GLint bound = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &bound);
    ASSERT_NE(bound, 0) << "the layer binds the picture as the program's framebuffer";
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 800);
    EXPECT_EQ(viewport[3], 600);
    GLint depthBits = 0;
    glGetIntegerv(GL_DEPTH_BITS, &depthBits);
    EXPECT_GE(depthBits, 16) << "the picture has the depth buffer the pixel format asked for";

    // The left half red, the rest blue, drawn under a scissor box and a clear colour of its own.
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, 400, 600);
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glColorMask(GL_TRUE, GL_FALSE, GL_TRUE, GL_TRUE);
    ASSERT_TRUE(SwapBuffers(appState.deviceContext));

    GLint after = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &after);
    EXPECT_EQ(after, bound);
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &after);
    EXPECT_EQ(after, bound);
    EXPECT_TRUE(glIsEnabled(GL_SCISSOR_TEST));
    GLfloat clear[4];
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_EQ(clear[0], 1.0f);
    EXPECT_EQ(clear[2], 0.0f);
    GLboolean mask[4];
    glGetBooleanv(GL_COLOR_WRITEMASK, mask);
    EXPECT_FALSE(mask[1]);
    EXPECT_TRUE(mask[0]);

    unsigned char pixels[2][3];
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(100, 300, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, pixels[0]);
    glReadPixels(700, 300, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, pixels[1]);
    EXPECT_EQ(pixels[0][0], 255);
    EXPECT_EQ(pixels[0][2], 0);
    EXPECT_EQ(pixels[1][0], 0);
    EXPECT_EQ(pixels[1][2], 255);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(Picture, AWindowRemadeAfterTeardownGetsAFreshPicture)
{
    ASSERT_TRUE(CreateMainWindow("kelvo", 800, 600, 32, false));
    DestroyMainWindow();
    EXPECT_EQ(Seam_LiveContexts(), 0);
    ASSERT_TRUE(CreateMainWindow("kelvo", 640, 480, 32, false));
    EXPECT_EQ(Place(1280, 960), (std::vector<int>{0, 0, 1280, 960})) << "the new window's own size counts";
    GLint bound = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &bound);
    EXPECT_NE(bound, 0);
    EXPECT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), GLenum(GL_FRAMEBUFFER_COMPLETE));
}

} // namespace
