/*
 * options.h -- the command line of every program users run, in one style.
 *
 * A program builds a CLI::App with its own options and hands it to ParseOptions, which adds
 * --help and --version ("<program> <version>") and parses. Help and version go to stdout; an
 * unknown option, a stray argument or a bad value prints the reason, the usage line and a
 * pointer to --help on stderr.
 */
#ifndef KELVO_PLATFORM_OPTIONS_H
#define KELVO_PLATFORM_OPTIONS_H

#include <CLI/CLI.hpp>

/* Exit code for a command line that cannot be used. */
const int BadCommandLine = 2;

/* Parses argv into the options of `app`; -1 to go on, else the exit code to end with now:
   0 after --help or --version, BadCommandLine after anything it cannot use. First, before anything
   is opened, holds descriptors 0 to 2 (a closed one is opened on /dev/null, so that no later
   connection takes its number and receives the program's lines) and ignores SIGPIPE (a closed
   output then costs the program its lines, not its exit status). */
int ParseOptions(CLI::App &app, const char *program, int argc, char **argv);

/* Prints "<program>: <reason>", the usage line and a pointer to --help on stderr, as ParseOptions
   does for what it refuses; returns BadCommandLine. For checks the options cannot state. */
int RefuseCommandLine(const CLI::App &app, const std::string &reason);

#endif
