// The scene layers, drawn in this order each frame with the GL state of the frame's start.
#ifndef KELVO_RENDER_LAYERS_H
#define KELVO_RENDER_LAYERS_H

// The scrolling background, mirrored top to bottom.
void DrawBackground();
// The 38 turning black bars.
void DrawBars();
// The foreground image, added with a pulsing alpha.
void DrawForegroundOverlay();
// The scrolling logo, added with a pulsing alpha.
void DrawLogoOverlay();
// The black bands above and below the visible middle quarter.
void DrawLetterbox();

#endif
