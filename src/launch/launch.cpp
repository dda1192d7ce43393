// Performs the planned launch and releases, before returning, everything it took from
// the platform: the environment block and the two handles of the new process.
#include "launch/launch.h"

#include "cli/messages.h"
#include "launch/plan.h"

namespace {

const int kLaunchFailed = -1;

// Waits without a time limit; an exit status that cannot be read is reported and 0.
int WaitForExitStatus(PlatformHandle process) {
    PlatformWaitForProcess(process);
    uint32_t exitCode = 0;
    if (!PlatformReadExitCode(process, &exitCode)) {
        PrintMessage(MsgExitStatusFailed);
        return 0;
    }
    return static_cast<int>(exitCode);  // passed on bit for bit
}

}  // namespace

int LaunchAsUser(LaunchOptions* options) {
    LaunchPlan plan;
    BuildLaunchPlan(options, &plan);

    // Without a block the platform builds the target account's environment, which is
    // also what happens when the caller's block cannot be had.
    WideChar* environment = options->useCallerEnvironment ? PlatformTakeEnvironment() : nullptr;
    plan.lpEnvironment = environment;
    // The program writes to the very file or pipe that holds Velmor's buffered banner:
    // written out first, the banner stands before everything the program prints.
    if (options->standardStreams) PlatformFlushOutput();

    bool created = PlatformCreateProcessWithLogon(
        plan.lpUsername, plan.lpDomain, plan.lpPassword, plan.dwLogonFlags,
        plan.lpApplicationName, plan.lpCommandLine, plan.dwCreationFlags, plan.lpEnvironment,
        plan.lpCurrentDirectory, &plan.startupInfo, &plan.processInformation);
    // The password is needed for nothing after the call, and a wait may last hours.
    PlatformWipe(&options->password, sizeof options->password);

    if (!created) {
        if (environment != nullptr) PlatformFreeEnvironment(environment);
        PrintMessage(MsgLaunchFailed);
        return kLaunchFailed;
    }

    int status = options->wait ? WaitForExitStatus(plan.processInformation.hProcess) : 0;
    PlatformCloseHandle(plan.processInformation.hThread);
    PlatformCloseHandle(plan.processInformation.hProcess);
    if (environment != nullptr) PlatformFreeEnvironment(environment);
    return status;
}
