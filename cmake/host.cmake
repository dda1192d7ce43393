# The logic against the fake platform, and its unit tests.
enable_testing()
find_package(GTest REQUIRED)
include(GoogleTest)

option(VELMOR_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(VELMOR_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all
                        -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

add_library(velmor_host STATIC ${VELMOR_LOGIC_SOURCES} src/platform/fake_platform.cpp)
target_include_directories(velmor_host PUBLIC src)
target_compile_options(velmor_host PRIVATE ${VELMOR_CODE_OPTIONS})

add_executable(velmor_host_tests
    tests/host/split_test.cpp
    tests/host/options_test.cpp
    tests/host/messages_test.cpp
    tests/host/entry_test.cpp
    tests/host/plan_test.cpp
    tests/host/launch_test.cpp)
target_include_directories(velmor_host_tests PRIVATE tests/host)
target_compile_options(velmor_host_tests PRIVATE -Wall -Wextra)
target_link_libraries(velmor_host_tests PRIVATE velmor_host GTest::gtest_main)
gtest_discover_tests(velmor_host_tests)

# Replaces malloc and operator new to count them, so it cannot share a binary with the
# other tests, nor run under the sanitizers, which replace them too.
if(NOT VELMOR_SANITIZE)
    add_executable(velmor_allocation_test tests/host/allocation_test.cpp)
    target_include_directories(velmor_allocation_test PRIVATE tests/host)
    target_link_libraries(velmor_allocation_test PRIVATE velmor_host GTest::gtest_main)
    gtest_discover_tests(velmor_allocation_test)
endif()
