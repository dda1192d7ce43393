// The argument walk: the switch table, its comparison rules, the account rule, and the
// conversion of values into bounded fields.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "expected_texts.h"
#include "test_support.h"

namespace {

// Only what differs from the defaults, so each expectation names just its effect.
std::string Describe(const LaunchOptions& options) {
    std::string out;
    auto add = [&out](const std::string& part) { out += (out.empty() ? "" : " ") + part; };
    if (!options.showLogo) add("nologo");
    if (options.logonFlags != kLogonWithProfile) add("logonFlags=" + std::to_string(options.logonFlags));
    if (options.useCallerEnvironment) add("env");
    if (options.wait) add("wait");
    if (options.waitForJob) add("job");
    if (options.timeLimitSeconds != 0) add("timeout=" + std::to_string(options.timeLimitSeconds));
    if (options.hide) add("hide");
    if (options.standardStreams) add("stdio");
    const struct {
        const char* name;
        const WideText& field;
    } fields[] = {{"user", options.user},        {"domain", options.domain},
                  {"password", options.password}, {"cmd", options.commandLine},
                  {"workdir", options.workDir}};
    for (const auto& field : fields) {
        if (!IsEmpty(field.field)) add(std::string(field.name) + "=" + Utf8(Text(field.field)));
    }
    return out;
}

struct ParseOutcome {
    bool fits;
    std::string options;
    MessageId refusal;
};

// Walks the arguments on a fake that the caller has set up.
ParseOutcome ParseOnFake(const std::vector<std::string>& arguments, int codePage = 932) {
    LeadBytes leadBytes = LeadBytesOf(codePage);
    std::vector<const char*> argv{"velmor.exe"};
    for (const std::string& argument : arguments) argv.push_back(argument.c_str());
    auto options = std::make_unique<LaunchOptions>();
    SetDefaultOptions(options.get());
    MessageId refusal = MsgUserRequired;  // no refusal gives this
    bool fits = ParseArguments(static_cast<int>(argv.size()), argv.data(), leadBytes,
                               options.get(), &refusal);
    return ParseOutcome{fits, Describe(*options), refusal};
}

ParseOutcome Parse(const std::vector<std::string>& arguments, int codePage = 932) {
    ResetFakePlatform();
    return ParseOnFake(arguments, codePage);
}

struct ParseCase {
    const char* what;
    std::vector<std::string> arguments;
    std::string expected;
};

const ParseCase kSwitchCases[] = {
    {"no arguments keep every default", {}, ""},
    {"/nologo turns the banner off", {"/nologo"}, "nologo"},
    {"the last of /nologo and /logo wins", {"/nologo", "/logo"}, ""},
    {"-NoLoGo is /nologo in another case and introducer", {"-NoLoGo"}, "nologo"},
    {"/noprofile clears the profile flag", {"/noprofile"}, "logonFlags=0"},
    {"/noprofile then /profile sets it again", {"/noprofile", "/profile"}, ""},
    {"/netonly asks for network-only credentials", {"/netonly"}, "logonFlags=2"},
    {"-NetOnly is /netonly in another case and introducer", {"-NetOnly"}, "logonFlags=2"},
    {"/netonly then /profile loads the profile, never both", {"/netonly", "/PROFILE"}, ""},
    {"/netonly then /noprofile passes 0", {"/netonly", "-noprofile"}, "logonFlags=0"},
    {"/profile then /netonly is network-only", {"/profile", "/NETONLY"}, "logonFlags=2"},
    {"/noprofile then /netonly is network-only", {"-noprofile", "/netonly"}, "logonFlags=2"},
    {"/netonlyx is not /netonly", {"/netonlyx"}, ""},
    {"/env passes the caller's environment", {"/env"}, "env"},
    {"/env then /noenv does not", {"/env", "/noenv"}, ""},
    {"/wait waits", {"/WAIT"}, "wait"},
    {"/wait then /nowait does not", {"/wait", "/nowait"}, ""},
    {"/job waits for the whole job", {"/job"}, "wait job"},
    {"-JOB is /job in another case and introducer", {"-JOB"}, "wait job"},
    {"/job then /wait waits for the program alone", {"/job", "/wait"}, "wait"},
    {"/wait then /job waits for the job", {"/wait", "/Job"}, "wait job"},
    {"/job then /nowait does not wait", {"/job", "/nowait"}, ""},
    {"/jobx and /job: are not /job", {"/jobx", "/job:"}, ""},
    {"/timeout: waits, with a limit", {"/timeout:60"}, "wait timeout=60"},
    {"/timeout: then /nowait does not wait", {"/TIMEOUT:60", "/nowait"}, "timeout=60"},
    {"/nowait then /timeout: waits", {"/nowait", "-timeout:5"}, "wait timeout=5"},
    {"of several limits the last wins, up to 4294967", {"/timeout:5", "/timeout:004294967"},
     "wait timeout=4294967"},
    {"/hide hides the window", {"/hide"}, "hide"},
    {"/hide then /nohide does not", {"/hide", "/nohide"}, ""},
    {"/stdio hands the program Velmor's standard streams", {"/stdio"}, "stdio"},
    {"-STDIO is /stdio in another case and introducer", {"-STDIO"}, "stdio"},
    {"/stdio then /nostdio does not", {"/stdio", "/nostdio"}, ""},
    {"/nostdio then /stdio does", {"/nostdio", "/Stdio"}, "stdio"},
    {"/stdiox and /stdio: are not /stdio", {"/stdiox", "/stdio:", "/nostdiox"}, ""},
    {"/USER: sets the user", {"/USER:alice"}, "user=alice"},
    {"-user: sets the user", {"-user:alice"}, "user=alice"},
    {"/User: sets the user", {"/User:alice"}, "user=alice"},
    {"/password: sets the password", {"/Password:s3cret"}, "password=s3cret"},
    {"/a: is a short form of /password:", {"/a:s3cret"}, "password=s3cret"},
    {"/password: with nothing after it empties the password", {"/a:x", "/password:"}, ""},
    {"/workdir: sets the working directory", {"/workdir:C:\\Program Files"},
     "workdir=C:\\Program Files"},
    {"/workdir: with nothing after it clears it", {"/workdir:C:\\x", "/WORKDIR:"}, ""},
    {"a positional argument is the command line", {"cmd.exe /k dir"}, "cmd=cmd.exe /k dir"},
    {"the last positional argument wins", {"notepad.exe", "calc.exe"}, "cmd=calc.exe"},
    {"an empty argument empties the command line", {"notepad.exe", ""}, ""},
    {"an argument starting with a backslash is the command line", {"\\\\srv\\x.exe"},
     "cmd=\\\\srv\\x.exe"},
    {"a program path starting with / is taken as a switch", {"/bin/tool"}, ""},
    {"unknown switches are ignored",
     {"/verbose", "/?", "/user", "//user:alice", "/logox", "/", "-", "/nologo:", "/waitx"}, ""},
    {"only A to Z fold: an accented letter matches nothing", {"/\xc9nv"}, ""},
    {"only A to Z fold: 0x1A does not read as a colon", {"/user\x1a" "alice"}, ""},
    {"/nologox is not /nologo", {"/nologox"}, ""},
    {"/logox is not /logo", {"/nologo", "/logox"}, "nologo"},
    {"/noprofilex is not /noprofile", {"/noprofilex"}, ""},
    {"/profilex is not /profile", {"/noprofile", "/profilex"}, "logonFlags=0"},
    {"/noenvx is not /noenv", {"/env", "/noenvx"}, "env"},
    {"/environment and /envx are not /env", {"/environment", "/envx"}, ""},
    {"/nowaitx is not /nowait", {"/wait", "/nowaitx"}, "wait"},
    {"/waitx is not /wait", {"/waitx"}, ""},
    {"/nohidex is not /nohide", {"/hide", "/nohidex"}, "hide"},
    {"/hidex is not /hide", {"/hidex"}, ""},
    {"a prefix switch needs its colon", {"/workdirC:\\x", "/passwordx"}, ""},
};

const ParseCase kAccountCases[] = {
    {"domain\\user divides at the backslash", {"/user:CORP\\alice"}, "user=alice domain=CORP"},
    {"only the first backslash divides", {"/user:CORP\\sub\\alice"},
     "user=sub\\alice domain=CORP"},
    {"user@domain goes whole to the user", {"/user:alice@corp"}, "user=alice@corp"},
    {"a later user without a backslash keeps the domain", {"/user:CORP\\alice", "/user:bob"},
     "user=bob domain=CORP"},
    {"the kept domain goes with a user@domain too", {"/user:CORP\\alice", "/user:bob@corp"},
     "user=bob@corp domain=CORP"},
    {"a leading backslash empties the domain", {"/user:CORP\\alice", "/user:\\bob"}, "user=bob"},
    {"a trailing backslash empties the user", {"/user:CORP\\"}, "domain=CORP"},
    {"/user: with nothing after it empties the user", {"/user:alice", "/user:"}, ""},
    {"on 932 a second byte 0x5C does not divide", {"/user:\x95\x5c" "bob"}, "user=表bob"},
    {"on 932 a backslash after a double-byte character divides",
     {"/user:\x95\x5c\\bob"}, "user=bob domain=表"},
    {"on 932 a lone lead byte at the end ends the search", {"/user:ab\x95"}, "user=ab\xef\xbf\xbd"},
};

// Passwords from Credential Manager and standard input take their place in the order
// like /password:. The fake holds one credential, velmor/nightly.
const struct {
    const char* what;
    std::vector<std::string> arguments;
    std::string input;
    std::string expected;  // the options, or the refusal's text
} kPasswordSourceCases[] = {
    {"/credential: gives its account and password", {"/credential:velmor/nightly"}, "",
     "user=svc domain=CORP password=s3cret"},
    {"a later /user: overrides its user, its domain stays",
     {"-CREDENTIAL:velmor/nightly", "/user:bob"}, "", "user=bob domain=CORP password=s3cret"},
    {"it overrides an earlier /user:", {"/user:D\\bob", "/credential:velmor/nightly"}, "",
     "user=svc domain=CORP password=s3cret"},
    {"a later /password: overrides its password", {"/credential:velmor/nightly", "/a:x"}, "",
     "user=svc domain=CORP password=x"},
    {"a later /password-stdin overrides its password",
     {"/credential:velmor/nightly", "/password-stdin"}, "line\n",
     "user=svc domain=CORP password=line"},
    {"a missing credential is refused, even when /password: follows",
     {"/credential:velmor/other", "/password:x"}, "", kExpectedCredentialUnreadable},
    {"/password-stdin: CR LF ends the line", {"/password-stdin"}, "pw\r\nnext\r\n", "password=pw"},
    {"/password-stdin: LF ends the line", {"/password-stdin"}, "pw\nnext", "password=pw"},
    {"/password-stdin: the end of the input ends the line", {"/password-stdin"}, "pw", "password=pw"},
    {"/password-stdin: a carriage return elsewhere stays", {"/password-stdin"}, "p\rw\r", "password=p\rw\r"},
    {"/password-stdin: an empty line is an empty password", {"/a:x", "/password-stdin"}, "\n", ""},
    {"/password-stdin: no input is refused", {"/password-stdin"}, "", kExpectedInputEmpty},
    {"/password-stdin: a zero byte is refused", {"/password-stdin"}, std::string("p\0w\n", 4),
     kExpectedInputHasZeroByte},
    {"/password-stdin: a second one takes the same line again",
     {"/password-stdin", "/a:x", "/password-stdin"}, "pw\nother\n", "password=pw"},
    {"/password-stdin: 1023 units fit", {"/password-stdin"}, std::string(1023, 'p') + "\n",
     "password=" + std::string(1023, 'p')},
    {"/password-stdin: 1024 units are refused", {"/password-stdin"},
     std::string(1024, 'p') + "\n", kExpectedValueTooLong},
    {"/password-stdin: a double-byte password on 932", {"/password-stdin"}, "\x94\xe9\x96\xa7\n",
     "password=秘密"},
    {"/password-stdin: a lone lead byte is no text of 932", {"/password-stdin"}, "pw\x81\n",
     kExpectedInputNotInCodePage},
    {"/password-stdin: a UTF-8 byte-order mark is refused", {"/password-stdin"}, "\xef\xbb\xbfpw\n",
     kExpectedInputNotInCodePage},
    {"/password without its colon would run the password", {"/password", "Hunter2"}, "",
     kExpectedPasswordNeedsColon},
    {"-A without its colon", {"-A", "Hunter2", "x.exe"}, "", kExpectedPasswordNeedsColon},
    {"/password= in place of the colon", {"/password=Hunter2"}, "", kExpectedPasswordNeedsColon},
    {"/a= in place of the colon, after a good password", {"/a:pw", "/A=Hunter2"}, "",
     kExpectedPasswordNeedsColon},
    {"/passwordx stays an ignored switch", {"/passwordx", "/ax"}, "", ""},
};

// The fake reads input where it stands: it must outlive the walk.
void SetFakePasswordSources(const std::string& input) {
    ResetFakePlatform();
    Fake().credentialTarget = u"velmor/nightly";
    Fake().credentialUser = u"CORP\\svc";
    Fake().credentialPassword = u"s3cret";
    Fake().standardInput = input.data();
    Fake().standardInputLength = input.size();
}

TEST(ParseArguments, TakesPasswordsFromCredentialManagerAndStandardInput) {
    for (const auto& test : kPasswordSourceCases) {
        SetFakePasswordSources(test.input);
        ParseOutcome outcome = ParseOnFake(test.arguments);
        EXPECT_EQ(outcome.fits ? outcome.options : ExpectedText(outcome.refusal),
                  test.expected) << test.what;
    }
}

TEST(ParseArguments, RefusesWhatCredentialManagerOrAConsoleCannotGive) {
    const struct {
        const char* what;
        CredentialResult credential;
        const WideChar* user;
        HandleKind input;  // what standard input is, when it is not a console
        bool console;
        std::vector<std::string> arguments;
        std::string expected;
    } cases[] = {
        {"a credential without a user name gives the password only", CredentialRead, nullptr,
         HandlePipe, false, {"/user:bob", "/credential:velmor/nightly"},
         "user=bob password=s3cret"},
        {"a credential's account divides at its first backslash, as /user: does",
         CredentialRead, u"CORP\\sub\\svc", HandlePipe, false, {"/credential:velmor/nightly"},
         "user=sub\\svc domain=CORP password=s3cret"},
        {"a blob of no whole UTF-16 units", CredentialNotText, u"u", HandlePipe, false,
         {"/credential:velmor/nightly"}, kExpectedCredentialNotText},
        {"a password too long for its field", CredentialTooLong, u"u", HandlePipe, false,
         {"/credential:velmor/nightly"}, kExpectedValueTooLong},
        {"standard input a console: Velmor never prompts", CredentialRead, u"u", HandlePipe, true,
         {"/password-stdin"}, kExpectedInputIsConsole},
        {"/stdio would share the file that held the password's line", CredentialRead, u"u",
         HandleDiskFile, false, {"/password-stdin", "/stdio"}, kExpectedInputFileWithStdio},
        {"a later /password: leaves that line in the file all the same", CredentialRead, u"u",
         HandleDiskFile, false, {"-STDIO", "/password-stdin", "/a:x"}, kExpectedInputFileWithStdio},
        {"/stdio with a pipe gives the program only what follows the line", CredentialRead, u"u",
         HandlePipe, false, {"/password-stdin", "/stdio"}, "stdio password=pw"},
        {"a file without /stdio stays Velmor's alone", CredentialRead, u"u", HandleDiskFile,
         false, {"/password-stdin"}, "password=pw"},
    };
    const std::string input = "pw\n";
    for (const auto& test : cases) {
        SetFakePasswordSources(input);
        Fake().credentialResult = test.credential;
        Fake().credentialUser = test.user;
        Fake().standardInputIsConsole = test.console;
        Fake().standardHandleKinds[0] = test.input;
        ParseOutcome outcome = ParseOnFake(test.arguments);
        EXPECT_EQ(outcome.fits ? outcome.options : ExpectedText(outcome.refusal),
                  test.expected) << test.what;
    }
}

TEST(ParseArguments, WipesTheLineOfStandardInputOnceTheWalkIsDone) {
    const std::string input = "Hunter2Secret\n";
    SetFakePasswordSources(input);
    Fake().secret = "Hunter2Secret";
    ParseOnFake({"/password-stdin"});
    int secretWipes = 0;
    for (int i = 0; i < Fake().callCount; ++i) {
        secretWipes += Fake().calls[i].kind == FakeWipe && Fake().calls[i].heldSecret;
    }
    EXPECT_EQ(secretWipes, 1);
}

// Decimal digits alone, from 1 to 4294967, or the command line is refused, whatever comes
// later: the first refusal stands.
TEST(ParseArguments, RefusesATimeLimitThatIsNoNumberOfSeconds) {
    const struct {
        const char* what;
        std::vector<std::string> arguments;
    } cases[] = {
        {"nothing after the colon", {"/timeout:"}},
        {"0", {"/timeout:0"}},
        {"a sign", {"/timeout:+5"}},
        {"a blank", {"/timeout: 5"}},
        {"a unit", {"/timeout:5s"}},
        {"fullwidth digits", {"/timeout:\x82\x54"}},
        {"one past the largest", {"/timeout:4294968"}},
        {"past 32 bits", {"/timeout:4294967296"}},
        {"past 32 bits by 5, which a wrapping count reads as 5", {"/timeout:4294967301"}},
        {"twice past 32 bits by 5", {"/timeout:8589934597"}},
        {"a later good value does not undo it", {"/timeout:0", "/timeout:5"}},
        {"no colon, the seconds apart", {"/timeout", "60", "x.exe"}},
        {"'=' in place of the colon", {"-TIMEOUT=60"}},
    };
    for (const auto& test : cases) {
        ParseOutcome outcome = Parse(test.arguments);
        EXPECT_EQ(outcome.fits ? outcome.options : ExpectedText(outcome.refusal),
                  kExpectedTimeLimitInvalid) << test.what;
    }
    ParseOutcome outcome = Parse({"/timeout:x", "/user:" + std::string(1024, 'u')});
    EXPECT_EQ(ExpectedText(outcome.refusal), std::string(kExpectedTimeLimitInvalid))
        << "a later value too long";
}

TEST(ParseArguments, AppliesTheSwitchTableInOrder) {
    for (const ParseCase& test : kSwitchCases) {
        ParseOutcome outcome = Parse(test.arguments);
        EXPECT_TRUE(outcome.fits) << test.what;
        EXPECT_EQ(outcome.options, test.expected) << test.what;
    }
}

TEST(ParseArguments, DividesTheAccountIntoDomainAndUser) {
    for (const ParseCase& test : kAccountCases) {
        ParseOutcome outcome = Parse(test.arguments);
        EXPECT_TRUE(outcome.fits) << test.what;
        EXPECT_EQ(outcome.options, test.expected) << test.what;
    }
}

// The bytes after the terminator hold a backslash: a search that stepped over the zero
// with the lead byte would find it and divide the account.
TEST(ParseArguments, ALoneLeadByteNeverCarriesTheSearchPastTheEnd) {
    ResetFakePlatform();
    LeadBytes leadBytes = LeadBytesOf(932);
    const char buffer[] = "/user:ab\x95\0\\bob";
    const char* argv[] = {"velmor.exe", buffer};
    auto options = std::make_unique<LaunchOptions>();
    SetDefaultOptions(options.get());
    MessageId refusal = MsgUserRequired;
    EXPECT_TRUE(ParseArguments(2, argv, leadBytes, options.get(), &refusal));
    EXPECT_EQ(Describe(*options), "user=ab\xef\xbf\xbd");
}

TEST(ParseArguments, OnASingleBytePageThe0x5CByteDivides) {
    ParseOutcome outcome = Parse({"/user:\x95\x5c" "bob"}, 1252);
    EXPECT_EQ(outcome.options, "user=bob domain=•");
}

// 1023 units fit a field, 1024 do not; the value is refused, never shortened.
TEST(ParseArguments, RefusesEveryValueThatDoesNotFitItsField) {
    const std::string fits(1023, 'v');
    const std::string tooLong(1024, 'v');
    const struct {
        const char* what;
        std::string prefix;
    } fields[] = {
        {"user", "/user:"},         {"user after a domain", "/user:CORP\\"},
        {"password", "/password:"}, {"short password", "/a:"},
        {"working directory", "/workdir:"}, {"command line", ""},
    };
    for (const auto& field : fields) {
        EXPECT_TRUE(Parse({field.prefix + fits}).fits) << field.what;
        ParseOutcome refused = Parse({field.prefix + tooLong});
        EXPECT_FALSE(refused.fits) << field.what;
        EXPECT_EQ(refused.options.find(tooLong.substr(0, 1000)), std::string::npos) << field.what;
    }
    EXPECT_TRUE(Parse({"/user:" + fits + "\\bob"}).fits) << "domain";
    EXPECT_FALSE(Parse({"/user:" + tooLong + "\\bob"}).fits) << "domain";
    for (size_t bytes : {4095, 4096, 5000}) {
        EXPECT_FALSE(Parse({"/user:" + std::string(bytes, 'd') + "\\bob"}).fits)
            << "a domain of " << bytes << " bytes, longer than any field could hold";
    }
}

TEST(ParseArguments, KeepsWalkingAfterARefusedValue) {
    ParseOutcome outcome = Parse({"/user:" + std::string(2000, 'u'), "/nologo", "/wait"});
    EXPECT_FALSE(outcome.fits);
    EXPECT_EQ(outcome.options, "nologo wait");
}

TEST(ToWide, FillsAFieldUpTo1023UnitsOnEveryPage) {
    const struct {
        const char* what;
        int codePage;
        std::string character;  // one UTF-16 unit on its page
    } pages[] = {
        {"single-byte", 1252, "a"},
        {"double-byte 932", 932, "\x95\x5c"},
        {"double-byte 936", 936, "\xb1\xed"},
        {"UTF-8, which refuses MB_PRECOMPOSED", 65001, "\xe8\xa1\xa8"},
    };
    for (const auto& page : pages) {
        ResetFakePlatform();
        Fake().codePage = page.codePage;
        std::string text;
        for (int i = 0; i < 1023; ++i) text += page.character;
        auto field = std::make_unique<WideText>();
        EXPECT_TRUE(ToWide(text.c_str(), field.get())) << page.what;
        EXPECT_EQ(Text(*field).size(), 1023u) << page.what;
        text += page.character;
        EXPECT_FALSE(ToWide(text.c_str(), field.get())) << page.what;
        EXPECT_EQ(Text(*field), u"") << page.what;
    }
}

TEST(ToWide, ConvertsThroughTheAnsiCodePage) {
    const struct {
        int codePage;
        const char* bytes;
        std::u16string expected;
    } cases[] = {
        {932, "\x95\x5c\x8e\xa6", u"表示"},
        {65001, "\xe8\xa1\xa8\xe7\xa4\xba", u"表示"},
        {1252, "\x95\x5c", u"\u2022\\"},
        {932, "", u""},
        {949, "\xfc\xa2\xe8", u"\u79BE\uFFFD"},  // a lead byte alone at the end is replaced
    };
    for (const auto& test : cases) {
        ResetFakePlatform();
        Fake().codePage = test.codePage;
        WideText field;
        EXPECT_TRUE(ToWide(test.bytes, &field)) << test.codePage;
        EXPECT_EQ(Text(field), test.expected) << test.codePage;
    }
}

TEST(ToWide, AConversionThePlatformRefusesLeavesAnEmptyField) {
    ResetFakePlatform();
    Fake().refuseConversions = true;
    WideText field;
    field.units[0] = u'x';
    EXPECT_TRUE(ToWide("alice", &field));
    EXPECT_EQ(Text(field), u"");
}

}  // namespace
