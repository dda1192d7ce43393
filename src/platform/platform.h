// The operating system as the rest of Velmor sees it: plain types and our own names.
// Implemented by platform_windows.cpp for the shipped exe and by fake_platform.cpp for
// host tests. Nothing outside src/platform/ includes <windows.h>.
#pragma once

#include <stddef.h>
#include <stdint.h>

// One UTF-16 code unit. Windows' wchar_t is 16 bits wide; the Windows layer casts.
typedef char16_t WideChar;

// Which bytes of the active ANSI code page begin a double-byte character.
struct LeadBytes {
    bool isLead[256];
};

enum ConversionResult {
    ConversionDone,
    ConversionTooLong,       // the text and its terminator do not fit the output
    ConversionFlagsRefused,  // the code page takes no flags (UTF-8 refuses MB_PRECOMPOSED
                             // and WC_NO_BEST_FIT_CHARS)
    ConversionInvalidText,   // asked to reject it: bytes that are no text of the page
    ConversionRefused,       // any other refusal
};

typedef void* PlatformHandle;

// Values for the logon call, with the meaning the logon service gives them.
const uint32_t kLogonWithProfile = 1;
const uint32_t kLogonNetCredentialsOnly = 2;
const uint32_t kCreateDefaultErrorMode = 0x04000000;
const uint32_t kCreateSeparateWowVdm = 0x00000800;
const uint32_t kCreateUnicodeEnvironment = 0x00000400;
const uint32_t kCreateNewProcessGroup = 0x00000200;
const uint32_t kCreateNewConsole = 0x00000010;
const uint32_t kCreateSuspended = 0x00000004;
const uint32_t kStartfUseShowWindow = 0x00000001;
const uint32_t kStartfUseStdHandles = 0x00000100;
const uint16_t kSwHide = 0;

// The parts of STARTUPINFOW that Velmor decides; the Windows layer sets cb to the
// structure's size and leaves every other field zero.
struct StartupSettings {
    const WideChar* lpTitle;
    uint32_t dwFlags;
    uint16_t wShowWindow;
    // With kStartfUseStdHandles only; null otherwise.
    PlatformHandle hStdInput;
    PlatformHandle hStdOutput;
    PlatformHandle hStdError;
};

struct ProcessInformation {
    PlatformHandle hProcess;
    PlatformHandle hThread;
    uint32_t dwProcessId;
    uint32_t dwThreadId;
};

// Process start-up. The command line is the UTF-16 one that the system keeps for the
// process: the very buffer that other processes read (a process listing shows it), so a
// change made to it is what they see from then on.
WideChar* PlatformCommandLine();
void PlatformReadLeadBytes(LeadBytes* leadBytes);
// Where the runtime's own copy of the arguments stands: main's argc and argv.
void PlatformNoteRuntimeArguments(int argc, char** argv);
// 64-bit Windows keeps a native copy of a 32-bit process's command line, which 64-bit
// tools read. Gives it the scrubbed line's stars, and only when it is that same line as
// it stood before the scrub; elsewhere, or when it cannot be found, does nothing.
void PlatformScrubNativeCommandLine(const WideChar* scrubbedLine);
// Wipes every other copy of the command line that the process holds (the system's ANSI
// copy, the runtime's copies and its argument vectors); the UTF-16 line stays.
void PlatformWipeCommandLineCopies();

// Windows before 8 refuse a console title read into a buffer much over 24500 units; cmd.exe
// never sets a title longer than its 8191-character command line and a few words.
const int kConsoleTitleCapacity = 16384;
// The title of the console the process runs in, read whole into title (capacity units,
// the terminator's included). False, and nothing to go on, when there is no console or
// no title, or the title may not have been read whole.
bool PlatformReadConsoleTitle(WideChar* title, int capacity);
void PlatformWriteConsoleTitle(const WideChar* title);

// The calling user's generic credential of Windows Credential Manager, as
// "cmdkey /generic:TARGET /user:USER /pass" stores it.
enum CredentialResult {
    CredentialRead,
    CredentialUnreadable,  // no such credential, or Credential Manager cannot be read
    CredentialNotText,     // the stored password is no whole UTF-16 units
    CredentialTooLong,     // the user name or the password does not fit capacity
};
// Reads its user name (empty when it has none) and its password (stored as UTF-16LE
// without a terminator), each zero-terminated within capacity units. Credential
// Manager's copy of the password is wiped before it is freed. windowsError: CredReadW's
// error when it is CredentialUnreadable, 0 otherwise.
CredentialResult PlatformReadGenericCredential(const WideChar* target, WideChar* user,
                                               WideChar* password, int capacity,
                                               uint32_t* windowsError);

// Standard input, read with the system's own calls: the runtime's buffered stdin would
// keep what it read in a buffer that nothing could wipe.
bool PlatformStandardInputIsConsole();
// Up to size bytes; 0 at the end of the input, and on any failure. windowsError: the
// failed read's error, 0 at the end of the input (a pipe whose writer has closed too).
int PlatformReadStandardInput(char* buffer, int size, uint32_t* windowsError);

// MultiByteToWideChar from the ANSI code page, input up to and including its zero. With
// rejectInvalid (MB_ERR_INVALID_CHARS), bytes that are no character of the page refuse
// the conversion rather than become the page's replacement character. On any result
// other than ConversionDone, out[0] is zero.
ConversionResult PlatformAnsiToWide(const char* bytes, bool precomposed, WideChar* out,
                                    int capacity, bool rejectInvalid = false);

// WideCharToMultiByte to the ANSI code page, input up to and including its zero. With
// noBestFit, a character the page lacks becomes the page's default character, never a
// look-alike. On any result other than ConversionDone, out[0] is zero.
ConversionResult PlatformWideToAnsi(const WideChar* text, bool noBestFit, char* out,
                                    int capacity);

