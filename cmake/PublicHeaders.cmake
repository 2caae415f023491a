# Each library's users see its public headers only: they are linked into a
# folder of the build tree, which is the library's public include folder;
# the source folder, with the private headers, is the library's own.
# The list is kept in VEXO_PUBLIC_HEADERS (folder/name) for the include
# test, which lets private headers include what only .cpp files may.
function(vexo_public_headers target)
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/public)
  file(REMOVE_RECURSE ${dir})
  file(MAKE_DIRECTORY ${dir})
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  foreach(h IN LISTS ARGN)
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR}/${h} ${dir}/${h} SYMBOLIC COPY_ON_ERROR)
    set_property(GLOBAL APPEND PROPERTY VEXO_PUBLIC_HEADERS ${folder}/${h})
  endforeach()
  target_include_directories(${target} PUBLIC ${dir} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
endfunction()

# Tests, benchmarks and fuzz targets may include any header of the
# libraries, the private ones too (for the folders below the caller's).
macro(vexo_see_private_headers)
  include_directories(${PROJECT_SOURCE_DIR}/serial ${PROJECT_SOURCE_DIR}/engine ${PROJECT_SOURCE_DIR}/forms)
endmacro()
