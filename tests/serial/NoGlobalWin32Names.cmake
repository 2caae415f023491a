# Run by CTest: fails when the serial library (LIB) defines a Win32 comm API
# name in the global namespace. On Linux the component's own emulation of
# that API lives in its namespace, so programs and libraries linked beside
# it (or a Wine build's real API) never meet a second global ReadFile.
set(names CreateFileA CloseHandle GetLastError SetLastError GetCommState SetCommState SetupComm PurgeComm
  GetCommTimeouts SetCommTimeouts GetCommProperties ClearCommError SetCommMask GetCommMask WaitCommEvent
  ReadFile WriteFile GetOverlappedResult CreateEventA SetEvent ResetEvent WaitForSingleObject
  WaitForMultipleObjects Sleep QueryPerformanceFrequency QueryPerformanceCounter GetTickCount GetVersionExA)
execute_process(COMMAND "${NM}" -C --defined-only "${LIB}" OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIB}: ${err}")
endif()
list(JOIN names "|" alternatives)
string(REGEX MATCHALL "\n[0-9a-fA-F]* *[A-Za-z] (${alternatives})\\([^\n]*" global "\n${out}")
if(global)
  string(REPLACE ";" "" global "${global}")
  message(FATAL_ERROR "Win32 names defined in the global namespace of ${LIB}:${global}")
endif()
# The emulation must be there to be looked at at all.
if(NOT out MATCHES " T commlayer::ReadFile\\(")
  message(FATAL_ERROR "no commlayer::ReadFile in ${LIB}: nothing was checked, or the layer moved")
endif()
message(STATUS "no global Win32 names in ${LIB}")
