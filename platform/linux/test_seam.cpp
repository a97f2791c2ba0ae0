// The Win32 layer's test seam (test_seam.h).

#include "platform/linux/layer_internal.h"

#include <cstring>

using namespace win32layer;

namespace {

int FnIndex(const char *name)
{
    for (int i = 0; i < FnCount; i++)
        if (name && std::strcmp(fnNames[i], name) == 0)
            return i;
    return -1;
}

void PushWindowEvent(HWND window, Uint8 event, int data1 = 0, int data2 = 0)
{
    int slot = SlotOf(window, KindWindow);
    if (slot < 0)
        return;
    SDL_Event e = {};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = SDL_GetWindowID(win32.windows[slot].sdl);
    e.window.event = event;
    e.window.data1 = data1;
    e.window.data2 = data2;
    SDL_PushEvent(&e);
}

} // namespace

void Seam_Reset()
{
    for (int i = 0; i < MaxContexts; i++)
        if (win32.contexts[i].used)
            wglDeleteContext(MakeHandle<HGLRC>(KindContext, i, win32.contexts[i].gen));
    for (int i = 0; i < MaxWindows; i++)
        if (win32.windows[i].used)
            DestroySlotWindow(i);
    for (int i = 0; i < MaxClasses; i++)
        win32.classes[i].used = false;
    if (win32.videoReady) {
        SDL_PumpEvents();
        SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
    }
    win32.queueCount = 0;
    win32.quitPending = false;
    win32.quitCode = 0;
    win32.modeChanged = false;
    win32.modePretended = false;
    win32.cursorCount = 0;
    win32.focus = NULL;
    win32.lastAttribs = DefaultAttribs;
    std::memset(win32.calls, 0, sizeof(win32.calls));
    std::memset(win32.failNext, 0, sizeof(win32.failNext));
    win32.scriptedAnswers.clear();
    win32.boxes.clear();
    win32.offeredModes.clear();
    win32.noEmulation = false;
    win32.peekHook = NULL;
    win32.peekCalls = 0;
    win32.callLog.clear();
    win32.logCalls = true;
    pendingInterrupt = 0;
}

void Seam_ScriptAnswers(const std::vector<int> &answers)
{
    win32.scriptedAnswers.insert(win32.scriptedAnswers.end(), answers.begin(), answers.end());
}

const std::vector<SeamMessageBox> &Seam_Boxes() { return win32.boxes; }

bool Seam_FailNext(const char *function)
{
    int fn = FnIndex(function);
    if (fn < 0)
        return false;
    win32.failNext[fn]++;
    return true;
}

int Seam_CallCount(const char *function)
{
    int fn = FnIndex(function);
    return fn < 0 ? -1 : win32.calls[fn];
}

void Seam_OfferDisplayMode(int width, int height, int bitsPerPixel)
{
    SDL_DisplayMode m = {};
    m.w = width;
    m.h = height;
    m.format = bitsPerPixel == 16 ? SDL_PIXELFORMAT_RGB565 : bitsPerPixel == 24 ? SDL_PIXELFORMAT_RGB24 : SDL_PIXELFORMAT_ARGB8888;
    win32.offeredModes.push_back(m);
}

void Seam_NoModeEmulation() { win32.noEmulation = true; }

bool Seam_DisplayChanged() { return win32.modeChanged; }
int Seam_CursorCount() { return win32.cursorCount; }

bool Seam_IsFullscreen(HWND window)
{
    int slot = SlotOf(window, KindWindow);
    return slot >= 0 && win32.windows[slot].fullscreen;
}

bool Seam_ClientSize(HWND window, int *width, int *height)
{
    int slot = SlotOf(window, KindWindow);
    if (slot < 0)
        return false;
    SDL_GetWindowSize(win32.windows[slot].sdl, width, height);
    return true;
}

bool Seam_PicturePlace(HWND window, int drawableWidth, int drawableHeight, int place[4])
{
    int slot = SlotOf(window, KindWindow);
    if (slot < 0 || !win32.windows[slot].pictureFramebuffer)
        return false;
    const Window &w = win32.windows[slot];
    PictureRect r = FitPicture(w.pictureWidth, w.pictureHeight, drawableWidth, drawableHeight);
    place[0] = r.x;
    place[1] = r.y;
    place[2] = r.width;
    place[3] = r.height;
    return true;
}

int Seam_LiveWindows()
{
    int n = 0;
    for (const Window &w : win32.windows)
        n += w.used;
    return n;
}

int Seam_LiveContexts()
{
    int n = 0;
    for (const Context &c : win32.contexts)
        n += c.used;
    return n;
}

int Seam_RegisteredClasses()
{
    int n = 0;
    for (const WindowClass &c : win32.classes)
        n += c.used;
    return n;
}

void Seam_InjectKey(HWND window, int vk, bool down, bool repeat, bool alt)
{
    int slot = SlotOf(window, KindWindow);
    if (slot < 0)
        return;
    SDL_Event e = {};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.windowID = SDL_GetWindowID(win32.windows[slot].sdl);
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.repeat = repeat ? 1 : 0;
    e.key.keysym.sym = KeyFromVk(vk);
    e.key.keysym.scancode = SDL_GetScancodeFromKey(e.key.keysym.sym);
    e.key.keysym.mod = alt ? KMOD_LALT : KMOD_NONE;
    SDL_PushEvent(&e);
}

void Seam_InjectClose(HWND window) { PushWindowEvent(window, SDL_WINDOWEVENT_CLOSE); }
void Seam_InjectMinimize(HWND window) { PushWindowEvent(window, SDL_WINDOWEVENT_MINIMIZED); }
void Seam_InjectRestore(HWND window) { PushWindowEvent(window, SDL_WINDOWEVENT_RESTORED); }
void Seam_InjectResize(HWND window, int width, int height)
{
    PushWindowEvent(window, SDL_WINDOWEVENT_SIZE_CHANGED, width, height);
}
void Seam_InjectFocus(HWND window, bool gained)
{
    PushWindowEvent(window, gained ? SDL_WINDOWEVENT_FOCUS_GAINED : SDL_WINDOWEVENT_FOCUS_LOST);
}
void Seam_InjectInterrupt() { pendingInterrupt = SIGINT; }

bool Seam_AskScreenSaver(HWND window)
{
    int slot = SlotOf(window, KindWindow);
    return slot >= 0 && AskScreenSaver(slot);
}

void Seam_SetPeekHook(void (*hook)(int call)) { win32.peekHook = hook; }

const std::vector<SeamCall> &Seam_Calls() { return win32.callLog; }

void Seam_Note(const char *name)
{
    if (win32.logCalls)
        win32.callLog.push_back({name, {0, 0}});
}
