// Whole runs of the command against the fake platform: what is written, in which order,
// the exit status, and whether the logon call is reached.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cli/split.h"
#include "expected_texts.h"
#include "test_support.h"

namespace {

std::string Banner() {
    return Cp932(kExpectedBanner[0]) + Cp932(kExpectedBanner[1]);
}

std::string Usage() {
    std::string usage;
    for (const char* piece : kExpectedUsage) usage += Cp932(piece);
    return usage;
}

struct RunCase {
    const char* what;
    std::string commandLine;
    std::string expectedOutput;
    int expectedStatus;
    bool launches;
};

const std::string kLongValue(1024, 'x');
// Fewer units than the fake's line holds, more bytes than the ANSI copy of a line can.
std::string Repeat(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += text;
    return out;
}
const std::string kTooManyBytes = Repeat("\x95\x5c", kArgumentBytesCapacity / 2);

std::vector<RunCase> RunCases() {
    const std::string userRequired = Cp932(kExpectedUserRequired);
    const std::string commandRequired = Cp932(kExpectedCommandRequired);
    const std::string tooLong = Cp932(kExpectedValueTooLong);
    return {
        {"no arguments", "velmor.exe", Banner() + Usage() + userRequired, -1, false},
        {"/nologo alone", "velmor.exe /nologo", Usage() + userRequired, -1, false},
        {"only ignored switches", "velmor.exe /verbose /? /user //user:alice /logox /",
         Banner() + Usage() + userRequired, -1, false},
        {"no command line", "velmor.exe /user:alice", Banner() + Usage() + commandRequired, -1,
         false},
        {"the user is checked first", "velmor.exe /nologo", Usage() + userRequired, -1, false},
        {"a trailing backslash leaves no user", "velmor.exe /nologo /user:CORP\\ notepad.exe",
         Usage() + userRequired, -1, false},
        {"an empty argument after the program", "velmor.exe /nologo /user:alice notepad.exe \"\"",
         Usage() + commandRequired, -1, false},
        {"the last of /nologo and /logo decides", "velmor.exe /user:a /nologo /logo x.exe",
         Banner(), 0, true},
        {"a valid run without the banner", "velmor.exe /nologo /user:alice notepad.exe", "", 0,
         true},
        {"an empty password is accepted", "velmor.exe /nologo /user:a /password: x.exe", "", 0,
         true},
        {"a value too long, after the banner", "velmor.exe /user:" + kLongValue + " x.exe",
         Banner() + tooLong, -1, false},
        {"a value too long comes before a missing user",
         "velmor.exe /nologo /workdir:" + kLongValue, tooLong, -1, false},
        {"a command line too long for its ANSI copy", "velmor.exe /nologo /user:a " + kTooManyBytes,
         Banner() + tooLong, -1, false},
    };
}

TEST(RunVelmor, WritesTheTextsAndEndsWithTheStatus) {
    for (const RunCase& test : RunCases()) {
        ResetFakePlatform();
        RunOutcome outcome = RunCommand(test.commandLine);
        EXPECT_EQ(outcome.output, test.expectedOutput) << test.what;
        EXPECT_EQ(outcome.status, test.expectedStatus) << test.what;
        EXPECT_EQ(Fake().createCount, test.launches ? 1 : 0) << test.what;
    }
}

TEST(RunVelmor, AFailedLaunchEndsWithMinusOne) {
    ResetFakePlatform();
    Fake().createSucceeds = false;
    RunOutcome outcome = RunCommand("velmor.exe /user:alice notepad.exe");
    EXPECT_EQ(outcome.output, Banner() + Cp932(kExpectedLaunchFailed));
    EXPECT_EQ(outcome.status, -1);
}

TEST(RunVelmor, HandsTheSplitArgumentsToTheLaunch) {
    ResetFakePlatform();
    RunCommand("\"C:\\Program Files\\velmor.exe\" /nologo /user:CORP\\alice /a:pw "
               "/workdir:\"C:\\Work Dir\" \"cmd.exe /c \\\"C:\\a b\\x.cmd\\\"\"");
    const FakeLogonCall& logon = Fake().logon;
    EXPECT_EQ(Text(logon.username), u"alice");
    EXPECT_EQ(Text(logon.domain), u"CORP");
    EXPECT_EQ(Text(logon.password), u"pw");
    EXPECT_EQ(Text(logon.currentDirectory), u"C:\\Work Dir");
    EXPECT_EQ(Text(logon.commandLine), u"cmd.exe /c \"C:\\a b\\x.cmd\"");
}

// The password stands in the process command line and its copies, and in our converted
// and split copies of it and the password field. Before the banner, whether or not the
// command line is accepted, the line is scrubbed and the four copies wiped; the field
// goes once nothing needs it.
TEST(RunVelmor, LeavesThePasswordNowhereOnEveryPath) {
    const struct {
        const char* what;
        const char* commandLine;
        bool createSucceeds;
    } cases[] = {
        {"a launch that waits", "velmor.exe /user:a /password:Hunter2Secret /wait x.exe", true},
        {"a failed launch", "velmor.exe /user:a /password:Hunter2Secret x.exe", false},
        {"a refused command line", "velmor.exe /password:Hunter2Secret", true},
        {"a short-form password", "velmor.exe /a:Hunter2Secret /user:a x.exe", true},
    };
    for (const auto& test : cases) {
        ResetFakePlatform();
        Fake().secret = "Hunter2Secret";
        Fake().createSucceeds = test.createSucceeds;
        RunCommand(test.commandLine);
        std::vector<int> secretWipes;
        for (int i = 0; i < Fake().callCount; ++i) {
            if (Fake().calls[i].kind == FakeWipe && Fake().calls[i].heldSecret) secretWipes.push_back(i);
        }
        ASSERT_EQ(secretWipes.size(), 5u) << test.what;
        EXPECT_LT(secretWipes[3], FindFakeCall(FakeWriteText)) << test.what;
        EXPECT_EQ(Fake().calls[secretWipes[4]].size, sizeof(WideText)) << test.what;
        EXPECT_FALSE(FakeHoldsSecret(Fake().commandLine, sizeof Fake().commandLine)) << test.what;
        EXPECT_FALSE(Fake().secretInSightAtWait) << test.what;
    }
}

// With /stdio alone, the program gets Velmor's own three standard handles, and the
// banner that Velmor buffered is written out before the logon call, so that it stands
// first in a file or pipe the two share. Without it, nothing changes.
TEST(RunVelmor, HandsItsStandardStreamsToTheProgramOnlyWithStdio) {
    const struct {
        const char* what;
        const char* switches;
        uint32_t startupFlags;
        bool handsStreams;
    } cases[] = {
        {"no switch: flags as ever, no handles", "", 0, false},
        {"/stdio", "/stdio", kStartfUseStdHandles, true},
        {"/stdio with /hide", "/stdio /hide", kStartfUseStdHandles | kStartfUseShowWindow, true},
        {"/stdio then /nostdio", "/stdio /nostdio", 0, false},
        {"/nostdio then /stdio", "/nostdio /stdio", kStartfUseStdHandles, true},
        {"-STDIO", "-STDIO", kStartfUseStdHandles, true},
    };
    for (const auto& test : cases) {
        ResetFakePlatform();
        RunOutcome outcome = RunCommand(std::string("velmor.exe /user:a /wait ") +
                                        test.switches + " x.exe");
        const FakeLogonCall& logon = Fake().logon;
        EXPECT_EQ(outcome.output, Banner()) << test.what;
        EXPECT_EQ(logon.startupFlags, test.startupFlags) << test.what;
        const std::vector<PlatformHandle> handles = {logon.standardInput, logon.standardOutput,
                                                     logon.standardError};
        const std::vector<PlatformHandle> expected =
            test.handsStreams ? std::vector<PlatformHandle>{kFakeStandardInput,
                                                            kFakeStandardOutput,
                                                            kFakeStandardError}
                              : std::vector<PlatformHandle>{nullptr, nullptr, nullptr};
        EXPECT_EQ(handles, expected) << test.what;
        int flush = FindFakeCall(FakeFlushOutput);
        EXPECT_EQ(flush >= 0, test.handsStreams) << test.what;
        if (flush >= 0) {
            EXPECT_GT(flush, FindFakeCall(FakeWriteText, FindFakeCall(FakeWriteText) + 1))
                << test.what << ": after the banner";
            EXPECT_LT(flush, FindFakeCall(FakeCreateProcess)) << test.what;
            EXPECT_EQ(FindFakeCall(FakeFlushOutput, flush + 1), -1) << test.what;
        }
    }
}

// The last of /wait, /nowait and /job decides, and a limit is a wait that a later
// /nowait turns off like any other: no job, nothing suspended, nothing ended, status 0.
TEST(RunVelmor, WaitsForTheJobOnlyWhenTheLastWaitSwitchAsks) {
    const struct {
        const char* what;
        const char* switches;
        bool jobWait;
        int status;
    } cases[] = {
        {"/timeout: then /nowait starts the program and returns", "/timeout:2 /nowait", false, 0},
        {"/job then /nowait starts the program and returns", "/job /nowait", false, 0},
        {"/timeout: then /wait is a job wait with its limit", "/timeout:2 /wait", true, 7},
        {"/wait then /timeout: is a job wait with its limit", "/wait /timeout:2", true, 7},
    };
    for (const auto& test : cases) {
        ResetFakePlatform();
        Fake().exitCode = 7;
        RunOutcome outcome = RunCommand(std::string("velmor.exe /nologo /user:a ") +
                                        test.switches + " x.exe");
        EXPECT_EQ(outcome.status, test.status) << test.what;
        EXPECT_EQ(Fake().logon.creationFlags, test.jobWait ? 0x04000E14u : 0x04000E10u)
            << test.what;
        EXPECT_EQ(FindFakeCall(FakeCreateJob) >= 0, test.jobWait) << test.what;
        EXPECT_FALSE(Fake().jobTerminated) << test.what;
        EXPECT_EQ(FindFakeCall(FakeTerminateProcess), -1) << test.what;
    }
}

// With /stdio the program gets Velmor's disk files and pipes' client ends; a pipe's server
// end, and a console for output or error with a wait, through a relay of Velmor's own; in
// place of anything else a handle to NUL that Velmor opens once and closes after the
// logon call. Each row sets one of the three streams; the others stay pipes' client ends.
enum Given { GivenOwn, GivenNul, GivenRelay };

TEST(RunVelmor, HandsOverFilesAndClientEndsRelaysServerEndsAndConsolesAndNulForTheRest) {
    PlatformHandle console = reinterpret_cast<PlatformHandle>(0x0044);
    const struct {
        const char* what;
        int stream;  // 0 input, 1 output, 2 error
        PlatformHandle handle;
        HandleKind kind;
        bool wait;
        Given given;
    } cases[] = {
        {"a file", 0, kFakeStandardInput, HandleDiskFile, false, GivenOwn},
        {"a pipe's client end", 0, kFakeStandardInput, HandlePipe, false, GivenOwn},
        {"the NUL device, a character device", 0, kFakeStandardInput, HandleOther, false, GivenNul},
        {"a console, whatever its access rights", 0, console, HandleOther, false, GivenNul},
        {"a null handle", 0, nullptr, HandleOther, false, GivenNul},
        {"the invalid handle, which is also the current process", 0,
         reinterpret_cast<PlatformHandle>(-1), HandlePipe, false, GivenNul},
        {"another pseudo-handle, the process's token", 0, reinterpret_cast<PlatformHandle>(-4),
         HandleDiskFile, false, GivenNul},
        {"a handle whose type cannot be read", 0, kFakeStandardInput, HandleOther, false, GivenNul},
        {"input a pipe's server end, or one that says no end: relayed, without a wait too", 0,
         kFakeStandardInput, HandlePipeServerEnd, false, GivenRelay},
        {"input relayed with a wait: its reader gone at the end, it is not waited for", 0,
         kFakeStandardInput, HandlePipeServerEnd, true, GivenRelay},
        {"input a console, even with a wait: NUL, keystrokes never relayed", 0, console,
         HandleConsole, true, GivenNul},
        {"output a pipe's server end: relayed", 1, kFakeStandardOutput, HandlePipeServerEnd, true,
         GivenRelay},
        {"output a console with a wait: relayed to it", 1, console, HandleConsole, true,
         GivenRelay},
        {"output a console without a wait: NUL, as nothing would relay it", 1, console,
         HandleConsole, false, GivenNul},
        {"error a console, output a pipe: a relay of its own", 2, console, HandleConsole, true,
         GivenRelay},
    };
    const PlatformHandle own[] = {kFakeStandardInput, kFakeStandardOutput, kFakeStandardError};
    for (const auto& test : cases) {
        ResetFakePlatform();
        Fake().standardHandles[test.stream] = test.handle;
        Fake().standardHandleKinds[test.stream] = test.kind;
        RunCommand(std::string("velmor.exe /nologo /user:a /stdio ") + (test.wait ? "/wait " : "") +
                   "x.exe");
        const FakeLogonCall& logon = Fake().logon;
        std::vector<PlatformHandle> expected(own, own + 3);
        const PlatformHandle given[] = {test.handle, kFakeNullDevice, kFakeProgramEnds[0]};
        expected[test.stream] = given[test.given];
        EXPECT_EQ((std::vector<PlatformHandle>{logon.standardInput, logon.standardOutput,
                                               logon.standardError}),
                  expected) << test.what;
        int opened = FindFakeCall(FakeOpenNull);
        EXPECT_EQ(opened >= 0, test.given == GivenNul) << test.what;
        if (opened >= 0) {
            EXPECT_GT(FindFakeCall(FakeCloseNull), FindFakeCall(FakeCreateProcess)) << test.what;
        }
        int started = FindFakeCall(FakeStartRelay);
        ASSERT_EQ(started >= 0, test.given == GivenRelay) << test.what;
        if (started < 0) continue;
        // Velmor's own handle, copied into the pipe for input, out of it otherwise; the
        // program's end closed after the call; the thread waited for without a limit
        // without a wait, for a few seconds after the end for output, and not for input.
        EXPECT_EQ(Fake().calls[started].address, test.handle) << test.what;
        EXPECT_EQ(Fake().calls[started].size, test.stream == 0 ? 1u : 0u) << test.what;
        EXPECT_LT(started, FindFakeCall(FakeCreateProcess)) << test.what;
        EXPECT_GT(FindFakeCall(FakeCloseProgramEnd), FindFakeCall(FakeCreateProcess)) << test.what;
        int waited = FindFakeCall(FakeWaitRelay);
        ASSERT_GE(waited, 0) << test.what;
        uint32_t limit = !test.wait ? kPlatformNoTimeLimit : test.stream == 0 ? 0 : 2000;
        EXPECT_EQ(Fake().calls[waited].size, limit) << test.what;
        EXPECT_LT(waited, FindFakeCall(FakeCloseRelay)) << test.what;
        EXPECT_EQ(Fake().relaysStarted, 1) << test.what;
    }
    ResetFakePlatform();
    for (int i = 0; i < 3; ++i) Fake().standardHandleKinds[i] = HandleOther;
    RunCommand("velmor.exe /nologo /user:a /stdio x.exe");
    EXPECT_EQ(Fake().logon.standardError, kFakeNullDevice) << "three consoles, one NUL";
    EXPECT_EQ(FindFakeCall(FakeOpenNull, FindFakeCall(FakeOpenNull) + 1), -1) << "opened once";
    ResetFakePlatform();
    Fake().standardHandleKinds[1] = Fake().standardHandleKinds[2] = HandleConsole;
    RunCommand("velmor.exe /nologo /user:a /stdio /wait x.exe");
    EXPECT_EQ(std::make_pair(Fake().logon.standardOutput, Fake().logon.standardError),
              std::make_pair(kFakeProgramEnds[0], kFakeProgramEnds[0]))
        << "output and error consoles: one pipe, their order kept";
    EXPECT_EQ(Fake().relaysStarted, 1) << "output and error consoles: one relay";
    for (bool nul : {true, false}) {
        ResetFakePlatform();
        Fake().standardHandleKinds[2] = nul ? HandleOther : HandlePipeServerEnd;
        Fake().nullDeviceOpens = !nul;
        Fake().relayStarts = nul;
        RunOutcome outcome = RunCommand("velmor.exe /nologo /user:a /stdio x.exe");
        const char* what = nul ? "NUL cannot be opened" : "a relay cannot be had";
        EXPECT_EQ(std::make_pair(outcome.status, outcome.output),
                  std::make_pair(-1, Cp932(kExpectedLaunchFailed))) << what;
        EXPECT_EQ(Fake().createCount, 0) << what << ": nothing is started";
    }
}

// The logon call gets the password that the caller typed, or nothing: a password that
// the ANSI conversion would change is refused before the launch, with -1.
TEST(RunVelmor, RefusesAPasswordThatWouldNotArriveAsTyped) {
    const struct {
        const char* what;
        int codePage;
        std::u16string commandLine;
        std::string input;
        bool refused;
    } cases[] = {
        {"on 1252 a character the page has", 1252, u"v /user:a /password:Pässwörd x", "", false},
        {"on 1252 a character the page lacks", 1252, u"v /user:a /password:p密 x", "", true},
        {"on 932 a character the page has", 932, u"v /user:a /a:秘密 x", "", false},
        {"on 932 a character the page lacks", 932, u"v /user:a /a:café x", "", true},
        {"on 65001 a surrogate pair", 65001, u"v /user:a /a:p\U0001F511 x", "", false},
        {"on 65001 a lone surrogate", 65001, std::u16string(u"v /user:a /a:p") + u'\xd800' + u" x",
         "", true},
        {"only the value that reaches the call counts: a later /password-stdin", 1252,
         u"v /user:a /a:密 /password-stdin x", "pw\n", false},
        {"only the value that reaches the call counts: a later /password:", 932,
         u"v /user:a /a:café /password:pw x", "", false},
        {"other values keep their conversion", 1252, u"v /user:密 /a:pw 密.exe", "", false},
        {"on 1252 a byte-order mark before /password-stdin's line", 1252,
         u"v /user:a /password-stdin x", "\xef\xbb\xbfpw\r\n", true},
        {"on 1252 the same line without it", 1252, u"v /user:a /password-stdin x", "pw\r\n", false},
    };
    for (const auto& test : cases) {
        ResetFakePlatform();
        Fake().codePage = test.codePage;
        Fake().standardInput = test.input.data();
        Fake().standardInputLength = test.input.size();
        RunOutcome outcome = RunWideCommand(test.commandLine);
        const char* message = test.input.empty() ? kExpectedPasswordNotInCodePage
                                                 : kExpectedInputNotInCodePage;
        EXPECT_EQ(std::make_pair(outcome.status, outcome.output),
                  test.refused ? std::make_pair(-1, Banner() + Cp932(message))
                               : std::make_pair(0, Banner())) << test.what;
        EXPECT_EQ(Fake().createCount, test.refused ? 0 : 1) << test.what;
    }
}

// A look-alike of a password or time-limit switch is refused with that switch's message
// on every page, full-width characters that the page makes '?' included, and its value is
// starred in the line.
TEST(RunVelmor, RefusesLookAlikesOfThePasswordAndTimeLimitSwitches) {
    const struct {
        const char* what;
        int codePage;
        std::u16string line, scrubbed;
        const char* message;
    } cases[] = {
        {"a full-width colon on 932", 932, u"v /user:a /password\uFF1AHunter2 x",
         u"v /user:a /password\uFF1A******* x", kExpectedPasswordNeedsColon},
        {"a full-width colon on 1252, which makes it '?'", 1252,
         u"v /user:a /password\uFF1AHunter2 x", u"v /user:a /password\uFF1A******* x",
         kExpectedPasswordNeedsColon},
        {"a typo", 932, u"v /user:a /pasword:Hunter2 x", u"v /user:a /pasword:******* x",
         kExpectedPasswordNeedsColon},
        {"a full-width solidus, which would make it the program", 1252,
         u"v /user:a x \uFF0Fpassword:Hunter2", u"v /user:a x \uFF0Fpassword:*******",
         kExpectedPasswordNeedsColon},
        {"/pass with its value apart", 932, u"v /user:a /pass Hunter2", u"v /user:a /pass Hunter2",
         kExpectedPasswordNeedsColon},
        {"/pwd with its value apart, on 65001", 65001, u"v /user:a /pwd Hunter2",
         u"v /user:a /pwd Hunter2", kExpectedPasswordNeedsColon},
        {"/timeout60", 932, u"v /user:a /timeout60 x", u"v /user:a /timeout60 x",
         kExpectedTimeLimitInvalid},
        {"a full-width colon after /timeout on 1252", 1252, u"v /user:a /timeout\uFF1A60 x",
         u"v /user:a /timeout\uFF1A** x", kExpectedTimeLimitInvalid},
        {"full-width letters on 936", 936, u"v /user:a /\uFF54\uFF49\uFF4D\uFF45\uFF4F\uFF55\uFF54:60 x",
         u"v /user:a /\uFF54\uFF49\uFF4D\uFF45\uFF4F\uFF55\uFF54:** x", kExpectedTimeLimitInvalid},
        {"the first refusal stands", 932, u"v /user:a /timeout:0 /pasword:pw x",
         u"v /user:a /timeout:0 /pasword:** x", kExpectedTimeLimitInvalid},
    };
    for (const auto& test : cases) {
        ResetFakePlatform();
        Fake().codePage = test.codePage;
        RunOutcome outcome = RunWideCommand(test.line);
        EXPECT_EQ(std::make_pair(outcome.status, outcome.output),
                  std::make_pair(-1, Banner() + Cp932(test.message))) << test.what;
        EXPECT_EQ(std::u16string(Fake().commandLine), test.scrubbed) << test.what;
        EXPECT_EQ(Fake().createCount, 0) << test.what;
    }
}

// cmd.exe's console title repeats the command it runs. Before the launch, every password
// value in it is starred as the command line's are, and nothing else changes; a title
// that is not there, or not whole, is never written.
TEST(RunVelmor, StarsThePasswordsInTheConsoleTitle) {
    const std::u16string longTitle = u"t /a:pw " + std::u16string(40000, u'x');
    const struct {
        const char* what;
        bool hasConsole;
        std::u16string title, expected;
    } cases[] = {
        {"the switch once", true, u"Command Prompt - velmor /user:a /password:Hunter2 x.exe",
         u"Command Prompt - velmor /user:a /password:******* x.exe"},
        {"two switches with different values", true, u"C - velmor /a:one /password:two x",
         u"C - velmor /a:*** /password:*** x"},
        {"capitals and '-'", true, u"C - velmor -PASSWORD:Pw x", u"C - velmor -PASSWORD:** x"},
        {"a quoted switch with a blank in its value", true, u"C - velmor \"/password:p w\" x",
         u"C - velmor \"/password:***\" x"},
        {"no switch, though the password's text stands there", true, u"C - Hunter2 x",
         u"C - Hunter2 x"},
        {"a one-character password's other occurrences stay", true,
         u"p - velmor /user:p /a:p p.exe", u"p - velmor /user:p /a:* p.exe"},
        {"a quote that the window's name opens", true,
         u"Ops \"night - velmor /user:bob /password:Hunter2 C:\\app.exe",
         u"Ops \"night - velmor /user:bob /password:******* C:\\app.exe"},
        {"a quote that an administrator's window's name opens", true,
         u"Administrator: \"Build - velmor /user:bob /a:Hunter2 C:\\app.exe",
         u"Administrator: \"Build - velmor /user:bob /a:******* C:\\app.exe"},
        {"a backslash and a quote in the window's name", true,
         u"Build\\\" shell - velmor /user:bob /password:Hunter2 C:\\app.exe",
         u"Build\\\" shell - velmor /user:bob /password:******* C:\\app.exe"},
        {"a look-alike's value", true, u"C - velmor /pasword:Hunter2 x",
         u"C - velmor /pasword:******* x"},
        {"no console", false, u"C - velmor /a:pw x", u"C - velmor /a:pw x"},
        {"a title too long to be read whole", true, longTitle, longTitle},
        {"the longest title cmd.exe sets", true,
         u"Administrator: Command Prompt - velmor /a:pw " + std::u16string(8150, u'x'),
         u"Administrator: Command Prompt - velmor /a:** " + std::u16string(8150, u'x')},
    };
    for (const auto& test : cases) {
        ResetFakePlatform();
        Fake().hasConsole = test.hasConsole;
        std::copy(test.title.begin(), test.title.end(), Fake().consoleTitle);
        RunCommand("velmor.exe /nologo /user:a /password:Hunter2 x.exe");
        EXPECT_EQ(std::u16string(Fake().consoleTitle), test.expected) << test.what;
        int written = FindFakeCall(FakeWriteTitle);
        EXPECT_EQ(written >= 0, test.expected != test.title) << test.what;
        if (written >= 0) {
            EXPECT_LT(written, FindFakeCall(FakeCreateProcess)) << test.what;
        }
        EXPECT_EQ(Text(Fake().logon.password), u"Hunter2") << test.what;
        if (test.hasConsole) {
            EXPECT_LE(Fake().consoleTitleCapacity, 24500) << "every Windows reads this much";
        }
    }
}

}  // namespace

