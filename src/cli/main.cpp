// The process entry point. The runtime's own argv is not used: the command splits the
// process command line itself (see split.h).
#include "cli/entry.h"
#include "platform/platform.h"

int main() {
    return RunVelmor(PlatformCommandLine());
}
