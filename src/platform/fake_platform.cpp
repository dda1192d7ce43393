// The fake platform for host tests. It holds no logic of Velmor's: it records calls,
// answers as told, and converts like MultiByteToWideChar would for the chosen page.
#include "platform/fake_platform.h"

#include <errno.h>
#include <iconv.h>
#include <string.h>

namespace {

FakePlatform fake;
WideChar fakeEnvironment[] = {u'A', u'=', u'1', 0, 0};

void RecordCall(FakeCallKind kind, const void* address = nullptr, size_t size = 0,
                bool heldSecret = false) {
    if (fake.callCount == sizeof fake.calls / sizeof fake.calls[0]) {
        fake.callsOverflowed = true;
        return;
    }
    fake.calls[fake.callCount++] = FakeCall{kind, address, size, heldSecret};
}

void CopyText(const WideChar* text, FakeText* copy) {
    copy->present = text != nullptr;
    copy->length = 0;
    copy->units[0] = 0;
    if (text == nullptr) return;
    int i = 0;
    for (; i + 1 < kFakeTextCapacity && text[i] != 0; ++i) copy->units[i] = text[i];
    copy->units[i] = 0;
    copy->length = i;
}

// Lead-byte ranges as GetCPInfo reports them for each page.
struct LeadRange {
    int codePage;
    unsigned char first, last;
};
const LeadRange kLeadRanges[] = {
    {932, 0x81, 0x9F}, {932, 0xE0, 0xFC}, {936, 0x81, 0xFE}, {949, 0x81, 0xFE},
    {950, 0x81, 0xFE}, {1361, 0x84, 0xD3}, {1361, 0xD8, 0xDE}, {1361, 0xE0, 0xF9},
};

// One descriptor per page, opened on first use and kept, so that a test counting heap
// allocations can open them all beforehand. Any page not listed is treated as 1252.
iconv_t Converter(int codePage) {
    static const struct {
        int codePage;
        const char* name;
    } kPages[] = {{932, "CP932"}, {936, "CP936"}, {949, "CP949"}, {950, "CP950"},
                  {1361, "CP1361"}, {65001, "UTF-8"}, {1252, "CP1252"}};
    static iconv_t converters[7];
    static bool opened[7];
    int page = 6;
    for (int i = 0; i < 6; ++i) {
        if (kPages[i].codePage == codePage) page = i;
    }
    if (!opened[page]) {
        converters[page] = iconv_open("UTF-16LE", kPages[page].name);
        opened[page] = true;
    }
    return converters[page];
}

// Converts the whole text and its terminator into out. A byte that starts no valid
// sequence becomes U+FFFD, standing for the system's replacement behaviour. Returns
// false when out is too small, and then leaves junk in it, as the system may.
bool ConvertLikeWindows(const char* bytes, WideChar* out, int capacity) {
    iconv_t converter = Converter(fake.codePage);
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(bytes);
    size_t inLeft = strlen(bytes);
    char* next = reinterpret_cast<char*>(out);
    size_t outLeft = static_cast<size_t>(capacity - 1) * sizeof(WideChar);  // terminator kept
    while (inLeft > 0) {
        if (iconv(converter, &in, &inLeft, &next, &outLeft) != static_cast<size_t>(-1)) break;
        if (errno == E2BIG || outLeft < sizeof(WideChar)) {
            for (int i = 0; i < capacity; ++i) out[i] = u'#';
            return false;
        }
        const WideChar replacement = 0xFFFD;
        memcpy(next, &replacement, sizeof replacement);
        next += sizeof replacement;
        outLeft -= sizeof replacement;
        ++in;
        --inLeft;
        iconv(converter, nullptr, nullptr, nullptr, nullptr);
    }
    const WideChar terminator = 0;
    memcpy(next, &terminator, sizeof terminator);
    return true;
}

}  // namespace

FakePlatform& Fake() {
    return fake;
}

const WideChar* FakeEnvironmentBlock() {
    return fakeEnvironment;
}

void ResetFakePlatform() {
    memset(&fake, 0, sizeof fake);
    fake.commandLine = "velmor.exe";
    fake.codePage = 932;
    fake.environmentAvailable = true;
    fake.createSucceeds = true;
    fake.exitCodeReadable = true;
}

int FindFakeCall(FakeCallKind kind, int from) {
    for (int i = from; i < fake.callCount; ++i) {
        if (fake.calls[i].kind == kind) return i;
    }
    return -1;
}

const char* PlatformCommandLine() {
    return fake.commandLine;
}

void PlatformReadLeadBytes(LeadBytes* leadBytes) {
    memset(leadBytes, 0, sizeof *leadBytes);
    for (const LeadRange& range : kLeadRanges) {
        if (range.codePage != fake.codePage) continue;
        for (int value = range.first; value <= range.last; ++value) leadBytes->isLead[value] = true;
    }
}

