// Wine suite helper: starts a command line exactly as given, waits, writes the child's
// full 32-bit exit status to stderr as "rawrun-status=0x........" and ends with it. Wine
// would quote any command line it built from Linux arguments; this one reaches the
// child as given.
//   rawrun [--wide] [--app PATH] [--title-file PATH] [--report PATH] HEX
// HEX is the line's bytes in the ANSI page, started with CreateProcessA, or with --wide
// its UTF-16LE units, started with CreateProcessW. --app names the program to start, so
// that the line's own element 0 may be anything. --title-file sets the console's title
// to the UTF-16LE text of a file before the start, so that it may be longer than a command
// line can carry; --report writes the status and the console's title after the child's end, as "status=0x........" and "title=HEX" lines, to a file,
// for runs whose standard streams are a terminal.
#include <stdio.h>
#include <string.h>
#include <windows.h>

static int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Decodes hex into bytes, two zero bytes after them; returns false on a bad digit.
static bool Unhex(const char* hex, char* bytes, size_t capacity) {
    size_t length = 0;
    for (const char* p = hex; p[0] != 0 && p[1] != 0; p += 2) {
        int high = HexValue(p[0]), low = HexValue(p[1]);
        if (high < 0 || low < 0 || length + 2 >= capacity) return false;
        bytes[length++] = static_cast<char>(high * 16 + low);
    }
    bytes[length] = bytes[length + 1] = 0;
    return true;
}

// The console's title, as UTF-16LE hex, after "title=".
static void ReportTitle(FILE* report) {
    static wchar_t title[32768];
    DWORD length = GetConsoleTitleW(title, 32768);
    fprintf(report, "title=");
    for (DWORD i = 0; i < length; ++i) {
        fprintf(report, "%02x%02x", title[i] & 0xff, title[i] >> 8);
    }
    fprintf(report, "\n");
}

int main(int argc, char** argv) {
    static char line[131072];
    static char title[65536];
    bool wide = false;
    wchar_t application[MAX_PATH] = L"";
    const char* reportPath = nullptr;
    int next = 1;
    for (; next + 1 < argc; ++next) {
        if (strcmp(argv[next], "--wide") == 0) {
            wide = true;
        } else if (strcmp(argv[next], "--app") == 0 && next + 2 < argc) {
            MultiByteToWideChar(CP_ACP, 0, argv[++next], -1, application, MAX_PATH);
        } else if (strcmp(argv[next], "--title-file") == 0 && next + 2 < argc) {
            FILE* file = fopen(argv[++next], "rb");
            if (file == nullptr) return 200;
            size_t read = fread(title, 1, sizeof title - 2, file);
            fclose(file);
            title[read] = title[read + 1] = 0;
            SetConsoleTitleW(reinterpret_cast<wchar_t*>(title));
        } else if (strcmp(argv[next], "--report") == 0 && next + 2 < argc) {
            reportPath = argv[++next];
        } else {
            break;
        }
    }
    if (next + 1 != argc || !Unhex(argv[next], line, sizeof line)) return 200;

    PROCESS_INFORMATION process;
    BOOL started;
    if (wide) {
        STARTUPINFOW startup;
        ZeroMemory(&startup, sizeof startup);
        startup.cb = sizeof startup;
        started = CreateProcessW(application[0] != 0 ? application : nullptr,
                                 reinterpret_cast<wchar_t*>(line), nullptr, nullptr, TRUE, 0,
                                 nullptr, nullptr, &startup, &process);
    } else {
        char applicationA[MAX_PATH];
        WideCharToMultiByte(CP_ACP, 0, application, -1, applicationA, MAX_PATH, nullptr, nullptr);
        STARTUPINFOA startup;
        ZeroMemory(&startup, sizeof startup);
        startup.cb = sizeof startup;
        started = CreateProcessA(applicationA[0] != 0 ? applicationA : nullptr, line, nullptr,
                                 nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    }
    if (!started) return 202;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 203;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    fprintf(stderr, "rawrun-status=0x%08lx\n", status);
    FILE* report = reportPath != nullptr ? fopen(reportPath, "w") : nullptr;
    if (report != nullptr) {
        fprintf(report, "status=0x%08lx\n", status);
        ReportTitle(report);
        fclose(report);
    }
    return static_cast<int>(status);
}
