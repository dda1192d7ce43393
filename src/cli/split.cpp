// The argument split, a pure function of the line's units and, for a byte line, the
// code page's lead bytes. The rules, which the usage text relies on when it tells users
// how to quote:
//  1. Space and tab separate arguments outside a quoted stretch; runs of them are
//     skipped. An argument also ends at the end of the line.
//  2. 2n backslashes then a double quote give n backslashes, and the quote is then
//     taken by rule 3; 2n+1 backslashes then a quote give n backslashes and a literal
//     quote. Backslashes not followed by a quote stand as they are.
//  3. Any other double quote: inside a quoted stretch, a doubled one gives one literal
//     quote and the stretch stays open; otherwise it opens or closes a stretch.
//  4. A lead byte and the byte after it are one character, so that second byte is
//     never a separator, a backslash or a quote.
//  5. Element 0, the command's own name, takes quotes as grouping only.
// One walk applies them to bytes and to UTF-16 units alike. It hands each unit that an
// argument gets to a sink, with the stretch of the line that the unit came from.
#include "cli/split.h"

#include "cli/options.h"

namespace {

bool IsLead(const LeadBytes* leadBytes, char c) {
    return leadBytes != nullptr && leadBytes->isLead[static_cast<unsigned char>(c)];
}

bool IsLead(const LeadBytes* /*leadBytes*/, WideChar /*unit*/) {
    return false;
}

template <typename Unit>
bool IsSeparator(Unit c) {
    return c == Unit(' ') || c == Unit('\t');
}

// One character, a lead byte with its second byte or a single unit; a lone lead byte at
// the very end stands alone.
template <typename Unit, typename Sink>
const Unit* WalkCharacter(const Unit* p, const LeadBytes* leadBytes, Sink* sink) {
    const Unit* end = p + ((IsLead(leadBytes, *p) && p[1] != 0) ? 2 : 1);
    for (const Unit* unit = p; unit < end; ++unit) sink->Give(*unit, p, end);
    return end;
}

template <typename Unit, typename Sink>
const Unit* WalkProgramName(const Unit* p, const LeadBytes* leadBytes, Sink* sink) {
    bool quoted = false;
    sink->Begin();
    while (*p != 0 && (quoted || !IsSeparator(*p))) {
        if (*p == Unit('"')) {
            quoted = !quoted;
            ++p;
        } else {
            p = WalkCharacter(p, leadBytes, sink);
        }
    }
    sink->End();
    return p;
}

// Rule 2: a run of backslashes, and the quote after it when the run makes it literal.
template <typename Unit, typename Sink>
const Unit* WalkBackslashes(const Unit* p, Sink* sink) {
    int run = 0;
    while (p[run] == Unit('\\')) ++run;
    if (p[run] != Unit('"')) {
        for (int i = 0; i < run; ++i) sink->Give(Unit('\\'), p + i, p + i + 1);
        return p + run;
    }
    bool literalQuote = run % 2 == 1;
    const Unit* end = p + run + (literalQuote ? 1 : 0);  // an even run leaves its quote
    for (int i = 0; i < run / 2; ++i) sink->Give(Unit('\\'), p, end);
    if (literalQuote) sink->Give(Unit('"'), p, end);
    return end;
}

template <typename Unit, typename Sink>
const Unit* WalkArgument(const Unit* p, const LeadBytes* leadBytes, Sink* sink) {
    bool quoted = false;
    sink->Begin();
    while (*p != 0 && (quoted || !IsSeparator(*p))) {
        if (*p == Unit('\\')) {
            p = WalkBackslashes(p, sink);
        } else if (*p == Unit('"') && quoted && p[1] == Unit('"')) {
            sink->Give(Unit('"'), p, p + 2);
            p += 2;
        } else if (*p == Unit('"')) {
            quoted = !quoted;
            ++p;
        } else {
            p = WalkCharacter(p, leadBytes, sink);
        }
    }
    sink->End();
    return p;
}

template <typename Unit, typename Sink>
void WalkLine(const Unit* line, const LeadBytes* leadBytes, Sink* sink) {
    const Unit* p = WalkProgramName(line, leadBytes, sink);
    while (!sink->Stopped()) {
        while (IsSeparator(*p)) ++p;
        if (*p == 0) break;
        p = WalkArgument(p, leadBytes, sink);
    }
}

// Writes the arguments into a vector's fixed buffers; only a whole, terminated argument
// joins the vector, and the walk stops at the first that does not fit.
template <typename Unit>
struct ArgumentWriter {
    Unit* units;
    int capacity;
    const Unit** items;
    int* count;
    int used;   // units taken, the current argument's included
    int start;  // where the current argument begins
    bool overflowed;

