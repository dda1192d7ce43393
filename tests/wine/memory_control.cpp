// Wine suite helper: the control of the memory count. Started with the command line of
// the count row, it does with the password what a program that keeps no copy of its
// own can do, with its own code: takes it, stars it in its UTF-16 line (and, through the
// platform layer, in the native copy), wipes the copies the runtime exposes, hands it
// to the same fake logon call as velmor_seam.exe, wipes it, and waits for the probe. What
// the probe then counts in its memory is what the runtime keeps out of a program's reach.
//   memory_control /nologo /user:a /wait "probe.exe count HEX FILE" /password:PW
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include <windows.h>
// After <windows.h>, which it needs.
#include <corecrt_startup.h>

#include "platform/platform.h"

namespace {

void Wipe(void* buffer, size_t size) {
    SecureZeroMemory(buffer, size);
}

void WipeWide(wchar_t* text) {
    if (text != nullptr && text != GetCommandLineW()) Wipe(text, wcslen(text) * sizeof *text);
}

void WipeRuntimeCopies(int argc, char** argv) {
    Wipe(GetCommandLineA(), strlen(GetCommandLineA()));
    if (_acmdln != nullptr) Wipe(_acmdln, strlen(_acmdln));
    WipeWide(_wcmdln);
    for (int i = 0; i < __argc; ++i) {
        if (__argv != nullptr) Wipe(__argv[i], strlen(__argv[i]));
        if (__wargv != nullptr) WipeWide(__wargv[i]);
    }
    for (int i = 0; i < argc; ++i) Wipe(argv[i], strlen(argv[i]));
}

}  // namespace

int main(int argc, char** argv) {
    const char kPasswordSwitch[] = "/password:";
    if (argc != 6 || strncmp(argv[5], kPasswordSwitch, strlen(kPasswordSwitch)) != 0) return 2;
    wchar_t program[1024];
    wchar_t password[1024];
    MultiByteToWideChar(CP_ACP, 0, argv[4], -1, program, 1024);
    MultiByteToWideChar(CP_ACP, 0, argv[5] + strlen(kPasswordSwitch), -1, password, 1024);

    wchar_t* line = GetCommandLineW();
    for (wchar_t* p = wcsrchr(line, L':') + 1; *p != 0; ++p) *p = L'*';
    PlatformScrubNativeCommandLine(reinterpret_cast<WideChar*>(line));
    WipeRuntimeCopies(argc, argv);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    BOOL created = CreateProcessWithLogonW(L"a", nullptr, password, LOGON_WITH_PROFILE, nullptr,
                                           program, CREATE_NEW_CONSOLE, nullptr, nullptr,
                                           &startup, &process);
    Wipe(password, sizeof password);
    if (!created) return 3;
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
}
