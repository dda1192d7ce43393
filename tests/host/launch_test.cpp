// The launch: the order of the platform calls on every path, the exit status, and the
// release of everything taken.
#include <gtest/gtest.h>

#include <algorithm>
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
        case FakeCreateJob: return "create job";
        case FakeCreatePort: return "create port";
        case FakeAssign: return "assign";
        case FakeResume: return "resume";
        case FakeReadJobCount: return "count";
        case FakeWaitJobMessage: return "wait for message";
        case FakeTerminateJob: return "end job";
        case FakeTerminateProcess: return "end process";
        case FakeCloseJob: return "close job";
        case FakeClosePort: return "close port";
        case FakeStartRelay: return "start relay";
        case FakeWaitRelay: return "wait for relay";
        case FakeCloseRelay: return "close relay";
        case FakeCloseProgramEnd: return "close program's end";
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
            if (text == Cp932(kExpectedJobFailed)) name = "write job failed";
            if (text == Cp932(kExpectedTimeLimitReached)) name = "write time limit";
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

// A job wait: the program created suspended, put in Velmor's job, then resumed; the
// job's count of processes the one test of its end. The steps after the logon call and
// its wipe, and before the thread's and the process's handles are closed, are listed.
struct JobCase {
    const char* what;
    uint32_t timeLimitSeconds;
    bool assignSucceeds;
    int resumeAnswer;
    bool countReadable;
    std::vector<uint32_t> counts;
    int messages;
    uint32_t clock;
    std::vector<std::string> calls;
    int status;
    bool controlEventDuringLogon = false;
};

const std::vector<std::string> kJobStart = {"create job", "create port", "assign", "resume"};
const std::vector<std::string> kJobClose = {"close thread", "close process", "close port",
                                            "close job"};

const JobCase kJobCases[] = {
    {"a job that ends gives the program's status", 0, true, 1, true, {1, 0}, 1, 0,
     {"count", "wait for message", "count", "read status"}, 3},
    {"a message of no process left while the count is 1 waits on", 0, true, 1, true, {1, 1, 0},
     2, 0,
     {"count", "wait for message", "count", "wait for message", "count", "read status"}, 3},
    {"without messages it looks once a second", 0, true, 1, true, {1, 1, 0}, 0, 0,
     {"count", "wait for message", "count", "wait for message", "count", "read status"}, 3},
    {"a refused assignment ends the program, never resumed", 0, false, 1, true, {1}, 0, 0,
     {"end process", "write job failed"}, -1},
    {"a thread that was not suspended: program and job ended", 0, true, 0, true, {1}, 0, 0,
     {"end process", "end job", "write job failed"}, -1},
    {"a count that cannot be read ends the job, with its failure", 0, true, 1, false, {1}, 0, 0,
     {"count", "end job", "write job failed"}, -1},
    {"the limit passed: the job ended, 258 whatever the program's status", 2, true, 1, true,
     {1}, 0, 0,
     {"count", "wait for message", "count", "wait for message", "count", "end job", "count",
      "write time limit"},
     258},
    {"the limit is counted across the clock's wrap", 2, true, 1, true, {1}, 0, 0xFFFFFC18,
     {"count", "wait for message", "count", "wait for message", "count", "end job", "count",
      "write time limit"},
     258},
    {"Ctrl+C during the logon call: the job ended before the program runs", 0, true, 1, true,
     {0}, 0, 0, {"end process", "end job", "write job failed"}, -1, true},
};

