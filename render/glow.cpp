// The glow post-process.

#include "render/glow.h"

// Not built yet: makes no textures.
bool CreateGlowTextures()
{
    return true;
}

// Not built yet: draws nothing.
void ApplyGlow(float radius, float powerPasses, float glowLayers, float blurGain)
{
    (void)radius;
    (void)powerPasses;
    (void)glowLayers;
    (void)blurGain;
}