// One runtime output call on standard output in text mode; the result is not reported.
void PlatformWriteText(const char* text);
// Writes out what the runtime holds buffered for standard output; not reported either.
void PlatformFlushOutput();
// The process's own standard input, output and error as the system gave them: a
// console, a file, a pipe, or none at all (null, or the invalid handle), unchanged.
void PlatformReadStandardHandles(PlatformHandle* input, PlatformHandle* output,
                                 PlatformHandle* error);
// What a handle of this process leads to: a file on a disk; a pipe whose end it holds is
// the client end, as GetNamedPipeInfo says; any other pipe: a server end, which may
// impersonate its client, or one that does not say which end it is; a console, input or
// output; or anything else (the NUL device or another character device, a handle that is
// none, or one whose type cannot be read).
enum HandleKind {
    HandleDiskFile,
    HandlePipe,
    HandleOther,
    HandlePipeServerEnd,
    HandleConsole,
};
HandleKind PlatformHandleKind(PlatformHandle handle);
// A new inheritable handle to the NUL device, for reading and writing; null when it
// cannot be opened. Its reads end at once, its writes go nowhere.
PlatformHandle PlatformOpenNullDevice(uint32_t* windowsError);

// A relay of one standard stream through a pipe of Velmor's own: a unique name that no
// other process can have made first, remote clients rejected, one instance, its client
// end opened at once by Velmor itself. The program's end (the client end, for reading
// when programReads, for writing otherwise) is inheritable; Velmor's end (the server end)
// is not. A thread copies bytes, as they come, from own into the pipe when programReads,
// from the pipe to own otherwise, until its source ends or fails or its target refuses
// them, and then closes Velmor's end. Returns the thread's handle, with the program's end
// in programEnd; null, with nothing left open and programEnd of no use, when the pipe or
// the thread cannot be had. At most three in a run, one for each standard stream.
PlatformHandle PlatformStartRelay(PlatformHandle own, bool programReads,
                                  PlatformHandle* programEnd, uint32_t* windowsError);
const uint32_t kPlatformNoTimeLimit = 0xFFFFFFFF;
// Until the thread has ended or milliseconds have passed; nothing is reported.
void PlatformWaitForThread(PlatformHandle thread, uint32_t milliseconds);

// Zeroes memory in a way the compiler may not drop as a dead store.
void PlatformWipe(void* buffer, size_t size);

// Ctrl+C, Ctrl+Break and the console's close, held from PlatformHoldConsoleControl until
// PlatformReleaseConsoleControl: each is noted and the process goes on (a close for the
// few seconds Windows then allows). Release answers whether one was noted; afterwards they
// act as ever. A release without a hold changes nothing.
void PlatformHoldConsoleControl();
bool PlatformReleaseConsoleControl();

// The logon service and the handles it returns.
WideChar* PlatformTakeEnvironment();  // null when there is no block
void PlatformFreeEnvironment(WideChar* block);
bool PlatformCreateProcessWithLogon(const WideChar* lpUsername, const WideChar* lpDomain,
                                    const WideChar* lpPassword, uint32_t dwLogonFlags,
                                    const WideChar* lpApplicationName, WideChar* lpCommandLine,
                                    uint32_t dwCreationFlags, void* lpEnvironment,
                                    const WideChar* lpCurrentDirectory,
                                    const StartupSettings* lpStartupInfo,
                                    ProcessInformation* lpProcessInformation,
                                    uint32_t* windowsError);
void PlatformWaitForProcess(PlatformHandle process);
bool PlatformReadExitCode(PlatformHandle process, uint32_t* exitCode, uint32_t* windowsError);
void PlatformCloseHandle(PlatformHandle handle);

// A job object of Velmor's own: unnamed, not inheritable, its processes ended by the
// system when its last handle closes (Velmor's, however Velmor ends), and a process that
// asks to leave it with CREATE_BREAKAWAY_FROM_JOB allowed to. Null when it cannot be had.
PlatformHandle PlatformCreateJob(uint32_t* windowsError);
// A completion port that gets the job's messages; null when it cannot be had.
PlatformHandle PlatformCreateJobPort(PlatformHandle job, uint32_t* windowsError);
bool PlatformAssignToJob(PlatformHandle job, PlatformHandle process, uint32_t* windowsError);
// The thread's suspend count before the call; -1 on failure.
int PlatformResumeThread(PlatformHandle thread, uint32_t* windowsError);
// How many processes of the job are still running; false when it cannot be read.
bool PlatformReadJobProcessCount(PlatformHandle job, uint32_t* count, uint32_t* windowsError);
// Until a message reaches the port or milliseconds have passed; nothing is reported.
void PlatformWaitForJobMessage(PlatformHandle port, uint32_t milliseconds);
// Ends every process of the job, or the process, with exitCode; neither waits for it.
void PlatformTerminateJob(PlatformHandle job, uint32_t exitCode);
void PlatformTerminateProcess(PlatformHandle process, uint32_t exitCode);
// A monotonic count of milliseconds, which wraps after 49.7 days; not the wall clock.
uint32_t PlatformMilliseconds();

// Windows' own text for an error code, in the user's language (FormatMessageW from the
// system, inserts ignored, language 0), zero-terminated within capacity units; false,
// with text empty, when Windows has none or it does not fit.
bool PlatformReadSystemMessage(uint32_t code, WideChar* text, int capacity);
// WideCharToMultiByte to code page 932, whatever the ANSI page, input up to and including
// its zero, with WC_NO_BEST_FIT_CHARS: a character 932 lacks becomes its default
// character. On any result other than ConversionDone, out[0] is zero.
ConversionResult PlatformWideTo932(const WideChar* text, char* out, int capacity);
