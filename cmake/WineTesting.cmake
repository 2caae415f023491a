# Tests of the Windows cross build, run under Wine (included by tests/ when
# cross-compiling for Windows).
#
# - GoogleTest is built from the Debian sources for the target.
# - Every test program runs through run-wine.sh (CMAKE_CROSSCOMPILING_EMULATOR)
#   in one prefix: VEXO_WINEPREFIX, by default <build>/wine-prefix; point it
#   at a directory outside the build to keep the prefix between builds.
# - One persistent wineserver serves the whole ctest run (fixture
#   vexo_wineserver); WINEDEBUG=-all.
# - Programs that open COM ports get them from a host-side pty peer
#   (tests/wine/pty_peer.c) and the modem-line shim (pty_modem_shim.c); see
#   vexo_add_wine_gtest.
# - Run them with `ctest --no-tests=error`; a program whose discovery lists
#   no test also gets a failing "<target>.NO_TESTS_FOUND" test.

set(VEXO_GTEST_SOURCE_DIR /usr/src/googletest/googletest CACHE PATH "GoogleTest sources to build for the target")
set(VEXO_WINEPREFIX ${CMAKE_BINARY_DIR}/wine-prefix CACHE PATH "Wine prefix of the test runs (created if needed)")
# 64-bit programs run under wine64 in a 64-bit prefix; 32-bit ones under
# Wine's 32-bit loader (Debian: wine32, from the i386 architecture) in a
# 32-bit prefix, as on a 32-bit Windows.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(_wine_loader wine)
  set(VEXO_WINEARCH win32)
  set(_wine_packages "wine wine32:i386")
else()
  set(_wine_loader wine64)
  set(VEXO_WINEARCH win64)
  set(_wine_packages "wine wine64")
endif()
# cached: the program's tests in tests/win32 are added from win32/
set(VEXO_WINEARCH ${VEXO_WINEARCH} CACHE INTERNAL "")
find_program(VEXO_WINE NAMES ${_wine_loader} PATHS /usr/lib/wine /usr/lib64/wine NO_DEFAULT_PATH)
find_program(VEXO_WINE NAMES ${_wine_loader})
# a prefix of its own for the windows at 144 DPI (LogPixels), made on first use
set(VEXO_WINEPREFIX_144 ${CMAKE_BINARY_DIR}/wine-prefix-144 CACHE PATH "Wine prefix at 144 DPI")
find_program(VEXO_WINESERVER NAMES wineserver64 wineserver PATHS /usr/lib/wine /usr/lib64/wine NO_DEFAULT_PATH)
find_program(VEXO_WINESERVER NAMES wineserver)
find_program(VEXO_HOST_CC NAMES gcc cc)
if(NOT VEXO_WINE OR NOT VEXO_WINESERVER OR NOT VEXO_HOST_CC)
  message(FATAL_ERROR "The Windows tests need ${_wine_loader}, wineserver and a host C compiler "
                      "(Debian: apt-get install ${_wine_packages} gcc), or -DATVEXO_BUILD_TESTS=OFF")
