// Small file helpers shared by the test binaries.
#ifndef KELVO_TESTS_TEST_FILES_H
#define KELVO_TESTS_TEST_FILES_H

#include <stdio.h>

#include <string>
#include <vector>

// The whole file's bytes; empty when it cannot be read.
inline std::vector<char> ReadWhole(const std::string &path)
{
    std::vector<char> bytes;
    FILE *file = fopen(path.c_str(), "rb");
    if (!file)
        return bytes;
    char buffer[65536];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + got);
    fclose(file);
    return bytes;
}

#endif
