// Wine suite helper, built and entered like velmor.exe, with its stack guard:
//   stack_probe guard       prints the guard's value in hex, at its full width
//   stack_probe overrun N   writes N bytes into an 8-byte stack buffer, then prints
//                           "returned"; past 8 the guard must end the process first
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

extern "C" uintptr_t __stack_chk_guard;

namespace {

__attribute__((noinline)) void Fill(volatile char* buffer, size_t count) {
    for (size_t i = 0; i < count; ++i) buffer[i] = 'A';
}

__attribute__((noinline)) int Overrun(size_t count) {
    char buffer[8];
    Fill(buffer, count);
    return buffer[0];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && strcmp(argv[1], "guard") == 0) {
        // Two hex digits a byte: 8 for a 32-bit guard, 16 for a 64-bit one.
        printf("%0*llx\n", static_cast<int>(2 * sizeof __stack_chk_guard),
               static_cast<unsigned long long>(__stack_chk_guard));
        return 0;
    }
    if (argc == 3 && strcmp(argv[1], "overrun") == 0) {
        Overrun(strtoul(argv[2], nullptr, 10));
        printf("returned\n");
        return 0;
    }
    return 2;
}
