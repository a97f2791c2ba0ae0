// The scene's three images, loaded by InitScene from data/ in the working directory.
#include <gtest/gtest.h>

#include <windows.h>

#include <GL/gl.h>

#include <png.h>

#include <stdlib.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "app/app.h"
#include "platform/linux/test_seam.h"
#include "render/frame.h"
#include "tests/fakes.h"

namespace {

const AppState pristine = appState;

// A width × height picture of one byte value in the given simplified-API format.
bool WriteImage(const std::string &path, int width, int height, png_uint_32 format)
{
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(width);
    image.height = png_uint_32(height);
    image.format = format;
    std::vector<png_byte> pixels(PNG_IMAGE_SIZE(image), 200);
    return png_image_write_to_file(&image, path.c_str(), 0, pixels.data(), 0, NULL) != 0;
}

void ExpectDemoTexture(GLuint name, int levels, bool alpha)
{
    ASSERT_NE(name, 0u);
    glBindTexture(GL_TEXTURE_2D, name);
    GLint value = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &value);
    EXPECT_EQ(value, GL_REPEAT);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &value);
    EXPECT_EQ(value, GL_REPEAT);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &value);
    EXPECT_EQ(value, GL_NEAREST);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &value);
    EXPECT_EQ(value, GL_NEAREST);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, levels - 1, GL_TEXTURE_WIDTH, &value);
    EXPECT_EQ(value, 1) << "an averaged chain down to 1 × 1";
    glGetTexLevelParameteriv(GL_TEXTURE_2D, levels, GL_TEXTURE_WIDTH, &value);
    EXPECT_EQ(value, 0);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_ALPHA_SIZE, &value);
    EXPECT_EQ(value > 0, alpha);
}

TEST(SceneTextures, InitSceneLoadsTheThreeImagesFromData)
{
    char folder[] = "/tmp/kelvo_scene_XXXXXX";
    ASSERT_TRUE(mkdtemp(folder));
    const std::string data = std::string(folder) + "/data";
    ASSERT_EQ(mkdir(data.c_str(), 0700), 0);
    ASSERT_TRUE(WriteImage(data + "/bg.png", 6, 2, PNG_FORMAT_RGB));
    ASSERT_TRUE(WriteImage(data + "/fg.png", 2, 2, PNG_FORMAT_RGBA));
    ASSERT_TRUE(WriteImage(data + "/kelvo.png", 3, 1, PNG_FORMAT_GA));
    char here[4096];
    ASSERT_TRUE(getcwd(here, sizeof here));

    Seam_Reset();
    appState = pristine;
    ResetFakeMusic();
    renderer = RendererState();
    // The second creation (an F1 switch) loads the images again into its new context.
    for (int creation = 1; creation <= 2; creation++) {
        SCOPED_TRACE(creation);
        ASSERT_EQ(chdir(folder), 0);
        renderer.backgroundTexture = renderer.foregroundTexture = renderer.logoTexture = 0;
        const bool created = CreateMainWindow("kelvo", 800, 600, 32, false);
        EXPECT_EQ(chdir(here), 0);
        ASSERT_TRUE(created);
        EXPECT_EQ(fakeMusic.texturesAtStart, 3) << "the music starts after the three loads";
        ExpectDemoTexture(renderer.backgroundTexture, 4, false); // 6 × 2 fitted to 8 × 2
        ExpectDemoTexture(renderer.foregroundTexture, 2, true);
        ExpectDemoTexture(renderer.logoTexture, 3, true);       // grey with alpha, 3 × 1 fitted to 4 × 1
        EXPECT_EQ(renderer.sceneInfo.imageWidth, 3u) << "the record holds the last load";
        EXPECT_EQ(renderer.sceneInfo.imageHeight, 1u);
        EXPECT_EQ(renderer.sceneInfo.alphaBits, 8);
        DestroyMainWindow();
    }
    Seam_Reset();

    for (const char *name : {"/bg.png", "/fg.png", "/kelvo.png"})
        remove((data + name).c_str());
    rmdir(data.c_str());
    rmdir(folder);
}

} // namespace
