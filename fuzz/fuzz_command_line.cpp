// Fuzz target: arbitrary bytes as the raw process command line, through the split, the
// argument walk, the validation, the plan and the launch, on every emulated code page.
// Byte 0 picks the code page, byte 1 how the fake platform answers; the rest, up to
// the first zero, is the command line.
#include <stddef.h>
#include <stdint.h>

#include <string>

#include "cli/entry.h"
#include "fuzz_support.h"

namespace {

const uint32_t kExitCodes[] = {0, 3, 0xFFFFFFFF, 259};

int CountCalls(FakeCallKind kind) {
    int count = 0;
    for (int i = 0; i < Fake().callCount; ++i) count += Fake().calls[i].kind == kind;
    return count;
}

void CheckRun(int status) {
    const FakePlatform& fake = Fake();
    const FakeLogonCall& logon = fake.logon;
    FUZZ_CHECK(!fake.callsOverflowed);
    FUZZ_CHECK(fake.createCount <= 1);
    FUZZ_CHECK(CountCalls(FakeCloseUnknown) == 0 && CountCalls(FakeFreeUnknown) == 0);
    FUZZ_CHECK(fake.environmentsTaken == fake.environmentsFreed);

    bool created = fake.createCount == 1 && fake.createSucceeds;
    FUZZ_CHECK(CountCalls(FakeCloseThread) == (created ? 1 : 0));
    FUZZ_CHECK(CountCalls(FakeCloseProcess) == (created ? 1 : 0));
    if (!created) {
        FUZZ_CHECK(status == -1);
    } else if (CountCalls(FakeWait) == 0) {
        FUZZ_CHECK(status == 0);
    } else {
        FUZZ_CHECK(fake.passwordClearAtWait);
        FUZZ_CHECK(status == (fake.exitCodeReadable ? static_cast<int>(fake.exitCode) : 0));
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
    FUZZ_CHECK(logon.creationFlags == 0x04000E10u);
    FUZZ_CHECK(logon.logonFlags == 0 || logon.logonFlags == 1);
    CheckTitle(logon.title.units, logon.commandLine.units,
               logon.domain.present ? logon.domain.units : nullptr, logon.username.units);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    ResetFakePlatform();
    Fake().codePage = FuzzCodePage(data[0]);
    Fake().environmentAvailable = (data[1] & 1) != 0;
    Fake().createSucceeds = (data[1] & 2) != 0;
    Fake().exitCodeReadable = (data[1] & 4) != 0;
    Fake().exitCode = kExitCodes[(data[1] >> 3) & 3];
    Fake().exitCodeLeftOnFailure = 7;
    std::string line(reinterpret_cast<const char*>(data + 2), size - 2);
    line.resize(strlen(line.c_str()));
    Fake().commandLine = line.c_str();
    CheckRun(RunVelmor(line.c_str()));
    return 0;
}
