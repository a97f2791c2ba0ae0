// The program's entry in a web page: the environment from the page's query string
// (?VIEWING_GAMMA=1.1), the moment the page's address names (#t=71.2) for the music's start, the
// data the page fetched (in /data), then WinMain; its exit code goes to the page, which shows the
// end and offers to play again.

#include <windows.h>

#include <fsound_ext.h>

#include <emscripten/emscripten.h>

#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

// The query string's NAME=value pairs, one a line, decoded.
EM_JS(char *, kelvo_page_environment, (void), {
    const text = Module.kelvoPage.environment();
    const size = lengthBytesUTF8(text) + 1;
    const buffer = _malloc(size);
    stringToUTF8(text, buffer, size);
    return buffer;
});
// The moment the address names for the music's start, in ms; -1 for none.
EM_JS(int, kelvo_page_start_moment, (void), { return Module.kelvoPage.startMoment(); });
EM_JS(void, kelvo_page_ended, (int exitCode), { Module.kelvoPage.ended(exitCode); });

// Names the environment may take: letters, digits and '_', not starting with a digit.
static bool EnvironmentName(const std::string &name)
{
    if (name.empty() || (name[0] >= '0' && name[0] <= '9'))
        return false;
    for (char c : name)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_'))
            return false;
    return true;
}

int main()
{
    char *environment = kelvo_page_environment();
    for (char *line = strtok(environment, "\n"); line; line = strtok(nullptr, "\n")) {
        char *equals = strchr(line, '=');
        if (!equals)
            continue;
        *equals = '\0';
        if (EnvironmentName(line))
            setenv(line, equals + 1, 1);
    }
    free(environment);

    const int startMs = kelvo_page_start_moment();
    if (startMs >= 0)
        SoundOpenNextStreamAt(startMs);

    chdir("/");  // the page put data/ there
    static char commandLine[] = "";
    const int exitCode = WinMain(GetModuleHandleA(NULL), NULL, commandLine, SW_SHOWNORMAL);
    kelvo_page_ended(exitCode);
    return exitCode;
}
