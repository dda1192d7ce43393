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

const struct {
    int codePage;
    const char* name;
} kPages[] = {{932, "CP932"}, {936, "CP936"}, {949, "CP949"}, {950, "CP950"},
              {1361, "CP1361"}, {65001, "UTF-8"}, {1252, "CP1252"}};
const int kPageCount = sizeof kPages / sizeof kPages[0];

// The page's place in kPages; any page not listed is treated as 1252, the last.
int PageIndex(int codePage) {
    for (int i = 0; i < kPageCount - 1; ++i) {
        if (kPages[i].codePage == codePage) return i;
    }
    return kPageCount - 1;
}

// Descriptors per page and direction, opened on first use and kept, so that a test
// counting heap allocations can open them all beforehand.
iconv_t Converter(int codePage, bool fromWide = false) {
    static iconv_t converters[kPageCount][2];
    static bool opened[kPageCount][2];
    int page = PageIndex(codePage);
    int direction = fromWide ? 1 : 0;
    if (!opened[page][direction]) {
        converters[page][direction] = fromWide ? iconv_open(kPages[page].name, "UTF-16LE")
                                               : iconv_open("UTF-16LE", kPages[page].name);
        opened[page][direction] = true;
    }
    return converters[page][direction];
}

// The best-fit look-alikes that matter to the split: syntax made of a character that
// the page lacks.
const struct {
    int codePage;
    WideChar unit;
    char lookAlike;
} kBestFits[] = {
    {1252, 0xFF02, '"'}, {1252, 0xFF3C, '\\'}, {1252, 0xFF0F, '/'}, {1252, 0x2215, '/'},
    {1252, 0x2010, '-'}, {932, 0x00AD, '-'},     {932, 0x00A5, '\\'}, {936, 0x00AD, '-'},
    {936, 0x00A5, '\\'}, {950, 0x00AD, '-'},     {950, 0x00A5, '\\'},
};

bool IsSurrogate(WideChar unit) {
    return unit >= 0xD800 && unit <= 0xDFFF;
}

// The page's bytes for one character of count units, or 0 when the page has none of
// its own. Without bestFit, a mapping that does not come back to the same character is
// no mapping, as WC_NO_BEST_FIT_CHARS takes it (glibc, for one, maps U+00A5 to 0x5C on
// code page 932).
size_t CharacterToPage(const WideChar* units, size_t count, bool bestFit, char* out,
                       size_t room) {
    // Every ANSI page holds ASCII as it is; glibc's Johab would not give 0x5C back.
    if (units[0] < 0x80) {
        out[0] = static_cast<char>(units[0]);
        return 1;
    }
    iconv_t converter = Converter(fake.codePage, true);
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    char* in = reinterpret_cast<char*>(const_cast<WideChar*>(units));
    size_t inLeft = count * sizeof(WideChar);
    char* next = out;
    size_t outLeft = room;
    if (iconv(converter, &in, &inLeft, &next, &outLeft) == static_cast<size_t>(-1)) return 0;
    size_t length = room - outLeft;
    if (bestFit) return length;
    WideChar back[4];
    iconv_t reverse = Converter(fake.codePage);
    iconv(reverse, nullptr, nullptr, nullptr, nullptr);
    in = out;
    inLeft = length;
    next = reinterpret_cast<char*>(back);
    outLeft = sizeof back;
    bool same = iconv(reverse, &in, &inLeft, &next, &outLeft) != static_cast<size_t>(-1) &&
                sizeof back - outLeft == count * sizeof(WideChar) &&
                memcmp(back, units, count * sizeof(WideChar)) == 0;
    return same ? length : 0;
}

// CharacterToPage for one unit, kept per page and mode once worked out: it depends on
// nothing else, and the fuzz targets convert the same units millions of times.
size_t UnitToPage(WideChar unit, bool bestFit, char* out) {
    struct Mapping {
        bool known;
        unsigned char length;  // at most 3: a BMP character in UTF-8
        char bytes[3];
    };
    static Mapping mappings[kPageCount][2][0x10000];
    Mapping& mapping = mappings[PageIndex(fake.codePage)][bestFit ? 1 : 0][unit];
    if (!mapping.known) {
        char bytes[8];
        size_t length = CharacterToPage(&unit, 1, bestFit, bytes, sizeof bytes);
        if (length > sizeof mapping.bytes) length = 0;  // no page spends more on a unit
        memcpy(mapping.bytes, bytes, length);
        mapping.length = static_cast<unsigned char>(length);
        mapping.known = true;
    }
    memcpy(out, mapping.bytes, mapping.length);
    return mapping.length;
}

