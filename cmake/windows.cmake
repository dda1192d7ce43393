# The shipped exe, and the test-only exe and helpers that the Wine suite runs.
enable_language(RC)

# No build path may reach the exe: the same bytes whatever the folder.
add_compile_options(-Os -ffunction-sections -fdata-sections -fno-asynchronous-unwind-tables -malign-data=abi
                    -ffile-prefix-map=${CMAKE_SOURCE_DIR}=.)
# Static runtime pieces, so the exe imports only KERNEL32, ADVAPI32 and msvcrt; dead
# code dropped; stripped; ASLR with relocations, DEP and terminal-server awareness on;
# marked as registering no exception handler (nothing of it writes fs:0), so that
# none can be planted; no time stamp, so that two builds of one commit are byte for
# byte the same.
add_link_options(-static -s -Wl,--gc-sections -Wl,--dynamicbase -Wl,--nxcompat -Wl,--tsaware
                 -Wl,--no-insert-timestamp)
# What differs between the two architectures, here alone. A 32-bit exe's exception
# handlers are a list on the stack, which --no-seh marks as unused; x86-64's are tables
# in the image, so the mark does not apply, and its ASLR takes high-entropy addresses.
# The entry point's symbol carries the leading underscore of 32-bit C names.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    add_link_options(-Wl,--no-seh)
    set(VELMOR_ENTRY_SYMBOL _VelmorEntry)
    # No .eh_frame (2 KiB of the file): the runtime's objects carry DWARF unwind tables
    # that nothing of a program without exceptions reads. Their one user is crtbegin.o,
    # whose constructor (run through crtend.o) hands them to libgcc_s_dw2-1.dll when a
    # process happens to have it loaded; both are left out and crt2.o, the startup code,
    # is named alone, so nothing refers to the section the linker script discards.
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=crt2.o
                    OUTPUT_VARIABLE VELMOR_CRT2 OUTPUT_STRIP_TRAILING_WHITESPACE)
    add_link_options(-nostartfiles ${VELMOR_CRT2}
                     -Wl,-T,${CMAKE_SOURCE_DIR}/cmake/no-unwind-tables.ld)
else()
    add_link_options(-Wl,--high-entropy-va)
    set(VELMOR_ENTRY_SYMBOL VelmorEntry)
endif()

# The version resource takes the project's version from here.
configure_file(src/resources/version.h.in generated/velmor_version.h @ONLY)

# A stack cookie on every function of ours with a buffer. The flag stays off the link
# line, where the driver would add libssp; the guard, its seed and its failure path are
# the platform's own, built without the flag, in the exe's entry point.
set(VELMOR_STACK_PROTECTOR -fstack-protector-strong)
add_library(velmor_stack_guard OBJECT src/platform/stack_guard_windows.cpp)
target_include_directories(velmor_stack_guard PRIVATE src)
target_compile_options(velmor_stack_guard PRIVATE ${VELMOR_CODE_OPTIONS} -fno-stack-protector)

add_library(velmor_objects OBJECT
    ${VELMOR_LOGIC_SOURCES}
    src/platform/platform_windows.cpp
    src/platform/native_command_line_windows.cpp
    src/resources/velmor.rc)
target_include_directories(velmor_objects PUBLIC src ${CMAKE_BINARY_DIR}/generated)
target_compile_options(velmor_objects PRIVATE
                       $<$<COMPILE_LANGUAGE:CXX>:${VELMOR_CODE_OPTIONS} ${VELMOR_STACK_PROTECTOR}>)

# An exe of Velmor's objects and the given sources, protected and entered like the shipped one.
function(velmor_executable name)
    add_executable(${name} $<TARGET_OBJECTS:velmor_objects>
                   $<TARGET_OBJECTS:velmor_stack_guard> ${ARGN})
    target_include_directories(${name} PRIVATE src)
    target_compile_options(${name} PRIVATE ${VELMOR_STACK_PROTECTOR})
    target_link_options(${name} PRIVATE -Wl,-e,${VELMOR_ENTRY_SYMBOL})
endfunction()

velmor_executable(velmor src/cli/main.cpp)
target_compile_options(velmor PRIVATE ${VELMOR_CODE_OPTIONS})

# Link seams: the same objects plus one that defines the import of the logon call, so
# the Wine suite can follow a launch that succeeds, and one that defines the import of
# GetProcAddress, so that it can check the functions looked up at run time and stand in
# for the one Wine lacks. Never shipped.
velmor_executable(velmor_seam src/cli/main.cpp tests/wine/fake_logon_call.cpp
                  tests/wine/look_up_seam.cpp)
target_link_libraries(velmor_seam PRIVATE ntdll)

# The same objects with a main that prints the arguments the command line splits into.
velmor_executable(split_probe tests/wine/split_probe.cpp)

# Both again with KERNEL32's conversions refusing what Windows refuses for UTF-8 and Wine
# accepts, so that the retries without flags run under Wine too.
velmor_executable(velmor_strict src/cli/main.cpp tests/wine/windows_conversion_rules.cpp)
velmor_executable(split_probe_strict tests/wine/split_probe.cpp
                  tests/wine/windows_conversion_rules.cpp)

# The memory count's control: a program that keeps no copy of the password of its own,
# with the same runtime, the same native-copy scrub and the same fake logon call.
velmor_executable(memory_control tests/wine/memory_control.cpp tests/wine/fake_logon_call.cpp)

# Overruns a stack buffer on purpose, and shows the guard.
velmor_executable(stack_probe tests/wine/stack_probe.cpp)

# Helpers of the Wine suite: start a raw command line, and a program to be launched.
add_executable(rawrun tests/wine/rawrun.cpp)
add_executable(probe tests/wine/probe.cpp)
target_link_libraries(probe PRIVATE ntdll advapi32)
# The probe again as a 64-bit program, which reads the native copy of a WoW64 process's
# command line; CMake builds for one target, so the other compiler is called directly.
# In the 64-bit build the probe itself is that program.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
    set(VELMOR_PROBE64 ${CMAKE_BINARY_DIR}/probe64.exe)
    add_custom_command(OUTPUT ${VELMOR_PROBE64}
        COMMAND x86_64-w64-mingw32-g++-win32 -Os -static -s -o ${VELMOR_PROBE64}
                ${CMAKE_SOURCE_DIR}/tests/wine/probe.cpp -lntdll -ladvapi32
        DEPENDS ${CMAKE_SOURCE_DIR}/tests/wine/probe.cpp)
    add_custom_target(probe64 ALL DEPENDS ${VELMOR_PROBE64})
endif()

# Floors for the start-up benchmark (scripts/benchmark.sh), built the same way.
add_executable(baseline_write benchmarks/baseline_write.cpp)
add_executable(baseline_logon benchmarks/baseline_logon.cpp)
