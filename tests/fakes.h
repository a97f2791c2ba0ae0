// Stand-ins for modules that a test binary replaces at link time. A binary that links
// fake_music.cpp gets these four music operations instead of the library's; one that links
// fake_scene.cpp gets InitScene, DrawFrame and the renderer record instead.
#ifndef KELVO_TESTS_FAKES_H
#define KELVO_TESTS_FAKES_H

#include <vector>

struct FakeMusic {
    int position;          // what MusicPositionMs reports next
    int advancePerQuery;   // added to position after each report, like a running clock
    int starts, stops, queries;
    int texturesAtStart;   // scene textures already loaded when StartMusic was last called
    std::vector<int> seeks;
};
extern FakeMusic fakeMusic;
void ResetFakeMusic();

struct FakeScene {
    bool initResult;       // what InitScene returns
    int inits;
    int frames;
    int endAtFrame;        // DrawFrame returns false from this frame on (1-based); 0 never
};
extern FakeScene fakeScene;
void ResetFakeScene();

// Tears down every window, clears the Win32 seam and puts the shell and both fakes back at
// their start (needs fake_scene.cpp).
void ResetShellAndFakes();

#endif
