/*
 * windows.h -- the Win32 and WGL subset kelvo uses, implemented on SDL2: the Linux desktop's
 * platform layer (platform/linux).
 *
 * The app includes <windows.h> and is written against Win32; on Windows it compiles against the
 * system headers, on Linux against this one, whose declarations (the real types, structure
 * layouts and constant values) are platform/win32_api/win32_api.h, shared with the web page.
 *
 * The folder gives the demo, the tools and the tests this subset, the sound layer's audio device
 * (SDL2 audio, sound_sdl.cpp) and MP3 decoder (libmpg123 and libsyn123: decoder_mpg123.cpp,
 * mp3_stream), the process entry (entry.cpp) and the tests' seam (test_seam.h). It is the only
 * place that includes SDL, X11 or libmpg123 headers; of the rest of platform/ it includes only
 * the shared parts (win32_api, sound, and the data, option and name helpers).
 *
 * Contract, one line per call; "fails" means the real failure value
 * (0, NULL or FALSE). Differences from Windows are marked [differs].
 *
 * Module, class, resources
 *   GetModuleHandleA(NULL)     the process instance (never NULL); a name other than NULL fails.
 *   LoadIconA / LoadCursorA    a placeholder handle for the stock resources; never fails for them.
 *   RegisterClassA             an atom; fails for a NULL procedure or name, or a name already registered.
 *   UnregisterClassA           TRUE; fails when the class is unknown or a window of it still exists.
 * Windows
 *   AdjustWindowRectEx         grows the rect by nominal frame sizes (8 px edges, 31 px top for a
 *                              caption); CreateWindowExA takes the same sizes off again, so the client
 *                              area is what was asked. [differs: the window manager draws the frame]
 *   CreateWindowExA            a hidden window; sends WM_NCCREATE, WM_CREATE, WM_SIZE, WM_MOVE to the
 *                              procedure before returning; fails for an unknown class, a zero client
 *                              size, no video, or a procedure that rejects WM_NCCREATE or WM_CREATE.
 *                              No video: no display could be opened, and SDL_VIDEODRIVER does not
 *                              ask for a screenless driver (offscreen, dummy); the first call that
 *                              needs video then says on stderr which display could not be opened.
 *                              A WS_POPUP window created while a display mode change is in force, at
 *                              that mode's size, becomes an exclusive fullscreen window in that mode.
 *                              [differs: WM_NCCREATE and WM_CREATE carry no CREATESTRUCT]
 *   DestroyWindow              sends WM_DESTROY, WM_NCDESTROY; fails for an invalid window.
 *   ShowWindow                 SW_SHOW/SW_HIDE/SW_MINIMIZE/SW_RESTORE; returns whether it was visible.
 *   SetForegroundWindow        raises the window; fails for an invalid window.
 *   SetFocus                   gives it keyboard focus; returns the window that had focus, NULL if none.
 *   DefWindowProcA             WM_CLOSE destroys the window; Alt+F4 (WM_SYSKEYDOWN) sends
 *                              WM_SYSCOMMAND SC_CLOSE, which sends WM_CLOSE; SC_MINIMIZE, SC_MAXIMIZE,
 *                              SC_RESTORE act; SC_SCREENSAVE and SC_MONITORPOWER reaching it allow the
 *                              screen saver and power-down; WM_NCCREATE gives TRUE; the rest 0.
 *                              [differs: no menu mode on a lone Alt or F10]
 * Messages
 *   PeekMessageA               queued messages in arrival order, then WM_QUIT once PostQuitMessage
 *                              was called; never blocks. The hWnd and message range filters are
 *                              honoured. Input is translated from SDL events: keys become
 *                              WM_KEYDOWN/WM_KEYUP with virtual-key codes and Win32 lParam bits
 *                              (auto-repeat as repeated key-downs with bit 30 set); keys with Alt (not
 *                              with Ctrl), Alt itself and F10 WM_SYSKEYDOWN/WM_SYSKEYUP; a close
 *                              request, SIGINT, SIGTERM or SIGHUP WM_CLOSE. State changes are sent to the
 *                              procedure during the call, as Windows sends them: minimise
 *                              WM_ACTIVATE(WA_INACTIVE, minimised) then WM_SIZE(SIZE_MINIMIZED, 0, 0);
 *                              restore WM_SIZE then WM_ACTIVATE(WA_ACTIVE, 0); focus changes
 *                              WM_ACTIVATE with high word 0; size changes WM_SIZE with the client size.
 *                              On X11 only real key events count: a key held into a newly focused
 *                              window gives no key-down until it repeats, and a release reaches the
 *                              focused window even when the press went to a window since destroyed.
 *                              Every 30 s while a window is shown it asks the procedure about
 *                              SC_SCREENSAVE and SC_MONITORPOWER and inhibits the screen saver unless
 *                              both reach DefWindowProcA.
 *   TranslateMessage           TRUE for key messages, FALSE otherwise. [differs: posts no WM_CHAR]
 *   DispatchMessageA           calls the procedure of msg->hwnd; 0 for a thread message.
 *   PostQuitMessage            WM_QUIT with the exit code is retrieved when the queue is empty.
 *   MessageBoxA                modal SDL message box with the buttons, default button (MB_DEFBUTTONn)
 *                              and icon of uType; Enter picks the default button, Escape picks Cancel,
 *                              or OK on an MB_OK box. With no display it prints "caption: text" on
 *                              stderr and returns the default button. SIGINT, SIGTERM or SIGHUP
 *                              while a box is up closes it, releases the layer's windows, contexts
 *                              and display mode and ends the process with status 0.
 *                              [differs: the owner is ignored]
 * Display
 *   ChangeDisplaySettingsA     with a mode and CDS_FULLSCREEN: DISP_CHANGE_SUCCESSFUL when the display
 *                              offers exactly that size (and depth where SDL reports one), or when
 *                              the GL has framebuffer objects to emulate it (any size up to 16384 a
 *                              side, depth 16, 24 or 32: the monitor keeps its mode and shows the
 *                              picture scaled), else DISP_CHANGE_BADMODE; the switch happens when
 *                              the popup window is shown.
 *                              [differs: not at once] NULL, 0 restores the desktop mode. CDS_TEST only tests.
 *   ShowCursor                 display counter as on Windows; the cursor shows while it is >= 0.
 * GDI and WGL
 *   GetDC / ReleaseDC          the window's own device context (CS_OWNDC semantics); ReleaseDC returns 1,
 *                              0 for a DC that is not that window's.
 *   ChoosePixelFormat          the index of the nearest format: RGB(A) 8 bits per channel (5/6/5 for
 *                              16 colour bits), depth 0/16/24, stencil 0/8, single or double buffer;
 *                              fails for an invalid DC, a NULL descriptor or PFD_TYPE_COLORINDEX.
 *   SetPixelFormat             applies the format as SDL GL attributes (compatibility profile); fails for
 *                              an invalid DC or index, or when the window already has another format.
 *   wglCreateContext           a GL context on the DC's window, not made current; fails without a format.
 *   wglMakeCurrent             makes it current; (NULL, NULL) releases; fails for invalid handles.
 *   wglDeleteContext           deletes it (releasing it first if current); fails for an invalid handle.
 *   wglGetProcAddress          SDL_GL_GetProcAddress; NULL without a current context.
 *                              [differs: also answers for the GL 1.1 functions]
 *   SwapBuffers                presents the back buffer; fails for an invalid DC.
 *
 * Not reproduced: window classes' extra bytes, brushes, icons and cursors other than the stock arrow,
 * painting (WM_PAINT), non-client messages beyond creation, menus, sent messages between threads.
 * Only the thread that first uses the layer may call it (as Win32 windows belong to their thread).
 */
#ifndef KELVO_PLATFORM_LINUX_WINDOWS_H
#define KELVO_PLATFORM_LINUX_WINDOWS_H

#include "platform/win32_api/win32_api.h"

#endif
