// Wine suite helper: starts the command line given in hex as argv[1], byte for byte,
// with CreateProcessA, waits, writes the child's full 32-bit exit status to stderr as
// "rawrun-status=0x........" and ends with it. Wine would quote any command line it
// built from Linux arguments; this one reaches the child as given.
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

static int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

int main(int argc, char** argv) {
    static char line[65536];
    if (argc != 2) return 200;
    size_t length = 0;
    for (const char* p = argv[1]; p[0] != 0 && p[1] != 0; p += 2) {
        int high = HexValue(p[0]), low = HexValue(p[1]);
        if (high < 0 || low < 0 || length + 1 >= sizeof line) return 201;
        line[length++] = static_cast<char>(high * 16 + low);
    }
    line[length] = 0;
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(nullptr, line, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return 202;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 203;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    fprintf(stderr, "rawrun-status=0x%08lx\n", status);
    return static_cast<int>(status);
}
