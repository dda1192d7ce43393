// The launch: the order of the platform calls on every path, the exit status, and the
// release of everything taken.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "expected_texts.h"
#include "launch/launch.h"
#include "test_support.h"

namespace {

std::string CallName(FakeCallKind kind) {
    switch (kind) {
        case FakeTakeEnvironment: return "take environment";
        case FakeCreateProcess: return "create";
        case FakeWait: return "wait";
        case FakeReadExitCode: return "read status";
        case FakeCloseThread: return "close thread";
        case FakeCloseProcess: return "close process";
        case FakeFreeEnvironment: return "free environment";
        case FakeWipe: return "wipe";
        case FakeWriteText: return "write";
        case FakeWriteTitle: return "write title";
        case FakeFlushOutput: return "flush output";
        case FakeCloseUnknown: return "close unknown handle";
        case FakeFreeUnknown: return "free unknown block";
        case FakeOpenNull: return "open NUL";
        case FakeCloseNull: return "close NUL";
    }
    return "?";
}

std::vector<std::string> RecordedCalls() {
    std::vector<std::string> names;
    for (int i = 0; i < Fake().callCount; ++i) {
        const FakeCall& call = Fake().calls[i];
        std::string name = CallName(call.kind);
        if (call.kind == FakeWipe && call.heldSecret) name = "wipe password";
        if (call.kind == FakeWriteText) {
            std::string text(static_cast<const char*>(call.address), call.size);
            if (text == Cp932(kExpectedLaunchFailed)) name = "write launch failed";
            if (text == Cp932(kExpectedExitStatusFailed)) name = "write status unreadable";
        }
        names.push_back(name);
    }
    return names;
}

struct LaunchCase {
    const char* what;
    bool wait, callerEnvironment;
    bool environmentAvailable, createSucceeds, exitCodeReadable;
    uint32_t exitCode;
    std::vector<std::string> calls;
    int status;
};

const LaunchCase kLaunchCases[] = {
    {"a launch without waiting ends with 0", false, false, true, true, true, 7,
     {"create", "wipe password", "close thread", "close process"}, 0},
    {"a launch with waiting passes the status on", true, false, true, true, true, 3,
     {"create", "wipe password", "wait", "read status", "close thread", "close process"}, 3},
    {"a status of -1 from the program is passed on bit for bit", true, false, true, true, true,
     0xFFFFFFFF,
     {"create", "wipe password", "wait", "read status", "close thread", "close process"}, -1},
    {"/env hands over the caller's block and frees it last", true, true, true, true, true, 0,
     {"take environment", "create", "wipe password", "wait", "read status", "close thread",
      "close process", "free environment"},
     0},
    {"/env without a block goes on as without /env", false, true, false, true, true, 0,
     {"take environment", "create", "wipe password", "close thread", "close process"}, 0},
    {"a failed launch reports and ends with -1", true, false, true, false, true, 0,
     {"create", "wipe password", "write launch failed"}, -1},
    {"a failed launch frees the block before the message", false, true, true, false, true, 0,
     {"take environment", "create", "wipe password", "free environment", "write launch failed"},
     -1},
    {"an unreadable status is reported and ends with 0", true, false, true, true, false, 0,
     {"create", "wipe password", "wait", "read status", "write status unreadable", "close thread",
      "close process"},
     0},
};

TEST(LaunchAsUser, CallsThePlatformInOrderAndReleasesEverything) {
    for (const LaunchCase& test : kLaunchCases) {
        ResetFakePlatform();
        Fake().secret = "Hunter2";
        Fake().environmentAvailable = test.environmentAvailable;
        Fake().createSucceeds = test.createSucceeds;
        Fake().exitCodeReadable = test.exitCodeReadable;
        Fake().exitCode = test.exitCode;
        Fake().exitCodeLeftOnFailure = 7;  // whatever a failed read leaves is not used
        auto options = std::make_unique<LaunchOptions>();
        SetDefaultOptions(options.get());
        ToWide("alice", &options->user);
        ToWide("Hunter2", &options->password);
        ToWide("x.exe", &options->commandLine);
        options->wait = test.wait;
        options->useCallerEnvironment = test.callerEnvironment;

        EXPECT_EQ(LaunchAsUser(options.get()), test.status) << test.what;
        EXPECT_EQ(RecordedCalls(), test.calls) << test.what;
        EXPECT_EQ(Fake().environmentsFreed, Fake().environmentsTaken) << test.what;
        const void* expectedBlock =
            test.callerEnvironment && test.environmentAvailable ? FakeEnvironmentBlock() : nullptr;
        EXPECT_EQ(Fake().logon.environment, expectedBlock) << test.what;
        EXPECT_EQ(Text(Fake().logon.password), u"Hunter2") << test.what;
        EXPECT_EQ(Text(options->password), u"") << test.what;
        if (test.wait && test.createSucceeds) {
            EXPECT_TRUE(Fake().passwordClearAtWait) << test.what;
        }
    }
}

}  // namespace
