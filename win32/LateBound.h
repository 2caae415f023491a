// Functions of system DLLs that only a click needs, bound at their first
// call instead of at start: the file dialogs' comdlg32 (under Wine it brings
// the whole printing stack with it: winspool, CUPS, GnuTLS, Kerberos, some 30
// libraries and 4 MB) and the shell's shell32. Each fails as its function
// does when the DLL cannot be had.
#pragma once

#include <windows.h>

#include <commdlg.h>

BOOL LateGetSaveFileNameW(OPENFILENAMEW *ofn);
BOOL LateGetOpenFileNameW(OPENFILENAMEW *ofn);
HINSTANCE LateShellExecuteA(HWND owner, const char *operation, const char *file, const char *parameters,
                            const char *directory, int show);
