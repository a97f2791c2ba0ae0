// The process entry outside Windows: reads the command line, finds the data, answers the start
// question when an option did, builds the command line WinMain expects and calls it.
//
// Usage: kelvo [--windowed | --fullscreen] [--data DIR]
// With no options the demo asks whether to run fullscreen, as it always has.

#include <windows.h>

#include <SDL2/SDL.h>

#include <string>

#include "platform/data_folder.h"
#include "platform/options.h"
#include "platform/linux/preset_answer.h"
#include "platform/linux/window_layer.h"

int main(int argc, char **argv)
{
    CLI::App options("A self-running real-time audiovisual demo. Keys: Escape quits, M and N (held) seek "
                     "forward and back, F1 switches between fullscreen and windowed.");
    bool windowed = false;
    bool fullscreen = false;
    std::string dataFolder;
    options.add_flag("--windowed", windowed, "Run in a window without asking");
    options.add_flag("--fullscreen", fullscreen, "Run fullscreen without asking");
    options.add_option("--data", dataFolder, "The folder that holds data/ (default: KELVO_DATA_DIR, the working "
                                             "directory, the build tree, the installed data)")
        ->type_name("DIR");
    int exitCode = ParseOptions(options, "kelvo", argc, argv);
    if (exitCode >= 0)
        return exitCode;
    if (windowed && fullscreen)
        return RefuseCommandLine(options, "--windowed and --fullscreen exclude each other");

    EnterDataFolder("kelvo", dataFolder.c_str(), ExecutablePath(argv[0]));
    if (windowed || fullscreen)
        PresetMessageBoxAnswer("Would You Like To Run In Fullscreen Mode?", fullscreen ? IDYES : IDNO);

    std::string commandLine;
    for (int i = 1; i < argc; i++) {
        if (i > 1)
            commandLine += ' ';
        commandLine += argv[i];
    }
    exitCode = WinMain(GetModuleHandleA(NULL), NULL, &commandLine[0], SW_SHOWNORMAL);
    QuitWindowLayer();
    return exitCode;
}
