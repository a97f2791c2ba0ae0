// File names as the programs' lines show them. Shared by the demo's tools and the data generators.
#ifndef KELVO_PLATFORM_PRINTABLE_H
#define KELVO_PLATFORM_PRINTABLE_H

#include <string>

// The name with its control characters written as \n, \t, \r or \xNN, so that it cannot break
// a line or move the terminal's cursor.
std::string PrintableName(const std::string &name);

#endif