endif()
if(NOT EXISTS ${VEXO_GTEST_SOURCE_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "No GoogleTest sources in ${VEXO_GTEST_SOURCE_DIR} (Debian: apt-get install googletest)")
endif()

# GoogleTest for the target; SYSTEM keeps its headers out of our warnings.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${VEXO_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
if(NOT TARGET GTest::gtest)
  add_library(GTest::gtest ALIAS gtest)
  add_library(GTest::gtest_main ALIAS gtest_main)
endif()

# Host-side helpers, built with the build machine's compiler.
set(_wine_src ${PROJECT_SOURCE_DIR}/tests/wine)
set(_wine_bin ${CMAKE_BINARY_DIR}/wine)
# cached: test directories outside tests/ use them too
set(VEXO_PTY_PEER ${_wine_bin}/pty_peer CACHE INTERNAL "")
# The modem-line shim goes into every Linux process Wine starts for a test, so
# it is built for each loader that may run: the 64-bit one always, the 32-bit
# one for 32-bit programs. The dynamic loader picks the right copy by its own
# $LIB (Debian's multiarch folder), so one LD_PRELOAD value serves both.
set(_shim_outputs)
set(_shim_loaders x86_64-linux-gnu "")
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  list(APPEND _shim_loaders i386-linux-gnu -m32)
  execute_process(COMMAND ${VEXO_HOST_CC} -m32 -shared -fPIC -x c -o /dev/null -
    INPUT_FILE ${_wine_src}/pty_modem_shim.c RESULT_VARIABLE _m32 OUTPUT_QUIET ERROR_QUIET)
  if(NOT _m32 EQUAL 0)
    message(FATAL_ERROR "The 32-bit Windows tests need the pty shim for Wine's 32-bit loader, built "
                        "with ${VEXO_HOST_CC} -m32 (Debian: apt-get install gcc-multilib), "
                        "or -DATVEXO_BUILD_TESTS=OFF")
  endif()
endif()
while(_shim_loaders)
  list(POP_FRONT _shim_loaders _dir _flag)
  set(_out ${_wine_bin}/lib/${_dir}/pty_modem_shim.so)
  add_custom_command(OUTPUT ${_out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${_wine_bin}/lib/${_dir}
    COMMAND ${VEXO_HOST_CC} ${_flag} -O2 -Wall -Wextra -shared -fPIC -o ${_out} ${_wine_src}/pty_modem_shim.c -ldl
    DEPENDS ${_wine_src}/pty_modem_shim.c
    COMMENT "Host: pty modem-line shim (${_dir})")
  list(APPEND _shim_outputs ${_out})
endwhile()
# literally $LIB: the loader expands it
set(VEXO_PTY_SHIM "${_wine_bin}/$LIB/pty_modem_shim.so" CACHE INTERNAL "")
add_custom_command(OUTPUT ${VEXO_PTY_PEER}
  COMMAND ${VEXO_HOST_CC} -O2 -Wall -Wextra -o ${VEXO_PTY_PEER} ${_wine_src}/pty_peer.c
  DEPENDS ${_wine_src}/pty_peer.c
  COMMENT "Host: pty peer")
add_custom_target(vexo_wine_host ALL DEPENDS ${_shim_outputs} ${VEXO_PTY_PEER})

# The prefix, made at build time: test discovery already runs the programs.
set(_wine_stamp ${VEXO_WINEPREFIX}/.vexo-prefix)
add_custom_command(OUTPUT ${_wine_stamp}
  COMMAND sh ${_wine_src}/wine-prefix.sh ${VEXO_WINEPREFIX} ${VEXO_WINE} ${VEXO_WINESERVER} ${_wine_stamp} ${VEXO_WINEARCH}
  DEPENDS ${_wine_src}/wine-prefix.sh
  COMMENT "Wine prefix ${VEXO_WINEPREFIX}"
  USES_TERMINAL)
add_custom_target(vexo_wine_prefix ALL DEPENDS ${_wine_stamp})

configure_file(${_wine_src}/run-wine.sh.in ${_wine_bin}/run-wine.sh @ONLY
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(VEXO_WINE_RUN ${_wine_bin}/run-wine.sh CACHE INTERNAL "")
set(CMAKE_CROSSCOMPILING_EMULATOR ${VEXO_WINE_RUN})

add_test(NAME wine.server.start
  COMMAND sh ${_wine_src}/wineserver.sh start ${VEXO_WINEPREFIX} ${VEXO_WINESERVER} ${VEXO_WINE})
add_test(NAME wine.server.stop
  COMMAND sh ${_wine_src}/wineserver.sh stop ${VEXO_WINEPREFIX} ${VEXO_WINESERVER} ${VEXO_WINE})
set_tests_properties(wine.server.start PROPERTIES FIXTURES_SETUP vexo_wineserver)
set_tests_properties(wine.server.stop PROPERTIES FIXTURES_CLEANUP vexo_wineserver)

# vexo_add_wine_gtest(<target> [PORTS COM7 COM8 ...] <vexo_add_gtest arguments>)
#   vexo_add_gtest for Wine. PORTS: the program opens these COM names; each
#   run gets fresh pseudo-terminals behind them and the modem-line shim, and
#   may ask the peer (VEXO_PTY_PEER=host:port) to act as the device. Give
#   such programs SERIAL too: the links live in the one shared prefix.
function(vexo_add_wine_gtest target)
  cmake_parse_arguments(W "QT;SERIAL" "" "PORTS;SOURCES;LIBS" ${ARGN})
  set(pass SOURCES ${W_SOURCES} LIBS ${W_LIBS})
  if(W_QT)
    list(APPEND pass QT)
  endif()
  if(W_SERIAL)
    list(APPEND pass SERIAL)
  endif()
  if(W_PORTS)
    list(JOIN W_PORTS "," ports)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${VEXO_WINE_RUN} --ports ${ports})
  endif()
  vexo_add_gtest(${target} ${pass})
  add_dependencies(${target} vexo_wine_prefix vexo_wine_host)
  # Runs in ctest after the discovered tests of this directory are known.
  set(extra ${CMAKE_CURRENT_BINARY_DIR}/${target}_wine.cmake)
  file(WRITE ${extra}
    "if(${target}_TESTS)\n"
    "  set_tests_properties(\${${target}_TESTS} PROPERTIES FIXTURES_REQUIRED vexo_wineserver)\n"
    "else()\n"
    "  add_test(${target}.NO_TESTS_FOUND \"${CMAKE_COMMAND}\" -E false)\n"
    "endif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${extra})
endfunction()
