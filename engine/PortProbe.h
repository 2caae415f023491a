// Probing COM ports by name, for the scanner and before each request.
#pragma once

#include <string>

// True when the COM port `name` ("COM3") exists: it opens, or it is held by
// another handle (TCustomComm::Probe). A name without an exact code page 1251
// form is absent.
bool RSPortPresent(const std::string &name);

// True when a port of that name may come while the program runs: a COM name
// that maps to a device (Linux: the fixed table; Windows: any COM number) or
// a device path.
bool RSPortMayAppear(const std::string &name);
