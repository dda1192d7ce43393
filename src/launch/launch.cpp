// Performs the planned launch and releases, before returning, everything it took from
// the platform: the environment block, the two handles of the new process, NUL and the
// relays' pipes and threads for /stdio, and with a job wait the job and its port.
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
// How long each relay of the program's output, two at the most, is waited for once the
// program or its job has ended.
const uint32_t kRelayGraceMilliseconds = 2000;

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

// The threads that copy between Velmor's standard handles and pipes of its own, one for
// each stream that /stdio relays, and which of them feed the program's input.
struct Relays {
    PlatformHandle threads[3];
    bool feedsInput[3];
    PlatformHandle programEnds[3];  // Velmor's copies, closed after the logon call
    int count;
};

// Once the program has ended, or when Velmor does not wait for it, and before Velmor says
// anything more. After a wait, each output relay gets a few seconds to reach the end of
// its pipe (a process outside the job may hold it open), and the input relay none: its
// reader has gone. Without a wait, every relay is passed on to its end, the caller's
// input whole.
void FinishRelays(Relays* relays, bool waited) {
    for (int i = 0; i < relays->count; ++i) {
        uint32_t grace = relays->feedsInput[i] ? 0 : kRelayGraceMilliseconds;
        PlatformWaitForThread(relays->threads[i], waited ? grace : kPlatformNoTimeLimit);
        PlatformCloseHandle(relays->threads[i]);
    }
    relays->count = 0;  // finished once: the program's ends were closed before
}

// An exit status that cannot be read is reported and 0; after the program's own output.
// With /reason, a status that says the program never ran its own code is explained; it
// is passed on all the same.
int ReadExitStatus(PlatformHandle process, bool showReason, Relays* relays) {
    FinishRelays(relays, true);
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
int WaitForExitStatus(PlatformHandle process, bool showReason, Relays* relays) {
    PlatformWaitForProcess(process);
    return ReadExitStatus(process, showReason, relays);
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
                     uint32_t started, Relays* relays) {
    uint32_t windowsError = 0;
    JobEnd end =
        WaitForJobEnd(job, uint64_t{options.timeLimitSeconds} * 1000, started, &windowsError);
    if (end == JobEnded) return ReadExitStatus(process, options.showReason, relays);
    if (end == JobCountUnreadable) {
        PlatformTerminateJob(job.object, static_cast<uint32_t>(kLaunchFailed));
        FinishRelays(relays, true);
        ReportFailure(MsgJobFailed, options.showReason, windowsError);
        return kLaunchFailed;
    }
    PlatformTerminateJob(job.object, kTimeLimitStatus);
    // Termination does not wait: the caller's next step may need the job's files closed.
    // What the grace's count says, or why it cannot be read, changes nothing.
    WaitForJobEnd(job, kEndGraceMilliseconds, PlatformMilliseconds(), &windowsError);
    FinishRelays(relays, true);
    PrintMessage(MsgTimeLimitReached);
    return static_cast<int>(kTimeLimitStatus);
}

int RunAsJob(const ProcessInformation& process, const LaunchOptions& options, uint32_t started,
             Job* job, Relays* relays) {
    uint32_t windowsError = 0;
    FailedCall failedCall = FailedOtherCall;
    if (!StartInJob(process, job, &windowsError, &failedCall)) {
        FinishRelays(relays, true);
        ReportFailure(MsgJobFailed, options.showReason, windowsError, failedCall);
        return kLaunchFailed;
    }
    return WaitForJobStatus(*job, process.hProcess, options, started, relays);
}

// A pipe of Velmor's own for one stream, and the thread that relays it: the program
// gets the pipe's client end in field; own is Velmor's standard handle.
bool RelayThroughPipe(PlatformHandle own, bool feedsInput, PlatformHandle* field,
                      Relays* relays, uint32_t* windowsError) {
    PlatformHandle programEnd = nullptr;
    PlatformHandle thread = PlatformStartRelay(own, feedsInput, &programEnd, windowsError);
    if (thread == nullptr) return false;
    relays->threads[relays->count] = thread;
    relays->programEnds[relays->count] = programEnd;
    relays->feedsInput[relays->count++] = feedsInput;
    *field = programEnd;
    return true;
}

// What /stdio gives the program for each of Velmor's standard handles. A disk file or a
// pipe's client end: the handle itself, the caller's own log or pipeline. A pipe's server
// end could impersonate the caller (ImpersonateNamedPipeClient) in the other account's
// hands: a pipe of Velmor's own, relayed. A console for output or error, with a wait: a
// pipe whose bytes Velmor writes to the console, one for both where both are consoles
// (the process has one), so that their order stays. A console for input, and anything
// else: NUL, opened once into nullDevice; a console handed over would let the program
// read the caller's screen or keystrokes, and a pseudo-handle (a negative value: the
// invalid handle is also the current process) would hand over Velmor's own process. Not
// null: with a null field a program with a new console gets that console's streams,
// where a read waits for ever under /hide. False, with the Windows error, when NUL or a relay cannot be had.
bool ChooseStandardHandles(StartupSettings* startup, bool waits, PlatformHandle* nullDevice,
                           Relays* relays, uint32_t* windowsError) {
    PlatformHandle* fields[] = {&startup->hStdInput, &startup->hStdOutput, &startup->hStdError};
    bool outputToConsole = false;
    for (int i = 0; i < 3; ++i) {
        PlatformHandle own = *fields[i];
        HandleKind kind = own == nullptr || reinterpret_cast<intptr_t>(own) < 0
                              ? HandleOther : PlatformHandleKind(own);
        if (kind == HandleDiskFile || kind == HandlePipe) continue;
        bool console = kind == HandleConsole && i > 0 && waits;
        if (console && outputToConsole) {
            *fields[i] = *fields[1];
        } else if (kind == HandlePipeServerEnd || console) {
            if (!RelayThroughPipe(own, i == 0, fields[i], relays, windowsError)) return false;
            outputToConsole = console;
        } else {
            if (*nullDevice == nullptr) *nullDevice = PlatformOpenNullDevice(windowsError);
            if (*nullDevice == nullptr) return false;
            *fields[i] = *nullDevice;
        }
    }
    return true;
}

void ReleaseStandardHandles(PlatformHandle nullDevice, Relays* relays) {
    if (nullDevice != nullptr) PlatformCloseHandle(nullDevice);
    for (int i = 0; i < relays->count; ++i) PlatformCloseHandle(relays->programEnds[i]);
}

}  // namespace

