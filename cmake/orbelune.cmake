# The warnings every target of ours compiles with, errors all: the project's code through
# orbelune_options, and the targets that must not see our other options (the public headers
# compiled alone, the ThreadSanitizer build) directly. Not third-party code such as GoogleTest,
# which is built with its own flags.
add_library(orbelune_warnings INTERFACE)
if(MSVC)
    target_compile_options(orbelune_warnings INTERFACE /W4 /WX /permissive-)
else()
    target_compile_options(orbelune_warnings INTERFACE -Wall -Wextra -Wpedantic -Werror)
endif()
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    # Two more of clang's warnings, which -Wall -Wextra leave out there.
    target_compile_options(orbelune_warnings INTERFACE -Wshadow -Wimplicit-fallthrough)
endif()

# Compile options shared by every target of the project.
add_library(orbelune_options INTERFACE)
target_link_libraries(orbelune_options INTERFACE orbelune_warnings)
if(MSVC)
    target_compile_options(orbelune_options INTERFACE /utf-8 /EHsc)
endif()
if(WIN32)
    target_compile_definitions(orbelune_options INTERFACE UNICODE _UNICODE WIN32_LEAN_AND_MEAN
                                                          NOMINMAX _WIN32_WINNT=0x0A00)
endif()
if(MINGW)
    # A static runtime, so that the programs run on a bare Windows without MinGW's DLLs.
    target_link_options(orbelune_options INTERFACE -static -static-libgcc -static-libstdc++)
endif()
if(ORBELUNE_SANITIZE AND NOT WIN32)
    target_compile_options(orbelune_options INTERFACE -fsanitize=address,undefined
                                                      -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(orbelune_options INTERFACE -fsanitize=address,undefined)
endif()

if(ORBELUNE_FUZZ)
    # Coverage for libFuzzer in everything of ours; the fuzz targets add the fuzzer's main.
    target_compile_options(orbelune_options INTERFACE
                           -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
                           -fno-omit-frame-pointer)
    target_link_options(orbelune_options INTERFACE -fsanitize=address,undefined)
endif()

# orbelune_windows_program(NAME SOURCES... [GUI]): a Windows program with a wide entry point.
# GUI programs use wWinMain and the GUI subsystem; the others wmain and the console subsystem.
function(orbelune_windows_program name)
    cmake_parse_arguments(arg "GUI" "" "SOURCES" ${ARGN})
    if(arg_GUI)
        add_executable(${name} WIN32 ${arg_SOURCES})
    else()
        add_executable(${name} ${arg_SOURCES})
    endif()
    target_link_libraries(${name} PRIVATE orbelune_win)
    if(MINGW)
        target_link_options(${name} PRIVATE -municode)
    endif()
endfunction()
