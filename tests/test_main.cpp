// Runs the tests with no display and no sound: SDL's offscreen driver gives real GL contexts
// through EGL and message boxes answer themselves; asking for SDL's dummy audio driver makes the
// sound layer play silently on its own real-time clock.
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char **argv)
{
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