// Converts like WideCharToMultiByte to the chosen page: unit by unit, a surrogate pair
// whole on UTF-8 only; what the page lacks becomes '?', or U+FFFD on UTF-8, or with
// bestFit a look-alike. Returns false when out is too small.
bool ConvertToPageLikeWindows(const WideChar* text, bool bestFit, char* out, int capacity) {
    size_t used = 0;
    size_t limit = static_cast<size_t>(capacity) - 1;  // the terminator kept
    for (size_t i = 0; text[i] != 0;) {
        size_t count = 1;
        if (fake.codePage == 65001 && text[i] >= 0xD800 && text[i] <= 0xDBFF &&
            text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            count = 2;
        }
        char bytes[8];
        size_t length = 0;
        if (count == 2) {
            length = CharacterToPage(text + i, count, bestFit, bytes, sizeof bytes);
        } else if (!IsSurrogate(text[i])) {
            length = UnitToPage(text[i], bestFit, bytes);
        }
        if (length == 0 && fake.codePage == 65001) {
            const char replacement[] = {'\xef', '\xbf', '\xbd'};  // U+FFFD
            memcpy(bytes, replacement, sizeof replacement);
            length = sizeof replacement;
        } else if (length == 0) {
            bytes[length++] = '?';
            for (const auto& fit : kBestFits) {
                if (bestFit && fit.codePage == fake.codePage && fit.unit == text[i]) {
                    bytes[0] = fit.lookAlike;
                }
            }
        }
        if (used + length > limit) return false;
        memcpy(out + used, bytes, length);
        used += length;
        i += count;
    }
    out[used] = 0;
    return true;
}

// Converts the whole text and its terminator into out. A byte that starts no valid
// sequence becomes U+FFFD, standing for the system's replacement behaviour, or with
// rejectInvalid refuses the text. Returns the result, leaving junk in out when it is too
// small, as the system may.
ConversionResult ConvertLikeWindows(const char* bytes, WideChar* out, int capacity,
                                    bool rejectInvalid) {
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
            return ConversionTooLong;
        }
        if (rejectInvalid) return ConversionInvalidText;
        // iconv stops at a byte that starts no valid sequence, or at an incomplete one at
        // the end, and some of glibc's converters have then stepped past it already.
        // Either way it becomes U+FFFD, and the walk goes on after it, never past the end.
        const WideChar replacement = 0xFFFD;
        memcpy(next, &replacement, sizeof replacement);
        next += sizeof replacement;
        outLeft -= sizeof replacement;
        if (inLeft > 0) {
            ++in;
            --inLeft;
        }
        iconv(converter, nullptr, nullptr, nullptr, nullptr);
    }
    const WideChar terminator = 0;
    memcpy(next, &terminator, sizeof terminator);
    // glibc reads Johab's 0x5C as the won sign; Windows, like every ANSI page, as '\\'.
    for (WideChar* unit = out; fake.codePage == 1361 && *unit != 0; ++unit) {
        if (*unit == 0x20A9) *unit = u'\\';
    }
    return ConversionDone;
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
    fake.codePage = 932;
    fake.environmentAvailable = true;
    fake.createSucceeds = true;
    fake.exitCodeReadable = true;
    PlatformHandle standard[] = {kFakeStandardInput, kFakeStandardOutput, kFakeStandardError};
    for (int i = 0; i < 3; ++i) {
        fake.standardHandles[i] = standard[i];
        fake.standardHandleKinds[i] = HandlePipe;
    }
    fake.nullDeviceOpens = true;
    fake.jobCreates = fake.portCreates = fake.assignSucceeds = fake.jobCountReadable = true;
    fake.resumeAnswer = 1;
    fake.relayStarts = true;
    FakeSetCommandLine(u"velmor.exe");
}

void FakeSetCommandLine(const WideChar* line) {
    int length = 0;
    // The loop ends at the line's terminator; cppcheck takes one caller's short literal
    // for the bound.
    // cppcheck-suppress arrayIndexOutOfBoundsCond
    for (; length < kFakeLineCapacity - 1 && line[length] != 0; ++length) {
        fake.commandLine[length] = line[length];
        fake.wideCopy[length] = line[length];
        fake.nativeCopy[length] = line[length];
    }
    fake.commandLine[length] = 0;
    fake.wideCopy[length] = 0;
    fake.nativeCopy[length] = 0;
    if (!ConvertToPageLikeWindows(fake.commandLine, true, fake.ansiCopy,
                                  sizeof fake.ansiCopy)) {
        fake.ansiCopy[0] = 0;
    }
}

