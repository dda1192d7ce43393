// Baseline for the launch benchmark: makes the one logon call that a full launch of
// velmor.exe makes, with the same arguments, and writes one line.
#include <stdio.h>
#include <windows.h>

int main() {
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.lpTitle = const_cast<wchar_t*>(L"notepad.exe (alice)");
    PROCESS_INFORMATION process = {};
    wchar_t commandLine[] = L"notepad.exe";
    if (CreateProcessWithLogonW(L"alice", nullptr, L"pw", LOGON_WITH_PROFILE, nullptr,
                                commandLine, 0x04000E10, nullptr, nullptr, &startup,
                                &process)) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    fputs("baseline\n", stdout);
    return 0;
}
