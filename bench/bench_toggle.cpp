// F1 benchmark: the memory of the process across repeated re-creations of the window, as the
// F1 key makes them (teardown, then a new window, context, scene textures and glow textures),
// with the real scene, images and music, on SDL's offscreen driver and silent audio. Prints the
// resident set after each tenth re-creation and the growth per re-creation over the second half;
// run under the sanitizer build, LeakSanitizer reports what no re-creation gave back.
//
// Usage, from the repository root (data/ is read there): bench_toggle [re-creations] (default 60)

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <malloc.h>

#include "app/app.h"
#include "audio/music.h"
#include "render/frame.h"

// The resident set in KiB, from /proc/self/status; -1 when it cannot be read.
static long ResidentKb()
{
    FILE *status = fopen("/proc/self/status", "r");
    if (!status)
        return -1;
    char line[256];
    long kb = -1;
    while (fgets(line, sizeof line, status))
        if (strncmp(line, "VmRSS:", 6) == 0)
            kb = atol(line + 6);
    fclose(status);
    return kb;
}

// Bytes of the heap handed out and not yet freed, in KiB.
static long HeapInUseKb()
{
    return long(mallinfo2().uordblks / 1024);
}

// Dispatches every pending message, as the main loop does between frames; without it the
// display's events pile up and count as growth.
static void DrainMessages()
{
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

int main(int argc, char **argv)
{
    const int recreations = argc > 1 ? atoi(argv[1]) : 60;
    if (recreations < 2) {
        fprintf(stderr, "usage: bench_toggle [re-creations, at least 2]\n");
        return 2;
    }
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    if (!CreateMainWindow("kelvo", 800, 600, 32, false)) {
        fprintf(stderr, "bench_toggle: no window with a GL context\n");
        return 1;
    }
    DrawFrame();
    SwapBuffers(appState.deviceContext);
    DrainMessages();
    const long start = ResidentKb();
    const long startHeap = HeapInUseKb();
    long half = start, halfHeap = startHeap;
    printf("re-creations  resident KiB  heap in use KiB\n%12d  %12ld  %15ld\n", 0, start, startHeap);
    for (int i = 1; i <= recreations; i++) {
        DestroyMainWindow();
        if (!CreateMainWindow("kelvo", 800, 600, 32, false)) {
            fprintf(stderr, "bench_toggle: re-creation %d failed\n", i);
            StopMusic();
            return 1;
        }
        DrawFrame();
        SwapBuffers(appState.deviceContext);
        DrainMessages();
        if (i == recreations / 2) {
            half = ResidentKb();
            halfHeap = HeapInUseKb();
        }
        if (i <= 5 || i % 10 == 0 || i == recreations)
            printf("%12d  %12ld  %15ld\n", i, ResidentKb(), HeapInUseKb());
    }
    const long end = ResidentKb(), endHeap = HeapInUseKb();
    const double secondHalf = double(recreations - recreations / 2);
    printf("resident growth: %ld KiB in all, %.1f KiB per re-creation over the second half\n", end - start,
           double(end - half) / secondHalf);
    printf("heap growth: %ld KiB in all, %.1f KiB per re-creation over the second half\n", endHeap - startHeap,
           double(endHeap - halfHeap) / secondHalf);
    StopMusic();
    DestroyMainWindow();
    return 0;
}
