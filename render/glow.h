// The glow post-process: the frame is captured, reduced, powered, blurred and added back.
#ifndef KELVO_RENDER_GLOW_H
#define KELVO_RENDER_GLOW_H

// Makes the glow pass's textures in the current context. Always true.
bool CreateGlowTextures();

// Lays the glow over the current back buffer.
void ApplyGlow(float radius, float powerPasses, float glowLayers, float blurGain);

#endif
