// Wine suite helper: the program that velmor_seam.exe launches. Each mode reports one
// thing about the process it finds itself in:
//   probe exit N                 ends with status N
//   probe env NAME FILE          writes the variable's value, or (unset), to FILE
//   probe cwd FILE               writes the working directory to FILE
//   probe stdio N [MS]           reads a line of standard input, writes "out:" and it to
//                                standard output, "err:" and it to standard error,
//                                each a line with CR LF, waits MS milliseconds (none by
//                                default), and ends with status N
//   probe escape                 writes a line coloured red by an escape sequence to
//                                standard output
//   probe hold RELEASE DONE      waits for the file RELEASE to exist, then writes DONE
//   probe parentline FILE        writes, in UTF-8, the command line that the parent's
//                                process environment block holds, as a process listing
//                                reads it; built for x86_64, the native block's
//   probe nativepeb PID FILE     writes, in hex, the address of process PID's process
//                                block as NtQueryInformationProcess gives it; built for
//                                x86_64, the native block's
//   probe credwrite TARGET USER HEX
//                                stores the caller's generic credential TARGET with the
//                                user name USER ("-": none) and the password blob HEX
//   probe count HEX FILE         writes how often the text HEX stands for occurs in the
//                                parent's committed readable memory, as bytes and as
//                                UTF-16LE: "bytes=N units=M"
//   probe spawn PIDS go|stay CHILD...
//                                starts the command line CHILD... (its words joined by
//                                blanks), writes "parent=P self=S child=C" to PIDS, then
//                                ends with status 7 (go) or first waits a minute (stay)
//   probe ended MS PID...        prints for each process "ended" or "running", after
//                                waiting up to MS milliseconds for each to end
//   probe terminate PID          ends the process PID with status 1
//   probe message CODE FILE      writes, in hex, the UTF-16LE text that FormatMessageW
//                                gives for the error CODE from the system, inserts
//                                ignored, in the user's language; nothing when it has none
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>
// After <windows.h>, which they need.
#include <wincred.h>
#include <winternl.h>

static int WriteFile(const char* path, const char* text) {
    FILE* file = fopen(path, "wb");
    if (file == nullptr) return 100;
    fputs(text, file);
    fclose(file);
    return 0;
}

static bool ReadFrom(HANDLE process, const void* address, void* buffer, SIZE_T size) {
    SIZE_T read = 0;
    return ReadProcessMemory(process, address, buffer, size, &read) && read == size;
}

static HANDLE OpenParent() {
    PROCESS_BASIC_INFORMATION self;
    if (NtQueryInformationProcess(GetCurrentProcess(), ProcessBasicInformation, &self,
                                  sizeof self, nullptr) != 0) {
        return nullptr;
    }
    return OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE,
                       static_cast<DWORD>(self.InheritedFromUniqueProcessId));
}

// The parent's PEB, its process parameters, then the command line they point to.
static int WriteParentCommandLine(const char* path) {
    PROCESS_BASIC_INFORMATION parent;
    HANDLE process = OpenParent();
    if (process == nullptr) return 111;
    PEB peb;
    RTL_USER_PROCESS_PARAMETERS parameters;
    static wchar_t line[32768];
    static char utf8[4 * 32768];
    bool read = NtQueryInformationProcess(process, ProcessBasicInformation, &parent,
                                          sizeof parent, nullptr) == 0 &&
                ReadFrom(process, parent.PebBaseAddress, &peb, sizeof peb) &&
                ReadFrom(process, peb.ProcessParameters, &parameters, sizeof parameters) &&
                parameters.CommandLine.Length < sizeof line &&
                ReadFrom(process, parameters.CommandLine.Buffer, line,
                         parameters.CommandLine.Length);
    CloseHandle(process);
    if (!read) return 112;
    line[parameters.CommandLine.Length / sizeof(wchar_t)] = 0;
    WideCharToMultiByte(CP_UTF8, 0, line, -1, utf8, sizeof utf8, nullptr, nullptr);
    return WriteFile(path, utf8);
}

static void WriteHandle(DWORD which, const char* prefix, const char* line) {
    DWORD written = 0;
    HANDLE handle = GetStdHandle(which);
    WriteFile(handle, prefix, static_cast<DWORD>(strlen(prefix)), &written, nullptr);
    WriteFile(handle, line, static_cast<DWORD>(strlen(line)), &written, nullptr);
    WriteFile(handle, "\r\n", 2, &written, nullptr);
}

