/*
 * windows.h -- the Win32 and WGL subset kelvo uses, in a web page (WebAssembly, WebGL).
 *
 * The same declarations as on Linux (platform/win32_api/win32_api.h: the real types, layouts
 * and values), implemented on the page: a window is a canvas, its device context the canvas's
 * WebGL context, and the loop yields to the browser in SwapBuffers and MessageBoxA.
 *
 * The folder (platform/web) gives the web build this subset, the GL subset (include/GL), the
 * sound layer's audio device and MP3 decoder on Web Audio (sound_webaudio.cpp,
 * decoder_webaudio.cpp), the program's entry (web_main.cpp) and the page around it (page/). It
 * is the only place that includes emscripten's headers; of the rest of platform/ it includes
 * only the shared parts (win32_api, sound, and the data helpers).
 *
 * Contract, one line per call; "fails" means the real failure value (0, NULL or FALSE).
 * Differences from Windows are marked [differs].
 *
 * Module, class, resources
 *   GetModuleHandleA(NULL)     the instance (never NULL); a name other than NULL fails.
 *   LoadIconA / LoadCursorA    a placeholder handle for the stock resources; never fails for them.
 *   RegisterClassA             an atom; fails for a NULL procedure or name, or a name already registered.
 *   UnregisterClassA           TRUE; fails when the class is unknown or a window of it still exists.
 * Windows
 *   AdjustWindowRectEx         grows the rect by nominal frame sizes (8 px edges, 31 px top for a
 *                              caption); CreateWindowExA takes them off again, so the client area is
 *                              what was asked. [differs: a window has no frame]
 *   CreateWindowExA            a hidden canvas of the client size on the page, with its WebGL context
 *                              (WebGL 2, else 1; no alpha, depth, no antialiasing), made before the
 *                              procedure is sent WM_NCCREATE, WM_CREATE, WM_SIZE and WM_MOVE; fails
 *                              for an unknown class, a zero or negative client size, a page without
 *                              WebGL (one line on stderr says so) or a procedure that rejects
 *                              WM_NCCREATE or WM_CREATE. The canvas keeps its size: the page scales it
 *                              to the browser window or the screen with 4:3 kept, black around it.
 *                              [differs: WM_NCCREATE and WM_CREATE carry no CREATESTRUCT]
 *   DestroyWindow              sends WM_DESTROY, WM_NCDESTROY; loses the WebGL context and removes the
 *                              canvas; fails for an invalid window.
 *   ShowWindow                 SW_SHOW/SW_HIDE/SW_RESTORE show or hide the canvas; returns whether it was
 *                              visible. [differs: SW_MINIMIZE hides]
 *   SetForegroundWindow        TRUE for a valid window; fails otherwise.
 *   SetFocus                   the window that had focus, NULL if none.
 *   DefWindowProcA             WM_CLOSE destroys the window; Alt+F4 (WM_SYSKEYDOWN) sends WM_SYSCOMMAND
 *                              SC_CLOSE, which sends WM_CLOSE; WM_NCCREATE gives TRUE; the rest 0.
 * Messages
 *   PeekMessageA               queued messages in arrival order, then WM_QUIT once PostQuitMessage was
 *                              called; never blocks. The hWnd and message range filters are honoured.
 *                              The page's keys (and its touch buttons, as the keys they stand for)
 *                              become WM_KEYDOWN/WM_KEYUP with virtual-key codes and Win32 lParam bits
 *                              (auto-repeat as repeated key-downs with bit 30 set); keys with Alt (not
 *                              with Ctrl), Alt itself and F10 WM_SYSKEYDOWN/WM_SYSKEYUP.
 *   TranslateMessage           TRUE for key messages, FALSE otherwise. [differs: posts no WM_CHAR]
 *   DispatchMessageA           calls the procedure of msg->hwnd; 0 for a thread message.
 *   PostQuitMessage            WM_QUIT with the exit code is retrieved when the queue is empty.
 *   MessageBoxA                a dialog on the page with the caption, text, buttons (MB_OK, MB_OKCANCEL,
 *                              MB_YESNO, MB_YESNOCANCEL, MB_RETRYCANCEL) and default button of uType;
 *                              returns once one is clicked (or picked by Enter, the default; Escape,
 *                              Cancel or OK on an MB_OK box; Y and N, Yes and No), the loop waiting
 *                              meanwhile. The box's text is also said in the console.
 *                              [differs: the owner and the icon are ignored]
 * Display
 *   ChangeDisplaySettingsA     with a mode and CDS_FULLSCREEN: asks the page for fullscreen (the
 *                              Fullscreen API, which needs a click or a key on the page in the last few
 *                              seconds) and returns DISP_CHANGE_SUCCESSFUL when the browser gave it,
 *                              else DISP_CHANGE_BADMODE; with CDS_TEST only whether the page may ask.
 *                              NULL, 0 leaves fullscreen. [differs: the screen's mode never changes;
 *                              fullscreen shows the picture scaled to the screen, 4:3 kept]
 *   ShowCursor                 display counter as on Windows; the pointer shows over the picture while
 *                              it is >= 0.
 * GDI and WGL
 *   GetDC / ReleaseDC          the window's own device context (CS_OWNDC semantics); ReleaseDC returns 1,
 *                              0 for a DC that is not that window's.
 *   ChoosePixelFormat          1 for RGBA with at most 8 bits a channel, depth 0/16/24 and no stencil
 *                              beyond 8; fails for an invalid DC, a NULL descriptor or PFD_TYPE_COLORINDEX.
 *   SetPixelFormat             TRUE for format 1; fails for an invalid DC or index, or a second format.
 *   wglCreateContext           a GL context (platform/web/include/GL/gl.h) over the window's WebGL
 *                              context, not made current; fails without a pixel format.
 *   wglMakeCurrent             makes it current; (NULL, NULL) releases; fails for invalid handles. GL
 *                              calls while none is current do nothing, as on Windows.
 *   wglDeleteContext           deletes it and every texture made in it (releasing it first if current);
 *                              fails for an invalid handle.
 *   wglGetProcAddress          NULL: the subset offers no extension functions (as Windows gives NULL for
 *                              the GL 1.1 functions themselves).
 *   SwapBuffers                presents the frame and waits for the browser's next animation frame;
 *                              fails for an invalid DC.
 *
 * Not reproduced: window classes' extra bytes, brushes, icons and cursors other than the stock arrow,
 * painting (WM_PAINT), non-client messages beyond creation, menus, minimised windows, threads.
 */
#ifndef KELVO_PLATFORM_WEB_WINDOWS_H
#define KELVO_PLATFORM_WEB_WINDOWS_H

#include "platform/win32_api/win32_api.h"

#endif