int FindFakeCall(FakeCallKind kind, int from) {
    for (int i = from; i < fake.callCount; ++i) {
        if (fake.calls[i].kind == kind) return i;
    }
    return -1;
}

WideChar* PlatformCommandLine() {
    return fake.commandLine;
}

void PlatformNoteRuntimeArguments(int /*argc*/, char** /*argv*/) {}

void PlatformWipeCommandLineCopies() {
    PlatformWipe(fake.ansiCopy, sizeof fake.ansiCopy);
    PlatformWipe(fake.wideCopy, sizeof fake.wideCopy);
}

// As on 64-bit Windows, where the native copy is the same line until it is rewritten.
void PlatformScrubNativeCommandLine(const WideChar* scrubbedLine) {
    int i = 0;
    for (; i < kFakeLineCapacity - 1 && scrubbedLine[i] != 0; ++i) fake.nativeCopy[i] = scrubbedLine[i];
    fake.nativeCopy[i] = 0;
}

// As GetConsoleTitleW, which cuts a title longer than the buffer.
bool PlatformReadConsoleTitle(WideChar* title, int capacity) {
    fake.consoleTitleCapacity = capacity;
    int length = 0;
    for (; fake.hasConsole && length < capacity - 1 && fake.consoleTitle[length] != 0; ++length) {
        title[length] = fake.consoleTitle[length];
    }
    title[length] = 0;
    return length > 0 && fake.consoleTitle[length] == 0;
}

void PlatformWriteConsoleTitle(const WideChar* title) {
    RecordCall(FakeWriteTitle, title);
    int length = 0;
    for (; length < kFakeLineCapacity - 1 && title[length] != 0; ++length) {
        fake.consoleTitle[length] = title[length];
    }
    fake.consoleTitle[length] = 0;
}

namespace {

bool CopyBounded(const WideChar* text, WideChar* out, int capacity) {
    int length = 0;
    for (; text != nullptr && text[length] != 0; ++length) {
        if (length == capacity - 1) return false;
        out[length] = text[length];
    }
    out[length] = 0;
    return true;
}

bool SameText(const WideChar* a, const WideChar* b) {
    int i = 0;
    while (a[i] != 0 && a[i] == b[i]) ++i;
    return a[i] == b[i];
}

}  // namespace

CredentialResult PlatformReadGenericCredential(const WideChar* target, WideChar* user,
                                               WideChar* password, int capacity,
                                               uint32_t* windowsError) {
    ++fake.credentialReads;
    user[0] = 0;
    password[0] = 0;
    *windowsError = 0;
    if (fake.credentialTarget == nullptr || !SameText(target, fake.credentialTarget)) {
        *windowsError = fake.failureError;
        return CredentialUnreadable;
    }
    if (fake.credentialResult != CredentialRead) return fake.credentialResult;
    if (!CopyBounded(fake.credentialUser, user, capacity) ||
        !CopyBounded(fake.credentialPassword, password, capacity)) {
        password[0] = 0;
        return CredentialTooLong;
    }
    return CredentialRead;
}

bool PlatformStandardInputIsConsole() {
    return fake.standardInputIsConsole;
}

int PlatformReadStandardInput(char* buffer, int size, uint32_t* windowsError) {
    *windowsError = 0;
    if (fake.standardInputFails && fake.standardInputRead == fake.standardInputLength) {
        *windowsError = fake.failureError;
        return 0;
    }
    int count = 0;
    while (count < size && fake.standardInputRead < fake.standardInputLength) {
        buffer[count++] = fake.standardInput[fake.standardInputRead++];
    }
    return count;
}

void PlatformReadLeadBytes(LeadBytes* leadBytes) {
    memset(leadBytes, 0, sizeof *leadBytes);
    for (const LeadRange& range : kLeadRanges) {
        if (range.codePage != fake.codePage) continue;
        for (int value = range.first; value <= range.last; ++value) leadBytes->isLead[value] = true;
    }
}

namespace {

// The refusal a conversion meets before any text is converted: the one the test set,
// or ERROR_INVALID_FLAGS, which Windows gives UTF-8 with MB_PRECOMPOSED or
// WC_NO_BEST_FIT_CHARS.
ConversionResult FakeRefusal(bool withFlags) {
    if (fake.refuseConversions) return ConversionRefused;
    if (fake.codePage == 65001 && withFlags) return ConversionFlagsRefused;
    return ConversionDone;
}

}  // namespace

ConversionResult PlatformAnsiToWide(const char* bytes, bool precomposed, WideChar* out,
                                    int capacity, bool rejectInvalid) {
    ConversionResult result = FakeRefusal(precomposed);
    if (result == ConversionDone) result = ConvertLikeWindows(bytes, out, capacity, rejectInvalid);
    if (result != ConversionDone) out[0] = 0;
    return result;
}

