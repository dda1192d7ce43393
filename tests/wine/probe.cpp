// Wine suite helper: the program that velmor_seam.exe launches. Each mode reports one
// thing about the process it finds itself in:
//   probe exit N                 ends with status N
//   probe env NAME FILE          writes the variable's value, or (unset), to FILE
//   probe cwd FILE               writes the working directory to FILE
//   probe hold RELEASE DONE      waits for the file RELEASE to exist, then writes DONE
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

static int WriteFile(const char* path, const char* text) {
    FILE* file = fopen(path, "wb");
    if (file == nullptr) return 100;
    fputs(text, file);
    fclose(file);
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 3 && strcmp(argv[1], "exit") == 0) return atoi(argv[2]);
    if (argc == 4 && strcmp(argv[1], "env") == 0) {
        char value[4096];
        DWORD length = GetEnvironmentVariableA(argv[2], value, sizeof value);
        return WriteFile(argv[3], length > 0 && length < sizeof value ? value : "(unset)");
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
    return 102;
}
