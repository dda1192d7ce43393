// Fuzz target: the conversion into wide text fields and the bounded appends of the
// title, near and past their capacities. Byte 0 picks the code page; the rest is up to
// four zero-separated pieces (user, domain, command line, password), each preceded by
// a repeat count so that short inputs still reach 1023 units.
#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <string>

#include "fuzz_support.h"
#include "launch/plan.h"

namespace {

void CheckConverted(const WideText& field, bool fits) {
    int length = 0;
    while (length < kWideTextCapacity && field.units[length] != 0) ++length;
    FUZZ_CHECK(length < kWideTextCapacity);
    if (!fits) FUZZ_CHECK(length == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    ResetFakePlatform();
    Fake().codePage = FuzzCodePage(data[0]);

    std::string pieces[4];
    size_t at = 1;
    for (std::string& piece : pieces) {
        if (at >= size) break;
        size_t repeat = data[at++] % 64 * 17 + 1;
        std::string unit;
        while (at < size && data[at] != 0) unit += static_cast<char>(data[at++]);
        ++at;
        for (size_t i = 0; i < repeat && piece.size() < 5000; ++i) piece += unit;
    }

    auto options = std::make_unique<LaunchOptions>();
    SetDefaultOptions(options.get());
    WideText* fields[] = {&options->user, &options->domain, &options->commandLine,
                          &options->password};
    for (int i = 0; i < 4; ++i) {
        // Junk first, so that a conversion that leaves the field untouched shows.
        for (WideChar& unit : fields[i]->units) unit = u'#';
        bool fits = ToWide(pieces[i].c_str(), fields[i]);
        CheckConverted(*fields[i], fits);
        if (pieces[i].size() < kWideTextCapacity) {
            FUZZ_CHECK(fits);  // no page gives more than a unit per byte
        }
    }

    auto plan = std::make_unique<LaunchPlan>();
    BuildLaunchPlan(options.get(), plan.get());
    CheckTitle(plan->title.units, options->commandLine.units, options->domain.units,
               options->user.units);
    return 0;
}
