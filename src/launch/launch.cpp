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

// Velmor's standard handle goes to the program only when it is a disk file or a pipe: the
// caller's own log or pipeline. A console would let a program of the other account read
// the caller's screen or type into the caller's shell; a pseudo-handle (a negative value:
// the invalid handle is also the current process) would hand over Velmor's own process.
bool IsHandedOver(PlatformHandle handle) {
    if (handle == nullptr || reinterpret_cast<intptr_t>(handle) < 0) return false;
    HandleKind kind = PlatformHandleKind(handle);
    return kind == HandleDiskFile || kind == HandlePipe;
}

// Puts NUL in each field whose handle is not handed over, opened once into nullDevice.
// Not null: with a null field a program with a new console gets that console's streams,
// where a read waits for ever under /hide. False when NUL cannot be opened.
bool KeepOnlyFilesAndPipes(StartupSettings* startup, PlatformHandle* nullDevice) {
    PlatformHandle* fields[] = {&startup->hStdInput, &startup->hStdOutput, &startup->hStdError};
    for (PlatformHandle* field : fields) {
        if (IsHandedOver(*field)) continue;
        if (*nullDevice == nullptr) *nullDevice = PlatformOpenNullDevice();
        if (*nullDevice == nullptr) return false;
        *field = *nullDevice;
    }
    return true;
}

}  // namespace

int LaunchAsUser(LaunchOptions* options) {
    LaunchPlan plan;
    BuildLaunchPlan(options, &plan);
    PlatformHandle nullDevice = nullptr;
    if (options->standardStreams && !KeepOnlyFilesAndPipes(&plan.startupInfo, &nullDevice)) {
        PlatformWipe(&options->password, sizeof options->password);
        PrintMessage(MsgLaunchFailed);
        return kLaunchFailed;
    }

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
    // The logon service has made the program's own copy of NUL by now.
    if (nullDevice != nullptr) PlatformCloseHandle(nullDevice);

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
