// Raw command lines, as bytes of their code page, and the arguments they split into: one
// table for two suites. The host tests run every row against the split; the Wine suite
// (tests/wine/support.py reads this file) runs every row whose line is valid text in its
// code page through velmor.exe's own reading of its command line. Plain literals only,
// non-ASCII bytes as \x escapes, so that both can read them.
#pragma once

#include <string>
#include <vector>

struct SplitCase {
    const char* what;
    int codePage;
    const char* line;
    std::vector<std::string> expected;
};

// 0x95 0x5C (hyo) is one character on code page 932, a byte and a backslash on 1252.
const SplitCase kSplitCases[] = {
    {"a plain line splits at spaces", 1252, "v a b c", {"v", "a", "b", "c"}},
    {"runs of spaces and tabs are one separator", 1252, "v \t a\t\t b  ", {"v", "a", "b"}},
    {"a line of only the program has one element", 1252, "v", {"v"}},
    {"quotes group spaces and are removed", 1252, "v \"a b\" c", {"v", "a b", "c"}},
    {"a quoted stretch may start mid-argument", 1252, "v a\"b c\"d", {"v", "ab cd"}},
    {"quotes may open inside a switch", 1252, "v /user:\"CORP\\alice\" /a:\"p w\"",
     {"v", "/user:CORP\\alice", "/a:p w"}},
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
     "v \"\x95\x5c\" b", {"v", "\x95\" b"}},
    {"on 932 a double-byte character's 0x5C is not a backslash", 932, "v \"\x95\x5c\" b",
     {"v", "\x95\x5c", "b"}},
    {"on 932 the last lead byte of a range guards its 0x5C too", 932, "v \"\x9f\x5c\" b",
     {"v", "\x9f\x5c", "b"}},
    {"on 932 a second byte that looks like a quote does not quote", 932, "v a\x83\x22" "b c",
     {"v", "a\x83\x22" "b", "c"}},
    {"on 932 a second byte 0x20 does not separate", 932, "v \x81\x20x y",
     {"v", "\x81\x20x", "y"}},
    {"on 932 a lone lead byte at the end of the line is kept", 932, "v ab\x95",
     {"v", "ab\x95"}},
    {"on 932 a double-byte character in element 0 is taken whole", 932, "\"\x95\x5c\" x",
     {"\x95\x5c", "x"}},
    {"on 932 element 0 keeps a quote that is the second byte of its character", 932,
     "\x83\" a", {"\x83\"", "a"}},
    {"on 65001 every byte is a character of its own", 65001, "v \"\xe8\xa1\xa8\" b",
     {"v", "\xe8\xa1\xa8", "b"}},
    {"on 936 a lead byte guards its second byte too", 936, "v \"\x81\x5c\" b",
     {"v", "\x81\x5c", "b"}},
};
