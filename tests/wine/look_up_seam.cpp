// Test-only link seam: GetProcAddress, through which the platform layer finds every
// function it looks up at run time, linked into velmor_seam.exe. Each look-up by name is
// recorded ("look-up NAME"), and each is answered by ntdll's LdrGetProcedureAddress, as
// the real one would answer it, except:
//   CredFree       a stand-in that records whether the credential's password was wiped
//                  before it was handed back, then frees it;
//   NtWow64QueryInformationProcess64 and NtWow64ReadVirtualMemory64 (32-bit only),
//                  when VELMOR_QUERY_ANSWER is set: the query, which Wine 8 lacks,
//                  answered as 64-bit Windows answers it or as the setting says it
//                  goes wrong, and the reads, passed on and recorded where they touch
//                  the native thread block (the scrub's other way to the process block).
// What happens is appended, a line each, to the file that VELMOR_LOOKUP_RECORD names.
// Runs before the runtime is started (the stack guard's seed is looked up first), so
// only Win32 calls are made for any other name.
#include <stdio.h>
#include <string.h>
#include <windows.h>
// After <windows.h>, which they need.
#include <wincred.h>
#include <winternl.h>

#include "import_seam.h"

extern "C" __declspec(dllimport) LONG NTAPI LdrGetProcedureAddress(HMODULE module,
                                                                   const ANSI_STRING* name,
                                                                   ULONG ordinal,
                                                                   void** address);

namespace {

void AppendToRecord(const char* line) {
    char path[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("VELMOR_LOOKUP_RECORD", path, sizeof path);
    if (length == 0 || length >= sizeof path) return;
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(strlen(line)), &written, nullptr);
    WriteFile(file, "\n", 1, &written, nullptr);
    CloseHandle(file);
}

FARPROC RealLookUp(HMODULE module, LPCSTR name) {
    void* address = nullptr;
    LONG status = 0;
    if (reinterpret_cast<ULONG_PTR>(name) < 0x10000) {  // by ordinal
        status = LdrGetProcedureAddress(module, nullptr,
                                        static_cast<ULONG>(reinterpret_cast<ULONG_PTR>(name)),
                                        &address);
    } else {
        ANSI_STRING text;
        text.Length = static_cast<USHORT>(strlen(name));
        text.MaximumLength = static_cast<USHORT>(text.Length + 1);
        text.Buffer = const_cast<char*>(name);
        status = LdrGetProcedureAddress(module, &text, 0, &address);
    }
    if (status != 0) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(address));
}

typedef void(WINAPI* FreeCredential)(PVOID buffer);
FreeCredential realCredFree;

void WINAPI CheckingCredFree(PVOID buffer) {
    const CREDENTIALW* credential = static_cast<const CREDENTIALW*>(buffer);
    DWORD left = 0;
    for (DWORD i = 0; credential != nullptr && credential->CredentialBlob != nullptr &&
                      i < credential->CredentialBlobSize;
         ++i) {
        left += credential->CredentialBlob[i] != 0;
    }
    char line[96];
    snprintf(line, sizeof line, "CredFree: %lu bytes of the password left", left);
    AppendToRecord(line);
    realCredFree(buffer);
}

#if defined(__i386__)

typedef LONG(NTAPI* ReadMemory64)(HANDLE process, ULONGLONG address, void* buffer,
                                  ULONGLONG size, ULONGLONG* done);
ReadMemory64 realReadMemory;

// Where the native thread block stands, as the scrub's fallback works it out.
ULONGLONG NativeThreadBlock() {
    ULONG teb32 = 0;
    LONG offset = 0;
    __asm__("movl %%fs:0x18, %0" : "=r"(teb32));
    __asm__("movl %%fs:0xFDC, %0" : "=r"(offset));
    return offset == 0 ? 0 : teb32 + static_cast<ULONGLONG>(static_cast<LONGLONG>(offset));
}

LONG NTAPI RecordingReadMemory(HANDLE process, ULONGLONG address, void* buffer, ULONGLONG size,
                               ULONGLONG* done) {
    ULONGLONG teb = NativeThreadBlock();
    if (teb != 0 && address >= teb && address < teb + 0x2000) {
        AppendToRecord("read of the native thread block");
    }
    return realReadMemory(process, address, buffer, size, done);
}

// The native process block as a 64-bit process reads it, with NtQueryInformationProcess:
// probe64.exe, beside this exe, writes its address in hex to the record's path with
// ".peb" added.
ULONGLONG NativeProcessBlock() {
    char record[MAX_PATH], peb[MAX_PATH + 8], probe[MAX_PATH], line[3 * MAX_PATH];
    DWORD length = GetEnvironmentVariableA("VELMOR_LOOKUP_RECORD", record, sizeof record);
    DWORD exe = GetModuleFileNameA(nullptr, probe, sizeof probe);
    char* folder = strrchr(probe, '\\');
    if (length == 0 || length >= sizeof record || exe == 0 || exe >= sizeof probe ||
        folder == nullptr) {
        return 0;
    }
    snprintf(folder + 1, sizeof probe - static_cast<size_t>(folder + 1 - probe), "probe64.exe");
    snprintf(peb, sizeof peb, "%s.peb", record);
    snprintf(line, sizeof line, "\"%s\" nativepeb %lu \"%s\"", probe, GetCurrentProcessId(), peb);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &process)) {
        return 0;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    unsigned long long address = 0;
    FILE* file = fopen(peb, "rb");
    if (file == nullptr) return 0;
    if (fscanf(file, "%llx", &address) != 1) address = 0;
    fclose(file);
    return address;
}

