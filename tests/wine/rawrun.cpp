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
// for runs whose standard streams are a terminal, and the console's screen, its lines up to the
// cursor as UTF-16LE hex each ended by "0a00", as "screen=HEX".
// --stdin-pipe HEX gives the child, as its standard input, the read end (a server end) of
// a pipe made with CreatePipe that holds those bytes, its write end closed. --stdout-pipe
// gives it, as its standard output, the write end (a client end) of another, and once the
// child has ended copies what the pipe holds, to its end, to rawrun's own output.
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

// The console's lines, up to the cursor, without their trailing blanks.
static void ReportScreen(FILE* report) {
    HANDLE screen = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    CONSOLE_SCREEN_BUFFER_INFO info;
    fprintf(report, "screen=");
    bool read = screen != INVALID_HANDLE_VALUE && GetConsoleScreenBufferInfo(screen, &info);
    for (SHORT row = 0; read && row <= info.dwCursorPosition.Y; ++row) {
        static wchar_t line[1024];
        DWORD length = 0;
        DWORD width = info.dwSize.X < 1024 ? info.dwSize.X : 1024;
        ReadConsoleOutputCharacterW(screen, line, width, COORD{0, row}, &length);
        while (length > 0 && line[length - 1] == L' ') --length;
        for (DWORD i = 0; i < length; ++i) {
            fprintf(report, "%02x%02x", line[i] & 0xff, line[i] >> 8);
        }
        fprintf(report, "0a00");
    }
    fprintf(report, "\n");
}

// A pipe made with CreatePipe; only the end the child gets is inheritable.
static void MakePipe(HANDLE* read, HANDLE* write, bool childReads) {
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    CreatePipe(read, write, &inheritable, 65536);
    SetHandleInformation(childReads ? *write : *read, HANDLE_FLAG_INHERIT, 0);
}

// With either pipe, the child's three standard handles: the pipes' ends, and rawrun's own
// handles for the rest.
template <typename Startup>
static void UsePipes(Startup* startup, HANDLE input, HANDLE output) {
    if (input == nullptr && output == nullptr) return;
    startup->dwFlags = STARTF_USESTDHANDLES;
    startup->hStdInput = input != nullptr ? input : GetStdHandle(STD_INPUT_HANDLE);
    startup->hStdOutput = output != nullptr ? output : GetStdHandle(STD_OUTPUT_HANDLE);
    startup->hStdError = GetStdHandle(STD_ERROR_HANDLE);
}

int main(int argc, char** argv) {
    static char line[131072];
    static char title[65536];
    bool wide = false;
    wchar_t application[MAX_PATH] = L"";
    const char* reportPath = nullptr;
    HANDLE inputRead = nullptr, outputRead = nullptr, outputWrite = nullptr;
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
        } else if (strcmp(argv[next], "--stdin-pipe") == 0 && next + 2 < argc) {
            HANDLE write = nullptr;
            MakePipe(&inputRead, &write, true);
            DWORD written = 0;
            if (!Unhex(argv[++next], line, sizeof line) ||
                !WriteFile(write, line, static_cast<DWORD>(strlen(line)), &written, nullptr)) {
                return 200;
            }
            CloseHandle(write);
        } else if (strcmp(argv[next], "--stdout-pipe") == 0) {
            MakePipe(&outputRead, &outputWrite, false);
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
        UsePipes(&startup, inputRead, outputWrite);
        started = CreateProcessW(application[0] != 0 ? application : nullptr,
                                 reinterpret_cast<wchar_t*>(line), nullptr, nullptr, TRUE, 0,
                                 nullptr, nullptr, &startup, &process);
    } else {
        char applicationA[MAX_PATH];
        WideCharToMultiByte(CP_ACP, 0, application, -1, applicationA, MAX_PATH, nullptr, nullptr);
        STARTUPINFOA startup;
        ZeroMemory(&startup, sizeof startup);
        startup.cb = sizeof startup;
        UsePipes(&startup, inputRead, outputWrite);
        started = CreateProcessA(applicationA[0] != 0 ? applicationA : nullptr, line, nullptr,
                                 nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    }
    if (!started) return 202;
    WaitForSingleObject(process.hProcess, INFINITE);
    if (outputWrite != nullptr) {
        CloseHandle(outputWrite);
        char buffer[4096];
        DWORD read = 0;
        DWORD written = 0;
        while (ReadFile(outputRead, buffer, sizeof buffer, &read, nullptr) && read > 0 &&
               WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), buffer, read, &written, nullptr)) {
        }
    }
    DWORD status = 203;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    fprintf(stderr, "rawrun-status=0x%08lx\n", status);
    FILE* report = reportPath != nullptr ? fopen(reportPath, "w") : nullptr;
    if (report != nullptr) {
        fprintf(report, "status=0x%08lx\n", status);
        ReportTitle(report);
        ReportScreen(report);
        fclose(report);
    }
    return static_cast<int>(status);
}