TEST(LaunchAsUser, RunsTheProgramAsAJobAndEndsItWhenItShould) {
    for (const JobCase& test : kJobCases) {
        ResetFakePlatform();
        Fake().secret = "Hunter2";
        Fake().exitCode = 3;
        Fake().assignSucceeds = test.assignSucceeds;
        Fake().resumeAnswer = test.resumeAnswer;
        Fake().jobCountReadable = test.countReadable;
        std::copy(test.counts.begin(), test.counts.end(), Fake().jobProcessCounts);
        Fake().jobProcessCountsLength = static_cast<int>(test.counts.size());
        Fake().jobMessages = test.messages;
        Fake().clock = test.clock;
        Fake().controlEventDuringLogon = test.controlEventDuringLogon;
        auto options = std::make_unique<LaunchOptions>();
        SetDefaultOptions(options.get());
        ToWide("alice", &options->user);
        ToWide("Hunter2", &options->password);
        ToWide("x.exe", &options->commandLine);
        // /job, or /wait with a limit, which is a job wait all the same.
        options->wait = true;
        options->waitForJob = test.timeLimitSeconds == 0;
        options->timeLimitSeconds = test.timeLimitSeconds;

        EXPECT_EQ(LaunchAsUser(options.get()), test.status) << test.what;
        std::vector<std::string> expected = {"create", "wipe password"};
        bool resumes = test.assignSucceeds && !test.controlEventDuringLogon;
        expected.insert(expected.end(), kJobStart.begin(), kJobStart.begin() + (resumes ? 4 : 3));
        expected.insert(expected.end(), test.calls.begin(), test.calls.end());
        expected.insert(expected.end(), kJobClose.begin(), kJobClose.end());
        EXPECT_EQ(RecordedCalls(), expected) << test.what;
        EXPECT_EQ(Fake().logon.creationFlags, 0x04000E14u) << test.what;
        EXPECT_EQ(std::make_pair(Fake().logon.controlHeld, Fake().controlHeld),
                  std::make_pair(true, false)) << test.what << ": Ctrl+C held into the job";
        if (resumes) {
            EXPECT_TRUE(Fake().passwordClearAtWait) << test.what << ": gone before it runs";
        }
        for (int i = 0; i < Fake().callCount; ++i) {
            if (Fake().calls[i].kind == FakeWaitJobMessage) {
                EXPECT_LE(Fake().calls[i].size, 1000u) << test.what << ": a look a second";
            }
            if (Fake().calls[i].kind == FakeTerminateJob && test.status == 258) {
                EXPECT_EQ(Fake().calls[i].size, 258u) << test.what;
            }
        }
    }
}

// With /stdio and output a pipe's server end, relayed: the relay's thread is waited for
// once the program or its job has ended, and before any message of Velmor's own, so that
// its messages come after the program's output.
struct RelayCase {
    const char* what;
    bool createSucceeds, exitCodeReadable;
    uint32_t timeLimitSeconds;
    std::vector<std::string> calls;  // after the logon call, the wipe and the pipe's close
    int status;
};

const RelayCase kRelayCases[] = {
    {"/wait: the status unreadable, said after the output", true, false, 0,
     {"wait", "wait for relay", "close relay", "read status", "write status unreadable",
      "close thread", "close process"},
     0},
    {"a time limit passed: said after the output", true, true, 2,
     {"create job", "create port", "assign", "resume", "count", "wait for message", "count",
      "wait for message", "count", "end job", "count", "wait for relay", "close relay",
      "write time limit", "close thread", "close process", "close port", "close job"},
     258},
    {"a failed launch: said after the relay has ended", false, true, 0,
     {"wait for relay", "close relay", "write launch failed"}, -1},
};

TEST(LaunchAsUser, FinishesTheRelaysBeforeItSaysAnything) {
    for (const RelayCase& test : kRelayCases) {
        ResetFakePlatform();
        Fake().secret = "Hunter2";
        Fake().createSucceeds = test.createSucceeds;
        Fake().exitCodeReadable = test.exitCodeReadable;
        Fake().jobProcessCounts[0] = 1;
        Fake().jobProcessCountsLength = 1;
        Fake().standardHandleKinds[1] = HandlePipeServerEnd;
        auto options = std::make_unique<LaunchOptions>();
        SetDefaultOptions(options.get());
        ToWide("alice", &options->user);
        ToWide("Hunter2", &options->password);
        ToWide("x.exe", &options->commandLine);
        options->wait = options->standardStreams = true;
        options->timeLimitSeconds = test.timeLimitSeconds;

        EXPECT_EQ(LaunchAsUser(options.get()), test.status) << test.what;
        std::vector<std::string> expected = {"start relay", "flush output", "create",
                                             "wipe password", "close program's end"};
        expected.insert(expected.end(), test.calls.begin(), test.calls.end());
        EXPECT_EQ(RecordedCalls(), expected) << test.what;
    }
}

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
        EXPECT_FALSE(Fake().logon.controlHeld) << test.what << ": Ctrl+C held for a job alone";
        if (test.wait && test.createSucceeds) {
            EXPECT_TRUE(Fake().passwordClearAtWait) << test.what;
        }
    }
}

}  // namespace
