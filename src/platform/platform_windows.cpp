// The platform layer on Windows: each function is one Windows call or two, with our
// plain types translated at the edge. Only Win32 and msvcrt calls belong here; no logic.
#include "platform/platform.h"

#include <corecrt_startup.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include <windows.h>
// After <windows.h>, which it needs.
#include <wincred.h>

#include "platform/look_up_windows.h"

static_assert(sizeof(wchar_t) == sizeof(WideChar), "Windows wide text is UTF-16");
static_assert(kLogonWithProfile == LOGON_WITH_PROFILE, "logon flag");
static_assert(kLogonNetCredentialsOnly == LOGON_NETCREDENTIALS_ONLY, "logon flag");
static_assert(kCreateDefaultErrorMode == CREATE_DEFAULT_ERROR_MODE, "creation flag");
static_assert(kCreateSeparateWowVdm == CREATE_SEPARATE_WOW_VDM, "creation flag");
static_assert(kCreateUnicodeEnvironment == CREATE_UNICODE_ENVIRONMENT, "creation flag");
static_assert(kCreateNewProcessGroup == CREATE_NEW_PROCESS_GROUP, "creation flag");
static_assert(kCreateNewConsole == CREATE_NEW_CONSOLE, "creation flag");
static_assert(kStartfUseShowWindow == STARTF_USESHOWWINDOW, "startup flag");
static_assert(kStartfUseStdHandles == STARTF_USESTDHANDLES, "startup flag");
static_assert(kSwHide == SW_HIDE, "show-window value");
static_assert(kCreateSuspended == CREATE_SUSPENDED, "creation flag");
static_assert(kPlatformNoTimeLimit == INFINITE, "wait without a limit");

static const wchar_t* AsWindows(const WideChar* text) {
    return reinterpret_cast<const wchar_t*>(text);
}

static wchar_t* AsWindows(WideChar* text) {
    return reinterpret_cast<wchar_t*>(text);
}

namespace {

// main's argument vector: the startup code's own duplicate of the runtime's __argv.
int runtimeArgc;
char** runtimeArgv;

void WipeText(char* text) {
    if (text != nullptr) PlatformWipe(text, strlen(text));
}

// The system's UTF-16 line is never wiped here: it holds the scrubbed line that a
// process listing shows, and a runtime copy may be that same buffer.
void WipeWideText(wchar_t* text) {
    if (text != nullptr && text != GetCommandLineW()) {
        PlatformWipe(text, wcslen(text) * sizeof(wchar_t));
    }
}

// The Windows error of the call that has just returned: 0 when it succeeded. Called
// before any other Windows call can change it.
uint32_t ErrorAfter(bool succeeded) {
    return succeeded ? 0 : GetLastError();
}

void WipeArguments(int argc, char** argv) {
    for (int i = 0; argv != nullptr && i < argc; ++i) WipeText(argv[i]);
}

void WipeWideArguments(int argc, wchar_t** argv) {
    for (int i = 0; argv != nullptr && i < argc; ++i) WipeWideText(argv[i]);
}

}  // namespace

WideChar* PlatformCommandLine() {
    return reinterpret_cast<WideChar*>(GetCommandLineW());
}

void PlatformNoteRuntimeArguments(int argc, char** argv) {
    runtimeArgc = argc;
    runtimeArgv = argv;
}

void PlatformWipeCommandLineCopies() {
    // GetCommandLineA's buffer is a best-fit copy that nothing reads: the command
    // splits its own conversion of the UTF-16 line.
    WipeText(GetCommandLineA());
    // msvcrt's copies, through the names that both architectures' headers give them.
    WipeText(_acmdln);
    WipeWideText(_wcmdln);
    WipeArguments(__argc, __argv);
    WipeWideArguments(__argc, __wargv);
    WipeArguments(runtimeArgc, runtimeArgv);
}