// One byte at a time, so that the line ends where Velmor's own reading would end it.
static int EchoStandardStreams(int status) {
    char line[256];
    size_t length = 0;
    char byte = 0;
    DWORD read = 0;
    while (length + 1 < sizeof line &&
           ReadFile(GetStdHandle(STD_INPUT_HANDLE), &byte, 1, &read, nullptr) && read == 1 &&
           byte != '\n') {
        if (byte != '\r') line[length++] = byte;
    }
    line[length] = 0;
    WriteHandle(STD_OUTPUT_HANDLE, "out:", line);
    WriteHandle(STD_ERROR_HANDLE, "err:", line);
    return status;
}

static int WriteProcessBlockAddress(const char* pid, const char* path) {
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE,
                                 static_cast<DWORD>(strtoul(pid, nullptr, 10)));
    if (process == nullptr) return 111;
    PROCESS_BASIC_INFORMATION information;
    bool read = NtQueryInformationProcess(process, ProcessBasicInformation, &information,
                                          sizeof information, nullptr) == 0;
    CloseHandle(process);
    if (!read) return 112;
    char address[32];
    snprintf(address, sizeof address, "%llx",
             static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(information.PebBaseAddress)));
    return WriteFile(path, address);
}

static size_t CountIn(const char* data, size_t size, const char* text, size_t length) {
    size_t found = 0;
    for (size_t i = 0; i + length <= size; ++i) found += memcmp(data + i, text, length) == 0;
    return found;
}

// Every committed region that can be read, guard pages left alone.
static int WriteParentMemoryCount(const char* hex, const char* path) {
    char text[256], units[512];
    size_t length = 0;
    for (; hex[2 * length] != 0 && hex[2 * length + 1] != 0 && length < sizeof text; ++length) {
        unsigned value = 0;
        sscanf(hex + 2 * length, "%2x", &value);
        text[length] = static_cast<char>(value);
        units[2 * length] = text[length];
        units[2 * length + 1] = 0;
    }
    HANDLE process = OpenParent();
    if (process == nullptr) return 111;
    size_t bytes = 0, wide = 0;
    MEMORY_BASIC_INFORMATION region;
    for (char* at = nullptr; VirtualQueryEx(process, at, &region, sizeof region) == sizeof region;
         at = static_cast<char*>(region.BaseAddress) + region.RegionSize) {
        DWORD readable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                         PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
        if (region.State != MEM_COMMIT || (region.Protect & readable) == 0 ||
            (region.Protect & PAGE_GUARD) != 0) {
            continue;
        }
        char* copy = static_cast<char*>(malloc(region.RegionSize));
        SIZE_T read = 0;
        if (copy != nullptr && ReadProcessMemory(process, region.BaseAddress, copy,
                                                 region.RegionSize, &read)) {
            bytes += CountIn(copy, read, text, length);
            wide += CountIn(copy, read, units, 2 * length);
        }
        free(copy);
    }
    CloseHandle(process);
    char counts[64];
    snprintf(counts, sizeof counts, "bytes=%zu units=%zu", bytes, wide);
    return WriteFile(path, counts);
}

static int WriteCredential(const char* target, const char* user, const char* hex) {
    static unsigned char blob[8192];
    size_t size = 0;
    for (; hex[2 * size] != 0 && hex[2 * size + 1] != 0 && size < sizeof blob; ++size) {
        unsigned value = 0;
        sscanf(hex + 2 * size, "%2x", &value);
        blob[size] = static_cast<unsigned char>(value);
    }
    wchar_t wideTarget[512], wideUser[512];
    MultiByteToWideChar(CP_ACP, 0, target, -1, wideTarget, 512);
    MultiByteToWideChar(CP_ACP, 0, user, -1, wideUser, 512);
    CREDENTIALW credential = {};
    credential.Type = CRED_TYPE_GENERIC;
    credential.TargetName = wideTarget;
    credential.UserName = strcmp(user, "-") == 0 ? nullptr : wideUser;
    credential.CredentialBlob = blob;
    credential.CredentialBlobSize = static_cast<DWORD>(size);
    credential.Persist = CRED_PERSIST_LOCAL_MACHINE;
    return CredWriteW(&credential, 0) ? 0 : 120;
}

static DWORD ParentId() {
    PROCESS_BASIC_INFORMATION self;
    if (NtQueryInformationProcess(GetCurrentProcess(), ProcessBasicInformation, &self,
                                  sizeof self, nullptr) != 0) {
        return 0;
    }
    return static_cast<DWORD>(self.InheritedFromUniqueProcessId);
}

