// Counts heap allocations across whole runs of the command against the fake platform.
// This binary replaces malloc and operator new with counting versions, so it runs
// apart from the other tests and never under the sanitizers, which replace them too.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <new>
#include <string>
#include <vector>

#include "cli/split.h"
#include "test_support.h"

extern "C" void* __libc_malloc(size_t size);
extern "C" void* __libc_calloc(size_t count, size_t size);
extern "C" void* __libc_realloc(void* block, size_t size);
extern "C" void __libc_free(void* block);

namespace {
bool counting = false;
int allocations = 0;

void* Counted(void* block) {
    if (counting) ++allocations;
    return block;
}
}  // namespace

extern "C" void* malloc(size_t size) {
    return Counted(__libc_malloc(size));
}
extern "C" void* calloc(size_t count, size_t size) {
    return Counted(__libc_calloc(count, size));
}
extern "C" void* realloc(void* block, size_t size) {
    return Counted(__libc_realloc(block, size));
}
extern "C" void free(void* block) {
    __libc_free(block);
}

void* operator new(size_t size) {
    void* block = malloc(size == 0 ? 1 : size);
    if (block == nullptr) abort();
    return block;
}
void* operator new[](size_t size) {
    return operator new(size);
}
void operator delete(void* block) noexcept {
    free(block);
}
void operator delete[](void* block) noexcept {
    free(block);
}
void operator delete(void* block, size_t) noexcept {
    free(block);
}
void operator delete[](void* block, size_t) noexcept {
    free(block);
}

namespace {

struct AllocationCase {
    const char* what;
    int codePage;
    std::string commandLine;
    bool createSucceeds;
};

TEST(Allocations, AWholeRunAllocatesNothing) {
    const std::vector<AllocationCase> cases = {
        {"no arguments", 932, "velmor.exe", true},
        {"a launch that waits with the caller's environment", 932,
         "velmor.exe /user:CORP\\alice /a:pw /env /wait /hide /workdir:C:\\w \"cmd /c x\"", true},
        {"a failed launch", 1252, "velmor.exe /user:alice notepad.exe", false},
        {"a value too long", 936, "velmor.exe /user:" + std::string(2000, 'u') + " x", true},
        {"a line too long to read", 65001,
         "velmor.exe " + std::string(kWideLineCapacity * 3 / 2, 'x'), true},
        {"double-byte values", 932, "velmor.exe /user:\x95\x5c\\\x95\x5c x.exe", true},
    };
    // The fake's converters are opened on first use; open them all before counting.
    for (const AllocationCase& test : cases) {
        ResetFakePlatform();
        Fake().codePage = test.codePage;
        RunCommand(test.commandLine);
    }
    for (const AllocationCase& test : cases) {
        ResetFakePlatform();
        Fake().codePage = test.codePage;
        Fake().createSucceeds = test.createSucceeds;
        FakeSetCommandLine(WideLine(test.commandLine).c_str());
        allocations = 0;
        counting = true;
        RunVelmor(Fake().commandLine);
        counting = false;
        EXPECT_EQ(allocations, 0) << test.what;
    }
}

// The counter itself must see allocations, or the test above proves nothing.
TEST(Allocations, TheCounterSeesAnAllocation) {
    allocations = 0;
    counting = true;
    void* block = malloc(16);
    std::string* text = new std::string(100, 'x');
    counting = false;
    delete text;
    free(block);
    EXPECT_GE(allocations, 2);
}

}  // namespace
