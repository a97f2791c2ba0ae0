// Alpha derived from colour.
#include <gtest/gtest.h>

#include "tests/texload_support.h"

namespace {

struct Sample {
    unsigned char r, g, b;
    unsigned char alpha[7]; // AlphaSum to AlphaMagnitude
};

const Sample Samples[] = {
    {0, 0, 0, {0, 0, 0, 0, 0, 0, 0}},
    {1, 1, 1, {3, 1, 1, 3, 1, 1, 1}},
    {3, 4, 0, {7, 3, 2, 25, 12, 8, 5}},
    {9, 9, 9, {27, 13, 9, 243, 121, 81, 15}},
    {15, 5, 3, {23, 11, 7, 255, 129, 86, 16}},
    {15, 15, 15, {45, 22, 15, 255, 255, 225, 25}},
    {100, 100, 100, {255, 150, 100, 255, 255, 255, 173}},
    {255, 1, 0, {255, 128, 85, 255, 255, 255, 255}},
    {147, 147, 147, {255, 220, 147, 255, 255, 255, 254}},
    {255, 255, 255, {255, 255, 255, 255, 255, 255, 255}},
};
const size_t SampleCount = sizeof(Samples) / sizeof(Samples[0]);

Bytes SampleRgb()
{
    Bytes rgb;
    for (const Sample &s : Samples)
        rgb.insert(rgb.end(), {s.r, s.g, s.b});
    return rgb;
}

TEST(DeriveAlpha, FormulaModesOnTheSamplePixels)
{
    const Bytes rgb = SampleRgb();
    for (int mode = AlphaSum; mode <= AlphaMagnitude; ++mode) {
        Bytes rgba(SampleCount * 4, 0xEE);
        ASSERT_TRUE(DeriveAlpha(mode, rgb.data(), SampleCount, rgba.data()));
        for (size_t i = 0; i < SampleCount; ++i) {
            EXPECT_EQ(rgba[4 * i], Samples[i].r);
            EXPECT_EQ(rgba[4 * i + 1], Samples[i].g);
            EXPECT_EQ(rgba[4 * i + 2], Samples[i].b);
            EXPECT_EQ(rgba[4 * i + 3], Samples[i].alpha[mode - AlphaSum])
                << "mode " << mode << " pixel " << int(Samples[i].r) << "," << int(Samples[i].g) << ","
                << int(Samples[i].b);
        }
    }
}

TEST(DeriveAlpha, ColorKeyCallbackAndModesThatDeriveNothing)
{
    const Bytes rgb = {0, 0, 0, 0, 0, 1, 255, 255, 255};
    Bytes rgba(12, 0xEE);
    ASSERT_TRUE(DeriveAlpha(AlphaColorKey, rgb.data(), 3, rgba.data()));
    EXPECT_EQ(rgba, Bytes({0, 0, 0, 0, 0, 0, 1, 255, 255, 255, 255, 255}));
    ASSERT_TRUE(DeriveAlpha(AlphaCallback, rgb.data(), 3, rgba.data()));
    EXPECT_EQ(rgba[3], 255);
    EXPECT_EQ(rgba[7], 255);
    EXPECT_EQ(DefaultAlphaCallback(0, 0, 0), 255);

    // Only the low byte of each key component is compared.
    const TexLoaderState saved = texLoader;
    texLoader.ColorKey[0] = 0x100;
    texLoader.ColorKey[2] = 0x301;
    ASSERT_TRUE(DeriveAlpha(AlphaColorKey, rgb.data(), 3, rgba.data()));
    EXPECT_EQ(rgba[3], 255);
    EXPECT_EQ(rgba[7], 0);
    texLoader = saved;

    Bytes untouched(12, 0xEE);
    EXPECT_FALSE(DeriveAlpha(AlphaNone, rgb.data(), 3, untouched.data()));
    EXPECT_FALSE(DeriveAlpha(AlphaFromFile, rgb.data(), 3, untouched.data()));
    EXPECT_FALSE(DeriveAlpha(8, rgb.data(), 3, untouched.data()));
    EXPECT_EQ(untouched, Bytes(12, 0xEE));
}

} // namespace
