// The split of a raw process command line into arguments.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "cli/split.h"
#include "split_cases.h"
#include "test_support.h"

namespace {

std::vector<std::string> Split(const std::string& line, int codePage, bool* fits) {
    ResetFakePlatform();
    LeadBytes leadBytes = LeadBytesOf(codePage);
    auto args = std::make_unique<ArgumentVector>();
    *fits = SplitCommandLine(line.c_str(), leadBytes, args.get());
    return std::vector<std::string>(args->items, args->items + args->count);
}

TEST(SplitCommandLine, FollowsTheQuotingRules) {
    for (const SplitCase& test : kSplitCases) {
        bool fits = false;
        EXPECT_EQ(Split(test.line, test.codePage, &fits), test.expected) << test.what;
        EXPECT_TRUE(fits) << test.what;
    }
}

// After the terminator stands another argument: a split that stepped over the zero
// with the lead byte would find it.
TEST(SplitCommandLine, ALoneLeadByteNeverCarriesTheSplitPastTheEnd) {
    ResetFakePlatform();
    LeadBytes leadBytes = LeadBytesOf(932);
    const char line[] = "v ab\x95\0 x";
    auto args = std::make_unique<ArgumentVector>();
    EXPECT_TRUE(SplitCommandLine(line, leadBytes, args.get()));
    EXPECT_EQ(std::vector<std::string>(args->items, args->items + args->count),
              (std::vector<std::string>{"v", "ab\x95"}));
}

// The command line as the system hands it over, in UTF-16, read through the ANSI page.
std::vector<std::string> ReadLine(const std::u16string& line, int codePage) {
    ResetFakePlatform();
    LeadBytes leadBytes = LeadBytesOf(codePage);
    std::string ansi(kArgumentBytesCapacity, '\0');
    auto args = std::make_unique<ArgumentVector>();
    EXPECT_TRUE(ToAnsiCommandLine(line.c_str(), &ansi[0], kArgumentBytesCapacity));
    EXPECT_TRUE(SplitCommandLine(ansi.c_str(), leadBytes, args.get()));
    return std::vector<std::string>(args->items, args->items + args->count);
}

// A character the page lacks becomes '?', never the look-alike that best fit would
// give: quotes, backslashes and switch characters come only from the caller's own.
const struct {
    const char* what;
    int codePage;
    std::u16string line;
    std::vector<std::string> expected;
} kReadCases[] = {
    {"on 1252 fullwidth quotes do not close and reopen the quoted program", 1252,
     u"v /a:pw \"backup.exe \uFF02 \uFF02evil.exe\"", {"v", "/a:pw", "backup.exe ? ?evil.exe"}},
    {"on 1252 a fullwidth backslash does not escape the closing quote", 1252,
     u"v \"C:\\dir\uFF3C\" x.exe", {"v", "C:\\dir?", "x.exe"}},
    {"on 1252 slash and hyphen look-alikes make no switch", 1252,
     u"v \uFF0Fuser:a \u2215nologo \u2010wait", {"v", "?user:a", "?nologo", "?wait"}},
    {"on 1252 a character the page has keeps its byte", 1252, u"v caf\u00E9", {"v", "caf\xe9"}},
    {"on 1252 each half of a surrogate pair becomes '?'", 1252, u"v \U0001F600", {"v", "??"}},
    {"on 932 a yen sign does not escape the quote, a soft hyphen makes no switch", 932,
     u"v \"backup.exe \u00A5\" \u00ADworkdir:C:\\evil run.exe",
     {"v", "backup.exe ?", "?workdir:C:\\evil", "run.exe"}},
    {"on 932 the page's own fullwidth backslash keeps its two bytes", 932, u"v \"\uFF3C\" \u8868",
     {"v", "\x81\x5f", "\x95\x5c"}},
    {"on 65001 every character converts, a lone surrogate to U+FFFD", 65001,
     u"v \uFF02\u00A5 a\xD800" u"b", {"v", "\xef\xbc\x82\xc2\xa5", "a\xef\xbf\xbd" "b"}},
};

TEST(ToAnsiCommandLine, NeverTurnsACharacterIntoSyntax) {
    for (const auto& test : kReadCases) {
        EXPECT_EQ(ReadLine(test.line, test.codePage), test.expected) << test.what;
    }
}

// Each value becomes '*' unit for unit; the quotes that group it stay, and the rest of
// the line is untouched, a user name equal to the password included.
const struct {
    const char* what;
    std::u16string line, scrubbed;
} kScrubCases[] = {
    {"/password: and /a:", u"v /user:a /password:secret /a:pw x", u"v /user:a /password:****** /a:** x"},
    {"a quoted value with spaces", u"v /password:\"p w\" \"/a:p w\" x",
     u"v /password:\"***\" \"/a:***\" x"},
    {"an escaped quote inside the value", u"v /password:\"a\\\"b\" x", u"v /password:\"****\" x"},
    {"a doubled quote and backslashes before the closing quote", u"v \"-a:a\"\"b\\\\\" x",
     u"v \"-a:******\" x"},
    {"a double-byte password", u"v /password:\u79D8\u5BC6 x", u"v /password:** x"},
    {"a password equal to the user name", u"v /user:alice /PASSWORD:alice x",
     u"v /user:alice /PASSWORD:***** x"},
    {"an empty value", u"v /password: /a:\"\" x", u"v /password: /a:\"\" x"},
    {"a password switch after the program", u"v /user:a x.exe /a:pw", u"v /user:a x.exe /a:**"},
    {"names that are no password switch, and the time limit's own value",
     u"v /apw /a /passwordstdin:pw /timeout:60", u"v /apw /a /passwordstdin:pw /timeout:60"},
    {"look-alikes: two edits, short forms, '=', full-width and look-alike characters",
     u"v /passwordx:pw /pass\u00A0word:pw /PWD=pw /pass:pw /password\uFF1Apw \uFF0Fa:pw "
     u"\u2010pw:pw /timeout\uFF1A60 /t\uFF49meout:60",
     u"v /passwordx:** /pass\u00A0word:** /PWD=** /pass:** /password\uFF1A** \uFF0Fa:** "
     u"\u2010pw:** /timeout\uFF1A** /t\uFF49meout:**"},
    {"the program's own name is no switch", u"/a:pw /a:pw", u"/a:pw /a:**"},
    {"without '/' or '-' a name is no switch", u"v xa:pw rpassword:pw", u"v xa:pw rpassword:pw"},
    {"units whose low byte is '/' or '-' make no switch", u"v \u012Fa:pw \u012Dpassword:pw",
     u"v \u012Fa:pw \u012Dpassword:pw"},
};

TEST(ScrubPasswords, OverwritesEveryPasswordValueAndNothingElse) {
    for (const auto& test : kScrubCases) {
        std::u16string line = test.line;
        ScrubPasswords(&line[0]);
        EXPECT_EQ(line, test.scrubbed) << test.what;
    }
}

TEST(SplitCommandLine, TheLongestSystemCommandLineFits) {
    // 32767 units of single-byte arguments, and of three-byte UTF-8 characters.
    std::string manyArguments = "v";
    while (manyArguments.size() + 2 <= 32767) manyArguments += " a";
    std::string wideCharacters = "v ";
    while (wideCharacters.size() < 3 * 32766) wideCharacters += "\xe3\x81\x82";
    bool fits = false;
    EXPECT_EQ(Split(manyArguments, 1252, &fits).size(), 16384u);
    EXPECT_TRUE(fits);
    EXPECT_EQ(Split(wideCharacters, 65001, &fits).size(), 2u);
    EXPECT_TRUE(fits);
}

TEST(SplitCommandLine, ALineTooLongIsRefusedWithOnlyWholeArgumentsKept) {
    bool fits = true;
    std::vector<std::string> args =
        Split("v /nologo " + std::string(kArgumentBytesCapacity, 'x'), 1252, &fits);
    EXPECT_FALSE(fits);
    EXPECT_EQ(args, (std::vector<std::string>{"v", "/nologo"}));

    std::string tooManyArguments = "v";
    for (int i = 0; i < kArgumentsCapacity; ++i) tooManyArguments += " a";
    args = Split(tooManyArguments, 1252, &fits);
    EXPECT_FALSE(fits);
    EXPECT_EQ(args.size(), static_cast<size_t>(kArgumentsCapacity));
}

}  // namespace
