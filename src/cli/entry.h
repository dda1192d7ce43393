// The whole run of the command, from the process command line to the exit status.
#pragma once

// Returns -1 for a refused command line, otherwise what LaunchAsUser returns.
int RunVelmor(const char* processCommandLine);
