// The end of the Win32 layer, for a program's entry: what the layer holds for the whole process.
#ifndef KELVO_PLATFORM_LINUX_WINDOW_LAYER_H
#define KELVO_PLATFORM_LINUX_WINDOW_LAYER_H

// Releases the GL library the layer keeps loaded between windows, then quits SDL. Call it in
// place of SDL_Quit; nothing of the layer works afterwards.
void QuitWindowLayer();

#endif
