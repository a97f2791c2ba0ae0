// The command line of the programs users run: CLI11 with one help, version and error style.

#include "platform/options.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <unistd.h>

#include <iostream>

namespace {

// The reason, the usage line of the help, and where to read more.
std::string RefusalText(const CLI::App &app, const std::string &reason)
{
    std::string help = app.help();
    std::string usage;
    size_t start = help.find("Usage:");
    if (start != std::string::npos)
        usage = help.substr(start, help.find('\n', start) - start) + "\n";
    return app.get_name() + ": " + reason + "\n" + usage + "Run " + app.get_name() + " --help for more.\n";
}

// Opens /dev/null on each of descriptors 0 to 2 that is closed, lowest first, so each gets its own.
void HoldStandardDescriptors()
{
    for (int fd = 0; fd <= 2; fd++) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        const int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != fd) {  // a lower one was taken meanwhile: move it
            dup2(opened, fd);
            close(opened);
        }
    }
}

} // namespace

int ParseOptions(CLI::App &app, const char *program, int argc, char **argv)
{
    HoldStandardDescriptors();
    signal(SIGPIPE, SIG_IGN);
    app.name(program);
    app.set_help_flag("-h,--help", "Print this help and exit");
    app.set_version_flag("--version", std::string(program) + " " KELVO_VERSION, "Print the version and exit");
    // The reason on one line, then the usage, both on stderr.
    app.failure_message([](const CLI::App *failed, const CLI::Error &error) { return RefusalText(*failed, error.what()); });
    try {
        app.parse(argc, argv);
    } catch (const CLI::Success &done) {
        return app.exit(done); // help or version, printed on stdout
    } catch (const CLI::Error &error) {
        app.exit(error, std::cout, std::cerr);
        return BadCommandLine;
    }
    return -1;
}

int RefuseCommandLine(const CLI::App &app, const std::string &reason)
{
    fputs(RefusalText(app, reason).c_str(), stderr);
    return BadCommandLine;
}
