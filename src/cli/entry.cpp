// The run in one straight pass: defaults, conversion and split of the command line,
// argument walk, the command line's copies put out of sight, banner, validation, and the
// hand-over to the launch.
#include "cli/entry.h"

#include "cli/messages.h"
#include "cli/options.h"
#include "cli/split.h"
#include "launch/launch.h"

namespace {

const int kRefused = -1;

int ValidateAndLaunch(LaunchOptions* options, bool accepted, MessageId refusal) {
    if (!accepted) {
        PrintMessage(refusal);
        if (options->showReason) PrintReason(options->refusalWindowsError, FailedOtherCall);
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

// cmd.exe shows the command it runs in its console's title, and keeps it there for the
// whole run: on screen, in screen shares, to every program on the desktop. Every password
// value in it is starred, whatever stands before the command (a quote of the window's
// own name included); a title that cannot be read whole is left alone, never written
// back shortened.
void PutConsoleTitleOutOfSight() {
    WideChar title[kConsoleTitleCapacity];
    WideChar original[kConsoleTitleCapacity];
    if (PlatformReadConsoleTitle(title, kConsoleTitleCapacity) &&
        ScrubTitlePasswords(title, original, kConsoleTitleCapacity)) {
        PlatformWriteConsoleTitle(title);
    }
    PlatformWipe(title, sizeof title);
    PlatformWipe(original, sizeof original);
}

// Every copy of the command line holds the password as typed, and nothing reads one
// after the walk. The system's UTF-16 line is what a process listing shows for as long
// as the run lasts, hours with /wait, so its password values are overwritten.
void PutCommandLineOutOfSight(WideChar* processCommandLine, char* ansiLine,
                              ArgumentVector* args) {
    PlatformWipe(ansiLine, kArgumentBytesCapacity);
    PlatformWipe(args->bytes, sizeof args->bytes);
    ScrubPasswords(processCommandLine);
    PlatformScrubNativeCommandLine(processCommandLine);
    PlatformWipeCommandLineCopies();
    PutConsoleTitleOutOfSight();
}

// The split reads the line's ANSI conversion, where a character that the page lacks
// became '?': a password typed with one would be tried wrong, towards the account's
// lockout. It is compared with the UTF-16 line before the scrub stars it.
bool PasswordFitsCodePage(const WideChar* processCommandLine, const LaunchOptions& options) {
    return options.passwordSource != PasswordFromCommandLine ||
           PasswordArrivesAsTyped(processCommandLine, options.password.units);
}

}  // namespace

int RunVelmor(WideChar* processCommandLine) {
    LaunchOptions options;
    SetDefaultOptions(&options);
    LeadBytes leadBytes;
    PlatformReadLeadBytes(&leadBytes);

    char ansiLine[kArgumentBytesCapacity];
    ArgumentVector args;
    bool lineFits = ToAnsiCommandLine(processCommandLine, ansiLine, kArgumentBytesCapacity);
    bool accepted = SplitCommandLine(ansiLine, leadBytes, &args) && lineFits;
    MarkLookAlikeSwitches(processCommandLine, &args);
    MessageId refusal = MsgValueTooLong;  // a line too long for the split, or the walk's
    // Without arguments the walk does not run, and the banner is always shown.
    if (args.count >= 2) {
        MessageId walkRefusal = MsgValueTooLong;
        bool walked = ParseArguments(args.count, args.items, leadBytes, &options, &walkRefusal);
        if (accepted && !walked) refusal = walkRefusal;
        if (!accepted) options.refusalWindowsError = 0;  // the split's refusal stands: none
        accepted = accepted && walked;
        if (accepted && !PasswordFitsCodePage(processCommandLine, options)) {
            refusal = MsgPasswordNotInCodePage;
            accepted = false;
        }
    }
    PutCommandLineOutOfSight(processCommandLine, ansiLine, &args);
    if (options.showLogo) PrintBanner();

    int status = ValidateAndLaunch(&options, accepted, refusal);
    // LaunchAsUser wipes the password as soon as the logon call returns; a refused
    // command line never gets there.
    PlatformWipe(&options.password, sizeof options.password);
    return status;
}
