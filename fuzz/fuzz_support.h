// Shared by the fuzz targets: the fake platform's settings drawn from input bytes, and
// the invariants every run must keep. A broken invariant aborts, which libFuzzer
// reports as a finding with the input that caused it.
#pragma once

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "cli/options.h"
#include "platform/fake_platform.h"

#define FUZZ_CHECK(condition)                                                   \
    do {                                                                        \
        if (!(condition)) {                                                     \
            fprintf(stderr, "invariant broken: %s (%s:%d)\n", #condition,       \
                    __FILE__, __LINE__);                                        \
            abort();                                                            \
        }                                                                       \
    } while (0)

const int kFuzzCodePages[] = {932, 936, 949, 950, 1361, 1252, 65001};

inline int FuzzCodePage(unsigned char selector) {
    return kFuzzCodePages[selector % (sizeof kFuzzCodePages / sizeof kFuzzCodePages[0])];
}

// The title's closing piece as stored: " (running as)" in code page 932.
const char kFuzzTitleClose[] = " \x82\xc6\x82\xb5\x82\xc4\x8e\xc0\x8d\x73\x92\x86)";

struct FuzzWide {
    WideChar units[8 * kWideTextCapacity];
    int length;
};

inline void Append(FuzzWide* text, const WideChar* units) {
    for (int i = 0; units[i] != 0 && text->length < 8 * kWideTextCapacity - 1; ++i) {
        text->units[text->length++] = units[i];
    }
    text->units[text->length] = 0;
}

inline void AppendLiteral(FuzzWide* text, const char* literal) {
    WideChar converted[64];
    if (PlatformAnsiToWide(literal, true, converted, 64) != ConversionDone &&
        PlatformAnsiToWide(literal, false, converted, 64) != ConversionDone) {
        converted[0] = 0;
    }
    Append(text, converted);
}

// The title is the composition of command line, account and the literal pieces, whole
// when it fits, otherwise cut to 1023 units (1022 when a surrogate pair was left out).
// So it holds nothing else, the password included.
inline void CheckTitle(const WideChar* title, const WideChar* commandLine,
                       const WideChar* domain, const WideChar* user) {
    FuzzWide expected = {{0}, 0};
    Append(&expected, commandLine);
    AppendLiteral(&expected, " (");
    if (domain != nullptr && domain[0] != 0) {
        Append(&expected, domain);
        AppendLiteral(&expected, "\\");
    }
    Append(&expected, user);
    AppendLiteral(&expected, kFuzzTitleClose);

    int length = 0;
    while (length < kWideTextCapacity && title[length] != 0) ++length;
    FUZZ_CHECK(length < kWideTextCapacity);
    FUZZ_CHECK(memcmp(title, expected.units, static_cast<size_t>(length) * sizeof(WideChar)) == 0);
    if (expected.length <= kWideTextCapacity - 1) {
        FUZZ_CHECK(length == expected.length);
    } else {
        FUZZ_CHECK(length == kWideTextCapacity - 1 || length == kWideTextCapacity - 2);
        if (length == kWideTextCapacity - 2) {
            FUZZ_CHECK(expected.units[length] >= 0xD800 && expected.units[length] <= 0xDBFF);
        }
    }
}

inline void CheckField(const FakeText& text) {
    FUZZ_CHECK(!text.present || text.length <= kWideTextCapacity - 1);
}

const uint32_t kFuzzExitCodes[] = {0, 3, 0xFFFFFFFF, 259};

// How the fake platform answers, drawn from one input byte.
inline void SetFakeAnswers(unsigned char answers) {
    Fake().environmentAvailable = (answers & 1) != 0;
    Fake().createSucceeds = (answers & 2) != 0;
    Fake().exitCodeReadable = (answers & 4) != 0;
    Fake().exitCode = kFuzzExitCodes[(answers >> 3) & 3];
    Fake().exitCodeLeftOnFailure = 7;
    // A failing call's Windows error, and Windows' text for it with inserts and line ends.
    Fake().failureError = (answers & 32) != 0 ? 1326 : 0;
    Fake().systemMessageCode = 1326;
    Fake().systemMessage = (answers & 64) != 0 ? u"%1 %s %%\r\nline \r\n" : nullptr;
}

