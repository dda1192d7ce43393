// The run in one straight pass: defaults, split, argument walk, banner, validation,
// and the hand-over to the launch.
#include "cli/entry.h"

#include "cli/messages.h"
#include "cli/options.h"
#include "cli/split.h"
#include "launch/launch.h"

namespace {

const int kRefused = -1;

int ValidateAndLaunch(LaunchOptions* options, bool allValuesFit) {
    if (!allValuesFit) {
        PrintMessage(MsgValueTooLong);
        return kRefused;
    }
    if (IsEmpty(options->user)) {
        PrintUsage();
        PrintMessage(MsgUserRequired);
        return kRefused;
    }
    if (IsEmpty(options->commandLine)) {
        PrintUsage();
        PrintMessage(MsgCommandRequired);
        return kRefused;
    }
    return LaunchAsUser(options);
}

}  // namespace

int RunVelmor(const char* processCommandLine) {
    LaunchOptions options;
    SetDefaultOptions(&options);
    LeadBytes leadBytes;
    PlatformReadLeadBytes(&leadBytes);

    ArgumentVector args;
    bool allValuesFit = SplitCommandLine(processCommandLine, leadBytes, &args);
    if (args.count < 2) {
        PrintBanner();
    } else {
        allValuesFit = ParseArguments(args.count, args.items, leadBytes, &options) &&
                       allValuesFit;
        if (options.showLogo) PrintBanner();
    }
    // The split copy holds the password as typed, and nothing reads it after the walk.
    PlatformWipe(args.bytes, sizeof args.bytes);

    int status = ValidateAndLaunch(&options, allValuesFit);
    // LaunchAsUser wipes the password as soon as the logon call returns; a refused
    // command line never gets there.
    PlatformWipe(&options.password, sizeof options.password);
    return status;
}
