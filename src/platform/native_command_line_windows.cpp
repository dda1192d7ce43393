// The native copy of the command line under WoW64. 64-bit Windows gives a 32-bit process
// two process blocks: the native one, made first, and the 32-bit one that
// GetCommandLineW reads; a 64-bit tool reads the native one. Only Win32 and ntdll calls
// belong here. ntdll's WoW64 functions are undocumented: each is looked up at run time,
// each value read is checked before it is trusted, and anything missing or unexpected
// leaves the native copy as it is without changing the run.
#include "platform/platform.h"

// Only a 32-bit process has a second process block; a 64-bit exe's one line is the one
// the scrub has already rewritten.
#if !defined(__i386__)

void PlatformScrubNativeCommandLine(const WideChar* /*scrubbedLine*/) {}

#else

#include <wchar.h>
#include <windows.h>

#include "platform/look_up_windows.h"

namespace {

// Offsets in the native (64-bit) structures.
const ULONGLONG kTebSelf = 0x30;
const ULONGLONG kTebProcessBlock = 0x60;
const ULONGLONG kProcessBlockParameters = 0x20;
const ULONGLONG kParametersCommandLine = 0x70;
const ULONG kProcessBasicInformation = 0;
// The longest text a UNICODE_STRING can hold, in units.
const size_t kNativeLineCapacity = 32768;

typedef LONG(NTAPI* QueryProcess64)(HANDLE process, ULONG informationClass, void* information,
                                    ULONG size, ULONG* returned);
typedef LONG(NTAPI* ReadMemory64)(HANDLE process, ULONGLONG address, void* buffer,
                                  ULONGLONG size, ULONGLONG* done);
typedef LONG(NTAPI* WriteMemory64)(HANDLE process, ULONGLONG address, const void* buffer,
                                   ULONGLONG size, ULONGLONG* done);

struct NativeBasicInformation {
    LONG exitStatus;
    ULONG padding;
    ULONGLONG processBlock;
    ULONGLONG affinityMask;
    LONG basePriority;
    ULONG padding2;
    ULONGLONG processId;
    ULONGLONG parentProcessId;
};
static_assert(sizeof(NativeBasicInformation) == 48, "PROCESS_BASIC_INFORMATION, 64-bit");

struct NativeUnicodeString {
    USHORT length;  // in bytes, without a terminator
    USHORT maximumLength;
    ULONG padding;
    ULONGLONG buffer;
};
static_assert(sizeof(NativeUnicodeString) == 16, "UNICODE_STRING, 64-bit");

struct NativeMemory {
    ReadMemory64 read;
    WriteMemory64 write;
};

bool ReadNative(const NativeMemory& memory, ULONGLONG address, void* buffer, ULONG size) {
    ULONGLONG done = 0;
    return address != 0 && memory.read(GetCurrentProcess(), address, buffer, size, &done) == 0 &&
           done == size;
}

// From ntdll's query where it has one; otherwise (Wine lacks it) from the native thread
// block, which must name itself before the process block it points to is trusted.
ULONGLONG FindNativeProcessBlock(const NativeMemory& memory) {
    QueryProcess64 query =
        LookUpLoadedFunction<QueryProcess64>(L"ntdll.dll", "NtWow64QueryInformationProcess64");
    if (query != nullptr) {
        NativeBasicInformation information = {};
        ULONG returned = 0;
        if (query(GetCurrentProcess(), kProcessBasicInformation, &information,
                  sizeof information, &returned) != 0) {
            return 0;
        }
        return information.processBlock;
    }
    // The 32-bit thread block's address (its Self field, fs:0x18) and where the native
    // one stands relative to it (WowTebOffset, fs:0xFDC).
    ULONG teb32 = 0;
    LONG offset = 0;
    __asm__("movl %%fs:0x18, %0" : "=r"(teb32));
    __asm__("movl %%fs:0xFDC, %0" : "=r"(offset));
    if (offset == 0) return 0;
    ULONGLONG teb = teb32 + static_cast<ULONGLONG>(static_cast<LONGLONG>(offset));
    ULONGLONG self = 0;
    ULONGLONG processBlock = 0;
    if (!ReadNative(memory, teb + kTebSelf, &self, sizeof self) || self != teb) return 0;
    if (!ReadNative(memory, teb + kTebProcessBlock, &processBlock, sizeof processBlock)) return 0;
    return processBlock;
}

// Whether native is the scrubbed line as it stood before the scrub: the same length,
// and the same units wherever the scrub did not write '*'.
bool IsSameLineUnscrubbed(const wchar_t* native, const wchar_t* scrubbed, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        if (native[i] != scrubbed[i] && scrubbed[i] != L'*') return false;
    }
    return true;
}

bool FindNativeCommandLine(const NativeMemory& memory, NativeUnicodeString* line) {
    ULONGLONG processBlock = FindNativeProcessBlock(memory);
    ULONGLONG parameters = 0;
    return processBlock != 0 &&
           ReadNative(memory, processBlock + kProcessBlockParameters, &parameters,
                      sizeof parameters) &&
           parameters != 0 &&
           ReadNative(memory, parameters + kParametersCommandLine, line, sizeof *line) &&
           line->buffer != 0 && line->length <= line->maximumLength;
}

}  // namespace

void PlatformScrubNativeCommandLine(const WideChar* scrubbedLine) {
    BOOL wow64 = FALSE;
    if (IsWow64Process(GetCurrentProcess(), &wow64) == FALSE || wow64 == FALSE) return;
    NativeMemory memory = {
        LookUpLoadedFunction<ReadMemory64>(L"ntdll.dll", "NtWow64ReadVirtualMemory64"),
        LookUpLoadedFunction<WriteMemory64>(L"ntdll.dll", "NtWow64WriteVirtualMemory64")};
    NativeUnicodeString line = {};
    if (memory.read == nullptr || memory.write == nullptr ||
        !FindNativeCommandLine(memory, &line)) {
        return;
    }
    const wchar_t* scrubbed = reinterpret_cast<const wchar_t*>(scrubbedLine);
    size_t length = wcslen(scrubbed);
    if (line.length != length * sizeof(wchar_t)) return;

    // The native line holds the password until it is overwritten; so does this copy.
    wchar_t native[kNativeLineCapacity];
    if (ReadNative(memory, line.buffer, native, line.length) &&
        IsSameLineUnscrubbed(native, scrubbed, length)) {
        ULONGLONG written = 0;
        memory.write(GetCurrentProcess(), line.buffer, scrubbed, line.length, &written);
    }
    PlatformWipe(native, line.length);
}

#endif  // __i386__
