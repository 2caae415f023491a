// UTF-8 (the engine's and the texts' encoding) to and from the UTF-16 of the
// W functions: the Russian texts show the same on a Windows in any language.
#pragma once

#include <string>

#include <windows.h>

std::wstring Wide(const std::string &utf8);
std::string Utf8(const std::wstring &wide);
// The window's text (caption, edit or combo text) as UTF-8.
std::string WindowText(HWND window);
