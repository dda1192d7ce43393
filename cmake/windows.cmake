# The shipped exe, and the test-only exe and helpers that the Wine suite runs.
enable_language(RC)

# No build path may reach the exe: the same bytes whatever the folder.
add_compile_options(-Os -ffunction-sections -fdata-sections -fno-asynchronous-unwind-tables
                    -ffile-prefix-map=${CMAKE_SOURCE_DIR}=.)
# Static runtime pieces, so the exe imports only KERNEL32, ADVAPI32 and msvcrt; dead
# code dropped; stripped; ASLR with relocations, DEP and terminal-server awareness on;
# no time stamp, so that two builds of one commit are byte for byte the same.
add_link_options(-static -s -Wl,--gc-sections -Wl,--dynamicbase -Wl,--nxcompat -Wl,--tsaware
                 -Wl,--no-insert-timestamp)

# The version resource takes the project's version from here.
configure_file(src/resources/version.h.in generated/velmor_version.h @ONLY)

add_library(velmor_objects OBJECT
    ${VELMOR_LOGIC_SOURCES}
    src/platform/platform_windows.cpp
    src/resources/velmor.rc)
target_include_directories(velmor_objects PUBLIC src ${CMAKE_BINARY_DIR}/generated)
target_compile_options(velmor_objects PRIVATE $<$<COMPILE_LANGUAGE:CXX>:${VELMOR_CODE_OPTIONS}>)

add_executable(velmor $<TARGET_OBJECTS:velmor_objects> src/cli/main.cpp)
target_include_directories(velmor PRIVATE src)
target_compile_options(velmor PRIVATE ${VELMOR_CODE_OPTIONS})

# Link seam: the same objects plus one that defines the import of the logon call, so
# the Wine suite can follow a launch that succeeds. Never shipped.
add_executable(velmor_seam $<TARGET_OBJECTS:velmor_objects> src/cli/main.cpp
               tests/wine/fake_logon_call.cpp)
target_include_directories(velmor_seam PRIVATE src)

# The same objects with a main that prints the arguments the command line splits into.
add_executable(split_probe $<TARGET_OBJECTS:velmor_objects> tests/wine/split_probe.cpp)
target_include_directories(split_probe PRIVATE src)

# Helpers of the Wine suite: start a raw command line, and a program to be launched.
add_executable(rawrun tests/wine/rawrun.cpp)
add_executable(probe tests/wine/probe.cpp)
target_link_libraries(probe PRIVATE ntdll)

# Floors for the start-up benchmark (scripts/benchmark.sh), built the same way.
add_executable(baseline_write benchmarks/baseline_write.cpp)
add_executable(baseline_logon benchmarks/baseline_logon.cpp)
