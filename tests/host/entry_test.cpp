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