ConversionResult PlatformAnsiToWide(const char* bytes, bool precomposed, WideChar* out,
                                    int capacity) {
    ConversionResult result = ConversionDone;
    if (fake.refuseConversions) {
        result = ConversionRefused;
    } else if (fake.codePage == 65001 && precomposed) {
        result = ConversionFlagsRefused;  // as MultiByteToWideChar answers for UTF-8
    } else if (!ConvertLikeWindows(bytes, out, capacity)) {
        result = ConversionTooLong;
    }
    if (result != ConversionDone) out[0] = 0;
    return result;
}

void PlatformWriteText(const char* text) {
    RecordCall(FakeWriteText, text, strlen(text));
    size_t length = strlen(text);
    size_t room = sizeof fake.output - fake.outputLength;
    if (length > room) length = room;
    memcpy(fake.output + fake.outputLength, text, length);
    fake.outputLength += length;
}

static bool HoldsSecret(const void* buffer, size_t size) {
    if (fake.secret == nullptr) return false;
    size_t length = strlen(fake.secret);
    const unsigned char* bytes = static_cast<const unsigned char*>(buffer);
    for (size_t start = 0; start + 2 * length <= size; ++start) {
        bool asBytes = true, asUnits = start % 2 == 0;
        for (size_t i = 0; i < length; ++i) {
            unsigned char wanted = static_cast<unsigned char>(fake.secret[i]);
            if (bytes[start + i] != wanted) asBytes = false;
            if (bytes[start + 2 * i] != wanted || bytes[start + 2 * i + 1] != 0) asUnits = false;
        }
        if (asBytes || asUnits) return true;
    }
    return false;
}

void PlatformWipe(void* buffer, size_t size) {
    RecordCall(FakeWipe, buffer, size, HoldsSecret(buffer, size));
    memset(buffer, 0, size);
}

WideChar* PlatformTakeEnvironment() {
    RecordCall(FakeTakeEnvironment);
    if (!fake.environmentAvailable) return nullptr;
    ++fake.environmentsTaken;
    return fakeEnvironment;
}

void PlatformFreeEnvironment(WideChar* block) {
    if (block != fakeEnvironment) {
        RecordCall(FakeFreeUnknown, block);
        return;
    }
    RecordCall(FakeFreeEnvironment, block);
    ++fake.environmentsFreed;
}

bool PlatformCreateProcessWithLogon(const WideChar* lpUsername, const WideChar* lpDomain,
                                    const WideChar* lpPassword, uint32_t dwLogonFlags,
                                    const WideChar* lpApplicationName, WideChar* lpCommandLine,
                                    uint32_t dwCreationFlags, void* lpEnvironment,
                                    const WideChar* lpCurrentDirectory,
                                    const StartupSettings* lpStartupInfo,
                                    ProcessInformation* lpProcessInformation) {
    RecordCall(FakeCreateProcess);
    ++fake.createCount;
    FakeLogonCall& logon = fake.logon;
    CopyText(lpUsername, &logon.username);
    CopyText(lpDomain, &logon.domain);
    CopyText(lpPassword, &logon.password);
    CopyText(lpApplicationName, &logon.applicationName);
    CopyText(lpCommandLine, &logon.commandLine);
    CopyText(lpCurrentDirectory, &logon.currentDirectory);
    CopyText(lpStartupInfo->lpTitle, &logon.title);
    logon.logonFlags = dwLogonFlags;
    logon.creationFlags = dwCreationFlags;
    logon.environment = lpEnvironment;
    logon.commandLineBuffer = lpCommandLine;
    logon.passwordBuffer = lpPassword;
    logon.startupFlags = lpStartupInfo->dwFlags;
    logon.showWindow = lpStartupInfo->wShowWindow;
    if (!fake.createSucceeds) return false;
    lpProcessInformation->hProcess = kFakeProcessHandle;
    lpProcessInformation->hThread = kFakeThreadHandle;
    lpProcessInformation->dwProcessId = 4242;
    lpProcessInformation->dwThreadId = 4343;
    return true;
}

void PlatformWaitForProcess(PlatformHandle process) {
    RecordCall(FakeWait, process);
    fake.passwordClearAtWait = true;
    for (int i = 0; fake.logon.passwordBuffer != nullptr && i < 1024; ++i) {
        if (fake.logon.passwordBuffer[i] != 0) fake.passwordClearAtWait = false;
    }
}

bool PlatformReadExitCode(PlatformHandle process, uint32_t* exitCode) {
    RecordCall(FakeReadExitCode, process);
    *exitCode = fake.exitCodeReadable ? fake.exitCode : fake.exitCodeLeftOnFailure;
    return fake.exitCodeReadable;
}

void PlatformCloseHandle(PlatformHandle handle) {
    ++fake.handlesClosed;
    if (handle == kFakeThreadHandle) {
        RecordCall(FakeCloseThread, handle);
    } else if (handle == kFakeProcessHandle) {
        RecordCall(FakeCloseProcess, handle);
    } else {
        RecordCall(FakeCloseUnknown, handle);
    }
}
