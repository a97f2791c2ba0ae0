// Alpha derived from colour: the colour key, the sum, square and magnitude formulas and the
// callback. The mode is chosen once per image; each mode has its own pixel loop.

#include "texload/texload.h"

#include <math.h>

unsigned char DefaultAlphaCallback(int r, int g, int b)
{
    (void)r;
    (void)g;
    (void)b;
    return 255;
}

// Copies R, G and B and appends alpha(r, g, b); instantiated once per mode, so the mode is
// never looked at inside the loop.
template <typename AlphaOf>
static void FillRgba(const unsigned char *rgb, size_t pixelCount, unsigned char *rgba, AlphaOf alphaOf)
{
    for (size_t i = 0; i < pixelCount; ++i, rgb += 3, rgba += 4) {
        const unsigned r = rgb[0], g = rgb[1], b = rgb[2];
        rgba[0] = (unsigned char)r;
        rgba[1] = (unsigned char)g;
        rgba[2] = (unsigned char)b;
        rgba[3] = alphaOf(r, g, b);
    }
}

bool DeriveAlpha(int alphaMode, const unsigned char *rgb, size_t pixelCount, unsigned char *rgba)
{
    // Every bound is where the formula itself reaches 255, so the clamps join without a step.
    switch (alphaMode) {
    case AlphaCallback: {
        const AlphaCallbackFn callback = texLoader.AlphaCallbackProc ? texLoader.AlphaCallbackProc : DefaultAlphaCallback;
        FillRgba(rgb, pixelCount, rgba,
                 [callback](unsigned r, unsigned g, unsigned b) { return callback(int(r), int(g), int(b)); });
        return true;
    }
    case AlphaColorKey: {
        const unsigned keyR = unsigned(texLoader.ColorKey[0]) & 0xFF;
        const unsigned keyG = unsigned(texLoader.ColorKey[1]) & 0xFF;
        const unsigned keyB = unsigned(texLoader.ColorKey[2]) & 0xFF;
        FillRgba(rgb, pixelCount, rgba, [keyR, keyG, keyB](unsigned r, unsigned g, unsigned b) {
            return (unsigned char)(r == keyR && g == keyG && b == keyB ? 0 : 255);
        });
        return true;
    }
    case AlphaSum:
        FillRgba(rgb, pixelCount, rgba, [](unsigned r, unsigned g, unsigned b) {
            const unsigned s = r + g + b;
            return (unsigned char)(s <= 255 ? s : 255);
        });
        return true;
    case AlphaSumHalf:
        FillRgba(rgb, pixelCount, rgba, [](unsigned r, unsigned g, unsigned b) {
            const unsigned s = r + g + b;
            return (unsigned char)(s <= 510 ? s / 2 : 255);
        });
        return true;
    case AlphaSumThird:
        FillRgba(rgb, pixelCount, rgba, [](unsigned r, unsigned g, unsigned b) { return (unsigned char)((r + g + b) / 3); });
        return true;
    case AlphaSquares:
        FillRgba(rgb, pixelCount, rgba, [](unsigned r, unsigned g, unsigned b) {
            const unsigned q = r * r + g * g + b * b;
            return (unsigned char)(q <= 255 ? q : 255);
        });
        return true;
    case AlphaSquaresHalf:
        FillRgba(rgb, pixelCount, rgba, [](unsigned r, unsigned g, unsigned b) {
            const unsigned q = r * r + g * g + b * b;
            return (unsigned char)(q <= 510 ? q / 2 : 255);
        });
        return true;
    case AlphaSquaresThird:
        FillRgba(rgb, pixelCount, rgba, [](unsigned r, unsigned g, unsigned b) {
            const unsigned q = r * r + g * g + b * b;
            return (unsigned char)(q <= 765 ? q / 3 : 255);
        });
        return true;
    case AlphaMagnitude:
        // The square root of a whole number below 2^53 is correctly rounded, so truncating it
        // gives the integer square root.
        FillRgba(rgb, pixelCount, rgba, [](unsigned r, unsigned g, unsigned b) {
            const unsigned q = r * r + g * g + b * b;
            return (unsigned char)(q <= 65025 ? unsigned(sqrt(double(q))) : 255);
        });
        return true;
    default:
        return false;
    }
}
