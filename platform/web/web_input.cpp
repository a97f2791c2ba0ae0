// The page's keys as Win32 key messages. The page (kelvo_page.js) queues its keydown and keyup
// events, and its touch buttons' presses as the keys they stand for, already as virtual-key codes;
// the message loop takes them here at every PeekMessageA.

#include <windows.h>

#include "platform/web/web_internal.h"

#include <emscripten/emscripten.h>

// The next queued key event, packed: virtual-key code (bits 0-7), down (8), auto-repeat (9),
// Alt held (10), Ctrl held (11), scan code (16-23); -1 when none is queued.
EM_JS(int, kelvo_page_take_key, (void), { return Module.kelvoPage.takeKey(); });

namespace weblayer {

void PullPageInput(HWND window)
{
    for (int packed; (packed = kelvo_page_take_key()) >= 0;) {
        if (!window)
            continue;  // no window has the keys: they go nowhere, as on the desktop
        const WPARAM vk = WPARAM(packed & 0xFF);
        const bool down = (packed >> 8) & 1;
        const bool repeat = (packed >> 9) & 1;
        const bool alt = (packed >> 10) & 1;
        const bool ctrl = (packed >> 11) & 1;
        const LPARAM scan = LPARAM((packed >> 16) & 0xFF);
        // Win32's lParam: repeat count 1, scan code, context (Alt) bit 29, previous state bit 30,
        // transition bit 31.
        LPARAM lParam = 1 | (scan << 16);
        if (alt && !ctrl)
            lParam |= LPARAM(1) << 29;
        if (!down || repeat)
            lParam |= LPARAM(1) << 30;
        if (!down)
            lParam |= LPARAM(1u << 31);
        // Keys with Alt (not with Ctrl), Alt itself and F10 are system keys.
        const bool system = (alt && !ctrl) || vk == VK_MENU || vk == VK_F10;
        const UINT message = down ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP);
        PostToQueue(window, message, vk, lParam);
    }
}

} // namespace weblayer
