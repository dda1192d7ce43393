// The whole run of the command, from the process command line to the exit status.
#pragma once

#include "platform/platform.h"

// Reads processCommandLine, the system's UTF-16 line, and leaves the values of its
// password switches overwritten (see ScrubPasswords). Returns -1 for a refused command
// line, otherwise what LaunchAsUser returns.
int RunVelmor(WideChar* processCommandLine);
