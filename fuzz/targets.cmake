# libFuzzer targets, built with clang-14 in a tree whose every object already
# carries -fsanitize=address,undefined and -fsanitize=fuzzer-no-link (see
# build.sh). Included through attach.cmake once the program's libraries exist.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "the fuzz targets need clang (libFuzzer)")
endif()

vexo_see_private_headers()

function(vexo_add_fuzzer name)
  add_executable(${name} EXCLUDE_FROM_ALL ${VEXO_FUZZ_DIR}/${name}.cpp)
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${ARGN})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  list(APPEND VEXO_FUZZERS ${name})
  set(VEXO_FUZZERS ${VEXO_FUZZERS} PARENT_SCOPE)
endfunction()

set(VEXO_FUZZERS)
vexo_add_fuzzer(fuzz_reply vexo_engine vexo_fakeview)
vexo_add_fuzzer(fuzz_workfile vexo_engine)
vexo_add_fuzzer(fuzz_cp1251 vexo_engine)
vexo_add_fuzzer(fuzz_profile vexo_engine)
if(TARGET vexo_pictures)
  vexo_add_fuzzer(fuzz_jpeg vexo_pictures)
endif()
add_custom_target(fuzzers DEPENDS ${VEXO_FUZZERS})
