// Fuzz target: arbitrary UTF-16, lone surrogates included, as the process command line,
// through the conversion, the split, the walk and the scrub, on every emulated code page.
// Byte 0 picks the code page, byte 1 how the fake platform answers; the rest, read as
// little-endian units up to the first zero unit, is the line. Checks, besides the whole
// run's invariants, that the converted line splits into the conversions of the
// arguments that the same rules find in the UTF-16 line, that the scrubbed line keeps
// every argument but holds no unit of any password value, and that a console title that
// repeats the line after one of a few prefixes (bits 5 to 7 of byte 1) has every unit
// starred that the line has.
#include <stddef.h>
#include <stdint.h>

#include <algorithm>
#include <string>

#include "cli/entry.h"
#include "cli/split.h"
#include "fuzz_support.h"

namespace {

// The vectors below are kept from one input to the next: each split sets what it uses,
// and a large one made and zeroed for every input would cost most of the target's time.

bool IsHigh(WideChar unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLow(WideChar unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// A lone surrogate is no character: the line's conversion makes it the page's default,
// or U+FFFD on UTF-8, whatever the split later removes around it. The reference reads it
// as that, so that two lone halves on either side of a quote are not taken for a pair.
std::u16string WithLoneSurrogatesReplaced(const std::u16string& line) {
    std::u16string out = line;
    for (size_t i = 0; i < out.size(); ++i) {
        bool pairs = IsHigh(line[i]) && i + 1 < line.size() && IsLow(line[i + 1]);
        if (pairs) {
            ++i;
        } else if (IsHigh(line[i]) || IsLow(line[i])) {
            out[i] = Fake().codePage == 65001 ? u'\uFFFD' : u'?';
        }
    }
    return out;
}

// No page spends more than three bytes on a unit, so a buffer sized to the text always
// holds it: one sized to the longest line, zeroed for every argument, would cost the
// target most of its time.
std::string Converted(const WideChar* text) {
    size_t units = std::char_traits<char16_t>::length(text);
    std::string out(3 * units + 1, '\0');
    FUZZ_CHECK(ToAnsiCommandLine(text, &out[0], static_cast<int>(out.size())));
    return std::string(out.c_str());
}

void CheckArgumentsAreTheUnitSplitConverted(const std::u16string& line) {
    LeadBytes leadBytes;
    PlatformReadLeadBytes(&leadBytes);
    std::string ansi = Converted(line.c_str());
    static ArgumentVector bytes;
    FUZZ_CHECK(SplitCommandLine(ansi.c_str(), leadBytes, &bytes));

    std::u16string reference = WithLoneSurrogatesReplaced(line);
    static WideArgumentVector units;
    FUZZ_CHECK(SplitWideCommandLine(reference.c_str(), &units));
    FUZZ_CHECK(bytes.count == units.count);
    for (int i = 0; i < units.count; ++i) {
        FUZZ_CHECK(Converted(units.items[i]) == bytes.items[i]);
    }
}

// Where a password switch's value begins in an argument, or -1 when it is none.
int PasswordValueStart(const WideChar* argument) {
    char head[16] = {0};
    for (int i = 0; i < 15 && argument[i] != 0; ++i) {
        head[i] = argument[i] < 0x80 ? static_cast<char>(argument[i]) : '?';
        if (IsPasswordSwitchName(head)) return i + 1;
    }
    return -1;
}

void CheckScrubbed(const std::u16string& line, const WideChar* scrubbed) {
    for (size_t i = 0; i < line.size(); ++i) {
        FUZZ_CHECK(scrubbed[i] == line[i] || scrubbed[i] == u'*');
    }
    FUZZ_CHECK(scrubbed[line.size()] == 0);

    static WideArgumentVector before;
    static WideArgumentVector after;
    SplitWideCommandLine(line.c_str(), &before);
    SplitWideCommandLine(scrubbed, &after);
    FUZZ_CHECK(before.count == after.count);
    for (int i = 0; i < before.count; ++i) {
        std::u16string was = before.items[i], is = after.items[i];
        int valueStart = i == 0 ? -1 : PasswordValueStart(before.items[i]);
        if (valueStart < 0) {
            // Unchanged, or a look-alike's value starred to its end.
            size_t starred = is.find(u'*');
            while (starred < was.size() && was[starred] == u'*') starred = is.find(u'*', starred + 1);
            FUZZ_CHECK(is.compare(0, starred, was, 0, starred) == 0);
            FUZZ_CHECK(starred == std::u16string::npos ||
                       is.find_first_not_of(u'*', starred) == std::u16string::npos);
            continue;
        }
        size_t start = static_cast<size_t>(valueStart);
        FUZZ_CHECK(is.compare(0, start, was, 0, start) == 0);
        FUZZ_CHECK((is.size() == start) == (was.size() == start));
        FUZZ_CHECK(is.find_first_not_of(u'*', start) == std::u16string::npos);
    }
}

// What stands before the command in a console title: cmd's prefixes, and a window's own
// name with a quote it opens or escapes.
const char16_t* const kTitlePrefixes[] = {
    u"", u"Command Prompt - ", u"Ops \"night - ", u"Administrator: \"Build - ",
    u"Build\\\" shell - ", u"\"", u"\\", u"a\"\"b - ",
};

// Every unit that the run starred in the line is starred where the title repeats it,
// and the title holds nothing else but its own units.
void CheckTitleScrubbed(const std::u16string& title, size_t lineStart, const std::u16string& line,
                        const WideChar* scrubbed) {
    const WideChar* after = Fake().consoleTitle;
    FUZZ_CHECK(after[title.size()] == 0);
    for (size_t i = 0; i < title.size(); ++i) FUZZ_CHECK(after[i] == title[i] || after[i] == u'*');
    for (size_t i = 0; i < line.size(); ++i) {
        if (scrubbed[i] == u'*' && line[i] != u'*') FUZZ_CHECK(after[lineStart + i] == u'*');
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    ResetFakeForInput(data);
    std::u16string line;
    for (size_t i = 2; i + 1 < size && line.size() < kWideLineCapacity - 1; i += 2) {
        WideChar unit = static_cast<WideChar>(data[i] | data[i + 1] << 8);
        if (unit == 0) break;
        line += unit;
    }
    CheckArgumentsAreTheUnitSplitConverted(line);

    FakeSetCommandLine(line.c_str());
    std::u16string title = std::u16string(kTitlePrefixes[data[1] >> 5]) + line;
    Fake().hasConsole = true;
    std::copy(title.begin(), title.end(), Fake().consoleTitle);
    CheckWholeRun(RunVelmor(Fake().commandLine));
    CheckScrubbed(line, Fake().commandLine);
    if (!title.empty()) {
        CheckTitleScrubbed(title, title.size() - line.size(), line, Fake().commandLine);
    }
    return 0;
}
