# The settings both mingw-w64 toolchain files share; they set VEXO_MINGW_TRIPLE
# (x86_64-w64-mingw32 or i686-w64-mingw32) and include this file.
# The posix-thread compilers are needed: the component's thread class and
# GoogleTest use std::thread and std::mutex, which the win32-thread ones lack.
set(CMAKE_SYSTEM_NAME Windows)
string(REGEX REPLACE "-.*" "" CMAKE_SYSTEM_PROCESSOR ${VEXO_MINGW_TRIPLE})

set(CMAKE_C_COMPILER ${VEXO_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VEXO_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VEXO_MINGW_TRIPLE}-windres)

# Libraries and headers come from the mingw sysroot only; programs (the host
# compiler for the test helpers, wine) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${VEXO_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Self-contained executables: no libstdc++, libgcc or winpthread DLLs to ship.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
