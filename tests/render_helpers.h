// A real GL context for drawing tests, and the means to feed it pictures and read them back.
#ifndef KELVO_TESTS_RENDER_HELPERS_H
#define KELVO_TESTS_RENDER_HELPERS_H

#include <gtest/gtest.h>

#include <windows.h>

#include <GL/gl.h>

#include <vector>

// Opens the 800 x 600 window with its scene (fake clock at 0) and turns on the frame's GL error
// checks; closes it afterwards.
class RenderTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};

struct Rgb {
    int r, g, b;
};

// A GL_TEXTURE_2D with repeat wrap and nearest filters, as the scene's images are loaded, from
// rows of RGBA bytes, the first row first.
GLuint MakeTexture(int width, int height, const std::vector<unsigned char> &rgba);
// One colour everywhere.
GLuint MakeSolidTexture(unsigned char r, unsigned char g, unsigned char b, unsigned char a);

// The whole back buffer, rows counted from the top as on screen.
struct Picture {
    std::vector<unsigned char> rgb;
    Rgb at(int x, int row) const;
};
Picture ReadPicture();

// The colour buffer filled with one grey level, the depth buffer cleared.
void FillGrey(int level);

// The frame's GL state at its start, as the shell and the previous frame leave it.
void ExpectFrameStartState();

#endif

// Where a pixel centre of the 800 x 600 picture lies in the scene's perspective, at a distance
// in front of the eye.
struct ScenePoint {
    double x, y;
};
ScenePoint ScenePointAt(double x, double row, double distance);

// Signed distance in pixels from a pixel centre to the nearest long edge of the bars at the
// clock: negative inside a bar.
double BarEdgeDistance(int x, int row, float clock);