ConversionResult PlatformWideToAnsi(const WideChar* text, bool noBestFit, char* out,
                                    int capacity) {
    ConversionResult result = FakeRefusal(noBestFit);
    if (result == ConversionDone && !ConvertToPageLikeWindows(text, !noBestFit, out, capacity)) {
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

void PlatformFlushOutput() {
    RecordCall(FakeFlushOutput);
}

void PlatformReadStandardHandles(PlatformHandle* input, PlatformHandle* output,
                                 PlatformHandle* error) {
    *input = fake.standardHandles[0];
    *output = fake.standardHandles[1];
    *error = fake.standardHandles[2];
}

// The platform's signature takes the handle as it is.
// cppcheck-suppress constParameter
HandleKind PlatformHandleKind(PlatformHandle handle) {
    for (int i = 0; i < 3; ++i) {
        if (fake.standardHandles[i] == handle) return fake.standardHandleKinds[i];
    }
    return HandleOther;
}

// The answer of a call that succeeds as told: its Windows error.
uint32_t FakeError(bool succeeds) {
    return succeeds ? 0 : fake.failureError;
}

PlatformHandle PlatformOpenNullDevice(uint32_t* windowsError) {
    RecordCall(FakeOpenNull);
    *windowsError = FakeError(fake.nullDeviceOpens);
    return fake.nullDeviceOpens ? kFakeNullDevice : nullptr;
}

PlatformHandle PlatformStartRelay(PlatformHandle own, bool programReads,
                                  PlatformHandle* programEnd, uint32_t* windowsError) {
    RecordCall(FakeStartRelay, own, programReads ? 1 : 0);
    *windowsError = fake.relayStarts ? 0 : 231;  // ERROR_PIPE_BUSY
    if (!fake.relayStarts || fake.relaysStarted == 3) return nullptr;
    *programEnd = kFakeProgramEnds[fake.relaysStarted];
    return kFakeRelayThreads[fake.relaysStarted++];
}

void PlatformWaitForThread(PlatformHandle thread, uint32_t milliseconds) {
    RecordCall(FakeWaitRelay, thread, milliseconds);
}

bool FakeHoldsSecret(const void* buffer, size_t size) {
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
    RecordCall(FakeWipe, buffer, size, FakeHoldsSecret(buffer, size));
    memset(buffer, 0, size);
}

void PlatformHoldConsoleControl() {
    fake.controlHeld = true;
}

bool PlatformReleaseConsoleControl() {
    fake.controlHeld = false;
    return fake.controlNoted;
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
                                    ProcessInformation* lpProcessInformation,
                                    uint32_t* windowsError) {
    RecordCall(FakeCreateProcess);
    *windowsError = FakeError(fake.createSucceeds);
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
    logon.standardInput = lpStartupInfo->hStdInput;
    logon.standardOutput = lpStartupInfo->hStdOutput;
    logon.standardError = lpStartupInfo->hStdError;
    logon.controlHeld = fake.controlHeld;
    fake.controlNoted = fake.controlHeld && fake.controlEventDuringLogon;
    if (!fake.createSucceeds) return false;
    lpProcessInformation->hProcess = kFakeProcessHandle;
    lpProcessInformation->hThread = kFakeThreadHandle;
    lpProcessInformation->dwProcessId = 4242;
    lpProcessInformation->dwThreadId = 4343;
    return true;
}

namespace {

// What the program could see once it runs: the password still in a buffer of Velmor's,
// or in the command line or one of its copies.
void NoteWhatIsInSight() {
    fake.secretInSightAtWait = FakeHoldsSecret(fake.commandLine, sizeof fake.commandLine) ||
                               FakeHoldsSecret(fake.ansiCopy, sizeof fake.ansiCopy) ||
                               FakeHoldsSecret(fake.wideCopy, sizeof fake.wideCopy) ||
                               FakeHoldsSecret(fake.nativeCopy, sizeof fake.nativeCopy);
    fake.passwordClearAtWait = true;
    for (int i = 0; fake.logon.passwordBuffer != nullptr && i < 1024; ++i) {
        if (fake.logon.passwordBuffer[i] != 0) fake.passwordClearAtWait = false;
    }
}

}  // namespace

void PlatformWaitForProcess(PlatformHandle process) {
    RecordCall(FakeWait, process);
    NoteWhatIsInSight();
}

bool PlatformReadExitCode(PlatformHandle process, uint32_t* exitCode, uint32_t* windowsError) {
    RecordCall(FakeReadExitCode, process);
    *windowsError = FakeError(fake.exitCodeReadable);
    *exitCode = fake.exitCodeReadable ? fake.exitCode : fake.exitCodeLeftOnFailure;
    return fake.exitCodeReadable;
}

namespace {

int FakeIndexOf(void* const (&handles)[3], const void* handle) {
    for (int i = 0; i < 3; ++i) {
        if (handles[i] == handle) return i;
    }
    return -1;
}

}  // namespace

void PlatformCloseHandle(PlatformHandle handle) {
    ++fake.handlesClosed;
    if (handle == kFakeThreadHandle) {
        RecordCall(FakeCloseThread, handle);
    } else if (handle == kFakeProcessHandle) {
        RecordCall(FakeCloseProcess, handle);
    } else if (handle == kFakeNullDevice) {
        RecordCall(FakeCloseNull, handle);
    } else if (handle == kFakeJob) {
        RecordCall(FakeCloseJob, handle);
    } else if (handle == kFakePort) {
        RecordCall(FakeClosePort, handle);
    } else if (FakeIndexOf(kFakeProgramEnds, handle) >= 0) {
        RecordCall(FakeCloseProgramEnd, handle);
    } else if (FakeIndexOf(kFakeRelayThreads, handle) >= 0) {
        RecordCall(FakeCloseRelay, handle);
    } else {
        RecordCall(FakeCloseUnknown, handle);
    }
}

PlatformHandle PlatformCreateJob(uint32_t* windowsError) {
    RecordCall(FakeCreateJob);
    *windowsError = FakeError(fake.jobCreates);
    return fake.jobCreates ? kFakeJob : nullptr;
}

PlatformHandle PlatformCreateJobPort(PlatformHandle job, uint32_t* windowsError) {
    RecordCall(FakeCreatePort, job);
    *windowsError = FakeError(fake.portCreates);
    return fake.portCreates ? kFakePort : nullptr;
}

bool PlatformAssignToJob(PlatformHandle job, PlatformHandle process, uint32_t* windowsError) {
    RecordCall(FakeAssign, job, reinterpret_cast<size_t>(process));
    fake.logon.controlHeld = fake.logon.controlHeld && fake.controlHeld;
    *windowsError = FakeError(fake.assignSucceeds);
    return fake.assignSucceeds;
}

int PlatformResumeThread(PlatformHandle thread, uint32_t* windowsError) {
    RecordCall(FakeResume, thread);
    *windowsError = FakeError(fake.resumeAnswer != -1);
    NoteWhatIsInSight();
    return fake.resumeAnswer;
}

bool PlatformReadJobProcessCount(PlatformHandle job, uint32_t* count, uint32_t* windowsError) {
    RecordCall(FakeReadJobCount, job);
    *windowsError = FakeError(fake.jobCountReadable);
    int next = fake.jobCountsRead++;
    if (next >= fake.jobProcessCountsLength) next = fake.jobProcessCountsLength - 1;
    *count = fake.jobTerminated || next < 0 ? 0 : fake.jobProcessCounts[next];
    return fake.jobCountReadable;
}

void PlatformWaitForJobMessage(PlatformHandle port, uint32_t milliseconds) {
    RecordCall(FakeWaitJobMessage, port, milliseconds);
    if (fake.jobMessages > 0) {
        --fake.jobMessages;
    } else {
        fake.clock += milliseconds;
    }
}

void PlatformTerminateJob(PlatformHandle job, uint32_t exitCode) {
    RecordCall(FakeTerminateJob, job, exitCode);
    fake.jobTerminated = true;
}

void PlatformTerminateProcess(PlatformHandle process, uint32_t exitCode) {
    RecordCall(FakeTerminateProcess, process, exitCode);
}

uint32_t PlatformMilliseconds() {
    return fake.clock;
}

bool PlatformReadSystemMessage(uint32_t code, WideChar* text, int capacity) {
    text[0] = 0;
    if (fake.systemMessage == nullptr || code != fake.systemMessageCode) return false;
    if (CopyBounded(fake.systemMessage, text, capacity)) return true;
    text[0] = 0;  // as FormatMessageW, which gives nothing when it does not fit
    return false;
}

// As WideCharToMultiByte to 932 with WC_NO_BEST_FIT_CHARS, whatever the ANSI page.
ConversionResult PlatformWideTo932(const WideChar* text, char* out, int capacity) {
    int ansiPage = fake.codePage;
    fake.codePage = 932;
    bool converted = ConvertToPageLikeWindows(text, false, out, capacity);
    fake.codePage = ansiPage;
    if (!converted) out[0] = 0;
    return converted ? ConversionDone : ConversionTooLong;
}