static int Spawn(int argc, char** argv) {
    static char line[4096];
    line[0] = 0;
    for (int i = 4; i < argc; ++i) {
        if (strlen(line) + strlen(argv[i]) + 2 >= sizeof line) return 130;
        if (i > 4) strcat(line, " ");
        strcat(line, argv[i]);
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child;
    if (!CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &child)) {
        return 131;
    }
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    char pids[128];
    snprintf(pids, sizeof pids, "parent=%lu self=%lu child=%lu", ParentId(),
             GetCurrentProcessId(), child.dwProcessId);
    if (WriteFile(argv[2], pids) != 0) return 132;
    if (strcmp(argv[3], "stay") == 0) Sleep(60000);
    return 7;
}

static int PrintEnded(int argc, char** argv) {
    DWORD milliseconds = static_cast<DWORD>(strtoul(argv[2], nullptr, 10));
    for (int i = 3; i < argc; ++i) {
        HANDLE process = OpenProcess(SYNCHRONIZE, FALSE,
                                     static_cast<DWORD>(strtoul(argv[i], nullptr, 10)));
        bool ended = process == nullptr || WaitForSingleObject(process, milliseconds) == WAIT_OBJECT_0;
        if (process != nullptr) CloseHandle(process);
        printf("%s%s", i > 3 ? " " : "", ended ? "ended" : "running");
    }
    printf("\n");
    return 0;
}

static int Terminate(const char* pid) {
    HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, static_cast<DWORD>(strtoul(pid, nullptr, 10)));
    bool ended = process != nullptr && TerminateProcess(process, 1);
    if (process != nullptr) CloseHandle(process);
    return ended ? 0 : 111;
}

static int WriteSystemMessage(const char* code, const char* path) {
    wchar_t text[4096];
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, static_cast<DWORD>(strtoul(code, nullptr, 0)), 0,
                                  text, 4096, nullptr);
    static char hex[4 * 4096 + 1];
    hex[0] = 0;
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
    for (DWORD i = 0; i < length * sizeof(wchar_t); ++i) snprintf(hex + 2 * i, 3, "%02x", bytes[i]);
    return WriteFile(path, hex);
}

int main(int argc, char** argv) {
    if (argc == 3 && strcmp(argv[1], "exit") == 0) return atoi(argv[2]);
    if (argc == 4 && strcmp(argv[1], "env") == 0) {
        char value[4096];
        DWORD length = GetEnvironmentVariableA(argv[2], value, sizeof value);
        return WriteFile(argv[3], length > 0 && length < sizeof value ? value : "(unset)");
    }
    if ((argc == 3 || argc == 4) && strcmp(argv[1], "stdio") == 0) {
        int status = EchoStandardStreams(atoi(argv[2]));
        if (argc == 4) Sleep(static_cast<DWORD>(atoi(argv[3])));
        return status;
    }
    if (argc == 2 && strcmp(argv[1], "escape") == 0) {
        return fputs("\x1b[31mred\x1b[0m\r\n", stdout) < 0;
    }
    if (argc == 3 && strcmp(argv[1], "cwd") == 0) {
        char directory[MAX_PATH];
        if (GetCurrentDirectoryA(sizeof directory, directory) == 0) return 101;
        return WriteFile(argv[2], directory);
    }
    if (argc == 4 && strcmp(argv[1], "hold") == 0) {
        // Bounded, so that a broken test never leaves a process behind for long.
        for (int i = 0; i < 1200 && GetFileAttributesA(argv[2]) == INVALID_FILE_ATTRIBUTES; ++i) {
            Sleep(50);
        }
        return WriteFile(argv[3], "done");
    }
    if (argc == 3 && strcmp(argv[1], "parentline") == 0) return WriteParentCommandLine(argv[2]);
    if (argc == 4 && strcmp(argv[1], "nativepeb") == 0) {
        return WriteProcessBlockAddress(argv[2], argv[3]);
    }
    if (argc == 4 && strcmp(argv[1], "count") == 0) return WriteParentMemoryCount(argv[2], argv[3]);
    if (argc == 5 && strcmp(argv[1], "credwrite") == 0) {
        return WriteCredential(argv[2], argv[3], argv[4]);
    }
    if (argc >= 5 && strcmp(argv[1], "spawn") == 0) return Spawn(argc, argv);
    if (argc >= 4 && strcmp(argv[1], "ended") == 0) return PrintEnded(argc, argv);
    if (argc == 3 && strcmp(argv[1], "terminate") == 0) return Terminate(argv[2]);
    if (argc == 4 && strcmp(argv[1], "message") == 0) return WriteSystemMessage(argv[2], argv[3]);
    return 102;
}
