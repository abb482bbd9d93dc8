# SPDX-License-Identifier: MIT
# Cross-builds the Windows programs with Debian's mingw-w64 toolchain.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(quillbox_mingw x86_64-w64-mingw32)
# The posix flavour brings std::thread and std::mutex, which GoogleTest wants.
set(CMAKE_C_COMPILER ${quillbox_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${quillbox_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${quillbox_mingw}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${quillbox_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One file each, needing nothing but Windows' own DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# GCC 12 warns of overlapping copies inside std::string's own code when it inlines it (GCC bug
# 105329); the warning says nothing about ours.
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict")
