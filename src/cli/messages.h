// Every text the command shows, and the three ways it shows them. The texts are fixed
// code page 932 bytes, written unchanged to standard output whatever the console's page.
#pragma once

#include <stdint.h>

enum MessageId {
    MsgUserRequired,
    MsgCommandRequired,
    MsgLaunchFailed,
    MsgExitStatusFailed,
    MsgValueTooLong,
    MsgCredentialUnreadable,  // no such credential, or Credential Manager cannot be read
    MsgCredentialNotText,     // its password is no whole UTF-16 units
    MsgInputIsConsole,        // /password-stdin, and standard input is a console
    MsgInputEmpty,            // /password-stdin, and standard input holds no byte at all
    MsgInputHasZeroByte,      // /password-stdin, and the line holds a zero byte
    MsgPasswordNeedsColon,    // "/password" or "/a" without its colon, or with '='
    MsgPasswordNotInCodePage, // /password: or /a:, with a character the ANSI page lacks
    MsgInputNotInCodePage,    // /password-stdin, and the line is no text of the ANSI page
    MsgInputFileWithStdio,    // /password-stdin and /stdio, and standard input is a file
    MsgTimeLimitReached,      // the time limit passed, and the job was ended
    MsgTimeLimitInvalid,      // /timeout: without a number of seconds from 1 to 4294967
    MsgJobFailed,             // the program could not be made a job of Velmor's
};

void PrintBanner();
void PrintUsage();
void PrintMessage(MessageId message);

// The call whose failure a reason follows, for the hints that hold after one call alone.
enum FailedCall {
    FailedOtherCall,
    FailedLogonCall,       // the logon call
    FailedJobAssignment,   // putting the program in Velmor's job
};

// With /reason, after a message that follows a failed Windows call: the call's Windows
// error in decimal and hex, Windows' own text for it, and a hint where Velmor has one.
// Nothing for 0, which is no Windows error.
void PrintReason(uint32_t windowsError, FailedCall call);
// With /reason, after a wait: a status that Windows gives a process that never ran its own
// code, and its hint. Nothing for any other status.
void PrintStatusReason(uint32_t status);
