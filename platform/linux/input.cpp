// Input translation of the Win32 layer: SDL key events (and, on X11, the raw events behind
// them) to WM_KEYDOWN/WM_KEYUP and WM_SYSKEYDOWN/WM_SYSKEYUP with virtual-key codes.

#include "platform/linux/layer_internal.h"
#include "platform/linux/x11_native.h"

namespace win32layer {

namespace {

struct KeyPair {
    SDL_Keycode key;
    int vk;
};

const KeyPair keyTable[] = {
    {SDLK_BACKSPACE, VK_BACK}, {SDLK_TAB, VK_TAB}, {SDLK_RETURN, VK_RETURN}, {SDLK_KP_ENTER, VK_RETURN},
    {SDLK_LSHIFT, VK_SHIFT}, {SDLK_RSHIFT, VK_SHIFT}, {SDLK_LCTRL, VK_CONTROL}, {SDLK_RCTRL, VK_CONTROL},
    {SDLK_LALT, VK_MENU}, {SDLK_RALT, VK_MENU}, {SDLK_PAUSE, VK_PAUSE}, {SDLK_CAPSLOCK, VK_CAPITAL},
    {SDLK_ESCAPE, VK_ESCAPE}, {SDLK_SPACE, VK_SPACE}, {SDLK_PAGEUP, VK_PRIOR}, {SDLK_PAGEDOWN, VK_NEXT},
    {SDLK_END, VK_END}, {SDLK_HOME, VK_HOME}, {SDLK_LEFT, VK_LEFT}, {SDLK_UP, VK_UP},
    {SDLK_RIGHT, VK_RIGHT}, {SDLK_DOWN, VK_DOWN}, {SDLK_PRINTSCREEN, VK_SNAPSHOT}, {SDLK_INSERT, VK_INSERT},
    {SDLK_DELETE, VK_DELETE}, {SDLK_LGUI, VK_LWIN}, {SDLK_RGUI, VK_RWIN}, {SDLK_APPLICATION, VK_APPS},
    {SDLK_KP_MULTIPLY, VK_MULTIPLY}, {SDLK_KP_PLUS, VK_ADD}, {SDLK_KP_MINUS, VK_SUBTRACT},
    {SDLK_KP_PERIOD, VK_DECIMAL}, {SDLK_KP_DIVIDE, VK_DIVIDE}, {SDLK_NUMLOCKCLEAR, VK_NUMLOCK},
    {SDLK_SCROLLLOCK, VK_SCROLL}, {SDLK_SEMICOLON, VK_OEM_1}, {SDLK_EQUALS, VK_OEM_PLUS},
    {SDLK_COMMA, VK_OEM_COMMA}, {SDLK_MINUS, VK_OEM_MINUS}, {SDLK_PERIOD, VK_OEM_PERIOD},
    {SDLK_SLASH, VK_OEM_2}, {SDLK_BACKQUOTE, VK_OEM_3}, {SDLK_LEFTBRACKET, VK_OEM_4},
    {SDLK_BACKSLASH, VK_OEM_5}, {SDLK_RIGHTBRACKET, VK_OEM_6}, {SDLK_QUOTE, VK_OEM_7},
    {SDLK_KP_0, VK_NUMPAD0},
};

} // namespace

// The virtual-key code of an SDL key, 0 for keys Win32 has no code for here.
int VkFromKey(SDL_Keycode key)
{
    if (key >= SDLK_a && key <= SDLK_z)
        return 'A' + int(key - SDLK_a);
    if (key >= SDLK_0 && key <= SDLK_9)
        return '0' + int(key - SDLK_0);
    if (key >= SDLK_F1 && key <= SDLK_F12)
        return VK_F1 + int(key - SDLK_F1);
    if (key >= SDLK_KP_1 && key <= SDLK_KP_9)
        return VK_NUMPAD0 + 1 + int(key - SDLK_KP_1);
    for (const KeyPair &p : keyTable)
        if (p.key == key)
            return p.vk;
    return 0;
}

SDL_Keycode KeyFromVk(int vk)
{
    if (vk >= 'A' && vk <= 'Z')
        return SDLK_a + (vk - 'A');
    if (vk >= '0' && vk <= '9')
        return SDLK_0 + (vk - '0');
    if (vk >= VK_F1 && vk <= VK_F12)
        return SDLK_F1 + (vk - VK_F1);
    if (vk >= VK_NUMPAD0 + 1 && vk <= VK_NUMPAD0 + 9)
        return SDLK_KP_1 + (vk - VK_NUMPAD0 - 1);
    for (const KeyPair &p : keyTable)
        if (p.vk == vk)
            return p.key;
    return SDLK_UNKNOWN;
}

void TranslateKey(const SDL_KeyboardEvent &e)
{
    int slot = WindowFromSdlId(e.windowID);
    if (slot < 0)
        return;
    int vk = VkFromKey(e.keysym.sym);
    if (vk == 0)
        return;
    bool down = e.type == SDL_KEYDOWN;
    bool alt = (e.keysym.mod & KMOD_ALT) != 0 || (vk == VK_MENU && down);
    bool ctrl = (e.keysym.mod & KMOD_CTRL) != 0;
    bool system = vk == VK_F10 || (vk == VK_MENU && !ctrl) || (alt && !ctrl);
    LPARAM lParam = 1 | (LPARAM(e.keysym.scancode & 0xFF) << 16);
    if (alt)
        lParam |= LPARAM(1) << 29;
    if (!down || e.repeat)
        lParam |= LPARAM(1) << 30;
    if (!down)
        lParam |= LPARAM(1) << 31;
    UINT message = down ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP);
    Post(WindowHandle(slot), message, WPARAM(vk), LPARAM(DWORD(lParam)));
}

