// MessageBoxA as a dialog on the page: the loop waits (ASYNCIFY) until the page reports the
// button picked. The page also says the box in the console.

#include <windows.h>

#include <emscripten/emscripten.h>

// Shows the dialog and waits for its answer: the button's IDOK, IDYES, ... value.
EM_ASYNC_JS(int, kelvo_page_message_box, (const char *text, const char *caption, int buttons, int defaultButton), {
    return await Module.kelvoPage.messageBox(UTF8ToString(text), UTF8ToString(caption), buttons, defaultButton);
});

extern "C" int WINAPI MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type)
{
    // The buttons of uType by their IDs, in the order Windows shows them.
    int buttons[3] = {IDOK, 0, 0};
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: buttons[0] = IDOK; buttons[1] = IDCANCEL; break;
    case MB_YESNO: buttons[0] = IDYES; buttons[1] = IDNO; break;
    case MB_YESNOCANCEL: buttons[0] = IDYES; buttons[1] = IDNO; buttons[2] = IDCANCEL; break;
    case MB_RETRYCANCEL: buttons[0] = IDRETRY; buttons[1] = IDCANCEL; break;
    case MB_ABORTRETRYIGNORE: buttons[0] = IDABORT; buttons[1] = IDRETRY; buttons[2] = IDIGNORE; break;
    default: break;
    }
    const int count = buttons[2] ? 3 : buttons[1] ? 2 : 1;
    int defaultIndex = int((type & MB_DEFMASK) >> 8);
    if (defaultIndex >= count)
        defaultIndex = 0;
    const int packed = buttons[0] | (buttons[1] << 4) | (buttons[2] << 8);
    return kelvo_page_message_box(text ? text : "", caption ? caption : "Error", packed, buttons[defaultIndex]);
}