int LaunchAsUser(LaunchOptions* options) {
    LaunchPlan plan;
    BuildLaunchPlan(options, &plan);
    PlatformHandle nullDevice = nullptr;
    Relays relays = {};
    uint32_t windowsError = 0;
    // Nothing is started when NUL or a relay cannot be had.
    bool ready = !options->standardStreams ||
                 ChooseStandardHandles(&plan.startupInfo, options->wait, &nullDevice, &relays,
                                       &windowsError);

    // Without a block the platform builds the target account's environment, which is
    // also what happens when the caller's block cannot be had.
    WideChar* environment =
        ready && options->useCallerEnvironment ? PlatformTakeEnvironment() : nullptr;
    plan.lpEnvironment = environment;
    // The program writes to the very file or pipe that holds Velmor's buffered banner:
    // written out first, the banner stands before everything the program prints.
    if (ready && options->standardStreams) PlatformFlushOutput();

    // Velmor ended before the program is in its job would leave it suspended for ever,
    // with the account's profile loaded: the events that end it wait until then.
    if (ready && WaitsForJob(*options)) PlatformHoldConsoleControl();
    bool created = ready && PlatformCreateProcessWithLogon(
        plan.lpUsername, plan.lpDomain, plan.lpPassword, plan.dwLogonFlags,
        plan.lpApplicationName, plan.lpCommandLine, plan.dwCreationFlags, plan.lpEnvironment,
        plan.lpCurrentDirectory, &plan.startupInfo, &plan.processInformation, &windowsError);
    uint32_t started = PlatformMilliseconds();
    // The password is needed for nothing after the call, and a wait may last hours.
    PlatformWipe(&options->password, sizeof options->password);
    // The logon service has made the program's own copies of NUL and of the pipes' ends by
    // now: closed here, a pipe ends when the program's copies close.
    ReleaseStandardHandles(nullDevice, &relays);

    if (!created) {
        PlatformReleaseConsoleControl();  // nothing to end: the events act again
        if (environment != nullptr) PlatformFreeEnvironment(environment);
        FinishRelays(&relays, true);
        ReportFailure(MsgLaunchFailed, options->showReason, windowsError,
                      ready ? FailedLogonCall : FailedOtherCall);
        return kLaunchFailed;
    }

    const ProcessInformation& process = plan.processInformation;
    Job job = {nullptr, nullptr};
    int status = 0;
    if (WaitsForJob(*options)) {
        status = RunAsJob(process, *options, started, &job, &relays);
    } else if (options->wait) {
        status = WaitForExitStatus(process.hProcess, options->showReason, &relays);
    }
    FinishRelays(&relays, options->wait);
    PlatformCloseHandle(process.hThread);
    PlatformCloseHandle(process.hProcess);
    // Closing the job ends what is left of it, if anything: by now it has ended, or was
    // told to end.
    if (job.port != nullptr) PlatformCloseHandle(job.port);
    if (job.object != nullptr) PlatformCloseHandle(job.object);
    if (environment != nullptr) PlatformFreeEnvironment(environment);
    return status;
}
