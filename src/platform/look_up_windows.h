// A function of a module that the process has already loaded, looked up by name at run
// time: for undocumented functions, and for functions of a DLL that the exe imports for
// one call alone. Includes <windows.h>, so only src/platform/ and test seams include it.
#pragma once

#include <windows.h>

// Null when the module is not loaded or has no such function.
template <typename Function>
Function LookUpLoadedFunction(const wchar_t* module, const char* name) {
    HMODULE loaded = GetModuleHandleW(module);
    if (loaded == nullptr) return nullptr;
    // Through the generic function type, which every function pointer converts to.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(loaded, name)));
}

// RtlGenRandom, which ADVAPI32 exports as SystemFunction036; looked up rather than
// imported, so that ADVAPI32 is imported for the logon call alone. False when it is
// missing or fails: the caller decides what stands in.
inline bool ReadSystemRandom(void* buffer, ULONG size) {
    typedef BOOLEAN(WINAPI * GenerateRandom)(void* buffer, ULONG size);
    GenerateRandom generate =
        LookUpLoadedFunction<GenerateRandom>(L"advapi32.dll", "SystemFunction036");
    return generate != nullptr && generate(buffer, size) != FALSE;
}
