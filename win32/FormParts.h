// What the three files of TFormWindow share, and nothing else: FormBuild.cpp
// makes the controls, FormLayout.cpp places and scales them, FormWindow.cpp
// handles their messages.
#pragma once

#include <windows.h>

#include "Forms.h"

namespace formparts {

// The window property that marks a window of a form (its TFormWindow).
inline constexpr wchar_t kFormProp[] = L"VexoForm";

// A function of a system DLL looked up at run time (newer than Windows 7).
template <typename F>
F RuntimeProc(const wchar_t *module, const char *name)
{
    HMODULE h = GetModuleHandleW(module);
    return h ? reinterpret_cast<F>(reinterpret_cast<void *>(GetProcAddress(h, name))) : nullptr;
}

// The resource name of a table picture; nullptr: none.
const wchar_t *ResourceOf(forms::TPicture picture, bool disabled = false);

// The subclass procedures the build installs on a toolbar and on a page.
LRESULT CALLBACK ToolBarProc(HWND bar, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR);
LRESULT CALLBACK ReadOnlyProc(HWND view, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR);

} // namespace formparts
