// The platform as host tests see it: every call is recorded in order with what it was
// given, and every answer is set by the test. Code pages are emulated with iconv.
#pragma once

#include "platform/platform.h"

enum FakeCallKind {
    FakeTakeEnvironment,
    FakeCreateProcess,
    FakeWait,
    FakeReadExitCode,
    FakeCloseThread,
    FakeCloseProcess,
    FakeFreeEnvironment,
    FakeWipe,
    FakeWriteText,
    FakeWriteTitle,
    FakeFlushOutput,
    FakeCloseUnknown,
    FakeFreeUnknown,
    FakeOpenNull,
    FakeCloseNull,
    FakeCreateJob,
    FakeCreatePort,
    FakeAssign,
    FakeResume,
    FakeReadJobCount,
    FakeWaitJobMessage,  // size: the milliseconds waited at the most
    FakeTerminateJob,    // size: the exit code
    FakeTerminateProcess,
    FakeCloseJob,
    FakeClosePort,
    FakeStartRelay,       // address: Velmor's own handle; size: 1 when it feeds the program
    FakeWaitRelay,        // address: the thread; size: the milliseconds waited at the most
    FakeCloseRelay,       // a relay's thread
    FakeCloseProgramEnd,  // the program's end of a relay's pipe, Velmor's copy
};

struct FakeCall {
    FakeCallKind kind;
    const void* address;  // FakeWipe: what was wiped; FakeWriteText: the text
    size_t size;
    bool heldSecret;  // FakeWipe: the region held the secret, as bytes or as UTF-16
};

const int kFakeTextCapacity = 2048;
// Twice the longest line the system hands over, so that tests reach the refusals too.
const int kFakeLineCapacity = 2 * 32768;

// A copy of one text argument of the logon call, taken when the call was made.
struct FakeText {
    bool present;
    int length;  // units copied; kFakeTextCapacity - 1 means at least that many
    WideChar units[kFakeTextCapacity];
};

struct FakeLogonCall {
    FakeText username, domain, password, applicationName, commandLine, currentDirectory, title;
    uint32_t logonFlags;
    uint32_t creationFlags;
    const void* environment;
    const WideChar* commandLineBuffer;
    const WideChar* passwordBuffer;
    uint32_t startupFlags;
    uint16_t showWindow;
    PlatformHandle standardInput, standardOutput, standardError;
    bool controlHeld;  // from the call until the program's assignment to a job, if any
};

struct FakePlatform {
    // Set by the test; the command line through FakeSetCommandLine.
    WideChar commandLine[kFakeLineCapacity];  // the system's UTF-16 line, which a run rewrites
    char ansiCopy[3 * kFakeLineCapacity];     // the system's best-fit ANSI copy, and the runtime's
    WideChar wideCopy[kFakeLineCapacity];     // the runtime's UTF-16 copy
    WideChar nativeCopy[kFakeLineCapacity];   // the native copy that 64-bit Windows keeps
    int codePage;  // 932, 936, 949, 950, 1361, 1252 or 65001
    bool refuseConversions;
    bool environmentAvailable;
    bool createSucceeds;
    bool exitCodeReadable;
    uint32_t exitCode;
    uint32_t exitCodeLeftOnFailure;
    // The Windows error of each call that fails as told (the logon call, NUL, a step of
    // the job, the credential, the exit status), and of a read of standard input past
    // its bytes when standardInputFails; and Windows' text for one code alone.
    uint32_t failureError;
    uint32_t systemMessageCode;
    const WideChar* systemMessage;
    const char* secret;  // an ASCII password whose wiping the test follows
    bool hasConsole;
    bool jobCountReadable;  // the job's count of processes, below
    bool controlEventDuringLogon;  // Ctrl+C while the logon call runs
    bool relayStarts;       // a pipe of Velmor's own and its thread can be had
    // Credential Manager's one generic credential, which a run reads as told, and
    // standard input's bytes.
    const WideChar* credentialTarget;  // null: none is stored
    CredentialResult credentialResult;
    const WideChar* credentialUser;  // null: it has none
    const WideChar* credentialPassword;
    bool standardInputIsConsole;
    bool standardInputFails;
    const char* standardInput;
    size_t standardInputLength;
    WideChar consoleTitle[kFakeLineCapacity];  // read and rewritten by a run
    // The process's standard input, output and error, and what each leads to.
    PlatformHandle standardHandles[3];
    HandleKind standardHandleKinds[3];
    // The job: which steps succeed, and what it answers. A query of its processes gives
    // the next of jobProcessCounts (the last one again once they run out, 0 when there
    // are none, and 0 once the job is ended); a wait on its port gets one of
    // jobMessages while any are left, and otherwise lasts its whole time on the clock.
    bool nullDeviceOpens;
    bool jobCreates, portCreates, assignSucceeds;
    int resumeAnswer;
    uint32_t jobProcessCounts[8];
    int jobProcessCountsLength;
    int jobMessages;
    uint32_t clock;  // milliseconds

