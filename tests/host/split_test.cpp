// The split of a raw process command line into arguments.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "cli/split.h"
#include "test_support.h"

namespace {

struct SplitCase {
    const char* what;
    int codePage;
    std::string line;
    std::vector<std::string> expected;
};

std::vector<std::string> Split(const std::string& line, int codePage, bool* fits) {
    ResetFakePlatform();
    LeadBytes leadBytes = LeadBytesOf(codePage);
    auto args = std::make_unique<ArgumentVector>();
    *fits = SplitCommandLine(line.c_str(), leadBytes, args.get());
    return std::vector<std::string>(args->items, args->items + args->count);
}

// 0x95 0x5C is one character on code page 932 and two (a byte and a backslash) on 1252.
const std::string kHyo = "\x95\x5c";
// 0x83 0x22 is not a valid pair but still starts with a lead byte on 932.
const std::string kLeadThenQuote = "\x83\x22";

const SplitCase kSplitCases[] = {
    {"a plain line splits at spaces", 1252, "v a b c", {"v", "a", "b", "c"}},
    {"runs of spaces and tabs are one separator", 1252, "v \t a\t\t b  ", {"v", "a", "b"}},
    {"a line of only the program has one element", 1252, "v", {"v"}},
    {"quotes group spaces and are removed", 1252, "v \"a b\" c", {"v", "a b", "c"}},
    {"a quoted stretch may start mid-argument", 1252, "v a\"b c\"d", {"v", "ab cd"}},
    {"an unclosed quote runs to the end", 1252, "v \"a b", {"v", "a b"}},
    {"an empty pair of quotes is an empty argument", 1252, "v \"\" x", {"v", "", "x"}},
    {"a doubled quote inside a stretch is literal and keeps it open", 1252,
     "v \"a\"\"b c\"", {"v", "a\"b c"}},
    {"a doubled quote at the end of a stretch", 1252, "v \"abc\"\"\"", {"v", "abc\""}},
    {"a doubled quote outside a stretch opens and closes one", 1252, "v a\"\"b", {"v", "ab"}},
    {"backslashes not before a quote stand as they are", 1252, "v C:\\a\\\\b\\",
     {"v", "C:\\a\\\\b\\"}},
    {"one backslash before a quote makes it literal", 1252, "v a\\\"b", {"v", "a\"b"}},
    {"two backslashes before a quote give one, and the quote groups", 1252,
     "v \"a\\\\\" b", {"v", "a\\", "b"}},
    {"three backslashes before a quote give one and a literal quote", 1252,
     "v a\\\\\\\"b", {"v", "a\\\"b"}},
    {"escaped inner quotes in a quoted command line", 1252,
     "v \"cmd /c \\\"C:\\Program Files\\x.exe\\\"\"", {"v", "cmd /c \"C:\\Program Files\\x.exe\""}},
    {"element 0 takes quotes as grouping only, with no backslash rule", 1252,
     "\"C:\\my dir\\v.exe\\\" /x", {"C:\\my dir\\v.exe\\", "/x"}},
    {"element 0 ends at the first separator outside quotes", 1252, "C:\\v.exe\t/nologo",
     {"C:\\v.exe", "/nologo"}},
    {"a line that starts with a space has an empty element 0", 1252, " a", {"", "a"}},
    {"on 1252 the byte 0x5C after 0x95 is a backslash before a quote", 1252,
     "v \"" + kHyo + "\" b", {"v", "\x95\" b"}},
    {"on 932 a double-byte character's 0x5C is not a backslash", 932,
     "v \"" + kHyo + "\" b", {"v", kHyo, "b"}},
    {"on 932 a second byte that looks like a quote does not quote", 932,
     "v a" + kLeadThenQuote + "b c", {"v", "a" + kLeadThenQuote + "b", "c"}},
    {"on 932 a second byte 0x20 does not separate", 932, "v \x81\x20x y",
     {"v", "\x81\x20x", "y"}},
    {"on 932 a lone lead byte at the end of the line is kept", 932, "v ab\x95",
     {"v", "ab\x95"}},
    {"on 932 a double-byte character in element 0 is taken whole", 932,
     "\"" + kHyo + "\" x", {kHyo, "x"}},
    {"on 65001 every byte is a character of its own", 65001, "v \"\xe8\xa1\xa8\" b",
     {"v", "\xe8\xa1\xa8", "b"}},
    {"on 936 a lead byte guards its second byte too", 936, "v \"\x81\x5c\" b",
     {"v", "\x81\x5c", "b"}},
};

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
    {"names that are no password switch", u"v /apw /passwordx:pw /a /pass\u00A0word:pw",
     u"v /apw /passwordx:pw /a /pass\u00A0word:pw"},
    {"the program's own name is no switch", u"/a:pw /a:pw", u"/a:pw /a:**"},
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
