// Passwords kept off the command line: a generic credential of Windows Credential
// Manager (/credential:) and the first line of standard input (/password-stdin).
#pragma once

#include "cli/messages.h"
#include "cli/options.h"

// No ANSI code page spends more than three bytes on a UTF-16 unit, so a line of this
// many bytes holds at least 1024 units: longer than any field, and refused unread.
const int kInputLineCapacity = 3 * kWideTextCapacity;

// Standard input's first line, taken once for the whole walk, so that a second
// /password-stdin gets the same line again. Holds the password: wiped after the walk.
struct InputLine {
    bool taken;
    bool accepted;
    MessageId refusal;       // why it was not accepted
    uint32_t windowsError;   // and the failed read's Windows error, if that was why
    char bytes[kInputLineCapacity + 1];
};

// The generic credential whose target is the ANSI text target: its user name, empty
// when it has none, and its password, each into its field. Returns false with the
// message that refuses it: no such credential, no text, or too long for its field; and
// with the Windows error of Credential Manager's refusal, if it refused.
bool ReadCredential(const char* target, WideText* account, WideText* password,
                    MessageId* refusal, uint32_t* windowsError);

// The password from the first line of standard input, converted through the ANSI code
// page as the command line's values are. Returns false with the message that refuses
// it: a console, no input at all or a read that failed (with its Windows error), a zero
// byte, too long for the field, or bytes that would not reach the logon call as they
// stand (see LineToPassword).
bool ReadInputPassword(InputLine* line, WideText* password, MessageId* refusal,
                       uint32_t* windowsError);
