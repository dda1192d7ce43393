// Builds the launch plan, the console window's title included. Needs nothing of the
// platform but the ANSI conversion and, with /stdio, the process's standard handles.
#include "launch/plan.h"

#include <string.h>

namespace {

// The title's literal pieces, code page 932 bytes converted through the ANSI code page
// like every argument: " (", "\" between domain and user, and " (running as)" closing.
const char kTitleOpen[] = " (";
const char kTitleSeparator[] = "\\";
const char kTitleClose[] = " \x82\xc6\x82\xb5\x82\xc4\x8e\xc0\x8d\x73\x92\x86)";

int WideLength(const WideText& text) {
    int length = 0;
    while (text.units[length] != 0) ++length;
    return length;
}

bool IsHighSurrogate(WideChar unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

// Appends as much of source as the title holds, never ending on the first half of a
// surrogate pair whose second half did not fit. Returns false when it had to cut.
bool AppendToTitle(WideText* title, const WideChar* source) {
    int length = WideLength(*title);
    int room = kWideTextCapacity - 1 - length;
    int count = 0;
    while (count < room && source[count] != 0) ++count;
    bool whole = source[count] == 0;
    if (!whole && count > 0 && IsHighSurrogate(source[count - 1])) --count;
    memcpy(title->units + length, source, static_cast<size_t>(count) * sizeof(WideChar));
    title->units[length + count] = 0;
    return whole;
}

bool AppendLiteralToTitle(WideText* title, const char* literal) {
    WideText scratch;
    ToWide(literal, &scratch);
    return AppendToTitle(title, scratch.units);
}

// "command (domain\user running as)"; a cut ends the title there, so a shortened
// title never runs on with later pieces.
void ComposeTitle(const LaunchOptions& options, WideText* title) {
    title->units[0] = 0;
    if (!AppendToTitle(title, options.commandLine.units)) return;
    if (!AppendLiteralToTitle(title, kTitleOpen)) return;
    if (!IsEmpty(options.domain)) {
        if (!AppendToTitle(title, options.domain.units)) return;
        if (!AppendLiteralToTitle(title, kTitleSeparator)) return;
    }
    if (!AppendToTitle(title, options.user.units)) return;
    AppendLiteralToTitle(title, kTitleClose);
}

const WideChar* UnlessEmpty(const WideText& text) {
    return IsEmpty(text) ? nullptr : text.units;
}

}  // namespace

void BuildLaunchPlan(LaunchOptions* options, LaunchPlan* plan) {
    memset(plan, 0, sizeof *plan);
    plan->lpUsername = options->user.units;
    plan->lpDomain = UnlessEmpty(options->domain);
    plan->lpPassword = options->password.units;  // an empty password is still passed
    plan->dwLogonFlags = options->logonFlags;
    plan->lpApplicationName = nullptr;
    plan->lpCommandLine = options->commandLine.units;
    // Suspended until it is in Velmor's job, so that nothing it starts runs outside.
    plan->dwCreationFlags = kLaunchCreationFlags | (WaitsForJob(*options) ? kCreateSuspended : 0);
    plan->lpEnvironment = nullptr;
    plan->lpCurrentDirectory = UnlessEmpty(options->workDir);

    ComposeTitle(*options, &plan->title);
    plan->startupInfo.lpTitle = plan->title.units;
    if (options->hide) {
        plan->startupInfo.dwFlags = kStartfUseShowWindow;
        plan->startupInfo.wShowWindow = kSwHide;
    }
    if (options->standardStreams) {
        plan->startupInfo.dwFlags |= kStartfUseStdHandles;
        PlatformReadStandardHandles(&plan->startupInfo.hStdInput, &plan->startupInfo.hStdOutput,
                                    &plan->startupInfo.hStdError);
    }
}
