// Every text the command shows, and the three ways it shows them. The texts are fixed
// code page 932 bytes, written unchanged to standard output whatever the console's page.
#pragma once

enum MessageId {
    MsgUserRequired,
    MsgCommandRequired,
    MsgLaunchFailed,
    MsgExitStatusFailed,
    MsgValueTooLong,
};

void PrintBanner();
void PrintUsage();
void PrintMessage(MessageId message);
