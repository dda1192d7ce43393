// Every text the command shows, and the three ways it shows them. The texts are fixed
// code page 932 bytes, written unchanged to standard output whatever the console's page.
#pragma once

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
