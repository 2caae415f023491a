#include "SpinRules.h"

#include <algorithm>
#include <cstdint>

#include "WholeNumber.h"

namespace {

// A whole number as the control reads it; surrounding blanks are allowed.
bool ReadWhole(const std::string &text, std::int64_t &value)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return false;
    const auto last = text.find_last_not_of(" \t");
    const TWholeNumber n = ReadWholeNumber(std::string_view(text).substr(first, last - first + 1), true);
    if (n.State == TWholeNumber::NotANumber)
        return false;
    value = n.Value; // out of 64-bit range: the nearer limit, which clamps the same way
    return true;
}

} // namespace

bool SpinAccepts(const std::string &text)
{
    return std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= '0' && c <= '9') || c == '+' || c == '-' || c == ',' || c == '.';
    });
}

int SpinValue(const std::string &text, int min, int max)
{
    max = std::max(min, max);
    std::int64_t v;
    if (!ReadWhole(text, v))
        return min;
    return static_cast<int>(std::clamp<std::int64_t>(v, min, max));
}

std::string SpinClampOnFocusOut(const std::string &text, int min, int max)
{
    max = std::max(min, max);
    std::int64_t v;
    if (!ReadWhole(text, v))
        return text;
    if (v < min)
        return std::to_string(min);
    if (v > max)
        return std::to_string(max);
    return text;
}

std::string SpinStep(const std::string &text, int steps, int min, int max)
{
    max = std::max(min, max);
    const std::int64_t base = SpinValue(text, min, max);
    return std::to_string(std::clamp<std::int64_t>(base + steps, min, max));
}
