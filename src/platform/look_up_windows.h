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
