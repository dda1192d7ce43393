// Reading the process command line: its conversion to ANSI bytes, the split of those
// bytes into an argument vector, and the scrub of the password from the UTF-16 line.
// The command splits the line itself rather than take the runtime's argv: msvcrt's
// handling of doubled quotes differs between its versions, it does not walk double-byte
// characters, and it reads the ANSI copy that the system made with best-fit look-alikes.
#pragma once

#include "platform/platform.h"

// A Windows command line holds at most 32767 UTF-16 units, and no ANSI code page spends
// more than three bytes on one unit; an argument takes at least two units with its
// separator. So any line the system can hand over fits, converted or split.
const int kArgumentBytesCapacity = 3 * 32768;
const int kArgumentsCapacity = 16384;
const int kWideLineCapacity = 32768;

struct ArgumentVector {
    char bytes[kArgumentBytesCapacity];  // every argument, each zero-terminated
    const char* items[kArgumentsCapacity];
    int count;
};

struct WideArgumentVector {
    WideChar units[kWideLineCapacity];  // every argument, each zero-terminated
    const WideChar* items[kArgumentsCapacity];
    int count;
};

// Converts the UTF-16 line into line, turning every character that the ANSI code page
// lacks into the page's default character: a look-alike would let a character that the
// caller embedded become a quote, a backslash, a switch character or a separator.
// Returns false, leaving line empty, when it does not fit capacity bytes.
bool ToAnsiCommandLine(const WideChar* wideLine, char* line, int capacity);

// Splits line into args. Returns false when the line does not fit; args then holds the
// whole arguments that came before the one that did not.
bool SplitCommandLine(const char* line, const LeadBytes& leadBytes, ArgumentVector* args);

// The same rules over UTF-16 units, where no unit pairs with the next.
bool SplitWideCommandLine(const WideChar* line, WideArgumentVector* args);

// Overwrites the value of every password switch in the UTF-16 line with '*', one for
// each unit of it, and the value of every look-alike of a password or time-limit switch
// (see MarkLookAlikeSwitches). The quotes that open and close a stretch stay, so the line
// keeps its length and splits into the same arguments. The values are found by the
// split's rules, never by searching for the password's text. Returns whether any value
// was overwritten.
bool ScrubPasswords(WideChar* line);

// Replaces in args, the split of line's ANSI conversion, every argument that is a
// look-alike of /password:, /a: or /timeout: with "/password" or "/timeout", which the
// argument walk refuses with that switch's message. A look-alike is told by its name
// with full-width ASCII and the common slash and hyphen look-alikes folded to ASCII: a
// name within two edits of "password", or "a", "pass", "pwd" or "pw", before a ':' or
// '=' or alone; a name within two edits of "timeout", or beginning with it; each one
// other than the switch itself, in ASCII with its colon.
void MarkLookAlikeSwitches(const WideChar* line, ArgumentVector* args);

// Stars, in a console title that repeats a command line with anything before it, every
// value that ScrubPasswords would star in that command line, and the values of password
// switches anywhere else in it after a blank or a quote. original (capacity units, as
// title's) receives the title as it was; the caller wipes both.
bool ScrubTitlePasswords(WideChar* title, WideChar* original, int capacity);

// Whether the value of the last /password: or /a: in the UTF-16 line is password, unit for
// unit: false when the line's conversion to the ANSI code page lost a character of it,
// and when the line holds no such switch.
bool PasswordArrivesAsTyped(const WideChar* line, const WideChar* password);
