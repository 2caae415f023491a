# Cross build for 64-bit Windows with mingw-w64 (Debian: g++-mingw-w64-x86-64-posix).
#   cmake -S . -B build-win -G Ninja --toolchain cmake/mingw-w64-x86_64.cmake -DATVEXO_BUILD_GUI=OFF
# 32-bit Windows: cmake/mingw-w64-i686.cmake.
set(VEXO_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
