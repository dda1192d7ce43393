// Wine suite helper: reads its own command line exactly as velmor.exe does, with the same
// objects (the UTF-16 line, its conversion without look-alikes, the lead bytes of the
// ANSI page, the split), and writes each argument it finds as a line of hex digits.
#include <stdio.h>

#include "cli/split.h"

int main() {
    static char line[kArgumentBytesCapacity];
    static ArgumentVector args;
    LeadBytes leadBytes;
    PlatformReadLeadBytes(&leadBytes);
    ToAnsiCommandLine(PlatformCommandLine(), line, kArgumentBytesCapacity);
    SplitCommandLine(line, leadBytes, &args);
    for (int i = 0; i < args.count; ++i) {
        for (const char* p = args.items[i]; *p != 0; ++p) printf("%02x", *p & 0xff);
        printf("\n");
    }
    return 0;
}
