// The glow post-process: the frame is captured, reduced, powered, blurred and added back.
#ifndef KELVO_RENDER_GLOW_H
#define KELVO_RENDER_GLOW_H

// The working frame, the window size that the shell asks for; the work image is half of it.
const int glowWidth = 800;
const int glowHeight = 600;

// Makes the glow pass's two rectangle textures in the current context; false, with no glow in
// later frames, when the context has no rectangle textures.
bool CreateGlowTextures();

// Lays the glow over the lower-left glowWidth x glowHeight of the back buffer and leaves the
// viewport at that size; without rectangle textures it only restores that state.
void ApplyGlow(float radius, float powerPasses, float glowLayers, float blurGain);

// Inside glBegin(GL_QUADS), one quad that fills the glow pass's viewport with the rectangle
// texel window from (s0, t0) to (s0 + width, t0 + height), upright.
void EmitRectQuad(int width, int height, int s0, int t0);

// Whether a context with this version string and extension list has rectangle textures;
// false for a NULL version.
bool RectangleTexturesOffered(const char *version, const char *extensions);

#endif
