# Cross build for 32-bit Windows with mingw-w64 (Debian: g++-mingw-w64-i686-posix),
# for the 32-bit Windows 7 and 10 that many service laptops still run:
#   cmake -S . -B build-win32 -G Ninja --toolchain cmake/mingw-w64-i686.cmake -DATVEXO_BUILD_GUI=OFF
# Everything else as for 64-bit Windows (cmake/mingw-w64-x86_64.cmake).
set(VEXO_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
