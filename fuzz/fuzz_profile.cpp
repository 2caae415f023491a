// The profile reader on any bytes: it never crashes, a fault names a line
// the input has, and what it accepts writes out and reads back the same.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "Profile.h"

namespace {

[[noreturn]] void Fault(const char *what)
{
    std::fprintf(stderr, "fuzz_profile: %s\n", what);
    std::abort();
}

int Lines(std::string_view b)
{
    int n = 0;
    for (std::size_t i = 0; i < b.size(); ++i) {
        if (b[i] == '\r' || b[i] == '\n') {
            ++n;
            if (b[i] == '\r' && i + 1 < b.size() && b[i + 1] == '\n')
                ++i;
        }
    }
    return n + (b.empty() || b.back() == '\r' || b.back() == '\n' ? 0 : 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    const TProfileRead read = ParseProfile(bytes);
    if (!read.profile) {
        if (read.fault.what.empty())
            Fault("a refusal without a reason");
        if (read.fault.line < 0 || read.fault.line > Lines(bytes))
            Fault("a fault on a line the input does not have");
        return 0;
    }
    if (!read.fault.what.empty())
        Fault("accepted with a fault");
    const std::string text = ProfileText(*read.profile);
    const TProfileRead again = ParseProfile(text);
    if (!again.profile)
        Fault("what was accepted does not read back");
    if (!(again.profile->values == read.profile->values) || again.profile->program != read.profile->program ||
        again.profile->saved != read.profile->saved || again.profile->moduleLine != read.profile->moduleLine ||
        again.profile->unit != read.profile->unit)
        Fault("what was accepted reads back different");
    if (ProfileText(*again.profile) != text)
        Fault("the written text is not stable");
    return 0;
}