    void Put(Unit unit) {
        if (used < capacity) {
            units[used++] = unit;
        } else {
            overflowed = true;
        }
    }
    void Begin() { start = used; }
    void Give(Unit unit, const Unit* /*from*/, const Unit* /*to*/) { Put(unit); }
    void End() {
        Put(0);
        if (*count == kArgumentsCapacity) overflowed = true;
        if (!overflowed) items[(*count)++] = units + start;
    }
    bool Stopped() const { return overflowed; }
};

// Long enough for the introducer and the longest switch name that sets the password.
const int kSwitchHeadCapacity = 16;

// Follows the first units of an argument until they are the name of a switch that sets
// the password; what comes after is its value. A switch's name is made of single ASCII
// units, so the value begins with a unit of its own, never inside a stretch that gave
// part of the name.
struct PasswordSwitchHead {
    int argument;  // the argument being walked; 0 is the command's own name
    char text[kSwitchHeadCapacity];
    int length;
    bool inValue;

    void Begin() {
        ++argument;
        length = 0;
        inValue = false;
    }
    // Takes a unit that is not part of a value; true when it completes the name.
    bool Take(WideChar unit) {
        if (argument == 0 || length == kSwitchHeadCapacity - 1) return false;
        // Only ASCII can be part of a switch's name; no conversion makes anything else
        // ASCII, so '?' stands for it here as it would in the converted line.
        text[length++] = unit < 0x80 ? static_cast<char>(unit) : '?';
        text[length] = 0;
        inValue = IsPasswordSwitchName(text);
        return inValue;
    }
};

// Turns the units of every password value into '*'. The quotes that open or close a
// stretch give nothing, so they are never touched.
struct PasswordScrubber {
    WideChar* line;
    PasswordSwitchHead head;
    bool overwrote;

    void Begin() { head.Begin(); }
    void Give(WideChar unit, const WideChar* from, const WideChar* to) {
        if (!head.inValue) {
            head.Take(unit);
            return;
        }
        for (const WideChar* p = from; p < to; ++p) line[p - line] = u'*';
        overwrote = true;
    }
    void End() {}
    bool Stopped() const { return false; }
};

// Compares each password value of the line with the password, unit by unit, copying
// neither; the last value's answer stands, as the last switch's value is the password.
struct PasswordComparer {
    const WideChar* password;
    PasswordSwitchHead head;
    int position;  // units of the current value compared
    bool same;
    bool lastSame;

    void Begin() { head.Begin(); }
    void Give(WideChar unit, const WideChar* /*from*/, const WideChar* /*to*/) {
        if (!head.inValue) {
            if (head.Take(unit)) {
                position = 0;
                same = true;
            }
            return;
        }
        // The password ends at its terminator, so the comparison never reads past it.
        same = same && password[position] == unit;
        if (same) ++position;
    }
    void End() {
        if (head.inValue) lastSame = same && password[position] == 0;
    }
    bool Stopped() const { return false; }
};

}  // namespace

bool ToAnsiCommandLine(const WideChar* wideLine, char* line, int capacity) {
    ConversionResult result = PlatformWideToAnsi(wideLine, true, line, capacity);
    // With UTF-8 as the ANSI code page, WC_NO_BEST_FIT_CHARS is refused; UTF-8 holds
    // every character, so it has no look-alike to avoid.
    if (result == ConversionFlagsRefused) {
        result = PlatformWideToAnsi(wideLine, false, line, capacity);
    }
    if (result == ConversionDone) return true;
    line[0] = 0;
    return result != ConversionTooLong;
}

bool SplitCommandLine(const char* line, const LeadBytes& leadBytes, ArgumentVector* args) {
    args->count = 0;
    ArgumentWriter<char> writer = {args->bytes, kArgumentBytesCapacity, args->items,
                                   &args->count, 0, 0, false};
    WalkLine(line, &leadBytes, &writer);
    return !writer.overflowed;
}

bool SplitWideCommandLine(const WideChar* line, WideArgumentVector* args) {
    args->count = 0;
    ArgumentWriter<WideChar> writer = {args->units, kWideLineCapacity, args->items,
                                       &args->count, 0, 0, false};
    WalkLine<WideChar>(line, nullptr, &writer);
    return !writer.overflowed;
}

bool ScrubPasswords(WideChar* line) {
    PasswordScrubber scrubber = {line, {-1, {0}, 0, false}, false};
    WalkLine<WideChar>(line, nullptr, &scrubber);
    return scrubber.overwrote;
}

bool PasswordArrivesAsTyped(const WideChar* line, const WideChar* password) {
    // Nothing compared is no answer: the walk took the password from such a switch.
    PasswordComparer comparer = {password, {-1, {0}, 0, false}, 0, true, false};
    WalkLine<WideChar>(line, nullptr, &comparer);
    return comparer.lastSame;
}