bool PlatformReadConsoleTitle(WideChar* title, int capacity) {
    title[0] = 0;
    DWORD length = GetConsoleTitleW(AsWindows(title), static_cast<DWORD>(capacity));
    // Windows versions differ on a title longer than the buffer: some return 0, some
    // its whole length, some what they copied. Only a title with room to spare is whole.
    return length > 0 && length < static_cast<DWORD>(capacity) - 1 && title[length] == 0;
}

void PlatformWriteConsoleTitle(const WideChar* title) {
    SetConsoleTitleW(AsWindows(title));
}

void PlatformReadLeadBytes(LeadBytes* leadBytes) {
    for (int value = 0; value < 256; ++value) leadBytes->isLead[value] = false;
    CPINFO info;
    if (GetCPInfo(CP_ACP, &info) == FALSE) return;
    // LeadByte holds inclusive ranges as byte pairs, ended by a pair of zeros.
    for (int i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i] != 0; i += 2) {
        for (int value = info.LeadByte[i]; value <= info.LeadByte[i + 1]; ++value) {
            leadBytes->isLead[value] = true;
        }
    }
}

namespace {

typedef BOOL(WINAPI* ReadCredential)(LPCWSTR target, DWORD type, DWORD flags,
                                     PCREDENTIALW* credential);
typedef void(WINAPI* FreeCredential)(PVOID buffer);

bool CopyWide(const wchar_t* text, WideChar* out, int capacity) {
    size_t length = text != nullptr ? wcslen(text) : 0;
    if (length >= static_cast<size_t>(capacity)) return false;
    memcpy(out, text, length * sizeof(wchar_t));
    out[length] = 0;
    return true;
}

// The blob holds the password's UTF-16 units without a terminator; one that a tool
// stored with its terminator is taken too. A zero unit inside could not be passed on.
CredentialResult CopyCredential(const CREDENTIALW& credential, WideChar* user,
                                WideChar* password, int capacity) {
    if (credential.CredentialBlobSize % sizeof(wchar_t) != 0) return CredentialNotText;
    size_t units = credential.CredentialBlobSize / sizeof(wchar_t);
    const wchar_t* blob = reinterpret_cast<const wchar_t*>(credential.CredentialBlob);
    if (units > 0 && blob[units - 1] == 0) --units;
    for (size_t i = 0; i < units; ++i) {
        if (blob[i] == 0) return CredentialNotText;
    }
    if (units >= static_cast<size_t>(capacity)) return CredentialTooLong;
    if (!CopyWide(credential.UserName, user, capacity)) return CredentialTooLong;
    if (units > 0) memcpy(password, blob, units * sizeof(wchar_t));
    password[units] = 0;
    return CredentialRead;
}

}  // namespace

// CredReadW and CredFree are looked up in the ADVAPI32 that the logon call already
// loaded, so that the exe imports ADVAPI32 for the logon call alone.
CredentialResult PlatformReadGenericCredential(const WideChar* target, WideChar* user,
                                               WideChar* password, int capacity,
                                               uint32_t* windowsError) {
    user[0] = 0;
    password[0] = 0;
    *windowsError = 0;
    ReadCredential readCredential =
        LookUpLoadedFunction<ReadCredential>(L"advapi32.dll", "CredReadW");
    FreeCredential freeCredential =
        LookUpLoadedFunction<FreeCredential>(L"advapi32.dll", "CredFree");
    PCREDENTIALW credential = nullptr;
    if (readCredential == nullptr || freeCredential == nullptr) return CredentialUnreadable;
    BOOL read = readCredential(AsWindows(target), CRED_TYPE_GENERIC, 0, &credential);
    *windowsError = ErrorAfter(read != FALSE);
    if (read == FALSE || credential == nullptr) return CredentialUnreadable;
    CredentialResult result = CopyCredential(*credential, user, password, capacity);
    if (result != CredentialRead) password[0] = 0;
    if (credential->CredentialBlob != nullptr) {
        SecureZeroMemory(credential->CredentialBlob, credential->CredentialBlobSize);
    }
    freeCredential(credential);
    return result;
}

