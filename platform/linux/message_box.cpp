// Message boxes of the Win32 layer: SDL's modal boxes, or a line on standard error where
// there is no screen to show one on.

#include "platform/linux/preset_answer.h"
#include "platform/linux/layer_internal.h"

#include <cstdio>
#include <cstring>

namespace {

using namespace win32layer;

// Drivers with no screen cannot show a message box to anyone.
bool CanShowBoxes()
{
    if (!win32.videoReady)
        return false;
    const char *driver = SDL_GetCurrentVideoDriver();
    return driver && std::strcmp(driver, "offscreen") != 0 && std::strcmp(driver, "dummy") != 0;
}

} // namespace

using namespace win32layer;

extern "C" {

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    Enter(FnMessageBoxA);
    EnsureVideo();
    if (!text)
        text = "";
    if (!caption)
        caption = "Error";

    struct Button {
        int id;
        const char *label;
    };
    static const Button ok[] = {{IDOK, "OK"}};
    static const Button okCancel[] = {{IDOK, "OK"}, {IDCANCEL, "Cancel"}};
    static const Button abortRetryIgnore[] = {{IDABORT, "Abort"}, {IDRETRY, "Retry"}, {IDIGNORE, "Ignore"}};
    static const Button yesNoCancel[] = {{IDYES, "Yes"}, {IDNO, "No"}, {IDCANCEL, "Cancel"}};
    static const Button yesNo[] = {{IDYES, "Yes"}, {IDNO, "No"}};
    static const Button retryCancel[] = {{IDRETRY, "Retry"}, {IDCANCEL, "Cancel"}};
    const Button *buttons = ok;
    int count = 1;
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: buttons = okCancel; count = 2; break;
    case MB_ABORTRETRYIGNORE: buttons = abortRetryIgnore; count = 3; break;
    case MB_YESNOCANCEL: buttons = yesNoCancel; count = 3; break;
    case MB_YESNO: buttons = yesNo; count = 2; break;
    case MB_RETRYCANCEL: buttons = retryCancel; count = 2; break;
    default: break;
    }
    int defaultIndex = int((type & MB_DEFMASK) >> 8);
    if (defaultIndex >= count)
        defaultIndex = 0;
    int escapeId = 0;
    for (int i = 0; i < count; i++)
        if (buttons[i].id == IDCANCEL)
            escapeId = IDCANCEL;
    if (count == 1)
        escapeId = IDOK;

    int answer;
    if (PresetAnswerFor(text, &answer)) {
        // answered in advance by a command-line option: nothing is shown
    } else if (!win32.scriptedAnswers.empty()) {
        answer = win32.scriptedAnswers.front();
        win32.scriptedAnswers.erase(win32.scriptedAnswers.begin());
    } else {
        answer = -1;
        if (CanShowBoxes()) {
            SDL_MessageBoxButtonData data[3];
            for (int i = 0; i < count; i++) {
                data[i].flags = 0;
                if (i == defaultIndex)
                    data[i].flags |= SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT;
                if (buttons[i].id == escapeId)
                    data[i].flags |= SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
                data[i].buttonid = buttons[i].id;
                data[i].text = buttons[i].label;
            }
            Uint32 icon = SDL_MESSAGEBOX_INFORMATION;
            UINT iconBits = type & MB_ICONMASK;
            if (iconBits == MB_ICONHAND)
                icon = SDL_MESSAGEBOX_ERROR;
            else if (iconBits == MB_ICONEXCLAMATION)
                icon = SDL_MESSAGEBOX_WARNING;
            SDL_MessageBoxData box = {icon | SDL_MESSAGEBOX_BUTTONS_LEFT_TO_RIGHT, NULL, caption, text, count, data,
                                      NULL};
            int pressed = -1;
            if (ShowBoxUntilInterrupted(&box, &pressed) == 0)
                answer = pressed >= 0 ? pressed : (escapeId ? escapeId : buttons[defaultIndex].id);
        }
        if (answer < 0) {
            std::fprintf(stderr, "%s: %s\n", caption, text);
            std::fflush(stderr);
            answer = buttons[defaultIndex].id;
        }
    }

    SeamMessageBox record;
    record.text = text;
    record.caption = caption;
    record.flags = type;
    record.owner = owner;
    record.answer = answer;
    record.liveWindows = Seam_LiveWindows();
    record.liveContexts = Seam_LiveContexts();
    record.registeredClasses = Seam_RegisteredClasses();
    record.displayChanged = win32.modeChanged;
    record.cursorCount = win32.cursorCount;
    win32.boxes.push_back(record);
    return answer;
}

} // extern "C"
