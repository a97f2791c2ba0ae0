// The demo run offline for the tools that record it: its own window and GL context on SDL's
// offscreen driver (no display needed), its scene, and its music on the sound layer's offline
// output, where nothing plays and the position moves only by seeks and by the audio the caller
// pulls. Frames are drawn by the demo's DrawFrame and read back from the back buffer. Messages
// go to standard error, prefixed by the tool's name. Run from the folder that holds data/.
#ifndef KELVO_TOOLS_OFFLINE_DEMO_H
#define KELVO_TOOLS_OFFLINE_DEMO_H

const int DemoFrameWidth = 800;
const int DemoFrameHeight = 600;
const int DemoFrameBytes = DemoFrameWidth * DemoFrameHeight * 3;

// Creates the window, its context and the scene (which starts the music, offline). false, with
// everything torn down and a message, when there is no window or it is not 800 x 600.
bool OpenOfflineDemo(const char *tool);

// Whether the music stream exists: without it the clock stays at 0.
bool OfflineDemoHasMusic();

// Draws the frame at the music position, which must read `clockMs`; false with a message when it
// does not (the frame is then not drawn).
bool DrawOfflineFrame(const char *tool, int clockMs);

// Reads the drawn frame into `rgb` (DemoFrameBytes, top row first); false with a message.
bool ReadOfflineFrame(const char *tool, unsigned char *rgb);

// Stops the music and tears the window down.
void CloseOfflineDemo();

#endif
