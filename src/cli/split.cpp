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

#include <string.h>

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

// From where quoted says: outside a quoted stretch at the start of an argument, either
// way for a walk that begins inside one (see ScrubTitlePasswords). A sink that has
// stopped gets nothing more of the argument.
template <typename Unit, typename Sink>
const Unit* WalkArgument(const Unit* p, const LeadBytes* leadBytes, Sink* sink,
                         bool quoted = false) {
    sink->Begin();
    while (*p != 0 && (quoted || !IsSeparator(*p)) && !sink->Stopped()) {
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

// Long enough for the introducer, any name within two edits of "password" or
// "timeout", and the separator.
const int kSwitchHeadCapacity = 16;

enum SwitchKind {
    OtherSwitch,      // or no switch at all
    PasswordSwitch,   // /password: or /a:, or a look-alike of them
    TimeLimitSwitch,  // /timeout:, or a look-alike of it
};

// The ASCII character that a unit stands for when a switch's name is compared with the
// password's and the time limit's: ASCII with A to Z in lower case, the full-width forms
// of ASCII, and the common slash and hyphen look-alikes; '?' for anything else. For the
// comparison alone: the split and the values never see a folded unit.
const struct {
    WideChar unit;
    char ascii;
} kLookAlikes[] = {
    {0x2044, '/'}, {0x2215, '/'}, {0x29F8, '/'}, {0x00AD, '-'}, {0x2010, '-'}, {0x2011, '-'},
    {0x2012, '-'}, {0x2013, '-'}, {0x2014, '-'}, {0x2015, '-'}, {0x2212, '-'}, {0x30FC, '-'},
    {0xFE58, '-'}, {0xFE63, '-'}, {0xFF70, '-'},
};

char FoldForComparison(WideChar unit) {
    if (unit >= 0xFF01 && unit <= 0xFF5E) unit = static_cast<WideChar>(unit - 0xFEE0);
    if (unit >= u'A' && unit <= u'Z') return static_cast<char>(unit - u'A' + 'a');
    if (unit < 0x80) return static_cast<char>(unit);
    for (size_t i = 0; i < sizeof kLookAlikes / sizeof kLookAlikes[0]; ++i) {
        if (kLookAlikes[i].unit == unit) return kLookAlikes[i].ascii;
    }
    return '?';
}

// How many insertions, deletions and substitutions make name of wanted, which is shorter
// than kSwitchHeadCapacity: row[j] holds the count for the name's first characters and
// wanted's first j.
int EditDistance(const char* name, int length, const char* wanted) {
    int wantedLength = static_cast<int>(strlen(wanted));
    int row[kSwitchHeadCapacity];
    for (int j = 0; j <= wantedLength; ++j) row[j] = j;
    for (int i = 0; i < length; ++i) {
        int diagonal = row[0];
        row[0] = i + 1;
        for (int j = 1; j <= wantedLength; ++j) {
            int best = diagonal + (name[i] == wanted[j - 1] ? 0 : 1);
            if (row[j] + 1 < best) best = row[j] + 1;
            if (row[j - 1] + 1 < best) best = row[j - 1] + 1;
            diagonal = row[j];
            row[j] = best;
        }
    }
    return row[wantedLength];
}

// The folded names compared, in order, and how far a look-alike's may be from each: a
// typo or two, a full-width character and the usual short forms of a password switch
// would leave a password in sight, or a time limit that a script counts on unset.
const struct {
    const char* name;
    int edits;
    SwitchKind kind;
    bool isSwitch;  // the switch table's own name
} kComparedNames[] = {
    {"password", 2, PasswordSwitch, true}, {"a", 0, PasswordSwitch, true},
    {"pass", 0, PasswordSwitch, false},    {"pwd", 0, PasswordSwitch, false},
    {"pw", 0, PasswordSwitch, false},      {"timeout", 2, TimeLimitSwitch, true},
};

// Follows the first units of an argument, folded, until its name is complete: at a ':'
// or '=' (full-width ones included), at the end of the argument, or when it is too long
// to be compared. What follows a password switch's separator is its value, and so is
// what follows a look-alike's. A switch's name is made of units of its own, so the value
// begins with a unit of its own, never inside a stretch that gave part of the name.
struct SwitchHead {
    int argument;  // the argument being walked; 0 is the command's own name
    char name[kSwitchHeadCapacity];
    int length;        // -1 before the introducer
    bool foldedUnits;  // a unit other than ASCII stood for an ASCII character
    bool complete;
    SwitchKind kind;
    bool exact;  // /password:, /a: or /timeout: in ASCII, as the switch table has them
    bool inValue;

    void Begin() {
        ++argument;
        length = -1;
        foldedUnits = false;
        complete = argument == 0;
        kind = OtherSwitch;
        exact = false;
        inValue = false;
    }
    void Complete(char separator) {
        complete = true;
        for (const auto& compared : kComparedNames) {
            int distance = EditDistance(name, length, compared.name);
            if (distance > compared.edits) continue;
            kind = compared.kind;
            exact = compared.isSwitch && distance == 0 && separator == ':' && !foldedUnits;
            break;
        }
        // The seconds without their colon: a name that begins with "timeout".
        if (length >= 7 && EditDistance(name, 7, "timeout") == 0) kind = TimeLimitSwitch;
        // A time limit is no secret: only a look-alike's value is starred.
        inValue = separator != 0 && (kind == PasswordSwitch || (kind == TimeLimitSwitch && !exact));
    }
    // Takes a unit that is not part of a value; true when it completes the name and a
    // value follows.
    bool Take(WideChar unit) {
        if (complete) return false;
        char folded = FoldForComparison(unit);
        foldedUnits = foldedUnits || unit >= 0x80;
        if (length < 0) {
            complete = folded != '/' && folded != '-';
            length = 0;
        } else if (folded == ':' || folded == '=') {
            Complete(folded);
        } else {
            name[length++] = folded;
            if (length == kSwitchHeadCapacity) Complete(0);
        }
        return inValue;
    }
    void End() {
        if (!complete && length >= 0) Complete(0);
    }
    // A look-alike, which the walk is to refuse with its switch's message.
    bool IsLookAlike() const { return kind != OtherSwitch && !exact; }
};

// One walk of the UTF-16 line for three uses, each when its field is set: turning the
// units of every value into '*', read from in and written at the same place in out (the
// quotes that open or close a stretch give nothing, so they are never touched); comparing
// each password value with password, unit by unit, copying neither, where the last
// value's answer stands, as the last switch's value is the password; and putting in
// place of each look-alike in marked the name that the argument walk refuses with its
// message. With oneArgument, the walk stops where the argument proves no switch of these.
struct SwitchWalker {
    SwitchHead head;
    WideChar* out;
    const WideChar* in;
    const WideChar* password;
    ArgumentVector* marked;
    bool oneArgument;
    bool overwrote;
    int position;  // units of the current value compared
    bool same;
    bool lastSame;

    void Begin() { head.Begin(); }
    void Give(WideChar unit, const WideChar* from, const WideChar* to) {
        if (!head.inValue) {
            if (head.Take(unit)) {
                position = 0;
                same = true;
            }
            return;
        }
        for (const WideChar* p = from; out != nullptr && p < to; ++p) out[p - in] = u'*';
        overwrote = out != nullptr;
        // The password ends at its terminator, so the comparison never reads past it.
        same = same && password != nullptr && password[position] == unit;
        if (same) ++position;
    }
    void End() {
        head.End();
        if (head.inValue && head.kind == PasswordSwitch) {
            lastSame = same && password != nullptr && password[position] == 0;
        }
        if (marked != nullptr && head.IsLookAlike() && head.argument < marked->count) {
            marked->items[head.argument] = head.kind == PasswordSwitch ? "/password" : "/timeout";
        }
    }
    bool Stopped() const { return oneArgument && head.complete && !head.inValue; }
};

// A walker with no use set yet, whose next Begin walks the argument after this one.
SwitchWalker WalkerAfter(int argument) {
    SwitchWalker walker = {};
    walker.head.argument = argument;
    return walker;
}

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
    SwitchWalker walker = WalkerAfter(-1);
    walker.out = line;
    walker.in = line;
    WalkLine<WideChar>(line, nullptr, &walker);
    return walker.overwrote;
}

void MarkLookAlikeSwitches(const WideChar* line, ArgumentVector* args) {
    SwitchWalker walker = WalkerAfter(-1);
    walker.marked = args;
    WalkLine<WideChar>(line, nullptr, &walker);
}

// An argument of the line begins after a blank, outside a quoted stretch, and only the
// quotes that open and close stretches stand between its start and its switch's
// introducer. So a walk from every introducer after a blank, and from every one after a
// quote both inside and outside a stretch, stars at least what the line's own scrub
// stars in any copy of the line, whatever stands before it: a quote in the window's own
// title cannot hide a value.
bool ScrubTitlePasswords(WideChar* title, WideChar* original, int capacity) {
    int length = 0;
    for (; length < capacity - 1 && title[length] != 0; ++length) original[length] = title[length];
    original[length] = 0;
    bool overwrote = false;
    for (int i = 1; i < length; ++i) {
        WideChar before = original[i - 1];
        char introducer = FoldForComparison(original[i]);
        if ((introducer != '/' && introducer != '-') || (before != u'"' && !IsSeparator(before))) {
            continue;
        }
        for (int inside = 0; inside <= (before == u'"' ? 1 : 0); ++inside) {
            SwitchWalker walker = WalkerAfter(0);
            walker.out = title;
            walker.in = original;
            walker.oneArgument = true;
            WalkArgument<WideChar>(original + i, nullptr, &walker, inside == 1);
            overwrote = overwrote || walker.overwrote;
        }
    }
    return overwrote;
}

bool PasswordArrivesAsTyped(const WideChar* line, const WideChar* password) {
    // Nothing compared is no answer: the walk took the password from such a switch.
    SwitchWalker walker = WalkerAfter(-1);
    walker.password = password;
    WalkLine<WideChar>(line, nullptr, &walker);
    return walker.lastSame;
}
