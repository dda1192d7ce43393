// The launch plan: the exact arguments of the logon call, decided from LaunchOptions
// before anything is asked of the platform.
#pragma once

#include "cli/options.h"
#include "platform/platform.h"

const uint32_t kLaunchCreationFlags = kCreateDefaultErrorMode | kCreateSeparateWowVdm |
                                      kCreateUnicodeEnvironment | kCreateNewProcessGroup |
                                      kCreateNewConsole;

// One value for each argument of the logon call, in the call's order; null is absent.
struct LaunchPlan {
    const WideChar* lpUsername;
    const WideChar* lpDomain;
    const WideChar* lpPassword;
    uint32_t dwLogonFlags;
    const WideChar* lpApplicationName;
    WideChar* lpCommandLine;  // options' own buffer: the call may write to it
    uint32_t dwCreationFlags;
    void* lpEnvironment;  // left for LaunchAsUser
    const WideChar* lpCurrentDirectory;
    StartupSettings startupInfo;
    ProcessInformation processInformation;
    // The console window's title. It only labels the window, so a title that does not
    // fit is shortened rather than the launch refused.
    WideText title;
};

// Fills every value but lpEnvironment; the plan points into options, which must outlive it.
void BuildLaunchPlan(LaunchOptions* options, LaunchPlan* plan);