namespace {

// Where a /reason row's run fails: the call that fails as told, with its Windows error.
enum FailingStep {
    NothingFails, LogonCall, NullDevice, JobCreation, JobPort, JobAssignment, JobResume,
    JobCount, Credential, InputRead, ExitCodeRead,
};

void MakeFail(FailingStep step) {
    FakePlatform& fake = Fake();
    switch (step) {
        case NothingFails: break;
        case LogonCall: fake.createSucceeds = false; break;
        case NullDevice: fake.standardHandleKinds[0] = HandleOther; fake.nullDeviceOpens = false; break;
        case JobCreation: fake.jobCreates = false; break;
        case JobPort: fake.portCreates = false; break;
        case JobAssignment: fake.assignSucceeds = false; break;
        case JobResume: fake.resumeAnswer = -1; break;
        case JobCount: fake.jobCountReadable = false; break;
        case Credential: break;  // no credential is stored
        case InputRead:  // a line begun, then a read that fails
            fake.standardInput = "Hun";
            fake.standardInputLength = 3;
            fake.standardInputFails = true;
            break;
        case ExitCodeRead: fake.exitCodeReadable = false; break;
    }
}

struct ReasonCase {
    std::string what;
    std::string switches;  // between "velmor.exe /nologo /user:a" and the program
    FailingStep step;
    uint32_t code;             // the failing call's error, or the program's status
    std::u16string text;       // Windows' text for code; empty: it has none
    std::string expected;      // the whole output, UTF-8
    int status;
};

const std::u16string kWrongPasswordText = u"ユーザー名またはパスワードが正しくありません。\r\n";
const std::string kWrongPasswordLine = "1326 (0x0000052E): ユーザー名またはパスワードが正しくありません。\n";

std::vector<ReasonCase> ReasonCases() {
    const std::string failed = kExpectedLaunchFailed, job = kExpectedJobFailed;
    std::vector<ReasonCase> cases = {
        {"1326 after the logon call: the code, Windows' text, the hint", "/reason", LogonCall,
         1326, kWrongPasswordText, failed + kWrongPasswordLine + kExpectedHintWrongPassword, -1},
        {"without /reason the output is as ever", "", LogonCall, 1326, kWrongPasswordText,
         failed, -1},
        {"/reason /noreason: the last decides", "/reason /noreason", LogonCall, 1326,
         kWrongPasswordText, failed, -1},
        {"/noreason -REASON: the last decides", "/noreason -REASON", LogonCall, 1326,
         kWrongPasswordText, failed + kWrongPasswordLine + kExpectedHintWrongPassword, -1},
        {"/reasons is no switch", "/reasons", LogonCall, 1326, kWrongPasswordText, failed, -1},
        {"an unlisted code: the code and Windows' text alone", "/reason", LogonCall, 1314,
         u"クライアントは要求された特権を保有していません。\r\n",
         failed + "1314 (0x00000522): クライアントは要求された特権を保有していません。\n", -1},
        {"a code with no text: the code alone", "/reason", LogonCall, 4294967295u, u"",
         failed + "4294967295 (0xFFFFFFFF)\n", -1},
        {"Windows' '%1', '%%' and '%s' are written as they stand", "/reason", LogonCall, 193,
         u"%1 is not a valid Win32 application. %% %s\r\n",
         failed + "193 (0x000000C1): %1 is not a valid Win32 application. %% %s\n" +
             kExpectedHintNotAProgram, -1},
        {"inner line ends become blanks, trailing blanks go, no best fit", "/reason", LogonCall,
         1314, u"one\r\ntwo\nthree\rcaf\u00e9 \r\n\t \r\n",
         failed + "1314 (0x00000522): one two three caf?\n", -1},
        {"NUL for /stdio: the code without the logon call's hint", "/stdio /reason", NullDevice,
         5, u"", failed + "5 (0x00000005)\n", -1},
        {"the job's creation", "/job /reason", JobCreation, 1450, u"", job + "1450 (0x000005AA)\n",
         -1},
        {"the job's port", "/job /reason", JobPort, 1450, u"", job + "1450 (0x000005AA)\n", -1},
        {"the job's assignment refused: Windows 7's nested job", "/timeout:5 /reason",
         JobAssignment, 5, u"アクセスが拒否されました。\r\n",
         job + "5 (0x00000005): アクセスが拒否されました。\n" + kExpectedHintNestedJob, -1},
        {"the resume", "/job /reason", JobResume, 6, u"", job + "6 (0x00000006)\n", -1},
        {"the job's count", "/job /reason", JobCount, 6, u"", job + "6 (0x00000006)\n", -1},
        {"a credential that is not there, /reason after it", "/credential:x /reason", Credential,
         1168, u"要素が見つかりません。\r\n",
         kExpectedCredentialUnreadable + std::string("1168 (0x00000490): 要素が見つかりません。\n"),
         -1},
        {"a read of standard input that fails midway: no password", "/password-stdin /reason",
         InputRead, 6, u"", kExpectedInputEmpty + std::string("6 (0x00000006)\n"), -1},
        {"an exit status that cannot be read", "/wait /reason", ExitCodeRead, 6, u"",
         kExpectedExitStatusFailed + std::string("6 (0x00000006)\n"), 0},
        {"a refused command line gets nothing", "/reason /timeout:0", NothingFails, 0, u"",
         kExpectedTimeLimitInvalid, -1},
        {"a program that never ran its code: its status and hint, passed on", "/wait /reason",
         NothingFails, 0xC0000142, u"", std::string("\n0xC0000142\n") + kExpectedHintDllInit,
         static_cast<int>(0xC0000142)},
        {"the same after a job wait", "/job /reason", NothingFails, 0xC0000135, u"",
         std::string("\n0xC0000135\n") + kExpectedHintDllNotFound, static_cast<int>(0xC0000135)},
        {"a status of its own code says nothing", "/wait /reason", NothingFails, 0xC000007C, u"",
         "", static_cast<int>(0xC000007C)},
        {"without /reason a status gets nothing", "/wait", NothingFails, 0xC0000142, u"", "",
         static_cast<int>(0xC0000142)},
    };
    // Each listed code after the logon call, its hint after the code.
    const std::vector<std::pair<uint32_t, const char*>> hints = {
        {1327, kExpectedHintAccountRestriction}, {1328, kExpectedHintAccountRestriction},
        {1329, kExpectedHintAccountRestriction}, {1330, kExpectedHintAccountRestriction},
        {1331, kExpectedHintAccountRestriction}, {1793, kExpectedHintAccountRestriction},
        {1907, kExpectedHintAccountRestriction}, {1909, kExpectedHintAccountRestriction},
        {1385, kExpectedHintLogonRight}, {1058, kExpectedHintSecondaryLogon},
        {1068, kExpectedHintSecondaryLogon}, {5, kExpectedHintLocalSystem},
        {740, kExpectedHintElevation}, {2, kExpectedHintNotFound}, {3, kExpectedHintNotFound},
        {267, kExpectedHintWorkDir}, {216, kExpectedHintNotAProgram},
        {1311, kExpectedHintNoLogonServer},
    };
    for (const auto& hint : hints) {
        char code[32];
        snprintf(code, sizeof code, "%u (0x%08X)\n", hint.first, hint.first);
        cases.push_back({"the logon call's " + std::to_string(hint.first), "/reason", LogonCall,
                         hint.first, u"", failed + code + hint.second, -1});
    }
    return cases;
}

TEST(RunVelmor, SaysWhyWithReason) {
    for (const ReasonCase& test : ReasonCases()) {
        ResetFakePlatform();
        MakeFail(test.step);
        Fake().failureError = test.code;
        Fake().exitCode = test.code;
        Fake().systemMessageCode = test.code;
        Fake().systemMessage = test.text.empty() ? nullptr : test.text.c_str();
        RunOutcome outcome = RunCommand("velmor.exe /nologo /user:a " + test.switches + " x.exe");
        EXPECT_EQ(outcome.output, Cp932(test.expected)) << test.what;
        EXPECT_EQ(outcome.status, test.status) << test.what;
    }
}

}  // namespace
