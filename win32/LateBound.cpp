#include "LateBound.h"

#include <shellapi.h>

#include <string>

namespace {

// From the system folder only, never from beside the program.
FARPROC Bind(const wchar_t *dll, const char *name)
{
    wchar_t dir[MAX_PATH];
    const UINT n = GetSystemDirectoryW(dir, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return nullptr;
    const std::wstring path = std::wstring(dir, n) + L"\\" + dll;
    HMODULE module = LoadLibraryW(path.c_str()); // kept for the process's life
    return module ? GetProcAddress(module, name) : nullptr;
}

template <typename F> F *Late(const wchar_t *dll, const char *name)
{
    return reinterpret_cast<F *>(reinterpret_cast<void (*)()>(Bind(dll, name)));
}

} // namespace

BOOL LateGetSaveFileNameW(OPENFILENAMEW *ofn)
{
    static const auto fn = Late<BOOL WINAPI(OPENFILENAMEW *)>(L"comdlg32.dll", "GetSaveFileNameW");
    return fn ? fn(ofn) : FALSE;
}

BOOL LateGetOpenFileNameW(OPENFILENAMEW *ofn)
{
    static const auto fn = Late<BOOL WINAPI(OPENFILENAMEW *)>(L"comdlg32.dll", "GetOpenFileNameW");
    return fn ? fn(ofn) : FALSE;
}

HINSTANCE LateShellExecuteA(HWND owner, const char *operation, const char *file, const char *parameters,
                            const char *directory, int show)
{
    static const auto fn = Late<HINSTANCE WINAPI(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT)>(L"shell32.dll",
                                                                                       "ShellExecuteA");
    if (!fn)
        return reinterpret_cast<HINSTANCE>(static_cast<INT_PTR>(SE_ERR_DLLNOTFOUND));
    return fn(owner, operation, file, parameters, directory, show);
}
