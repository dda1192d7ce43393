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
};

void PrintBanner();
void PrintUsage();
void PrintMessage(MessageId message);
