// The split of the process command line into an argument vector. The command splits
// the line itself rather than take the runtime's argv: msvcrt's handling of doubled
// quotes differs between its versions, and it does not walk double-byte characters.
#pragma once

#include "platform/platform.h"

// A Windows command line holds at most 32767 UTF-16 units, and no ANSI code page spends
// more than three bytes on one unit; an argument takes at least two units with its
// separator. So any line the system can hand over fits.
const int kArgumentBytesCapacity = 3 * 32768;
const int kArgumentsCapacity = 16384;

struct ArgumentVector {
    char bytes[kArgumentBytesCapacity];  // every argument, each zero-terminated
    const char* items[kArgumentsCapacity];
    int count;
};

// Splits line into args. Returns false when the line does not fit; args then holds the
// whole arguments that came before the one that did not.
bool SplitCommandLine(const char* line, const LeadBytes& leadBytes, ArgumentVector* args);
