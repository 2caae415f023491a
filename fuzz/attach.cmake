# Adds the fuzz targets to a configure of the whole program, so they link the
# very libraries the program is built from (same flags, one build tree):
#   cmake -S . -B build-fuzz -DCMAKE_PROJECT_AT_Vexo_INCLUDE=$PWD/fuzz/attach.cmake ...
# fuzz/build.sh passes it with the clang-14 sanitizer flags.
# Deferred: the program's libraries exist only once the top-level list is done.
set(VEXO_FUZZ_DIR ${CMAKE_CURRENT_LIST_DIR})
cmake_language(DEFER CALL include ${VEXO_FUZZ_DIR}/targets.cmake)
