// The window, its device and GL contexts, and the window procedure.

#include <windows.h>

#include <GL/gl.h>
#include <GL/glu.h>

#include <cstring>

#include "app/app.h"
#include "render/frame.h"

AppState appState = {
    NULL, NULL, NULL, NULL, true, true, {},
    // The rest of the descriptor is filled at the first creation that gets as far as a window.
    {sizeof(PIXELFORMATDESCRIPTOR), 1, PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER, PFD_TYPE_RGBA,
     0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    false,
    {},
};

static const char WindowClassName[] = "OpenGL";

static void ShowShutdownError(const char *text)
{
    MessageBoxA(NULL, text, "SHUTDOWN ERROR", MB_OK | MB_ICONINFORMATION);
}

// A creation step failed after the window existed: undo everything, then say why.
static bool FailCreation(const char *text)
{
    DestroyMainWindow();
    MessageBoxA(NULL, text, "ERROR", MB_OK | MB_ICONEXCLAMATION);
    return false;
}

void DestroyMainWindow()
{
    if (appState.fullscreenMode) {
        ChangeDisplaySettingsA(NULL, 0);
        ShowCursor(TRUE);
    }
    if (appState.glContext) {
        if (!wglMakeCurrent(NULL, NULL))
            ShowShutdownError("Release Of DC And RC Failed.");
        if (!wglDeleteContext(appState.glContext))
            ShowShutdownError("Release Rendering Context Failed.");
        appState.glContext = NULL;
    }
    if (appState.deviceContext) {
        if (!ReleaseDC(appState.window, appState.deviceContext))
            ShowShutdownError("Release Device Context Failed.");
        appState.deviceContext = NULL;
    }
    if (appState.window) {
        if (!DestroyWindow(appState.window))
            ShowShutdownError("Could Not Release hWnd.");
        appState.window = NULL;
    }
    if (!UnregisterClassA(WindowClassName, appState.instance))
        ShowShutdownError("Could Not Unregister Class.");
}

bool CreateMainWindow(const char *title, int width, int height, int bits, bool fullscreen)
{
    appState.fullscreenMode = fullscreen;
    RECT windowRect;
    windowRect.left = 0;
    windowRect.top = 0;
    windowRect.right = width;
    windowRect.bottom = height;

    appState.instance = GetModuleHandleA(NULL);

    WNDCLASSA windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC;
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = appState.instance;
    windowClass.hIcon = LoadIconA(NULL, IDI_WINLOGO);
    windowClass.hCursor = LoadCursorA(NULL, IDC_ARROW);
    windowClass.hbrBackground = NULL;
    windowClass.lpszMenuName = NULL;
    windowClass.lpszClassName = WindowClassName;
    if (!RegisterClassA(&windowClass)) {
        MessageBoxA(NULL, "Failed To Register The Window Class.", "ERROR", MB_OK | MB_ICONEXCLAMATION);
        return false;
    }

    if (appState.fullscreenMode) {
        DEVMODEA screenSettings;
        std::memset(&screenSettings, 0, sizeof(screenSettings));
        screenSettings.dmSize = sizeof(screenSettings);
        screenSettings.dmPelsWidth = DWORD(width);
        screenSettings.dmPelsHeight = DWORD(height);
        screenSettings.dmBitsPerPel = DWORD(bits);
        screenSettings.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
        if (ChangeDisplaySettingsA(&screenSettings, CDS_FULLSCREEN) != DISP_CHANGE_SUCCESSFUL) {
            if (MessageBoxA(NULL,
                            "The Requested Fullscreen Mode Is Not Supported By\nYour Video Card. Use Windowed Mode Instead?",
                            "QEZ", MB_YESNO | MB_ICONEXCLAMATION) == IDYES) {
                appState.fullscreenMode = false;
            } else {
                MessageBoxA(NULL, "Program Will Now Close.", "ERROR", MB_OK | MB_ICONSTOP);
                return false;
            }
        }
    }

    DWORD exStyle;
    DWORD style;
    if (appState.fullscreenMode) {
        exStyle = WS_EX_APPWINDOW;
        style = WS_POPUP;
        ShowCursor(FALSE);
    } else {
        exStyle = WS_EX_APPWINDOW | WS_EX_WINDOWEDGE;
        style = WS_OVERLAPPEDWINDOW;
    }
    AdjustWindowRectEx(&windowRect, style, FALSE, exStyle);

    appState.window = CreateWindowExA(exStyle, WindowClassName, title, style | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, 0, 0,
                                      windowRect.right - windowRect.left, windowRect.bottom - windowRect.top, NULL,
                                      NULL, appState.instance, NULL);
    if (!appState.window)
        return FailCreation("Window Creation Error.");

    if (!appState.pixelFormatFilled) {
        // Every later creation reuses this record unchanged, colour depth included.
        appState.pixelFormat.cColorBits = BYTE(bits);
        appState.pixelFormat.cDepthBits = 16;
        appState.pixelFormat.iLayerType = PFD_MAIN_PLANE;
        appState.pixelFormatFilled = true;
    }

    appState.deviceContext = GetDC(appState.window);
    if (!appState.deviceContext)
        return FailCreation("Can't Create A GL Device Context.");
    int format = ChoosePixelFormat(appState.deviceContext, &appState.pixelFormat);
    if (!format)
        return FailCreation("Can't Find A Suitable PixelFormat.");
    if (!SetPixelFormat(appState.deviceContext, format, &appState.pixelFormat))
        return FailCreation("Can't Set The PixelFormat.");
    appState.glContext = wglCreateContext(appState.deviceContext);
    if (!appState.glContext)
        return FailCreation("Can't Create A GL Rendering Context.");
    if (!wglMakeCurrent(appState.deviceContext, appState.glContext))
        return FailCreation("Can't Activate The GL Rendering Context.");

    ShowWindow(appState.window, SW_SHOW);
    SetForegroundWindow(appState.window);
    SetFocus(appState.window);
    SetupProjection(width, height);

    if (!InitScene())
        return FailCreation("Initialization Failed.");
    return true;
}

void SetupProjection(int width, int height)
{
    if (height == 0)
        height = 1;
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(45.0, double(width) / double(height), double(0.1f), 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_ACTIVATE:
        appState.drawingEnabled = HIWORD(wParam) == 0;
        return 0;
    case WM_SYSCOMMAND:
        if (wParam == SC_SCREENSAVE || wParam == SC_MONITORPOWER)
            return 0; // keep the screen saver and monitor power-down away while the demo runs
        break;
    case WM_CLOSE:
        PostQuitMessage(0);
        return 0;
    case WM_KEYDOWN:
        if (wParam < sizeof(appState.keyTable)) { // virtual-key codes are below 256; anything else is ignored
            appState.keyTable[wParam] = 1;
            appState.keyPressed[wParam] = 1;
        }
        return 0;
    case WM_KEYUP:
        if (wParam < sizeof(appState.keyTable))
            appState.keyTable[wParam] = 0;
        return 0;
    case WM_SIZE:
        SetupProjection(LOWORD(lParam), HIWORD(lParam));
        return 0;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
