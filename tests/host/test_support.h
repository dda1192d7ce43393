// Helpers shared by the host tests: text conversions done independently of Velmor's own
// (glibc's iconv), and a run of the whole command against the fake platform.
#pragma once

#include <iconv.h>
#include <string.h>

#include <string>

#include "cli/entry.h"
#include "cli/messages.h"
#include "cli/options.h"
#include "expected_texts.h"
#include "platform/fake_platform.h"

// Each message and the text it writes.
const struct {
    MessageId message;
    const char* expected;
} kMessageTexts[] = {
    {MsgUserRequired, kExpectedUserRequired},
    {MsgCommandRequired, kExpectedCommandRequired},
    {MsgLaunchFailed, kExpectedLaunchFailed},
    {MsgExitStatusFailed, kExpectedExitStatusFailed},
    {MsgValueTooLong, kExpectedValueTooLong},
    {MsgCredentialUnreadable, kExpectedCredentialUnreadable},
    {MsgCredentialNotText, kExpectedCredentialNotText},
    {MsgInputIsConsole, kExpectedInputIsConsole},
    {MsgInputEmpty, kExpectedInputEmpty},
    {MsgInputHasZeroByte, kExpectedInputHasZeroByte},
    {MsgPasswordNeedsColon, kExpectedPasswordNeedsColon},
    {MsgPasswordNotInCodePage, kExpectedPasswordNotInCodePage},
    {MsgInputNotInCodePage, kExpectedInputNotInCodePage},
    {MsgInputFileWithStdio, kExpectedInputFileWithStdio},
    {MsgTimeLimitReached, kExpectedTimeLimitReached},
    {MsgTimeLimitInvalid, kExpectedTimeLimitInvalid},
    {MsgJobFailed, kExpectedJobFailed},
};

inline const char* ExpectedText(MessageId message) {
    for (const auto& text : kMessageTexts) {
        if (text.message == message) return text.expected;
    }
    return "(no such message)";
}

// utf8 re-encoded in the named iconv code page; the test fails loudly if it cannot be.
inline std::string Encode(const std::string& utf8, const char* codePage) {
    iconv_t converter = iconv_open(codePage, "UTF-8");
    std::string out(utf8.size() * 4 + 4, '\0');
    char* in = const_cast<char*>(utf8.data());
    size_t inLeft = utf8.size();
    char* next = &out[0];
    size_t outLeft = out.size();
    size_t result = iconv(converter, &in, &inLeft, &next, &outLeft);
    iconv_close(converter);
    if (result == static_cast<size_t>(-1)) return "<unencodable>";
    out.resize(out.size() - outLeft);
    return out;
}

inline std::string Cp932(const std::string& utf8) {
    return Encode(utf8, "CP932");
}

inline std::u16string Text(const WideText& field) {
    return std::u16string(field.units);
}

inline std::u16string Text(const FakeText& text) {
    return text.present ? std::u16string(text.units) : u"(absent)";
}

inline LeadBytes LeadBytesOf(int codePage) {
    Fake().codePage = codePage;
    LeadBytes leadBytes;
    PlatformReadLeadBytes(&leadBytes);
    return leadBytes;
}

struct RunOutcome {
    int status;
    std::string output;
};

inline RunOutcome RunWideCommand(const std::u16string& commandLine) {
    FakeSetCommandLine(commandLine.c_str());
    int status = RunVelmor(Fake().commandLine);
    return RunOutcome{status, std::string(Fake().output, Fake().outputLength)};
}

// The UTF-16 line that the system makes of an ANSI caller's bytes on the fake's page.
inline std::u16string WideLine(const std::string& bytes) {
    std::u16string line(kFakeLineCapacity, u'\0');
    PlatformAnsiToWide(bytes.c_str(), false, &line[0], kFakeLineCapacity);
    return std::u16string(line.c_str());
}

inline RunOutcome RunCommand(const std::string& commandLine) {
    return RunWideCommand(WideLine(commandLine));
}

inline std::string Utf8(const std::u16string& text) {
    iconv_t converter = iconv_open("UTF-8", "UTF-16LE");
    std::string out(text.size() * 4 + 4, '\0');
    char* in = reinterpret_cast<char*>(const_cast<char16_t*>(text.data()));
    size_t inLeft = text.size() * sizeof(char16_t);
    char* next = &out[0];
    size_t outLeft = out.size();
    iconv(converter, &in, &inLeft, &next, &outLeft);
    iconv_close(converter);
    out.resize(out.size() - outLeft);
    return out;
}
