#include "WholeNumber.h"

#include <limits>

TWholeNumber ReadWholeNumber(std::string_view s, bool plusAllowed)
{
    TWholeNumber r;
    std::size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '-' || (plusAllowed && s[i] == '+'))) {
        negative = s[i] == '-';
        ++i;
    }
    if (i >= s.size())
        return r;
    const std::uint64_t limit = negative ? std::uint64_t(std::numeric_limits<std::int64_t>::max()) + 1
                                         : std::uint64_t(std::numeric_limits<std::int64_t>::max());
    std::uint64_t value = 0;
    bool overflow = false;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9')
            return r;
        const unsigned digit = unsigned(s[i] - '0');
        if (overflow || value > (limit - digit) / 10)
            overflow = true;
        else
            value = value * 10 + digit;
    }
    if (overflow) {
        r.State = TWholeNumber::Overflow;
        r.Value = negative ? std::numeric_limits<std::int64_t>::min() : std::numeric_limits<std::int64_t>::max();
        return r;
    }
    r.State = TWholeNumber::Ok;
    r.Value = negative ? (value == limit ? std::numeric_limits<std::int64_t>::min() : -std::int64_t(value))
                       : std::int64_t(value);
    return r;
}