bool PlatformStandardInputIsConsole() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != FALSE;
}

int PlatformReadStandardInput(char* buffer, int size, uint32_t* windowsError) {
    DWORD read = 0;
    *windowsError = 0;
    if (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, static_cast<DWORD>(size), &read,
                 nullptr) == FALSE) {
        DWORD error = GetLastError();
        // A pipe whose writer has closed ends with ERROR_BROKEN_PIPE: the end of the input.
        if (error != ERROR_BROKEN_PIPE) *windowsError = error;
        return 0;
    }
    return static_cast<int>(read);
}

ConversionResult PlatformAnsiToWide(const char* bytes, bool precomposed, WideChar* out,
                                    int capacity, bool rejectInvalid) {
    DWORD flags = (precomposed ? MB_PRECOMPOSED : 0) | (rejectInvalid ? MB_ERR_INVALID_CHARS : 0);
    // Input length -1: the terminating zero is converted too, so success means a
    // terminated text within capacity.
    if (MultiByteToWideChar(CP_ACP, flags, bytes, -1, AsWindows(out), capacity) > 0) {
        return ConversionDone;
    }
    DWORD error = GetLastError();
    out[0] = 0;  // a refused conversion may leave a partial, unterminated text behind
    if (error == ERROR_INSUFFICIENT_BUFFER) return ConversionTooLong;
    if (error == ERROR_INVALID_FLAGS) return ConversionFlagsRefused;
    if (error == ERROR_NO_UNICODE_TRANSLATION) return ConversionInvalidText;
    return ConversionRefused;
}

ConversionResult PlatformWideToAnsi(const WideChar* text, bool noBestFit, char* out,
                                    int capacity) {
    DWORD flags = noBestFit ? WC_NO_BEST_FIT_CHARS : 0;
    // No default character of our own: the page's own, '?' on every ANSI page, stands
    // for whatever the page lacks.
    if (WideCharToMultiByte(CP_ACP, flags, AsWindows(text), -1, out, capacity, nullptr,
                            nullptr) > 0) {
        return ConversionDone;
    }
    DWORD error = GetLastError();
    out[0] = 0;
    if (error == ERROR_INSUFFICIENT_BUFFER) return ConversionTooLong;
    if (error == ERROR_INVALID_FLAGS) return ConversionFlagsRefused;
    return ConversionRefused;
}

void PlatformWriteText(const char* text) {
    // A failed write changes neither the flow nor the exit status.
    (void)fputs(text, stdout);
}

void PlatformFlushOutput() {
    (void)fflush(stdout);
}

void PlatformReadStandardHandles(PlatformHandle* input, PlatformHandle* output,
                                 PlatformHandle* error) {
    *input = GetStdHandle(STD_INPUT_HANDLE);
    *output = GetStdHandle(STD_OUTPUT_HANDLE);
    *error = GetStdHandle(STD_ERROR_HANDLE);
}

HandleKind PlatformHandleKind(PlatformHandle handle) {
    DWORD flags = 0;
    switch (GetFileType(handle)) {
        case FILE_TYPE_DISK: return HandleDiskFile;
        // A pipe that does not answer (a server end without FILE_READ_ATTRIBUTES, a
        // socket, a Unix pipe under Wine) is taken for a server end.
        case FILE_TYPE_PIPE:
            return GetNamedPipeInfo(handle, &flags, nullptr, nullptr, nullptr) != FALSE &&
                           (flags & PIPE_SERVER_END) == 0
                       ? HandlePipe
                       : HandlePipeServerEnd;
        // GetConsoleMode fails on a console handle opened for writing alone: NUL for it,
        // as for every other character device.
        case FILE_TYPE_CHAR:
            return GetConsoleMode(handle, &flags) != FALSE ? HandleConsole : HandleOther;
        default: return HandleOther;
    }
}

