// Shared bits of the benchmark programs: their flags, percentiles and the
// report lines, each figure printed beside its target.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

struct BenchArgs {
    bool quick = false;  // shorter runs, for a smoke test of the benchmark itself
    bool strict = false; // exit code 1 when a target is missed
};

inline BenchArgs ParseBenchArgs(int argc, char **argv)
{
    BenchArgs args;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) {
            args.quick = true;
        } else if (std::strcmp(argv[i], "--strict") == 0) {
            args.strict = true;
        } else {
            std::fprintf(stderr, "usage: %s [--quick] [--strict]\n", argv[0]);
            std::exit(2);
        }
    }
    return args;
}

// printf into a std::string.
inline std::string Fmt(const char *format, ...)
{
    char buf[512];
    va_list ap;
    va_start(ap, format);
    std::vsnprintf(buf, sizeof buf, format, ap);
    va_end(ap);
    return buf;
}

// The value below which a fraction p of the samples lie (nearest rank).
inline double Percentile(std::vector<double> samples, double p)
{
    if (samples.empty())
        return NAN;
    std::sort(samples.begin(), samples.end());
    const auto rank = static_cast<std::size_t>(std::ceil(p * static_cast<double>(samples.size())));
    return samples[std::clamp<std::size_t>(rank, 1, samples.size()) - 1];
}

class BenchReport {
public:
    // "<what>: <figure> (target <target>)  ok" or "... MISSED".
    void Line(const std::string &what, const std::string &figure, const std::string &target, bool met)
    {
        std::printf("%s: %s (target %s)  %s\n", what.c_str(), figure.c_str(), target.c_str(), met ? "ok" : "MISSED");
        std::fflush(stdout);
        missed_ += met ? 0 : 1;
    }
    // A measurement that could not be made counts as a missed target.
    void Failed(const std::string &what)
    {
        std::printf("%s: FAILED\n", what.c_str());
        std::fflush(stdout);
        ++missed_;
    }
    void Note(const std::string &text)
    {
        std::printf("  %s\n", text.c_str());
        std::fflush(stdout);
    }
    int ExitCode(const BenchArgs &args) const
    {
        if (missed_ > 0)
            std::printf("%d target(s) missed\n", missed_);
        return args.strict && missed_ > 0 ? 1 : 0;
    }

private:
    int missed_ = 0;
};
