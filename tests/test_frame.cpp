// The frame of the demo: the fixed GL state, the clock sample and the end test.
#include <gtest/gtest.h>

#include <windows.h>

#include <GL/gl.h>

#include "app/app.h"
#include "platform/win32/win32_seam.h"
#include "render/frame.h"
#include "tests/fakes.h"

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

TEST_F(Frame, ClearsColourAndDepthEachFrame)
{
    glClearColor(1, 1, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(0, 0, 0, 0.5f);
    DrawFrame();
    GLubyte pixel[4] = {9, 9, 9, 9};
    glReadPixels(400, 300, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    EXPECT_EQ(pixel[0], 0);
    EXPECT_EQ(pixel[1], 0);
    EXPECT_EQ(pixel[2], 0);
    GLfloat depth = 0;
    glReadPixels(400, 300, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    EXPECT_EQ(depth, 1.0f);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST_F(Frame, RecreationLoadsAgainAndKeepsTheClock)
{
    fakeMusic.position = 5000;
    DrawFrame();
    DestroyMainWindow();
    ASSERT_TRUE(CreateMainWindow("kelvo", 800, 600, 32, false));
    EXPECT_EQ(renderer.DemoClock, 5000.0f);
    EXPECT_EQ(fakeMusic.starts, 2) << "the music decides itself whether a second start does anything";
}

} // namespace
