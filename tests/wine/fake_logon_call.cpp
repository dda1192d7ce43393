// Test-only stand-in for the logon service, linked into velmor_seam.exe in place of
// ADVAPI32's import: it records the arguments it was given to the file named by
// VELMOR_LOGON_RECORD, then starts the program as the caller with CreateProcessW. The
// standard handles of STARTF_USESTDHANDLES reach the program as the logon service
// passes them: duplicated into it whether or not they are inheritable. With
// VELMOR_LOGON_FAILS set to a number, it fails with that Windows error instead; with
// VELMOR_LOGON_REFUSES_JOB set, the process handle it returns lacks the right to put the
// process in a job, so that Velmor's job is refused with error 5, as Windows 7 refuses a
// program of the logon service, already in a job of the service's, a second one.
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>
// After <windows.h>, which it needs.
#include <wincred.h>

#include "import_seam.h"

namespace {

void WriteText(FILE* record, const char* key, const wchar_t* text) {
    if (text == nullptr) {
        fprintf(record, "%s=(absent)\n", key);
        return;
    }
    static char utf8[4 * 32768];  // the console title may be that long
    int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
    fprintf(record, "%s=%s\n", key, length > 0 ? utf8 : "(unconvertible)");
}

bool UsesStandardHandles(const STARTUPINFOW& s) {
    return (s.dwFlags & STARTF_USESTDHANDLES) != 0;
}

bool OtherStartupFieldsZero(const STARTUPINFOW& s) {
    return s.lpReserved == nullptr && s.lpDesktop == nullptr && s.dwX == 0 && s.dwY == 0 &&
           s.dwXSize == 0 && s.dwYSize == 0 && s.dwXCountChars == 0 && s.dwYCountChars == 0 &&
           s.dwFillAttribute == 0 && s.cbReserved2 == 0 && s.lpReserved2 == nullptr &&
           (UsesStandardHandles(s) || (s.hStdInput == nullptr && s.hStdOutput == nullptr &&
                                       s.hStdError == nullptr));
}

// "own" when the three handles are the caller's own standard handles, unchanged.
const char* StandardHandles(const STARTUPINFOW& s) {
    if (s.hStdInput == nullptr && s.hStdOutput == nullptr && s.hStdError == nullptr) return "none";
    return s.hStdInput == GetStdHandle(STD_INPUT_HANDLE) &&
                   s.hStdOutput == GetStdHandle(STD_OUTPUT_HANDLE) &&
                   s.hStdError == GetStdHandle(STD_ERROR_HANDLE)
               ? "own"
               : "other";
}

// What each of the three handles leads to, as GetFileType says, and how many of them
// are consoles (GetConsoleMode answers): "char,disk,pipe consoles=0".
void WriteHandleKinds(FILE* record, const STARTUPINFOW& s) {
    HANDLE handles[] = {s.hStdInput, s.hStdOutput, s.hStdError};
    int consoles = 0;
    fprintf(record, "standardHandleTypes=");
    for (int i = 0; i < 3; ++i) {
        DWORD type = handles[i] == nullptr ? FILE_TYPE_UNKNOWN : GetFileType(handles[i]);
        const char* name = type == FILE_TYPE_DISK ? "disk" : type == FILE_TYPE_PIPE ? "pipe"
                           : type == FILE_TYPE_CHAR ? "char" : "unknown";
        fprintf(record, "%s%s", i > 0 ? "," : "", name);
        DWORD mode = 0;
        consoles += handles[i] != nullptr && GetConsoleMode(handles[i], &mode) ? 1 : 0;
    }
    fprintf(record, "\nstandardConsoles=%d\n", consoles);
}

// For each handle, whether it is the caller's own standard handle or a new one, and which
// end of a pipe it is, as GetNamedPipeInfo says: "new-client,own-client,own-none".
void WriteHandleEnds(FILE* record, const STARTUPINFOW& s) {
    HANDLE handles[] = {s.hStdInput, s.hStdOutput, s.hStdError};
    DWORD own[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    fprintf(record, "standardEnds=");
    for (int i = 0; i < 3; ++i) {
        DWORD flags = 0;
        bool pipe = GetNamedPipeInfo(handles[i], &flags, nullptr, nullptr, nullptr) != FALSE;
        const char* whose = handles[i] == GetStdHandle(own[i]) ? "own" : "new";
        fprintf(record, "%s%s-%s", i > 0 ? "," : "", whose,
                !pipe ? "none" : (flags & PIPE_SERVER_END) != 0 ? "server" : "client");
    }
    fprintf(record, "\nerrorIsOutput=%s\n", s.hStdError == s.hStdOutput ? "yes" : "no");
}

// An inheritable duplicate, so that CreateProcessW hands the program the same file or
// pipe; a handle that is none (null, invalid) is passed on as it is.
HANDLE Inheritable(HANDLE handle) {
    HANDLE duplicate = nullptr;
    if (DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &duplicate, 0, TRUE,
                        DUPLICATE_SAME_ACCESS) == FALSE) {
        return handle;
    }
    return duplicate;
}

void CloseDuplicate(HANDLE duplicate, HANDLE original) {
    if (duplicate != original) CloseHandle(duplicate);
}

void Record(LPCWSTR user, LPCWSTR domain, LPCWSTR password, DWORD logonFlags,
            LPCWSTR applicationName, LPWSTR commandLine, DWORD creationFlags,
            LPVOID environment, LPCWSTR currentDirectory, LPSTARTUPINFOW startup) {
    char path[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("VELMOR_LOGON_RECORD", path, sizeof path);
    if (length == 0 || length >= sizeof path) return;
    FILE* record = fopen(path, "wb");
    if (record == nullptr) return;
    WriteText(record, "username", user);
    WriteText(record, "domain", domain);
    WriteText(record, "password", password);
    fprintf(record, "logonFlags=0x%08lx\n", logonFlags);
    WriteText(record, "applicationName", applicationName);
    WriteText(record, "commandLine", commandLine);
    fprintf(record, "creationFlags=0x%08lx\n", creationFlags);
    fprintf(record, "environment=%s\n", environment != nullptr ? "present" : "absent");
    WriteText(record, "currentDirectory", currentDirectory);
    fprintf(record, "cb=%lu\n", startup->cb);
    WriteText(record, "title", startup->lpTitle);
    fprintf(record, "dwFlags=0x%08lx\n", startup->dwFlags);
    fprintf(record, "wShowWindow=%u\n", startup->wShowWindow);
    fprintf(record, "otherStartupFieldsZero=%s\n", OtherStartupFieldsZero(*startup) ? "yes" : "no");
    fprintf(record, "standardHandles=%s\n", StandardHandles(*startup));
    if (UsesStandardHandles(*startup)) WriteHandleKinds(record, *startup);
    if (UsesStandardHandles(*startup)) WriteHandleEnds(record, *startup);
    // The title of the console the caller runs in, as it stands at the call.
    static wchar_t consoleTitle[32768];
    consoleTitle[0] = 0;
    GetConsoleTitleW(consoleTitle, 32768);
    WriteText(record, "consoleTitle", consoleTitle);
    fclose(record);
}

// The number that the variable holds, or 0 when it is not set.
DWORD NumberFromEnvironment(const char* name) {
    char value[32];
    DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length > 0 && length < sizeof value ? strtoul(value, nullptr, 0) : 0;
}

BOOL WithoutJobRight(BOOL created, PROCESS_INFORMATION* process) {
    if (!created || NumberFromEnvironment("VELMOR_LOGON_REFUSES_JOB") == 0) return created;
    HANDLE limited = nullptr;
    if (DuplicateHandle(GetCurrentProcess(), process->hProcess, GetCurrentProcess(), &limited,
                        PROCESS_ALL_ACCESS & ~PROCESS_SET_QUOTA, FALSE, 0) == FALSE) {
        return FALSE;
    }
    CloseHandle(process->hProcess);
    process->hProcess = limited;
    return TRUE;
}

BOOL WINAPI FakeCreateProcessWithLogonW(LPCWSTR user, LPCWSTR domain, LPCWSTR password,
                                        DWORD logonFlags, LPCWSTR applicationName,
                                        LPWSTR commandLine, DWORD creationFlags,
                                        LPVOID environment, LPCWSTR currentDirectory,
                                        LPSTARTUPINFOW startup,
                                        LPPROCESS_INFORMATION process) {
    Record(user, domain, password, logonFlags, applicationName, commandLine, creationFlags,
           environment, currentDirectory, startup);
    DWORD failure = NumberFromEnvironment("VELMOR_LOGON_FAILS");
    if (failure != 0) {
        SetLastError(failure);
        return FALSE;
    }
    if (!UsesStandardHandles(*startup)) {
        return WithoutJobRight(CreateProcessW(applicationName, commandLine, nullptr, nullptr,
                                               FALSE, creationFlags, environment,
                                               currentDirectory, startup, process),
                                process);
    }
    STARTUPINFOW passed = *startup;
    passed.hStdInput = Inheritable(startup->hStdInput);
    passed.hStdOutput = Inheritable(startup->hStdOutput);
    passed.hStdError = Inheritable(startup->hStdError);
    BOOL created = CreateProcessW(applicationName, commandLine, nullptr, nullptr, TRUE,
                                  creationFlags, environment, currentDirectory, &passed, process);
    CloseDuplicate(passed.hStdInput, startup->hStdInput);
    CloseDuplicate(passed.hStdOutput, startup->hStdOutput);
    CloseDuplicate(passed.hStdError, startup->hStdError);
    return created;
}

}  // namespace

// The shipped exe imports ADVAPI32 for the logon call, so the loader has it loaded before
// main. This seam replaces that import, and keeps ADVAPI32 loaded through another, so
// that the look-ups in it at run time (CredReadW, the stack guard's seed) find it as
// they do in the shipped exe.
extern "C" {
__attribute__((used)) void* velmorKeepAdvapi32Loaded = reinterpret_cast<void*>(&CredFree);
}

// The pointer that calls through __declspec(dllimport) read; defining it here keeps the
// import library's entry, and so ADVAPI32's function, out of this exe.
extern "C" {
void* velmorFakeLogonImport __asm__(VELMOR_IMPORT_POINTER(CreateProcessWithLogonW, 44)) =
    reinterpret_cast<void*>(&FakeCreateProcessWithLogonW);
}
