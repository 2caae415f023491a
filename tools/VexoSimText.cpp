// The stand-in's texts: fault names, firmware versions, and the unit's own
// reading of a number.
#include "VexoSimText.h"

#include <algorithm>
#include <charconv>
#include <utility>

namespace vexo::sim {

namespace {

bool AllDigits(std::string_view s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

// The unit's own rule, stricter than the program's number readers: plain
// digits (no sign, no blanks), and too long a text cannot be a valid value.
std::optional<int> ParseDecimal(std::string_view s, std::size_t maxDigits)
{
    if (!AllDigits(s) || s.size() > maxDigits)
        return std::nullopt;
    int v = 0;
    std::from_chars(s.data(), s.data() + s.size(), v);
    return v;
}

std::optional<Fault> ParseFault(std::string_view name)
{
    static const std::pair<std::string_view, Fault> names[] = {
        {"none", Fault::None},   {"silent", Fault::Silent}, {"garbage", Fault::Garbage},
        {"split", Fault::Split}, {"late", Fault::Late},     {"echo", Fault::Echo},
        {"flood", Fault::Flood},
    };
    for (const auto &[n, f] : names)
        if (n == name)
            return f;
    return std::nullopt;
}

const char *FaultName(Fault fault)
{
    switch (fault) {
    case Fault::None: return "none";
    case Fault::Silent: return "silent";
    case Fault::Garbage: return "garbage";
    case Fault::Split: return "split";
    case Fault::Late: return "late";
    case Fault::Echo: return "echo";
    case Fault::Flood: return "flood";
    }
    return "?";
}

std::optional<int> ParseVersion(std::string_view version)
{
    const auto dot = version.find('.');
    if (dot == std::string_view::npos)
        return std::nullopt;
    const auto major = ParseDecimal(version.substr(0, dot), 3);
    const auto minor = ParseDecimal(version.substr(dot + 1), 3);
    if (!major || !minor)
        return std::nullopt;
    return *major * 1000 + *minor;
}

} // namespace vexo::sim