PlatformHandle PlatformOpenNullDevice(uint32_t* windowsError) {
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE device = CreateFileW(L"\\\\.\\NUL", GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    *windowsError = ErrorAfter(device != INVALID_HANDLE_VALUE);
    return device == INVALID_HANDLE_VALUE ? nullptr : device;
}

namespace {

// What a relay's thread works with; a slot is never used twice, so that a thread still
// running when Velmor returns never finds its record reused.
struct Relay {
    HANDLE source, target, pipeEnd;
    bool toConsole;
};
Relay relays[4];
int relaysStarted;

// A pipe ends with ERROR_BROKEN_PIPE once every writer has closed it; a write fails once
// every reader has. A write to a pipe, a console or a file in blocking mode returns once
// it has written everything.
DWORD WINAPI CopyUntilEnd(void* parameter) {
    const Relay* relay = static_cast<const Relay*>(parameter);
    char buffer[2048];  // within one page of stack, which needs no probe
    DWORD read = 0, written = 0;
    while (ReadFile(relay->source, buffer, sizeof buffer, &read, nullptr) != FALSE && read > 0) {
        // The caller's console reads an escape sequence as a command (its title, the
        // clipboard, replies typed into its input): the other account's program writes
        // text there and nothing else. No byte of a multibyte character is an ESC.
        for (DWORD i = 0; relay->toConsole && i < read; ++i) {
            if (buffer[i] == '\x1b') buffer[i] = '?';
        }
        if (WriteFile(relay->target, buffer, read, &written, nullptr) == FALSE) break;
    }
    CloseHandle(relay->pipeEnd);
    return 0;
}

}  // namespace

PlatformHandle PlatformStartRelay(PlatformHandle own, bool programReads,
                                  PlatformHandle* programEnd, uint32_t* windowsError) {
    // "\\.\pipe\velmor-" and 24 hex digits: the process, and 64 bits from the system's
    // generator, which no one can guess ahead to take the name first (the moment and the
    // count where it is missing).
    static wchar_t name[] = L"\\\\.\\pipe\\velmor-012345670123456701234567";
    Relay* relay = &relays[relaysStarted++ & 3];
    uint32_t parts[3] = {GetCurrentProcessId(), GetTickCount(),
                         static_cast<uint32_t>(relaysStarted)};
    ReadSystemRandom(parts + 1, sizeof parts - sizeof parts[0]);
    for (int i = 0; i < 24; ++i) {
        name[16 + i] = L"0123456789abcdef"[(parts[i / 8] >> (28 - i % 8 * 4)) & 15];
    }
    HANDLE server = CreateNamedPipeW(
        name,
        (programReads ? PIPE_ACCESS_OUTBOUND : PIPE_ACCESS_INBOUND) | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 4096, 4096,
        0, nullptr);
    // The one instance is taken by this client: a process that connected first makes
    // the open fail, and nothing is relayed to it.
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE client = server == INVALID_HANDLE_VALUE
                        ? server
                        : CreateFileW(name,
                                      programReads ? GENERIC_READ
                                                   : GENERIC_WRITE | FILE_READ_ATTRIBUTES,
                                      0, &inheritable, OPEN_EXISTING, 0, nullptr);
    DWORD mode = 0;
    *relay = Relay{programReads ? own : server, programReads ? server : own, server,
                   !programReads && GetConsoleMode(own, &mode) != FALSE};
    HANDLE thread = client == INVALID_HANDLE_VALUE
                        ? nullptr
                        : CreateThread(nullptr, 0, CopyUntilEnd, relay, 0, nullptr);
    *programEnd = client;
    *windowsError = thread == nullptr ? GetLastError() : 0;
    if (thread == nullptr && client != INVALID_HANDLE_VALUE) CloseHandle(client);
    if (thread == nullptr && server != INVALID_HANDLE_VALUE) CloseHandle(server);
    return thread;
}

void PlatformWaitForThread(PlatformHandle thread, uint32_t milliseconds) {
    WaitForSingleObject(thread, milliseconds);
}

void PlatformWipe(void* buffer, size_t size) {
    SecureZeroMemory(buffer, size);
}

namespace {

// 0: not held, and the events act as ever; 1: held; 2: held, and one of them came.
// Changed by the thread that Windows starts for the handler and by the main thread,
// each change whole.
volatile LONG controlState;
bool controlHandlerInstalled;

BOOL WINAPI NoteControlEvent(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
        return FALSE;
    }
    if (InterlockedCompareExchange(&controlState, 2, 1) == 0) return FALSE;
    // Windows ends the process as soon as the handler returns from a close: held here, it
    // ends once the main thread has ended the job and returned.
    if (event == CTRL_CLOSE_EVENT) Sleep(INFINITE);
    return TRUE;
}

}  // namespace

