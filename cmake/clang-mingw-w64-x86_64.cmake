# Cross build for Windows x86-64 with clang: Debian's MinGW-w64 headers and import libraries,
# and the libstdc++ and libgcc of Debian's GCC for MinGW-w64 (posix thread model), the same
# runtime as cmake/mingw-w64-x86_64.cmake; only the compiler differs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER clang)
set(CMAKE_C_COMPILER_TARGET ${triple})
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_CXX_COMPILER_TARGET ${triple})
set(CMAKE_RC_COMPILER ${triple}-windres)
# Without a sysroot clang would also search the host's /usr/include.
set(CMAKE_SYSROOT /usr/${triple})

# clang does not find GCC's runtime folder by itself (it is named "12-posix", not a bare
# version), so GCC's driver says where it is.
execute_process(COMMAND ${triple}-g++-posix -print-libgcc-file-name
                OUTPUT_VARIABLE libgcc OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
cmake_path(GET libgcc PARENT_PATH gcc_dir)
set(cxx_headers ${gcc_dir}/include/c++)
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES ${cxx_headers} ${cxx_headers}/${triple}
                                           ${cxx_headers}/backward)
# LLVM's linker; GNU ld links the same programs but warns about every type-name section whose
# size differs between clang's objects and GCC's libstdc++. -pthread links winpthreads, which
# this libstdc++ is built on, into the driver's group of runtime libraries.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -L${gcc_dir} -pthread")

set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
