# SPDX-License-Identifier: MIT
# Cross build for 64-bit Windows with Debian's mingw-w64 compilers, the
# variant with POSIX threads (std::thread and std::mutex through winpthreads).
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(RT420_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${RT420_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${RT420_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${RT420_MINGW_TRIPLET}-windres)

# Libraries and headers come from the mingw-w64 tree only; programs run on
# the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${RT420_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C and C++ runtimes and winpthreads linked in, so that every .exe runs
# on a Windows machine (or under wine) without any DLL beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
