// Test-only link seam: KERNEL32's two conversions, refusing what Windows refuses and
// Wine accepts. Windows takes only the flags 0 and MB_ERR_INVALID_CHARS /
// WC_ERR_INVALID_CHARS with UTF-8, and no default character; anything else fails with
// ERROR_INVALID_FLAGS (ERROR_INVALID_PARAMETER for a default character). Linked into
// test copies of the exe so that their UTF-8 retries run under Wine as on Windows.
#include <windows.h>

#include "import_seam.h"
#include "platform/look_up_windows.h"

namespace {

bool IsUtf8(UINT codePage) {
    if (codePage == CP_ACP) codePage = GetACP();
    return codePage == CP_UTF8;
}

int WINAPI StrictMultiByteToWideChar(UINT codePage, DWORD flags, LPCCH bytes, int length,
                                     LPWSTR out, int capacity) {
    if (IsUtf8(codePage) && (flags & ~static_cast<DWORD>(MB_ERR_INVALID_CHARS)) != 0) {
        SetLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    return LookUpLoadedFunction<decltype(&MultiByteToWideChar)>(L"kernel32.dll",
                                                                 "MultiByteToWideChar")(
        codePage, flags, bytes, length, out, capacity);
}

int WINAPI StrictWideCharToMultiByte(UINT codePage, DWORD flags, LPCWCH text, int length,
                                     LPSTR out, int capacity, LPCCH defaultChar,
                                     LPBOOL usedDefaultChar) {
    if (IsUtf8(codePage) && (flags & ~static_cast<DWORD>(WC_ERR_INVALID_CHARS)) != 0) {
        SetLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    if (IsUtf8(codePage) && (defaultChar != nullptr || usedDefaultChar != nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return LookUpLoadedFunction<decltype(&WideCharToMultiByte)>(L"kernel32.dll",
                                                                 "WideCharToMultiByte")(
        codePage, flags, text, length, out, capacity, defaultChar, usedDefaultChar);
}

}  // namespace

// The pointers that calls through __declspec(dllimport) read, as in fake_logon_call.cpp.
extern "C" {
void* velmorStrictToWideImport __asm__(VELMOR_IMPORT_POINTER(MultiByteToWideChar, 24)) =
    reinterpret_cast<void*>(&StrictMultiByteToWideChar);
void* velmorStrictToAnsiImport __asm__(VELMOR_IMPORT_POINTER(WideCharToMultiByte, 32)) =
    reinterpret_cast<void*>(&StrictWideCharToMultiByte);
}
