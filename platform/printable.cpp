// File names made safe to print.

#include "platform/printable.h"

#include <stdio.h>

std::string PrintableName(const std::string &name)
{
    std::string shown;
    for (unsigned char c : name) {
        if (c == '\n')
            shown += "\\n";
        else if (c == '\t')
            shown += "\\t";
        else if (c == '\r')
            shown += "\\r";
        else if (c < 0x20 || c == 0x7f) {
            char hex[8];
            snprintf(hex, sizeof hex, "\\x%02x", c);
            shown += hex;
        } else
            shown += char(c);
    }
    return shown;
}
