/* A stand-in opengl32.dll for the Wine run, put beside kelvo.exe: every call goes on to Wine's own
 * opengl32 (through the jumps that gl_standin.sh writes into stubs.S), except that the calls named
 * in KELVO_GL_FAIL fail as a driver's can, so that the window layer's failure boxes show:
 *   wglSetPixelFormat  refuses the format (Windows' SetPixelFormat asks opengl32 for it)
 *   wglCreateContext   returns no context
 *   wglMakeCurrent     fails when making a context current
 *   wglReleaseCurrent  wglMakeCurrent(NULL, NULL) fails (the teardown's release)
 *   wglDeleteContext   fails (the context is deleted all the same, so that nothing leaks)
 */
#include <windows.h>
#include <stdlib.h>
#include <string.h>

/* Filled by gl_standin.sh: the names of Wine's opengl32 exports, and the addresses the jumps go to. */
extern const char *const standinNames[];
extern void *standinTargets[];
extern const int standinCount;

static HMODULE real;
typedef BOOL(WINAPI *SetPixelFormatFn)(HDC, int, const PIXELFORMATDESCRIPTOR *);
typedef HGLRC(WINAPI *CreateContextFn)(HDC);
typedef BOOL(WINAPI *MakeCurrentFn)(HDC, HGLRC);
typedef BOOL(WINAPI *DeleteContextFn)(HGLRC);
static SetPixelFormatFn realSetPixelFormat;
static CreateContextFn realCreateContext;
static MakeCurrentFn realMakeCurrent;
static DeleteContextFn realDeleteContext;

static BOOL Fails(const char *name)
{
    char list[256];
    DWORD got = GetEnvironmentVariableA("KELVO_GL_FAIL", list, sizeof list);
    if (got == 0 || got >= sizeof list)
        return FALSE;
    for (char *item = strtok(list, ","); item; item = strtok(NULL, ","))
        if (strcmp(item, name) == 0)
            return TRUE;
    return FALSE;
}

BOOL WINAPI standin_wglSetPixelFormat(HDC dc, int format, const PIXELFORMATDESCRIPTOR *descriptor)
{
    if (Fails("wglSetPixelFormat")) {
        SetLastError(ERROR_INVALID_PIXEL_FORMAT);
        return FALSE;
    }
    return realSetPixelFormat(dc, format, descriptor);
}

HGLRC WINAPI standin_wglCreateContext(HDC dc)
{
    if (Fails("wglCreateContext")) {
        SetLastError(ERROR_INVALID_PIXEL_FORMAT);
        return NULL;
    }
    return realCreateContext(dc);
}

BOOL WINAPI standin_wglMakeCurrent(HDC dc, HGLRC context)
{
    if (Fails(context ? "wglMakeCurrent" : "wglReleaseCurrent")) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return realMakeCurrent(dc, context);
}

BOOL WINAPI standin_wglDeleteContext(HGLRC context)
{
    BOOL deleted = realDeleteContext(context);
    return Fails("wglDeleteContext") ? FALSE : deleted;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    (void)reserved;
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    char path[MAX_PATH];
    UINT length = GetSystemDirectoryA(path, MAX_PATH - 16);
    if (length == 0 || length >= MAX_PATH - 16)
        return FALSE;
    strcat(path, "\\opengl32.dll");
    real = LoadLibraryA(path);
    if (!real)
        return FALSE;
    for (int i = 0; i < standinCount; i++)
        standinTargets[i] = (void *)GetProcAddress(real, standinNames[i]);
    realSetPixelFormat = (SetPixelFormatFn)GetProcAddress(real, "wglSetPixelFormat");
    realCreateContext = (CreateContextFn)GetProcAddress(real, "wglCreateContext");
    realMakeCurrent = (MakeCurrentFn)GetProcAddress(real, "wglMakeCurrent");
    realDeleteContext = (DeleteContextFn)GetProcAddress(real, "wglDeleteContext");
    return realSetPixelFormat && realCreateContext && realMakeCurrent && realDeleteContext;
}
