// The launch: one call to the logon service, the optional wait, and the exit status.
#pragma once

#include "cli/options.h"

// Returns -1 when the launch fails or the program cannot be put in a job, 0 after a
// launch without waiting, 258 when a time limit passed (the job then ended), otherwise the
// program's own exit status (0 when it cannot be read). Wipes options->password as soon
// as the logon call has returned, whatever it answered. With /stdio, returns only once
// the standard streams it relays have reached their ends (see ChooseStandardHandles).
int LaunchAsUser(LaunchOptions* options);
