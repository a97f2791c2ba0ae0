// A console program that looks at and drives the Windows demo from inside the same Wine session,
// for tests/wine_demo.sh: what the display and the demo's window are, the message boxes it shows,
// and the keys, close requests and system commands it is sent. Everything goes through the
// window's messages, so it works in a Wine virtual desktop as on a plain X screen.
//
//   win_probe state                  "mode WxH", then "window popup|overlapped X Y W H client CW CH
//                                    visible|hidden iconic|shown" when the demo's window is there
//                                    (else "window none")
//   win_probe box CAPTION SECONDS    waits for a message box with that caption and prints
//                                    "box CAPTION: TEXT" (the text's line breaks as \n)
//   win_probe press CAPTION BUTTON SECONDS
//                                    waits for that box and presses yes, no or ok in it
//   win_probe keydown|keyup KEY      posts the key to the demo's window: escape, f1, m or n
//   win_probe close                  posts the close request (WM_CLOSE)
//   win_probe syscommand CODE        sends WM_SYSCOMMAND with wParam CODE (hex; lParam 2, the
//                                    power-off of SC_MONITORPOWER) and prints "result N"
// Exit status: 0 done, 1 not found or not done in time, 2 bad arguments.

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

HWND DemoWindow()
{
    return FindWindowA("OpenGL", "kelvo");
}

struct BoxSearch {
    const char *caption;
    HWND found;
};

BOOL CALLBACK FindBox(HWND window, LPARAM param)
{
    BoxSearch *search = reinterpret_cast<BoxSearch *>(param);
    char className[64] = "", title[256] = "";
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, title, sizeof title);
    if (strcmp(className, "#32770") == 0 && strcmp(title, search->caption) == 0 && IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// The message box with `caption`, waited for up to `seconds`; null when none came.
HWND WaitForBox(const char *caption, double seconds)
{
    for (DWORD start = GetTickCount(); GetTickCount() - start <= DWORD(seconds * 1000);) {
        BoxSearch search = {caption, nullptr};
        EnumWindows(FindBox, LPARAM(&search));
        if (search.found)
            return search.found;
        Sleep(100);
    }
    return nullptr;
}

// The box's own text: its static control that is no icon.
BOOL CALLBACK FindText(HWND child, LPARAM param)
{
    char className[64] = "";
    GetClassNameA(child, className, sizeof className);
    if (_stricmp(className, "Static") == 0 && !(GetWindowLongA(child, GWL_STYLE) & SS_ICON)) {
        char *text = reinterpret_cast<char *>(param);
        if (GetWindowTextA(child, text, 512) > 0)
            return FALSE;
    }
    return TRUE;
}

int PrintBox(const char *caption, double seconds)
{
    HWND box = WaitForBox(caption, seconds);
    if (!box) {
        printf("box %s: none\n", caption);
        return 1;
    }
    char text[512] = "";
    EnumChildWindows(box, FindText, LPARAM(text));
    printf("box %s: ", caption);
    for (const char *c = text; *c; c++) {
        if (*c == '\n')
            fputs("\\n", stdout);
        else if (*c != '\r')
            putchar(*c);
    }
    putchar('\n');
    return 0;
}

int PressButton(const char *caption, const char *button, double seconds)
{
    int id = strcmp(button, "yes") == 0 ? IDYES : strcmp(button, "no") == 0 ? IDNO : strcmp(button, "ok") == 0 ? IDOK : 0;
    if (!id)
        return 2;
    HWND box = WaitForBox(caption, seconds);
    HWND control = box ? GetDlgItem(box, id) : nullptr;
    if (!control) {
        printf("box %s: no %s button\n", caption, button);
        return 1;
    }
    PostMessageA(control, BM_CLICK, 0, 0);
    return 0;
}

int PrintState()
{
    DEVMODEA mode = {};
    mode.dmSize = sizeof mode;
    if (EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode))
        printf("mode %lux%lu\n", (unsigned long)mode.dmPelsWidth, (unsigned long)mode.dmPelsHeight);
    else
        printf("mode unknown\n");
    HWND window = DemoWindow();
    if (!window) {
        printf("window none\n");
        return 0;
    }
    RECT outer = {}, client = {};
    GetWindowRect(window, &outer);
    GetClientRect(window, &client);
    LONG style = GetWindowLongA(window, GWL_STYLE);
    printf("window %s %ld %ld %ld %ld client %ld %ld %s %s\n", (style & WS_POPUP) ? "popup" : "overlapped", outer.left,
           outer.top, outer.right - outer.left, outer.bottom - outer.top, client.right, client.bottom,
           IsWindowVisible(window) ? "visible" : "hidden", IsIconic(window) ? "iconic" : "shown");
    return 0;
}

int PostKey(const char *key, bool down)
{
    int code = strcmp(key, "escape") == 0 ? VK_ESCAPE : strcmp(key, "f1") == 0 ? VK_F1
             : strcmp(key, "m") == 0      ? 'M'
             : strcmp(key, "n") == 0      ? 'N'
                                          : 0;
    if (!code)
        return 2;
    HWND window = DemoWindow();
    if (!window)
        return 1;
    // A key's lParam: repeat count 1, and for a release the previous-state and transition bits.
    LPARAM param = down ? 1 : LPARAM(0xC0000001);
    return PostMessageA(window, down ? WM_KEYDOWN : WM_KEYUP, WPARAM(code), param) ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc == 2 && strcmp(argv[1], "state") == 0)
        return PrintState();
    if (argc == 4 && strcmp(argv[1], "box") == 0)
        return PrintBox(argv[2], atof(argv[3]));
    if (argc == 5 && strcmp(argv[1], "press") == 0)
        return PressButton(argv[2], argv[3], atof(argv[4]));
    if (argc == 3 && (strcmp(argv[1], "keydown") == 0 || strcmp(argv[1], "keyup") == 0))
        return PostKey(argv[2], strcmp(argv[1], "keydown") == 0);
    if (argc == 2 && strcmp(argv[1], "close") == 0) {
        HWND window = DemoWindow();
        return window && PostMessageA(window, WM_CLOSE, 0, 0) ? 0 : 1;
    }
    if (argc == 3 && strcmp(argv[1], "syscommand") == 0) {
        HWND window = DemoWindow();
        DWORD_PTR result = 0;
        if (!window || !SendMessageTimeoutA(window, WM_SYSCOMMAND, WPARAM(strtoul(argv[2], nullptr, 16)), 2,
                                            SMTO_ABORTIFHUNG, 5000, &result))
            return 1;
        printf("result %lu\n", (unsigned long)result);
        return 0;
    }
    fprintf(stderr, "usage: win_probe state | box CAPTION SECONDS | press CAPTION yes|no|ok SECONDS |\n"
                    "       keydown|keyup escape|f1|m|n | close | syscommand HEX\n");
    return 2;
}
