// Performs the planned launch and releases, before returning, everything it took from
// the platform: the environment block, the two handles of the new process, NUL for
// /stdio, and with a job wait the job and its port.
#include "launch/launch.h"

#include "cli/messages.h"
#include "launch/plan.h"

namespace {

const int kLaunchFailed = -1;
// WAIT_TIMEOUT: what Velmor returns, and what each process of the job ends with, when
// the time limit has passed.
const uint32_t kTimeLimitStatus = 258;
// With no message on the port, the job is looked at once a second: a job that runs for
// hours costs nothing measurable.
const uint32_t kLookIntervalMilliseconds = 1000;
// How long the ended job's processes get to be gone, their files closed, before Velmor
// returns all the same.
const uint64_t kEndGraceMilliseconds = 5000;

// The job that Velmor puts the program in, and the port its messages reach.
struct Job {
    PlatformHandle object;
    PlatformHandle port;
};

// A failure's message, and with /reason the Windows error of the call behind it.
void ReportFailure(MessageId message, bool showReason, uint32_t windowsError,
                   FailedCall call = FailedOtherCall) {
    PrintMessage(message);
    if (showReason) PrintReason(windowsError, call);
}

// An exit status that cannot be read is reported and 0. With /reason, a status that
// says the program never ran its own code is explained; it is passed on all the same.
int ReadExitStatus(PlatformHandle process, bool showReason) {
    uint32_t exitCode = 0;
    uint32_t windowsError = 0;
    if (!PlatformReadExitCode(process, &exitCode, &windowsError)) {
        ReportFailure(MsgExitStatusFailed, showReason, windowsError);
        return 0;
    }
    if (showReason) PrintStatusReason(exitCode);
    return static_cast<int>(exitCode);  // passed on bit for bit
}

// Waits without a time limit.
int WaitForExitStatus(PlatformHandle process, bool showReason) {
    PlatformWaitForProcess(process);
    return ReadExitStatus(process, showReason);
}

// The program was created suspended. It runs only once it is in the job, so nothing it
// starts is outside; when any step fails, or Ctrl+C, Ctrl+Break or a close came while
// Velmor held them, it never runs, and never runs on without the job. A failed step
// leaves its Windows error, and which step it was; a held event leaves none.
bool StartInJob(const ProcessInformation& process, Job* job, uint32_t* windowsError,
                FailedCall* failedCall) {
    job->object = PlatformCreateJob(windowsError);
    if (job->object != nullptr) job->port = PlatformCreateJobPort(job->object, windowsError);
    bool assigned = job->port != nullptr &&
                    PlatformAssignToJob(job->object, process.hProcess, windowsError);
    if (job->port != nullptr && !assigned) *failedCall = FailedJobAssignment;
    // In the job, the program ends with Velmor: the events may act again.
    bool interrupted = PlatformReleaseConsoleControl();
    // A previous count of 1: suspended by its creation alone, and so until now. At 0 it
    // ran before it was in the job, and what it started may be outside.
    if (assigned && !interrupted && PlatformResumeThread(process.hThread, windowsError) == 1) {
        return true;
    }
    PlatformTerminateProcess(process.hProcess, static_cast<uint32_t>(kLaunchFailed));
    if (assigned) PlatformTerminateJob(job->object, static_cast<uint32_t>(kLaunchFailed));
    return false;
}

enum JobEnd {
    JobEnded,
    JobPastLimit,
    JobCountUnreadable,
};

// Until the job has no process left, or limit milliseconds have passed since started (a
// limit of 0 is none). The count is the one test of the end: the port's messages are
// not sure to come, and with nested jobs a message of no process left may be another
// job's, so a message only says when to look again. A count that cannot be read ends the
// wait too, rather than hold it for ever, with the read's Windows error.
JobEnd WaitForJobEnd(const Job& job, uint64_t limit, uint32_t started, uint32_t* windowsError) {
    uint64_t elapsed = 0;
    uint32_t last = started;
    for (;;) {
        uint32_t count = 0;
        if (!PlatformReadJobProcessCount(job.object, &count, windowsError)) {
            return JobCountUnreadable;
        }
        if (count == 0) return JobEnded;
        uint32_t now = PlatformMilliseconds();
        elapsed += static_cast<uint32_t>(now - last);  // right across the count's wrap
        last = now;
        if (limit != 0 && elapsed >= limit) return JobPastLimit;
        uint64_t wait = kLookIntervalMilliseconds;
        if (limit != 0 && limit - elapsed < wait) wait = limit - elapsed;
        PlatformWaitForJobMessage(job.port, static_cast<uint32_t>(wait));
    }
}

// The program's status once the whole job has ended. Past the time limit the job is
// ended by Velmor, with 258; when its count cannot be read, with -1 and the job's failure.
int WaitForJobStatus(const Job& job, PlatformHandle process, const LaunchOptions& options,
                     uint32_t started) {
    uint32_t windowsError = 0;
    JobEnd end =
        WaitForJobEnd(job, uint64_t{options.timeLimitSeconds} * 1000, started, &windowsError);
    if (end == JobEnded) return ReadExitStatus(process, options.showReason);
    if (end == JobCountUnreadable) {
        PlatformTerminateJob(job.object, static_cast<uint32_t>(kLaunchFailed));
        ReportFailure(MsgJobFailed, options.showReason, windowsError);
        return kLaunchFailed;
    }
    PlatformTerminateJob(job.object, kTimeLimitStatus);
    // Termination does not wait: the caller's next step may need the job's files closed.
    // What the grace's count says, or why it cannot be read, changes nothing.
    WaitForJobEnd(job, kEndGraceMilliseconds, PlatformMilliseconds(), &windowsError);
    PrintMessage(MsgTimeLimitReached);
    return static_cast<int>(kTimeLimitStatus);
}

int RunAsJob(const ProcessInformation& process, const LaunchOptions& options, uint32_t started,
             Job* job) {
    uint32_t windowsError = 0;
    FailedCall failedCall = FailedOtherCall;
    if (!StartInJob(process, job, &windowsError, &failedCall)) {
        ReportFailure(MsgJobFailed, options.showReason, windowsError, failedCall);
        return kLaunchFailed;
    }
    return WaitForJobStatus(*job, process.hProcess, options, started);
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
// where a read waits for ever under /hide. False, with the Windows error, when NUL cannot
// be opened.
bool KeepOnlyFilesAndPipes(StartupSettings* startup, PlatformHandle* nullDevice,
                           uint32_t* windowsError) {
    PlatformHandle* fields[] = {&startup->hStdInput, &startup->hStdOutput, &startup->hStdError};
    for (PlatformHandle* field : fields) {
        if (IsHandedOver(*field)) continue;
        if (*nullDevice == nullptr) *nullDevice = PlatformOpenNullDevice(windowsError);
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
    uint32_t windowsError = 0;
    if (options->standardStreams &&
        !KeepOnlyFilesAndPipes(&plan.startupInfo, &nullDevice, &windowsError)) {
        PlatformWipe(&options->password, sizeof options->password);
        ReportFailure(MsgLaunchFailed, options->showReason, windowsError);
        return kLaunchFailed;
    }

    // Without a block the platform builds the target account's environment, which is
    // also what happens when the caller's block cannot be had.
    WideChar* environment = options->useCallerEnvironment ? PlatformTakeEnvironment() : nullptr;
    plan.lpEnvironment = environment;
    // The program writes to the very file or pipe that holds Velmor's buffered banner:
    // written out first, the banner stands before everything the program prints.
    if (options->standardStreams) PlatformFlushOutput();

    // Velmor ended before the program is in its job would leave it suspended for ever,
    // with the account's profile loaded: the events that end it wait until then.
    if (WaitsForJob(*options)) PlatformHoldConsoleControl();
    bool created = PlatformCreateProcessWithLogon(
        plan.lpUsername, plan.lpDomain, plan.lpPassword, plan.dwLogonFlags,
        plan.lpApplicationName, plan.lpCommandLine, plan.dwCreationFlags, plan.lpEnvironment,
        plan.lpCurrentDirectory, &plan.startupInfo, &plan.processInformation, &windowsError);
    uint32_t started = PlatformMilliseconds();
    // The password is needed for nothing after the call, and a wait may last hours.
    PlatformWipe(&options->password, sizeof options->password);
    // The logon service has made the program's own copy of NUL by now.
    if (nullDevice != nullptr) PlatformCloseHandle(nullDevice);

    if (!created) {
        PlatformReleaseConsoleControl();  // nothing to end: the events act again
        if (environment != nullptr) PlatformFreeEnvironment(environment);
        ReportFailure(MsgLaunchFailed, options->showReason, windowsError, FailedLogonCall);
        return kLaunchFailed;
    }

    const ProcessInformation& process = plan.processInformation;
    Job job = {nullptr, nullptr};
    int status = 0;
    if (WaitsForJob(*options)) {
        status = RunAsJob(process, *options, started, &job);
    } else if (options->wait) {
        status = WaitForExitStatus(process.hProcess, options->showReason);
    }
    PlatformCloseHandle(process.hThread);
    PlatformCloseHandle(process.hProcess);
    // Closing the job ends what is left of it, if anything: by now it has ended, or was
    // told to end.
    if (job.port != nullptr) PlatformCloseHandle(job.port);
    if (job.object != nullptr) PlatformCloseHandle(job.object);
    if (environment != nullptr) PlatformFreeEnvironment(environment);
    return status;
}
