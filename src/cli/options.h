// The parsed command line, and the one conversion from ANSI bytes to UTF-16 that the
// whole command uses, for arguments and for its own literal pieces alike.
#pragma once

#include "cli/messages.h"
#include "platform/platform.h"

// A wide text field: a zero-terminated UTF-16 text of at most 1023 units. A value for
// the logon call that does not fit is refused, never shortened (see ToWide).
const int kWideTextCapacity = 1024;

struct WideText {
    WideChar units[kWideTextCapacity];
};

// Which switch set the password that the logon call gets: the last of them.
enum PasswordSource {
    PasswordNotGiven,
    PasswordFromCommandLine,  // /password: or /a:
    PasswordFromCredential,   // /credential:
    PasswordFromInput,        // /password-stdin
};

struct LaunchOptions {
    bool showLogo;
    // The logon mode, one of three: kLogonWithProfile, 0 (no profile), or
    // kLogonNetCredentialsOnly (the caller's own account locally, the account's
    // credentials on the network only).
    uint32_t logonFlags;
    bool useCallerEnvironment;
    bool wait;
    // With wait: wait for the job, the program and every process it or they start, not
    // for the program alone. /job sets it, /wait and /nowait clear it.
    bool waitForJob;
    // A limit to the wait, in seconds; 0 for none. A wait with a limit is a job wait,
    // since only the job can end what the program started.
    uint32_t timeLimitSeconds;
    bool hide;
    // The program gets Velmor's own standard input, output and error, rather than
    // those of its new console.
    bool standardStreams;
    // After a failure that follows a failed Windows call: the call's error, and what to
    // check (/reason). Off by default, so the output is what it has always been.
    bool showReason;
    // With the walk's refusal: the Windows error of the call behind it, 0 for none.
    uint32_t refusalWindowsError;
    WideText user;
    WideText domain;    // empty: no domain is passed
    WideText password;  // may stay empty; wiped once the logon call has returned
    PasswordSource passwordSource;
    WideText commandLine;
    WideText workDir;  // empty: no working directory is passed
};

void SetDefaultOptions(LaunchOptions* options);

// Converts through the ANSI code page. Returns false, leaving the field empty, when the
// text needs more than 1023 units; any other refusal also leaves it empty but counts as
// converted, since there is then nothing better to hold.
bool ToWide(const char* bytes, WideText* field);
// The same conversion, with the platform's answer; with rejectInvalid, bytes that are no
// text of the page refuse it. The field is empty unless it is ConversionDone.
ConversionResult ConvertToWide(const char* bytes, WideText* field, bool rejectInvalid);

// Applies argv[1] onwards in order. Returns false, with the message that refuses the
// command line, when any value did not fit its field, a password could not be read
// from where /credential: or /password-stdin pointed, a password switch lacks its
// colon, the password's line would reach the program through /stdio, or a time limit
// is no number of seconds from 1 to 4294967; the first
// refusal stands. The walk still covers every argument, so a later "/nologo" is still
// honoured.
bool ParseArguments(int argc, const char* const* argv, const LeadBytes& leadBytes,
                    LaunchOptions* options, MessageId* refusal);

// True when argument is a switch introducer and then exactly the name of a switch that
// sets the password, as the walk would take it: what follows would be the password.
bool IsPasswordSwitchName(const char* argument);

// The longest limit whose milliseconds stay below the system's INFINITE, 0xFFFFFFFF.
const uint32_t kLongestTimeLimitSeconds = 4294967;

// Whether Velmor puts the program in a job of its own and waits for the whole job.
inline bool WaitsForJob(const LaunchOptions& options) {
    return options.wait && (options.waitForJob || options.timeLimitSeconds > 0);
}

inline bool IsEmpty(const WideText& text) {
    return text.units[0] == 0;
}
