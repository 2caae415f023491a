// The second red line after "ошибка инициализации порта …": what keeps the
// port closed and what to do about it.
#pragma once

#include <string>

#include "XComOpenFailure.h"

// Empty when the look found nothing to say (the port opens now).
std::string PortFailureText(const TOpenFailure &failure);
