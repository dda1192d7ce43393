// The argument split, a pure function of the line's bytes and the code page's lead
// bytes. The rules, which the usage text relies on when it tells users how to quote:
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
#include "cli/split.h"

namespace {

struct ArgumentWriter {
    ArgumentVector* args;
    int used;       // bytes of args->bytes taken, the current argument's included
    int start;      // where the current argument begins
    bool overflowed;
};

void PutByte(ArgumentWriter* writer, char byte) {
    if (writer->used < kArgumentBytesCapacity) {
        writer->args->bytes[writer->used++] = byte;
    } else {
        writer->overflowed = true;
    }
}

void BeginArgument(ArgumentWriter* writer) {
    writer->start = writer->used;
}

// Only a whole, terminated argument joins the vector.
void EndArgument(ArgumentWriter* writer) {
    PutByte(writer, 0);
    if (writer->args->count == kArgumentsCapacity) writer->overflowed = true;
    if (writer->overflowed) return;
    writer->args->items[writer->args->count++] = writer->args->bytes + writer->start;
}

bool IsSeparator(char c) {
    return c == ' ' || c == '\t';
}

bool IsLead(const LeadBytes& leadBytes, char c) {
    return leadBytes.isLead[static_cast<unsigned char>(c)];
}

// Copies one character, a lead byte with its second byte or a single byte; a lone
// lead byte at the very end stands alone.
const char* CopyCharacter(const char* p, const LeadBytes& leadBytes, ArgumentWriter* writer) {
    PutByte(writer, *p);
    if (IsLead(leadBytes, *p) && p[1] != 0) PutByte(writer, *++p);
    return p + 1;
}

const char* SplitProgramName(const char* p, const LeadBytes& leadBytes,
                             ArgumentWriter* writer) {
    bool quoted = false;
    BeginArgument(writer);
    while (*p != 0 && (quoted || !IsSeparator(*p))) {
        if (*p == '"') {
            quoted = !quoted;
            ++p;
        } else {
            p = CopyCharacter(p, leadBytes, writer);
        }
    }
    EndArgument(writer);
    return p;
}

// Rule 2: a run of backslashes, and the quote after it when the run makes it literal.
const char* SplitBackslashes(const char* p, ArgumentWriter* writer) {
    int run = 0;
    while (p[run] == '\\') ++run;
    if (p[run] != '"') {
        for (int i = 0; i < run; ++i) PutByte(writer, '\\');
        return p + run;
    }
    for (int i = 0; i < run / 2; ++i) PutByte(writer, '\\');
    if (run % 2 == 0) return p + run;  // the quote is left for rule 3
    PutByte(writer, '"');
    return p + run + 1;
}

const char* SplitArgument(const char* p, const LeadBytes& leadBytes, ArgumentWriter* writer) {
    bool quoted = false;
    BeginArgument(writer);
    while (*p != 0 && (quoted || !IsSeparator(*p))) {
        if (*p == '\\') {
            p = SplitBackslashes(p, writer);
        } else if (*p == '"' && quoted && p[1] == '"') {
            PutByte(writer, '"');
            p += 2;
        } else if (*p == '"') {
            quoted = !quoted;
            ++p;
        } else {
            p = CopyCharacter(p, leadBytes, writer);
        }
    }
    EndArgument(writer);
    return p;
}

}  // namespace

bool SplitCommandLine(const char* line, const LeadBytes& leadBytes, ArgumentVector* args) {
    // args is only written through the writer, never read before it is filled.
    // cppcheck-suppress ctuuninitvar
    ArgumentWriter writer = {args, 0, 0, false};
    args->count = 0;
    const char* p = SplitProgramName(line, leadBytes, &writer);
    while (!writer.overflowed) {
        while (IsSeparator(*p)) ++p;
        if (*p == 0) break;
        p = SplitArgument(p, leadBytes, &writer);
    }
    return !writer.overflowed;
}
