// Runs the tests with no display: SDL's offscreen driver gives real GL contexts through EGL,
// and message boxes answer themselves.
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char **argv)
{
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
