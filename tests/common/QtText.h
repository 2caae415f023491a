// UTF-8 literals as QString in widget tests.
#pragma once

#include <QString>

inline QString U(const char *utf8) { return QString::fromUtf8(utf8); }