    // Recorded.
    FakeCall calls[256];
    int callCount;
    bool callsOverflowed;
    bool controlNoted;  // while they were held
    char output[16384];
    size_t outputLength;
    int createCount;
    int relaysStarted;
    FakeLogonCall logon;
    bool passwordClearAtWait;
    bool secretInSightAtWait;  // the secret stood in the command line or one of its copies
    bool jobTerminated;
    bool controlHeld;  // Ctrl+C, Ctrl+Break and a close are held now
    int environmentsTaken;
    int environmentsFreed;
    int handlesClosed;
    int credentialReads;
    size_t standardInputRead;
    int consoleTitleCapacity;  // the buffer the title was read into, in units
    int jobCountsRead;
};

void* const kFakeProcessHandle = reinterpret_cast<PlatformHandle>(0x1001);
void* const kFakeThreadHandle = reinterpret_cast<PlatformHandle>(0x2002);
// The process's own standard handles, as the fake gives them.
void* const kFakeStandardInput = reinterpret_cast<PlatformHandle>(0x3003);
void* const kFakeStandardOutput = reinterpret_cast<PlatformHandle>(0x4004);
void* const kFakeStandardError = reinterpret_cast<PlatformHandle>(0x5005);
void* const kFakeNullDevice = reinterpret_cast<PlatformHandle>(0x6006);
void* const kFakeJob = reinterpret_cast<PlatformHandle>(0x7007);
void* const kFakePort = reinterpret_cast<PlatformHandle>(0x8008);
// The program's end of each relay's pipe, in the order they are made, and their threads.
void* const kFakeProgramEnds[3] = {reinterpret_cast<PlatformHandle>(0xA000),
                                   reinterpret_cast<PlatformHandle>(0xA001),
                                   reinterpret_cast<PlatformHandle>(0xA002)};
void* const kFakeRelayThreads[3] = {reinterpret_cast<PlatformHandle>(0xB000),
                                    reinterpret_cast<PlatformHandle>(0xB001),
                                    reinterpret_cast<PlatformHandle>(0xB002)};

// Resets every setting to a plain run on code page 932 that launches and exits with 0,
// with "velmor.exe" as its command line, no console, pipes for standard streams, and a
// job that every step makes and that has no process left when first asked.
void ResetFakePlatform();
// Sets the process command line, cut at the fake's capacity, and makes its copies as
// the system and the runtime would: the ANSI copy with best-fit look-alikes.
void FakeSetCommandLine(const WideChar* line);
// Whether buffer holds the secret, as ASCII bytes or as UTF-16 units.
bool FakeHoldsSecret(const void* buffer, size_t size);
FakePlatform& Fake();
const WideChar* FakeEnvironmentBlock();
// Index of the first recorded call of kind at or after from, or -1.
int FindFakeCall(FakeCallKind kind, int from = 0);
