# Test helpers: every test binary is a GoogleTest program discovered by CTest.
include(GoogleTest)

# One private runtime dir for Qt (it wants 0700 and complains as root without one).
set(VEXO_TEST_RUNTIME_DIR ${CMAKE_BINARY_DIR}/test-runtime)
file(MAKE_DIRECTORY ${VEXO_TEST_RUNTIME_DIR})
file(CHMOD ${VEXO_TEST_RUNTIME_DIR} DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)

# vexo_add_gtest(<target> SOURCES ... LIBS ... [QT] [SERIAL] [SCREEN])
#   QT     : link the Qt-aware main (QApplication on the offscreen platform)
#   SERIAL : tests share pseudo-terminals and timing; run them one at a time
#   OWN_MAIN: the test brings its own main()
#   SCREEN : a 1280 x 1024 offscreen screen without fake frame margins, so
#            window geometry reads as on a bare X server
#   SCREEN_FILE <name>: the offscreen screens of tests/data/<name> instead
function(vexo_add_gtest target)
  cmake_parse_arguments(ARG "QT;SERIAL;SCREEN;OWN_MAIN" "SCREEN_FILE" "SOURCES;LIBS" ${ARGN})
  add_executable(${target} ${ARG_SOURCES})
  # A test program's own code is built without optimisation: GoogleTest's
  # macros are costly to optimise (a third of the build time otherwise), and
  # nothing under test changes, as the libraries keep the build's flags.
  target_compile_options(${target} PRIVATE -O0)
  if(ARG_OWN_MAIN)
    target_link_libraries(${target} PRIVATE GTest::gtest ${ARG_LIBS})
  elseif(ARG_QT)
    target_link_libraries(${target} PRIVATE vexo_gtest_qt_main ${ARG_LIBS})
  else()
    target_link_libraries(${target} PRIVATE GTest::gtest_main ${ARG_LIBS})
  endif()
  set(platform "offscreen")
  if(ARG_SCREEN)
    set(platform "offscreen:configfile=${PROJECT_SOURCE_DIR}/tests/data/offscreen-1280x1024.json")
  endif()
  if(ARG_SCREEN_FILE)
    set(platform "offscreen:configfile=${PROJECT_SOURCE_DIR}/tests/data/${ARG_SCREEN_FILE}")
  endif()
  set(extra)
  if(ARG_SERIAL)
    list(APPEND extra RESOURCE_LOCK timing)
  endif()
  # discovery runs the binary without ENVIRONMENT, so the Qt main must answer
  # --gtest_list_tests before it creates the application object
  gtest_discover_tests(${target}
    TEST_PREFIX "${target}."
    DISCOVERY_TIMEOUT 60
    PROPERTIES
      ENVIRONMENT "QT_QPA_PLATFORM=${platform}"
      ENVIRONMENT_MODIFICATION "XDG_RUNTIME_DIR=set:${VEXO_TEST_RUNTIME_DIR}"
      TIMEOUT 120
      ${extra})
endfunction()