// A fresh fake platform for one input of a command-line target: byte 0 picks the code
// page, byte 1 how the platform answers.
inline void ResetFakeForInput(const uint8_t* data) {
    ResetFakePlatform();
    Fake().codePage = FuzzCodePage(data[0]);
    SetFakeAnswers(data[1]);
}

inline int CountCalls(FakeCallKind kind) {
    int count = 0;
    for (int i = 0; i < Fake().callCount; ++i) count += Fake().calls[i].kind == kind;
    return count;
}

// What every whole run keeps: resources released once, the status as the run requires,
// the password gone before a wait, and every text of the logon call bounded.
inline void CheckWholeRun(int status) {
    const FakePlatform& fake = Fake();
    const FakeLogonCall& logon = fake.logon;
    FUZZ_CHECK(!fake.callsOverflowed);
    FUZZ_CHECK(fake.createCount <= 1);
    FUZZ_CHECK(CountCalls(FakeCloseUnknown) == 0 && CountCalls(FakeFreeUnknown) == 0);
    FUZZ_CHECK(fake.environmentsTaken == fake.environmentsFreed);

    bool created = fake.createCount == 1 && fake.createSucceeds;
    bool jobWait = (logon.creationFlags & kCreateSuspended) != 0;
    // Ctrl+C is held through the logon call of a job wait alone, and never after the run.
    FUZZ_CHECK(!fake.controlHeld && logon.controlHeld == (fake.createCount == 1 && jobWait));
    FUZZ_CHECK(CountCalls(FakeCloseThread) == (created ? 1 : 0));
    FUZZ_CHECK(CountCalls(FakeCloseProcess) == (created ? 1 : 0));
    // A job wait makes one job and its port, and closes both; anything else neither.
    FUZZ_CHECK(CountCalls(FakeCreateJob) == (created && jobWait ? 1 : 0));
    FUZZ_CHECK(CountCalls(FakeCloseJob) == CountCalls(FakeCreateJob));
    FUZZ_CHECK(CountCalls(FakeClosePort) == CountCalls(FakeCreatePort));
    FUZZ_CHECK(CountCalls(FakeOpenNull) == CountCalls(FakeCloseNull));
    int programStatus = fake.exitCodeReadable ? static_cast<int>(fake.exitCode) : 0;
    if (!created) {
        FUZZ_CHECK(status == -1);
    } else if (jobWait) {
        // The fake's job has no process left when first asked, and no limit passes.
        FUZZ_CHECK(fake.passwordClearAtWait);
        FUZZ_CHECK(CountCalls(FakeWait) == 0 && status == programStatus);
    } else if (CountCalls(FakeWait) == 0) {
        FUZZ_CHECK(status == 0);
    } else {
        FUZZ_CHECK(fake.passwordClearAtWait);
        FUZZ_CHECK(status == programStatus);
    }

    if (fake.createCount == 0) return;
    CheckField(logon.username);
    CheckField(logon.domain);
    CheckField(logon.password);
    CheckField(logon.commandLine);
    CheckField(logon.currentDirectory);
    FUZZ_CHECK(logon.username.present && logon.username.length > 0);
    FUZZ_CHECK(logon.commandLine.present && logon.commandLine.length > 0);
    FUZZ_CHECK(logon.password.present);
    FUZZ_CHECK(!logon.applicationName.present);
    FUZZ_CHECK(!logon.domain.present || logon.domain.length > 0);
    FUZZ_CHECK(!logon.currentDirectory.present || logon.currentDirectory.length > 0);
    FUZZ_CHECK(logon.creationFlags == (jobWait ? 0x04000E14u : 0x04000E10u));
    FUZZ_CHECK(logon.logonFlags == 0 || logon.logonFlags == 1 || logon.logonFlags == 2);
    // The standard handles go with their flag alone, and what was buffered is written out
    // before the logon call then, and never otherwise.
    bool handsStreams = (logon.startupFlags & kStartfUseStdHandles) != 0;
    FUZZ_CHECK((logon.startupFlags & ~(kStartfUseShowWindow | kStartfUseStdHandles)) == 0);
    FUZZ_CHECK((logon.standardOutput != nullptr) == handsStreams);
    int flush = FindFakeCall(FakeFlushOutput);
    FUZZ_CHECK(handsStreams ? flush >= 0 && flush < FindFakeCall(FakeCreateProcess) : flush < 0);
    CheckTitle(logon.title.units, logon.commandLine.units,
               logon.domain.present ? logon.domain.units : nullptr, logon.username.units);
}
