// The application's top-level error text. UTF-8 in and out.
#pragma once

#include <exception>
#include <string>

// The application title, also the caption of the top-level error box.
std::string AppTitle();

// `message` with a full stop appended when its last character comes after
// the full stop in code page 1251 (a last character without a byte there
// counts as coming after it). "Device not opened." stays as it is.
std::string WithFullStop(const std::string &message);

// The message of an exception (what(), UTF-8); anything else gets a fixed text.
std::string ExceptionMessage(std::exception_ptr e);
