// Baseline for the start-up benchmark: imports the same DLLs as velmor.exe (KERNEL32,
// ADVAPI32, msvcrt) and only writes one line. The logon call is never made; it is
// referenced so that ADVAPI32 is loaded as it is for velmor.exe.
#include <stdio.h>
#include <windows.h>

int main(int argc, char**) {
    if (argc > 1000) {
        STARTUPINFOW startup = {};
        PROCESS_INFORMATION process = {};
        wchar_t commandLine[] = L"x";
        CreateProcessWithLogonW(L"u", nullptr, L"", 0, nullptr, commandLine, 0, nullptr,
                                nullptr, &startup, &process);
    }
    fputs("baseline\n", stdout);
    return 0;
}
