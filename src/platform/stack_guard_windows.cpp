// The stack protector's guard, its seed and its failure path, in place of libssp, whose
// seed opens a cryptographic provider at every start. Built without the protector: the
// exe's entry point is here and seeds the guard before any protected function runs.
// Only Win32 calls belong here.
#include <stdint.h>
#include <windows.h>

#include "platform/look_up_windows.h"

extern "C" {
// The names that -fstack-protector's code reads and calls.
uintptr_t __stack_chk_guard;  // NOLINT(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
[[noreturn]] void __stack_chk_fail();  // NOLINT(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
int mainCRTStartup();  // the C runtime's own entry point
int VelmorEntry();
}

namespace {

typedef BOOL(WINAPI* SetDllDirectories)(DWORD flags);

// A DLL that is not loaded yet, and no known DLL, is otherwise looked for in the exe's
// own folder first: a CRYPTBASE.dll beside velmor.exe, which the guard's seed loads, would
// run as the caller. From here on every DLL comes from System32. Windows 7 without its
// update lacks the call, and keeps its search order.
void LoadDllsFromSystem32Alone() {
    SetDllDirectories set =
        LookUpLoadedFunction<SetDllDirectories>(L"kernel32.dll", "SetDefaultDllDirectories");
    if (set != nullptr) set(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// Only when the system's generator is missing: weak, as every part of it can be
// guessed, but never the same value from one run to the next.
uintptr_t ReadClocksAndIds() {
    FILETIME time;
    GetSystemTimeAsFileTime(&time);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return time.dwLowDateTime ^ time.dwHighDateTime ^ (GetCurrentProcessId() << 16) ^
           GetCurrentThreadId() ^ GetTickCount() ^ counter.LowPart ^
           static_cast<uintptr_t>(counter.HighPart);
}

}  // namespace

// The low byte stays zero, so that an overrun by a string copy, which stops at a zero,
// cannot write the guard back.
int VelmorEntry() {
    LoadDllsFromSystem32Alone();
    uintptr_t seed = 0;
    if (!ReadSystemRandom(&seed, sizeof seed)) seed = ReadClocksAndIds();
    __stack_chk_guard = seed & ~static_cast<uintptr_t>(0xFF);
    return mainCRTStartup();
}

// As Microsoft's own stack check: end the process at once, where no exception handler
// and no exit routine of the process can run.
void __stack_chk_fail() {
    if (IsProcessorFeaturePresent(PF_FASTFAIL_AVAILABLE) != FALSE) {
        __asm__ volatile("int $0x29" : : "c"(FAST_FAIL_STACK_COOKIE_CHECK_FAILURE));
    }
    for (;;) TerminateProcess(GetCurrentProcess(), STATUS_STACK_BUFFER_OVERRUN);
}
