// The launch plan: which arguments are absent, the flags, the startup settings and the
// window title, including a title too long for its field.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "launch/plan.h"
#include "test_support.h"

namespace {

void Set(WideText* field, const std::u16string& text) {
    ASSERT_LT(text.size(), static_cast<size_t>(kWideTextCapacity));
    std::copy(text.begin(), text.end(), field->units);
    field->units[text.size()] = 0;
}

struct PlanInput {
    std::u16string user, domain, password, commandLine, workDir;
    uint32_t logonFlags;
    bool hide;
};

std::unique_ptr<LaunchPlan> Build(const PlanInput& input, LaunchOptions* options) {
    SetDefaultOptions(options);
    Set(&options->user, input.user);
    Set(&options->domain, input.domain);
    Set(&options->password, input.password);
    Set(&options->commandLine, input.commandLine);
    Set(&options->workDir, input.workDir);
    options->logonFlags = input.logonFlags;
    options->hide = input.hide;
    auto plan = std::make_unique<LaunchPlan>();
    BuildLaunchPlan(options, plan.get());
    return plan;
}

std::u16string OrAbsent(const WideChar* text) {
    return text == nullptr ? u"(absent)" : std::u16string(text);
}

struct PlanCase {
    const char* what;
    PlanInput input;
    std::u16string title, domain, workDir;
    uint32_t logonFlags, startupFlags;
};

const PlanCase kPlanCases[] = {
    {"a domain comes before the user in the title",
     {u"alice", u"CORP", u"pw", u"notepad.exe", u"", 1, false},
     u"notepad.exe (CORP\\alice として実行中)", u"CORP", u"(absent)", 1, 0},
    {"user@domain passes no domain",
     {u"alice@corp", u"", u"pw", u"notepad.exe", u"", 1, false},
     u"notepad.exe (alice@corp として実行中)", u"(absent)", u"(absent)", 1, 0},
    {"the title shows the command line's parameters",
     {u"alice", u"", u"", u"cmd.exe /k dir", u"C:\\Work", 1, false},
     u"cmd.exe /k dir (alice として実行中)", u"(absent)", u"C:\\Work", 1, 0},
    {"/noprofile passes logon flags 0",
     {u"alice", u"", u"", u"x.exe", u"", 0, false}, u"x.exe (alice として実行中)",
     u"(absent)", u"(absent)", 0, 0},
    {"/netonly passes logon flags 2",
     {u"alice", u"CORP", u"", u"x.exe", u"", kLogonNetCredentialsOnly, false},
     u"x.exe (CORP\\alice として実行中)", u"CORP", u"(absent)", 2, 0},
    {"/hide asks for the window hidden",
     {u"alice", u"", u"", u"x.exe", u"", 1, true}, u"x.exe (alice として実行中)",
     u"(absent)", u"(absent)", 1, kStartfUseShowWindow},
};

TEST(BuildLaunchPlan, PlansTheArgumentsOfTheLogonCall) {
    for (const PlanCase& test : kPlanCases) {
        ResetFakePlatform();
        auto options = std::make_unique<LaunchOptions>();
        std::unique_ptr<LaunchPlan> plan = Build(test.input, options.get());
        EXPECT_EQ(Text(plan->title), test.title) << test.what;
        EXPECT_EQ(plan->startupInfo.lpTitle, plan->title.units) << test.what;
        EXPECT_EQ(OrAbsent(plan->lpDomain), test.domain) << test.what;
        EXPECT_EQ(OrAbsent(plan->lpCurrentDirectory), test.workDir) << test.what;
        EXPECT_EQ(plan->dwLogonFlags, test.logonFlags) << test.what;
        EXPECT_EQ(plan->startupInfo.dwFlags, test.startupFlags) << test.what;
        EXPECT_EQ(plan->startupInfo.wShowWindow, kSwHide) << test.what;
        // Always the same, whatever the options.
        EXPECT_EQ(plan->lpUsername, options->user.units) << test.what;
        EXPECT_EQ(plan->lpPassword, options->password.units) << test.what;
        EXPECT_EQ(plan->lpCommandLine, options->commandLine.units) << test.what;
        EXPECT_EQ(plan->lpApplicationName, nullptr) << test.what;
        EXPECT_EQ(plan->lpEnvironment, nullptr) << test.what;
        EXPECT_EQ(plan->dwCreationFlags, 0x04000E10u) << test.what;
    }
}

TEST(BuildLaunchPlan, NeverPutsThePasswordInTheTitle) {
    ResetFakePlatform();
    auto options = std::make_unique<LaunchOptions>();
    auto plan = Build({u"alice", u"CORP", u"Hunter2", u"x.exe", u"", 1, false}, options.get());
    EXPECT_EQ(Text(plan->title).find(u"Hunter2"), std::u16string::npos);
}

// The title only labels the window: one that does not fit is cut at its capacity, and
// never between the two halves of a surrogate pair.
TEST(BuildLaunchPlan, ShortensATitleThatDoesNotFit) {
    const std::u16string smile = u"\U0001F600";
    const struct {
        const char* what;
        std::u16string commandLine, domain, user;
        std::u16string title;
    } cases[] = {
        {"a title of exactly 1023 units is whole", std::u16string(1017, u'a'), u"", smile + smile,
         std::u16string(1017, u'a') + u" (" + smile + smile},
        {"a pair that would be split is left out", std::u16string(1018, u'a'), u"", smile + smile,
         std::u16string(1018, u'a') + u" (" + smile},
        {"a cut just after a whole pair keeps the pair", std::u16string(1017, u'a'), u"",
         smile + smile + smile, std::u16string(1017, u'a') + u" (" + smile + smile},
        {"a full command line leaves no room for the account", std::u16string(1023, u'a'), u"",
         u"alice", std::u16string(1023, u'a')},
        {"an account that fills the title drops the closing piece", std::u16string(1016, u'a'),
         u"", u"alice", std::u16string(1016, u'a') + u" (alice"},
        {"a cut inside the closing piece keeps what fits", std::u16string(1018, u'a'), u"", u"b",
         std::u16string(1018, u'a') + u" (b と"},
        {"a cut inside the account ends the title there", std::u16string(1019, u'a'), u"",
         u"alice", std::u16string(1019, u'a') + u" (al"},
        {"a cut inside the domain ends the title there", std::u16string(1017, u'a'),
         u"ddd" + smile, u"alice", std::u16string(1017, u'a') + u" (ddd"},
    };
    for (const auto& test : cases) {
        ResetFakePlatform();
        auto options = std::make_unique<LaunchOptions>();
        auto plan = Build({test.user, test.domain, u"", test.commandLine, u"", 1, false},
                          options.get());
        EXPECT_EQ(Text(plan->title), test.title) << test.what;
        EXPECT_LE(Text(plan->title).size(), 1023u) << test.what;
    }
}

}  // namespace
