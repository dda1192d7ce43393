// Fuzz target: arbitrary bytes as the raw command line of an ANSI caller, on every
// emulated code page. Byte 0 picks the code page, byte 1 how the fake platform answers;
// the rest, up to the first zero, is the command line. The bytes go through the split
// and the argument walk as they are, odd sequences included; then the whole command runs
// from the UTF-16 line that the system makes of them.
#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <string>

#include "cli/entry.h"
#include "cli/split.h"
#include "fuzz_support.h"

namespace {

void CheckSplitAndWalk(const std::string& line) {
    LeadBytes leadBytes;
    PlatformReadLeadBytes(&leadBytes);
    // Kept from one input to the next: the split sets what it uses, and a vector made
    // and zeroed for every input would cost most of the target's time.
    static ArgumentVector argumentVector;
    ArgumentVector* args = &argumentVector;
    SplitCommandLine(line.c_str(), leadBytes, args);
    FUZZ_CHECK(args->count >= 1 && args->count <= kArgumentsCapacity);
    auto options = std::make_unique<LaunchOptions>();
    SetDefaultOptions(options.get());
    MessageId refusal = MsgUserRequired;
    ParseArguments(args->count, args->items, leadBytes, options.get(), &refusal);
    for (const WideText* field : {&options->user, &options->domain, &options->password,
                                  &options->commandLine, &options->workDir}) {
        int length = 0;
        while (length < kWideTextCapacity && field->units[length] != 0) ++length;
        FUZZ_CHECK(length < kWideTextCapacity);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    ResetFakeForInput(data);
    std::string line(reinterpret_cast<const char*>(data + 2), size - 2);
    line.resize(strlen(line.c_str()));
    CheckSplitAndWalk(line);

    std::u16string wideLine(line.size() + 1, u'\0');
    PlatformAnsiToWide(line.c_str(), false, &wideLine[0], static_cast<int>(wideLine.size()));
    FakeSetCommandLine(wideLine.c_str());
    CheckWholeRun(RunVelmor(Fake().commandLine));
    return 0;
}
