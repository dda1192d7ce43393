// Wine suite helper: the control of the memory count. Started with the command line of
// the count row, it does with the password what a program that keeps no copy of its
// own can do, with its own code: takes it from where the last argument says, stars it
// in its UTF-16 line (and, through the platform layer, in the native copy), wipes the
// copies the runtime exposes, hands it to the same fake logon call as velmor_seam.exe,
// wipes it, and waits for the probe. What the probe then counts in its memory is what
// the runtime (and Credential Manager's functions) keep out of a program's reach.
//   memory_control /nologo /user:a /wait "probe.exe count HEX FILE" SOURCE
// SOURCE is /password:PW, /credential:TARGET or /password-stdin.
#include <stdlib.h>
#include <string.h>
#include <wchar.h>
#include <windows.h>
// After <windows.h>, which it needs.
#include <corecrt_startup.h>
#include <wincred.h>

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

bool StartsWith(const char* text, const char* start) {
    return strncmp(text, start, strlen(start)) == 0;
}

bool ReadFromCredentialManager(const char* target, wchar_t* password) {
    wchar_t wideTarget[1024];
    MultiByteToWideChar(CP_ACP, 0, target, -1, wideTarget, 1024);
    PCREDENTIALW credential = nullptr;
    if (!CredReadW(wideTarget, CRED_TYPE_GENERIC, 0, &credential)) return false;
    size_t units = credential->CredentialBlobSize / sizeof(wchar_t);
    memcpy(password, credential->CredentialBlob, units * sizeof(wchar_t));
    password[units] = 0;
    Wipe(credential->CredentialBlob, credential->CredentialBlobSize);
    CredFree(credential);
    return true;
}

void ReadFromStandardInput(wchar_t* password) {
    char line[4096];
    int length = 0;
    DWORD read = 0;
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    while (length < 4095 && ReadFile(input, line + length, 1, &read, nullptr) && read == 1 &&
           line[length] != '\n') {
        ++length;
    }
    line[length] = 0;
    MultiByteToWideChar(CP_ACP, 0, line, -1, password, 1024);
    Wipe(line, sizeof line);
}

}  // namespace

int main(int argc, char** argv) {
    const char kPasswordSwitch[] = "/password:";
    const char kCredentialSwitch[] = "/credential:";
    if (argc != 6) return 2;
    wchar_t program[1024];
    wchar_t password[1024];
    MultiByteToWideChar(CP_ACP, 0, argv[4], -1, program, 1024);
    wchar_t* line = GetCommandLineW();
    if (StartsWith(argv[5], kPasswordSwitch)) {
        MultiByteToWideChar(CP_ACP, 0, argv[5] + strlen(kPasswordSwitch), -1, password, 1024);
        for (wchar_t* p = wcsrchr(line, L':') + 1; *p != 0; ++p) *p = L'*';
    } else if (StartsWith(argv[5], kCredentialSwitch)) {
        if (!ReadFromCredentialManager(argv[5] + strlen(kCredentialSwitch), password)) return 4;
    } else {
        ReadFromStandardInput(password);
    }
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
