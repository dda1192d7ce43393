// Fills LaunchOptions from the argument vector: the switch table, its comparison rules
// and the division of an account into domain and user.
#include "cli/options.h"

#include <string.h>

#include "cli/password_sources.h"

namespace {

enum SwitchEffect {
    LogoOff, LogoOn, ProfileOff, ProfileOn, NetworkOnly, CallerEnvironmentOff,
    CallerEnvironmentOn, SetAccount, SetPassword, WaitOff, WaitOn, HideOff, HideOn,
    SetWorkDir, SetFromCredential, SetPasswordFromInput, StandardStreamsOff, StandardStreamsOn,
    WaitForJob, SetTimeLimit, ReasonOff, ReasonOn,
};

struct SwitchRule {
    const char* name;
    bool isPrefix;  // true: only the name's first strlen(name) bytes are compared
    SwitchEffect effect;
};

// Tested in this order; the first rule that holds decides.
const SwitchRule kSwitchRules[] = {
    {"nologo", false, LogoOff},
    {"logo", false, LogoOn},
    {"noprofile", false, ProfileOff},
    {"profile", false, ProfileOn},
    {"netonly", false, NetworkOnly},
    {"noenv", false, CallerEnvironmentOff},
    {"env", false, CallerEnvironmentOn},
    {"user:", true, SetAccount},
    {"password:", true, SetPassword},
    {"a:", true, SetPassword},  // short form, kept for scripts that use it
    {"nowait", false, WaitOff},
    {"wait", false, WaitOn},
    {"job", false, WaitForJob},
    {"timeout:", true, SetTimeLimit},
    {"nohide", false, HideOff},
    {"hide", false, HideOn},
    {"nostdio", false, StandardStreamsOff},
    {"stdio", false, StandardStreamsOn},
    {"workdir:", true, SetWorkDir},
    {"credential:", true, SetFromCredential},
    {"password-stdin", false, SetPasswordFromInput},
    {"noreason", false, ReasonOff},
    {"reason", false, ReasonOn},
};

// "/password Hunter2" would run Hunter2: shown in the new console's title and in process
// listings, searched for as a program, and with a later program an empty password tried
// towards the account's lockout. "/timeout 60" would start a job that a script believes
// is ended at a limit. So these switches' names without their colon, or with '=' in its
// place, refuse the command line, each with its switch's message; other unknown switches
// stay skipped.
const SwitchRule kMistypedSwitches[] = {
    {"password", false, SetPassword},
    {"a", false, SetPassword},
    {"password=", true, SetPassword},
    {"a=", true, SetPassword},
    {"timeout", false, SetTimeLimit},
    {"timeout=", true, SetTimeLimit},
};

// At four bytes to a unit at the most, a domain of this many bytes or more cannot fit
// a wide text field, so refusing it here refuses nothing that would have fitted.
const size_t kDomainBytesCapacity = 4 * static_cast<size_t>(kWideTextCapacity);

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Every rule name is ASCII, so a byte-wise comparison that folds A to Z only gives the
// same answer as one that walks double-byte characters: a lead byte is never ASCII, so
// no matched stretch can hold half of a character. Returns the value after the rule's
// name, or null when the rule does not hold.
const char* MatchSwitch(const char* name, const SwitchRule& rule) {
    size_t i = 0;
    for (; rule.name[i] != 0; ++i) {
        if (name[i] == 0 || LowerAscii(name[i]) != rule.name[i]) return nullptr;
    }
    if (!rule.isPrefix && name[i] != 0) return nullptr;
    return name + i;
}

bool IsSwitch(const char* argument) {
    return argument[0] == '/' || argument[0] == '-';
}

// The first of the rules that holds for name, or null.
template <size_t count>
const SwitchRule* FirstRuleThatHolds(const SwitchRule (&rules)[count], const char* name,
                                     const char** value) {
    for (const SwitchRule& rule : rules) {
        *value = MatchSwitch(name, rule);
        if (*value != nullptr) return &rule;
    }
    return nullptr;
}

const SwitchRule* FindSwitchRule(const char* name, const char** value) {
    return FirstRuleThatHolds(kSwitchRules, name, value);
}

// Whether name is one of kMistypedSwitches; refusal is then its switch's message.
bool IsMistypedSwitch(const char* name, MessageId* refusal) {
    const char* value = nullptr;
    const SwitchRule* rule = FirstRuleThatHolds(kMistypedSwitches, name, &value);
    if (rule == nullptr) return false;
    *refusal = rule->effect == SetPassword ? MsgPasswordNeedsColon : MsgTimeLimitInvalid;
    return true;
}

// The program shares Velmor's standard input with /stdio: a file it could read again from
// its start, the password's line included, where a pipe gives it only what comes after.
bool StandardInputIsDiskFile() {
    PlatformHandle input = nullptr, output = nullptr, error = nullptr;
    PlatformReadStandardHandles(&input, &output, &error);
    return PlatformHandleKind(input) == HandleDiskFile;
}

// The first backslash that is a character of its own, walking double-byte characters
// whole; a lone lead byte at the end stops the search.
const char* FindAccountSeparator(const char* value, const LeadBytes& leadBytes) {
    for (const char* p = value; *p != 0; ++p) {
        if (leadBytes.isLead[static_cast<unsigned char>(*p)]) {
            if (p[1] == 0) return nullptr;
            ++p;
        } else if (*p == '\\') {
            return p;
        }
    }
    return nullptr;
}

// "domain\user" divides at its first backslash; anything else is the user alone, and
// an earlier domain then stays.
bool ApplyAccount(const char* value, const LeadBytes& leadBytes, LaunchOptions* options) {
    const char* separator = FindAccountSeparator(value, leadBytes);
    if (separator == nullptr) return ToWide(value, &options->user);

    bool domainFits = false;
    size_t domainLength = static_cast<size_t>(separator - value);
    if (domainLength < kDomainBytesCapacity) {
        char domainBytes[kDomainBytesCapacity];
        memcpy(domainBytes, value, domainLength);
        domainBytes[domainLength] = 0;
        domainFits = ToWide(domainBytes, &options->domain);
    } else {
        options->domain.units[0] = 0;
    }
    bool userFits = ToWide(separator + 1, &options->user);
    return domainFits && userFits;
}

// The same rule for an account that comes as UTF-16, a credential's user name: the
// first backslash divides, and without one an earlier domain stays. Both parts are
// shorter than the whole, which fits its field.
void ApplyWideAccount(const WideText& account, LaunchOptions* options) {
    int separator = -1;
    int length = 0;
    for (; account.units[length] != 0; ++length) {
        if (separator < 0 && account.units[length] == u'\\') separator = length;
    }
    if (separator < 0) {
        memcpy(&options->user, &account, sizeof account);
        return;
    }
    memcpy(options->domain.units, account.units, static_cast<size_t>(separator) * sizeof(WideChar));
    options->domain.units[separator] = 0;
    memcpy(options->user.units, account.units + separator + 1,
           static_cast<size_t>(length - separator) * sizeof(WideChar));
}

// A credential's password, and its user name when it has one, as /password: and
// /user: would give them.
bool ApplyCredential(const char* target, LaunchOptions* options, MessageId* refusal,
                     uint32_t* windowsError) {
    WideText account;
    if (!ReadCredential(target, &account, &options->password, refusal, windowsError)) return false;
    if (!IsEmpty(account)) ApplyWideAccount(account, options);
    return true;
}

// Decimal digits alone, from 1 to kLongestTimeLimitSeconds: no sign, no blank, no unit.
bool ApplyTimeLimit(const char* value, LaunchOptions* options, MessageId* refusal) {
    uint32_t seconds = 0;
    const char* p = value;
    for (; *p >= '0' && *p <= '9' && seconds <= kLongestTimeLimitSeconds; ++p) {
        seconds = seconds * 10 + static_cast<uint32_t>(*p - '0');
    }
    if (*p != 0 || seconds == 0 || seconds > kLongestTimeLimitSeconds) {
        *refusal = MsgTimeLimitInvalid;
        return false;
    }
    options->timeLimitSeconds = seconds;
    options->wait = true;  // a later /nowait still says otherwise
    return true;
}

// Returns false when the switch's value cannot be taken; refusal is then set where it is
// other than an over-long value's, and windowsError where a Windows call failed.
bool ApplySwitch(const char* name, const LeadBytes& leadBytes, InputLine* input,
                 LaunchOptions* options, MessageId* refusal, uint32_t* windowsError) {
    const char* value = nullptr;
    const SwitchRule* rule = FindSwitchRule(name, &value);
    if (rule == nullptr && IsMistypedSwitch(name, refusal)) return false;
    if (rule == nullptr) return true;  // an unknown switch is skipped without a word
    switch (rule->effect) {
        case LogoOff: options->showLogo = false; break;
        case LogoOn: options->showLogo = true; break;
        // The three logon modes exclude each other: each switch sets the whole value, so
        // the last of them wins and no two flags are ever combined.
        case ProfileOff: options->logonFlags = 0; break;
        case ProfileOn: options->logonFlags = kLogonWithProfile; break;
        case NetworkOnly: options->logonFlags = kLogonNetCredentialsOnly; break;
        case CallerEnvironmentOff: options->useCallerEnvironment = false; break;
        case CallerEnvironmentOn: options->useCallerEnvironment = true; break;
        case SetAccount: return ApplyAccount(value, leadBytes, options);
        case SetPassword:
            options->passwordSource = PasswordFromCommandLine;
            return ToWide(value, &options->password);
        // The last of /nowait, /wait and /job decides how Velmor waits.
        case WaitOff: options->wait = options->waitForJob = false; break;
        case WaitOn: options->wait = true; options->waitForJob = false; break;
        case WaitForJob: options->wait = options->waitForJob = true; break;
        case SetTimeLimit: return ApplyTimeLimit(value, options, refusal);
        case HideOff: options->hide = false; break;
        case HideOn: options->hide = true; break;
        case StandardStreamsOff: options->standardStreams = false; break;
        case StandardStreamsOn: options->standardStreams = true; break;
        case ReasonOff: options->showReason = false; break;
        case ReasonOn: options->showReason = true; break;
        case SetWorkDir: return ToWide(value, &options->workDir);
        case SetFromCredential:
            options->passwordSource = PasswordFromCredential;
            return ApplyCredential(value, options, refusal, windowsError);
        case SetPasswordFromInput:
            options->passwordSource = PasswordFromInput;
            return ReadInputPassword(input, &options->password, refusal, windowsError);
    }
    return true;
}

}  // namespace

