// The process entry point. The runtime's own argv is not used: the command reads the
// UTF-16 process command line and splits it itself (see split.h).
#include "cli/entry.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
    // argv is the startup code's own copy, wiped with the others once the walk is done.
    PlatformNoteRuntimeArguments(argc, argv);
    return RunVelmor(PlatformCommandLine());
}
