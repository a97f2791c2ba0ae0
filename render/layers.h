// The scene layers, drawn in this order each frame with the GL state of the frame's start, and
// the closed-form time expressions that move them. Clock values are the DemoClock: music
// position in milliseconds.
#ifndef KELVO_RENDER_LAYERS_H
#define KELVO_RENDER_LAYERS_H

// The scrolling background, mirrored top to bottom. Cannot fail.
void DrawBackground();
// The 38 turning black bars. Cannot fail.
void DrawBars();
// The foreground image, added with a pulsing alpha. Cannot fail.
void DrawForegroundOverlay();
// The scrolling logo, added with a pulsing alpha. Cannot fail.
void DrawLogoOverlay();
// The black bands above and below the visible middle quarter. Cannot fail.
void DrawLetterbox();

// Pushes both matrices and sets a 640 x 480 screen projection, y down; always paired with
// EndOverlay2D. Cannot fail.
void BeginOverlay2D();
// Pops both matrices that BeginOverlay2D pushed and leaves the modelview mode current.
void EndOverlay2D();

// The background's texture offset u: one image width per 55 s.
double BackgroundOffset(float clock);
// The angle of bar 0 to 37 about the view axis, in degrees.
double BarAngleDegrees(int bar, float clock);
// The width scale shared by all bars, between 0.9 and 1.1.
double BarWidthScale(float clock);
// The foreground overlay's alpha, between -0.2 and 0.2; at or below 0 it adds nothing.
double ForegroundAlpha(float clock);
// The logo overlay's alpha, between -0.2 and 0.2; at or below 0 it adds nothing.
double LogoAlpha(float clock);
// The logo's texture offset v: five image widths per second.
double LogoOffset(float clock);

#endif