// An X11 key release that SDL passed over, because SDL had already forgotten the key when its
// window lost focus, still reaches the focused window as WM_KEYUP, as on Windows.
void FlushX11Release()
{
    if (win32.lastX11Event != X11KeyReleaseType()) {
        win32.lastX11Event = 0;
        return;
    }
    win32.lastX11Event = 0;
    int vk = win32.vkOfX11Key[win32.lastX11KeyCode];
    SDL_Window *focused = SDL_GetKeyboardFocus();
    int slot = focused ? WindowFromSdlId(SDL_GetWindowID(focused)) : -1;
    if (vk == 0 || slot < 0)
        return;
    LPARAM lParam = LPARAM(DWORD(1u | (3u << 30)));
    bool system = vk == VK_F10 || vk == VK_MENU || (SDL_GetModState() & KMOD_ALT && !(SDL_GetModState() & KMOD_CTRL));
    Post(WindowHandle(slot), system ? WM_SYSKEYUP : WM_KEYUP, WPARAM(vk), lParam);
}

void PumpInput()
{
    if (pendingInterrupt) {
        bool any = false;
        for (int i = 0; i < MaxWindows; i++)
            if (win32.windows[i].used) {
                Post(WindowHandle(i), WM_CLOSE, 0, 0);
                any = true;
            }
        if (any)
            pendingInterrupt = 0;
    }
    if (!win32.videoReady)
        return;
    SDL_Event e;
    while (SDL_PollEvent(&e)) {
        if (e.type == SDL_SYSWMEVENT) {
            int type = X11EventType(e);
            int keyCode = X11KeyCode(e) & 0xFF;
            // A release straight followed by a press of the same key is auto-repeat on a server
            // without detectable repeat: no key-up for it.
            bool repeatPair = win32.lastX11Event == X11KeyReleaseType() && type == X11KeyPressType() &&
                              keyCode == win32.lastX11KeyCode;
            if (!repeatPair)
                FlushX11Release();
            win32.lastX11Event = type;
            win32.lastX11KeyCode = keyCode;
            continue;
        }
        if (e.type == SDL_KEYDOWN || e.type == SDL_KEYUP) {
            // On X11, SDL presses the keys that are down when a window gains focus and releases
            // them all when it loses focus. Windows does neither: a key held into a new window
            // only repeats, and one released elsewhere stays down for the program.
            bool down = e.type == SDL_KEYDOWN;
            bool fromX = win32.lastX11Event == (down ? X11KeyPressType() : X11KeyReleaseType());
            win32.lastX11Event = 0;
            if (win32.onlyRealKeys && !fromX)
                continue;
            if (fromX && down)
                win32.vkOfX11Key[win32.lastX11KeyCode] = VkFromKey(e.key.keysym.sym);
            TranslateKey(e.key);
            continue;
        }
        FlushX11Release();
        if (e.type == SDL_WINDOWEVENT)
            TranslateWindowEvent(e.window);
        // SDL_QUIT is not used: close requests arrive per window, and signals are ours.
    }
    FlushX11Release();
    if (SDL_GetTicks64() - win32.lastScreenSaverAsk >= ScreenSaverAskMs)
        for (int i = 0; i < MaxWindows; i++)
            if (win32.windows[i].used && (SDL_GetWindowFlags(win32.windows[i].sdl) & SDL_WINDOW_SHOWN)) {
                AskScreenSaver(i);
                break;
            }
}

} // namespace win32layer
