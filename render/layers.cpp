// The scene layers.

#include "render/layers.h"

// Not built yet: draws nothing.
void DrawBackground() {}
// Not built yet: draws nothing.
void DrawBars() {}
// Not built yet: draws nothing.
void DrawForegroundOverlay() {}
// Not built yet: draws nothing.
void DrawLogoOverlay() {}
// Not built yet: draws nothing.
void DrawLetterbox() {}
