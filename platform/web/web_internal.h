// Private to the web platform: what its files give each other (the GL subset's contexts to the
// window layer, the page's input to the message queue). Nothing outside platform/web includes this.
#ifndef KELVO_PLATFORM_WEB_INTERNAL_H
#define KELVO_PLATFORM_WEB_INTERNAL_H

#include <windows.h>

namespace weblayer {

// ---- The GL subset (web_gl.cpp).

// A GL context of the subset over the WebGL context `webgl` (emscripten's handle): its shaders and
// buffer made, its state as a fresh GL context's. 0 when WebGL refused them.
int GlCreateContext(int webgl);
// Makes `context` current (0: none; GL calls then do nothing). False for an unknown context.
bool GlMakeCurrent(int context);
// The context that is current, 0 for none.
int GlCurrentContext();
// Deletes `context` with every texture made in it; releases it first when current.
void GlDeleteContext(int context);
// Draws whatever the current context still holds batched, so that the frame is whole.
void GlFinishFrame();

// ---- Input (web_input.cpp).

// Posts the page's key events that arrived since the last call to `window` as key messages.
void PullPageInput(HWND window);

// ---- The message queue (web_window.cpp).

// Appends a message to the queue; false when it is full.
bool PostToQueue(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

} // namespace weblayer

#endif
