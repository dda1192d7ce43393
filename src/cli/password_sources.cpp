// Passwords kept off the command line, read when the walk reaches their switch. Velmor
// never prompts: standard input is read only when it is a pipe or a file.
#include "cli/password_sources.h"

#include <string.h>

namespace {

// Up to the first line feed, a carriage return before it dropped, or the end of the
// input. One byte at a time, so that nothing past the line is taken from the pipe.
// Returns false with the message that refuses the line, and a failed read's error.
bool ReadLineBytes(char* bytes, MessageId* refusal, uint32_t* windowsError) {
    if (PlatformStandardInputIsConsole()) {
        *refusal = MsgInputIsConsole;
        return false;
    }
    int length = 0;
    bool anyByte = false;
    bool endedByLineFeed = false;
    bool accepted = true;
    char byte = 0;
    uint32_t readError = 0;
    while (accepted && PlatformReadStandardInput(&byte, 1, &readError) == 1) {
        anyByte = true;
        if (byte == '\n') {
            endedByLineFeed = true;
            break;
        }
        if (byte == 0) {
            *refusal = MsgInputHasZeroByte;
            accepted = false;
        } else if (length == kInputLineCapacity) {
            *refusal = MsgValueTooLong;
            accepted = false;
        } else {
            bytes[length++] = byte;
        }
    }
    PlatformWipe(&byte, sizeof byte);
    if (endedByLineFeed && length > 0 && bytes[length - 1] == '\r') --length;
    bytes[length] = 0;
    // A read that fails midway would leave a shortened password, tried towards the
    // account's lockout: no password was read.
    if (accepted && readError != 0) {
        *refusal = MsgInputEmpty;
        *windowsError = readError;
        accepted = false;
    }
    if (accepted && !anyByte) {
        *refusal = MsgInputEmpty;  // most often a producer that failed
        accepted = false;
    }
    return accepted;
}

// The line as the logon call would get it, character for character. Bytes that are no
// text of the page, or a UTF-8 byte-order mark that an editor put first (valid text on
// 1252, where it reads as three characters), would make it another password, tried
// towards the account's lockout.
bool LineToPassword(const char* bytes, WideText* password, MessageId* refusal) {
    const char kUtf8ByteOrderMark[] = "\xef\xbb\xbf";
    if (strncmp(bytes, kUtf8ByteOrderMark, sizeof kUtf8ByteOrderMark - 1) == 0) {
        *refusal = MsgInputNotInCodePage;
        return false;
    }
    ConversionResult result = ConvertToWide(bytes, password, true);
    if (result == ConversionDone) return true;
    *refusal = result == ConversionTooLong ? MsgValueTooLong : MsgInputNotInCodePage;
    return false;
}

}  // namespace

bool ReadCredential(const char* target, WideText* account, WideText* password,
                    MessageId* refusal, uint32_t* windowsError) {
    WideText wideTarget;
    if (!ToWide(target, &wideTarget)) {
        *refusal = MsgValueTooLong;
        return false;
    }
    CredentialResult result = PlatformReadGenericCredential(wideTarget.units, account->units,
                                                            password->units, kWideTextCapacity,
                                                            windowsError);
    switch (result) {
        case CredentialRead: return true;
        case CredentialUnreadable: *refusal = MsgCredentialUnreadable; break;
        case CredentialNotText: *refusal = MsgCredentialNotText; break;
        case CredentialTooLong: *refusal = MsgValueTooLong; break;
    }
    return false;
}

bool ReadInputPassword(InputLine* line, WideText* password, MessageId* refusal,
                       uint32_t* windowsError) {
    if (!line->taken) {
        line->taken = true;
        line->windowsError = 0;
        line->accepted = ReadLineBytes(line->bytes, &line->refusal, &line->windowsError);
    }
    if (!line->accepted) {
        *refusal = line->refusal;
        *windowsError = line->windowsError;
        return false;
    }
    return LineToPassword(line->bytes, password, refusal);
}