// The handler stays once installed: taking it out waits for every handler that runs,
// and a close's runs until Velmor ends.
void PlatformHoldConsoleControl() {
    if (!controlHandlerInstalled) {
        controlHandlerInstalled = SetConsoleCtrlHandler(NoteControlEvent, TRUE) != FALSE;
    }
    InterlockedExchange(&controlState, 1);
}

bool PlatformReleaseConsoleControl() {
    return InterlockedExchange(&controlState, 0) == 2;
}

WideChar* PlatformTakeEnvironment() {
    return reinterpret_cast<WideChar*>(GetEnvironmentStringsW());
}

void PlatformFreeEnvironment(WideChar* block) {
    FreeEnvironmentStringsW(AsWindows(block));
}

bool PlatformCreateProcessWithLogon(const WideChar* lpUsername, const WideChar* lpDomain,
                                    const WideChar* lpPassword, uint32_t dwLogonFlags,
                                    const WideChar* lpApplicationName, WideChar* lpCommandLine,
                                    uint32_t dwCreationFlags, void* lpEnvironment,
                                    const WideChar* lpCurrentDirectory,
                                    const StartupSettings* lpStartupInfo,
                                    ProcessInformation* lpProcessInformation,
                                    uint32_t* windowsError) {
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    // The logon service only reads the title; the structure's field is not const.
    startup.lpTitle = const_cast<wchar_t*>(AsWindows(lpStartupInfo->lpTitle));
    startup.dwFlags = lpStartupInfo->dwFlags;
    startup.wShowWindow = lpStartupInfo->wShowWindow;
    // The logon service copies these to the new process as they are, unchecked.
    startup.hStdInput = lpStartupInfo->hStdInput;
    startup.hStdOutput = lpStartupInfo->hStdOutput;
    startup.hStdError = lpStartupInfo->hStdError;

    PROCESS_INFORMATION process;
    ZeroMemory(&process, sizeof process);
    BOOL created = CreateProcessWithLogonW(
        AsWindows(lpUsername), AsWindows(lpDomain), AsWindows(lpPassword), dwLogonFlags,
        AsWindows(lpApplicationName), AsWindows(lpCommandLine), dwCreationFlags, lpEnvironment,
        AsWindows(lpCurrentDirectory), &startup, &process);
    *windowsError = ErrorAfter(created != FALSE);
    lpProcessInformation->hProcess = process.hProcess;
    lpProcessInformation->hThread = process.hThread;
    lpProcessInformation->dwProcessId = process.dwProcessId;
    lpProcessInformation->dwThreadId = process.dwThreadId;
    return created != FALSE;
}

void PlatformWaitForProcess(PlatformHandle process) {
    WaitForSingleObject(process, INFINITE);
}

