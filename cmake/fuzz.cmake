# libFuzzer targets: the logic and the fake platform under AddressSanitizer and
# UndefinedBehaviorSanitizer, with coverage for the fuzzer; any UB report aborts.
set(VELMOR_FUZZ_SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=all
                           -fno-omit-frame-pointer)
add_library(velmor_fuzz_logic STATIC ${VELMOR_LOGIC_SOURCES} src/platform/fake_platform.cpp)
target_include_directories(velmor_fuzz_logic PUBLIC src)
target_compile_options(velmor_fuzz_logic PRIVATE ${VELMOR_CODE_OPTIONS}
                       ${VELMOR_FUZZ_SANITIZERS} -fsanitize=fuzzer-no-link)

foreach(target fuzz_command_line fuzz_wide_command_line fuzz_conversion)
    add_executable(${target} fuzz/${target}.cpp)
    target_compile_options(${target} PRIVATE ${VELMOR_FUZZ_SANITIZERS} -fsanitize=fuzzer)
    target_link_options(${target} PRIVATE ${VELMOR_FUZZ_SANITIZERS} -fsanitize=fuzzer)
    target_link_libraries(${target} PRIVATE velmor_fuzz_logic)
endforeach()
