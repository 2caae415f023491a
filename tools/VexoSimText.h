// The stand-in's own number reading, shared by its option checks and its
// command set.
#pragma once

#include "VexoSim.h"

#include <cstddef>
#include <optional>
#include <string_view>

namespace vexo::sim {

// Decimal digits only, at most `maxDigits` of them; nullopt otherwise.
std::optional<int> ParseDecimal(std::string_view s, std::size_t maxDigits);

} // namespace vexo::sim