// Stand-ins for native structures, in memory that a 64-bit address reaches too: a
// process block whose parameters pointer (at 0x20) points to parameters whose command
// line (at 0x70) is told to be longer than the real one.
alignas(16) unsigned char fakeProcessBlock[0x40];
alignas(16) unsigned char fakeParameters[0x80];

ULONGLONG AddressOf(const void* object) {
    return reinterpret_cast<ULONG>(object);
}

// The real native line's UNICODE_STRING, with its length two bytes more.
ULONGLONG LongerLineProcessBlock(ULONGLONG processBlock) {
    ULONGLONG parameters = 0, done = 0;
    unsigned char line[16];
    if (realReadMemory(GetCurrentProcess(), processBlock + 0x20, &parameters, 8, &done) != 0 ||
        realReadMemory(GetCurrentProcess(), parameters + 0x70, line, 16, &done) != 0) {
        return 0;
    }
    USHORT length = 0, maximumLength = 0;
    memcpy(&length, line, 2);
    memcpy(&maximumLength, line + 2, 2);
    length = static_cast<USHORT>(length + 2);
    if (maximumLength < length) maximumLength = length;
    memcpy(line, &length, 2);
    memcpy(line + 2, &maximumLength, 2);
    memcpy(fakeParameters + 0x70, line, 16);
    ULONGLONG fake = AddressOf(fakeParameters);
    memcpy(fakeProcessBlock + 0x20, &fake, 8);
    return AddressOf(fakeProcessBlock);
}

const ULONG kProcessBasicInformation = 0;
const LONG kStatusInvalidInfoClass = static_cast<LONG>(0xC0000003);
const LONG kStatusInfoLengthMismatch = static_cast<LONG>(0xC0000004);
const LONG kStatusAccessDenied = static_cast<LONG>(0xC0000022);
// Canonical user addresses where nothing is mapped.
const ULONGLONG kUnmapped = 0x0000400000000000ULL;
const ULONGLONG kWrongField = 0x00004000BAD00000ULL;

// PROCESS_BASIC_INFORMATION of a 64-bit process: six 8-byte fields, PebBaseAddress the
// second; every other field a pointer to nothing, so that reading it finds nothing.
LONG NTAPI StandInQuery(HANDLE process, ULONG informationClass, void* information, ULONG size,
                        ULONG* returned) {
    char answer[32] = "";
    GetEnvironmentVariableA("VELMOR_QUERY_ANSWER", answer, sizeof answer);
    LONG status = 0;
    if (informationClass != kProcessBasicInformation) {
        status = kStatusInvalidInfoClass;
    } else if (size != 48) {
        status = kStatusInfoLengthMismatch;
    } else {
        ULONGLONG fields[6];
        for (int i = 0; i < 6; ++i) fields[i] = kWrongField + 0x1000 * static_cast<ULONGLONG>(i);
        ULONGLONG processBlock = process == GetCurrentProcess() ? NativeProcessBlock() : 0;
        fields[1] = processBlock;
        if (strcmp(answer, "failing") == 0) status = kStatusAccessDenied;
        if (strcmp(answer, "unmapped") == 0) fields[1] = kUnmapped;
        if (strcmp(answer, "null-parameters") == 0) fields[1] = AddressOf(fakeProcessBlock);
        if (strcmp(answer, "longer-line") == 0) fields[1] = LongerLineProcessBlock(processBlock);
        memcpy(information, fields, sizeof fields);
        if (returned != nullptr) *returned = sizeof fields;
    }
    char line[128];
    snprintf(line, sizeof line, "query class=%lu size=%lu status=0x%08lx", informationClass,
             size, static_cast<unsigned long>(status));
    AppendToRecord(line);
    return status;
}

bool StandsInForTheQuery() {
    char answer[32];
    DWORD length = GetEnvironmentVariableA("VELMOR_QUERY_ANSWER", answer, sizeof answer);
    return length > 0 && length < sizeof answer;
}

#endif  // __i386__

// "look-up NAME", in the order the look-ups come.
void RecordLookUp(LPCSTR name) {
    char line[80] = "look-up ";
    lstrcpynA(line + 8, name, sizeof line - 8);
    AppendToRecord(line);
}

FARPROC WINAPI SeamGetProcAddress(HMODULE module, LPCSTR name) {
    bool byName = reinterpret_cast<ULONG_PTR>(name) >= 0x10000;
    if (byName) RecordLookUp(name);
#if defined(__i386__)
    // Wine 8's ntdll has no such function: the stand-in answers whether or not it has.
    if (byName && StandsInForTheQuery() && strcmp(name, "NtWow64QueryInformationProcess64") == 0) {
        return reinterpret_cast<FARPROC>(&StandInQuery);
    }
#endif
    FARPROC real = RealLookUp(module, name);
    if (real == nullptr || !byName) return real;
    if (strcmp(name, "CredFree") == 0) {
        realCredFree = reinterpret_cast<FreeCredential>(real);
        return reinterpret_cast<FARPROC>(&CheckingCredFree);
    }
#if defined(__i386__)
    if (StandsInForTheQuery() && strcmp(name, "NtWow64ReadVirtualMemory64") == 0) {
        realReadMemory = reinterpret_cast<ReadMemory64>(real);
        return reinterpret_cast<FARPROC>(&RecordingReadMemory);
    }
#endif
    return real;
}

}  // namespace

// The pointer that calls through __declspec(dllimport) read, as in fake_logon_call.cpp.
extern "C" {
void* velmorLookUpImport __asm__(VELMOR_IMPORT_POINTER(GetProcAddress, 8)) =
    reinterpret_cast<void*>(&SeamGetProcAddress);
}