void SetDefaultOptions(LaunchOptions* options) {
    memset(options, 0, sizeof *options);
    options->showLogo = true;
    options->logonFlags = kLogonWithProfile;
}

ConversionResult ConvertToWide(const char* bytes, WideText* field, bool rejectInvalid) {
    ConversionResult result =
        PlatformAnsiToWide(bytes, true, field->units, kWideTextCapacity, rejectInvalid);
    // With UTF-8 as the ANSI code page, MB_PRECOMPOSED is refused; it means nothing
    // for UTF-8, so converting without it gives what was asked for.
    if (result == ConversionFlagsRefused) {
        result = PlatformAnsiToWide(bytes, false, field->units, kWideTextCapacity, rejectInvalid);
    }
    if (result != ConversionDone) field->units[0] = 0;
    return result;
}

bool ToWide(const char* bytes, WideText* field) {
    return ConvertToWide(bytes, field, false) != ConversionTooLong;
}

bool ParseArguments(int argc, const char* const* argv, const LeadBytes& leadBytes,
                    LaunchOptions* options, MessageId* refusal) {
    InputLine input;
    input.taken = false;
    bool accepted = true;
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        MessageId refused = MsgValueTooLong;  // unless the switch says otherwise
        uint32_t windowsError = 0;
        bool applied = IsSwitch(argument) ? ApplySwitch(argument + 1, leadBytes, &input, options,
                                                        &refused, &windowsError)
                                          : ToWide(argument, &options->commandLine);
        if (accepted && !applied) {
            *refusal = refused;
            options->refusalWindowsError = windowsError;
        }
        accepted = accepted && applied;
    }
    if (accepted && input.taken && options->standardStreams && StandardInputIsDiskFile()) {
        *refusal = MsgInputFileWithStdio;
        accepted = false;
    }
    if (input.taken) PlatformWipe(&input, sizeof input);
    return accepted;
}

bool IsPasswordSwitchName(const char* argument) {
    if (!IsSwitch(argument)) return false;
    const char* value = nullptr;
    const SwitchRule* rule = FindSwitchRule(argument + 1, &value);
    return rule != nullptr && rule->effect == SetPassword && *value == 0;
}