bool PlatformReadExitCode(PlatformHandle process, uint32_t* exitCode, uint32_t* windowsError) {
    DWORD code = 0;
    BOOL read = GetExitCodeProcess(process, &code);
    *windowsError = ErrorAfter(read != FALSE);
    *exitCode = code;
    return read != FALSE;
}

void PlatformCloseHandle(PlatformHandle handle) {
    CloseHandle(handle);
}

PlatformHandle PlatformCreateJob(uint32_t* windowsError) {
    *windowsError = 0;
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (job == nullptr) {
        *windowsError = GetLastError();
        return nullptr;
    }
    // Both limits are only to be had through the extended structure.
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
    ZeroMemory(&limits, sizeof limits);
    limits.BasicLimitInformation.LimitFlags =
        JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_BREAKAWAY_OK;
    if (SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits,
                                sizeof limits) == FALSE) {
        *windowsError = GetLastError();
        CloseHandle(job);
        return nullptr;
    }
    return job;
}

PlatformHandle PlatformCreateJobPort(PlatformHandle job, uint32_t* windowsError) {
    *windowsError = 0;
    HANDLE port = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
    if (port == nullptr) {
        *windowsError = GetLastError();
        return nullptr;
    }
    JOBOBJECT_ASSOCIATE_COMPLETION_PORT association;
    association.CompletionKey = job;
    association.CompletionPort = port;
    if (SetInformationJobObject(job, JobObjectAssociateCompletionPortInformation, &association,
                                sizeof association) == FALSE) {
        *windowsError = GetLastError();
        CloseHandle(port);
        return nullptr;
    }
    return port;
}

bool PlatformAssignToJob(PlatformHandle job, PlatformHandle process, uint32_t* windowsError) {
    BOOL assigned = AssignProcessToJobObject(job, process);
    *windowsError = ErrorAfter(assigned != FALSE);
    return assigned != FALSE;
}

int PlatformResumeThread(PlatformHandle thread, uint32_t* windowsError) {
    DWORD previous = ResumeThread(thread);
    *windowsError = ErrorAfter(previous != static_cast<DWORD>(-1));
    return previous == static_cast<DWORD>(-1) ? -1 : static_cast<int>(previous);
}

bool PlatformReadJobProcessCount(PlatformHandle job, uint32_t* count, uint32_t* windowsError) {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting;
    ZeroMemory(&accounting, sizeof accounting);
    BOOL read = QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &accounting,
                                          sizeof accounting, nullptr);
    *windowsError = ErrorAfter(read != FALSE);
    *count = accounting.ActiveProcesses;
    return read != FALSE;
}

void PlatformWaitForJobMessage(PlatformHandle port, uint32_t milliseconds) {
    DWORD message = 0;
    ULONG_PTR key = 0;
    LPOVERLAPPED overlapped = nullptr;
    GetQueuedCompletionStatus(port, &message, &key, &overlapped, milliseconds);
}

void PlatformTerminateJob(PlatformHandle job, uint32_t exitCode) {
    TerminateJobObject(job, exitCode);
}

void PlatformTerminateProcess(PlatformHandle process, uint32_t exitCode) {
    TerminateProcess(process, exitCode);
}

uint32_t PlatformMilliseconds() {
    return GetTickCount();
}

bool PlatformReadSystemMessage(uint32_t code, WideChar* text, int capacity) {
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, AsWindows(text), static_cast<DWORD>(capacity),
                                  nullptr);
    if (length == 0 || length >= static_cast<DWORD>(capacity)) {
        text[0] = 0;
        return false;
    }
    text[length] = 0;
    return true;
}

ConversionResult PlatformWideTo932(const WideChar* text, char* out, int capacity) {
    if (WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, AsWindows(text), -1, out, capacity,
                            nullptr, nullptr) > 0) {
        return ConversionDone;
    }
    DWORD error = GetLastError();
    out[0] = 0;
    return error == ERROR_INSUFFICIENT_BUFFER ? ConversionTooLong : ConversionRefused;
}
