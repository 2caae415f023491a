# vexo_delay_import(<target> <dll> <function>:<argument bytes> ...)
#   An import library <target> for the named functions of a system DLL that
#   binds them at their first call (delay-loaded) instead of at start, made
#   by binutils' dlltool with mingw-w64's own delay-load helper. The bytes
#   are the function's stack arguments (its @N on 32-bit Windows).
# Why: a DLL that only a click needs should cost the start nothing. Under
# Wine, comdlg32 brings the printing stack with it (winspool, CUPS, GnuTLS,
# Kerberos: some 30 libraries and 4 MB), shell32 the shell.
function(vexo_delay_import target dll)
  find_program(VEXO_DLLTOOL NAMES ${VEXO_MINGW_TRIPLE}-dlltool dlltool REQUIRED)
  set(def "LIBRARY ${dll}.dll\nEXPORTS\n")
  foreach(entry IN LISTS ARGN)
    string(REPLACE ":" ";" parts ${entry})
    list(GET parts 0 name)
    list(GET parts 1 bytes)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      string(APPEND def "${name}@${bytes}\n")
    else()
      string(APPEND def "${name}\n")
    endif()
  endforeach()
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/delay)
  file(CONFIGURE OUTPUT ${dir}/${dll}.def CONTENT "${def}" @ONLY)
  set(lib ${dir}/lib${dll}_delay.a)
  # -k: the DLL exports the names without their @N
  add_custom_command(OUTPUT ${lib}
    COMMAND ${VEXO_DLLTOOL} -k -d ${dir}/${dll}.def -y ${lib}
    DEPENDS ${dir}/${dll}.def
    COMMENT "Delay-loaded imports of ${dll}.dll")
  add_custom_target(${target}_lib DEPENDS ${lib})
  add_library(${target} INTERFACE)
  add_dependencies(${target} ${target}_lib)
  target_link_libraries(${target} INTERFACE ${lib})
endfunction()
