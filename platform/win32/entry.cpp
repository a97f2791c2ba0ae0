// The process entry outside Windows: builds the command line WinMain expects and calls it.

#include <windows.h>

#include <SDL2/SDL.h>

#include <string>

int main(int argc, char **argv)
{
    std::string commandLine;
    for (int i = 1; i < argc; i++) {
        if (i > 1)
            commandLine += ' ';
        commandLine += argv[i];
    }
    int exitCode = WinMain(GetModuleHandleA(NULL), NULL, &commandLine[0], SW_SHOWNORMAL);
    SDL_Quit();
    return exitCode;
}
