// The settings-file loader on any bytes of any length. The line it returns is
// checked against a plain reading of the line rules, and writing that line
// back must read back unchanged.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include "Cp1251.h"
#include "WorkFile.h"

namespace {

std::string gDir;

[[noreturn]] void Fault(const char *what)
{
    std::fprintf(stderr, "fuzz_workfile: %s\n", what);
    std::abort();
}

void WriteAll(const std::string &path, const std::string &bytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        Fault("cannot write the input file");
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            Fault("short write of the input file");
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
}

// The rules, read the slow way: a line ends at CR LF, LF or a lone CR; text
// after the last end is a line too; the last line wins, cut to its first
// MaxWorkLineLength bytes.
// Not instrumented: the fuzzer's guidance should come from the reader.
__attribute__((no_sanitize("coverage"))) std::optional<std::string> ExpectedLastLine(const std::string &b)
{
    const char *p = b.data();
    std::ptrdiff_t lastFrom = -1, lastTo = -1;
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < b.size()) {
        if (p[i] == '\r' || p[i] == '\n') {
            lastFrom = std::ptrdiff_t(start);
            lastTo = std::ptrdiff_t(i);
            i += (p[i] == '\r' && i + 1 < b.size() && p[i + 1] == '\n') ? 2 : 1;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < b.size()) {
        lastFrom = std::ptrdiff_t(start);
        lastTo = std::ptrdiff_t(b.size());
    }
    if (lastFrom < 0)
        return std::nullopt;
    return b.substr(std::size_t(lastFrom), std::min(std::size_t(lastTo - lastFrom), MaxWorkLineLength));
}

// The raw input, grown on request so that files pass the reader's 64 KB
// chunks and a line end falls on or across a chunk boundary at any offset,
// without the fuzzer having to find megabyte inputs itself. Most inputs stay
// as they are: big files cost far more per run.
std::string FileBytes(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return {};
    const int mode = data[0] < 0xFD ? 0 : data[0] - 0xFC; // 1 in 85 is a big one
    const std::string body(reinterpret_cast<const char *>(data + 1), size - 1);
    std::string out;
    switch (mode) {
    case 0:
        return body;
    case 1: { // filler up to just before the first chunk boundary, then the body
        const std::size_t shift = size > 1 ? data[1] % 8 : 0;
        out.assign(64 * 1024 - shift, 'x');
        return out + body;
    }
    case 2: // the body over and over, past a chunk boundary
        if (body.empty())
            return body;
        while (out.size() < 64 * 1024 + 17)
            out += body;
        return out;
    default: // one long line, then the body
        out.assign(MaxWorkLineLength * 3 + (size % 7), 'L');
        return out + body;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // tmpfs when there is one: the write-back syncs, and disk syncs would
    // set the pace of the whole run
    const char *base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string tmpl = std::string(base) + "/vexo-fuzz-workfile-XXXXXX";
    if (::mkdtemp(tmpl.data()) == nullptr)
        Fault("mkdtemp failed");
    gDir = tmpl;
    std::atexit([] {
        ::unlink((gDir + "/in").c_str());
        ::unlink((gDir + "/out").c_str());
        ::rmdir(gDir.c_str());
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string bytes = FileBytes(data, size);
    const std::string in = gDir + "/in";
    WriteAll(in, bytes);

    const std::optional<std::string> got = ReadLastLine(in);
    const std::optional<std::string> want = ExpectedLastLine(bytes);
    if (got.has_value() != want.has_value())
        Fault("a line was found where there is none, or missed");
    if (!got)
        return 0;
    if (*got != Cp1251Decode(*want))
        Fault("the last line differs from the rules");
    if (got->find_first_of("\r\n") != std::string::npos || Cp1251Encode(*got).size() > MaxWorkLineLength)
        Fault("a line end or an overlong line came through");

    // What the program saves at close is what it loads at the next start.
    const std::string out = gDir + "/out";
    if (!WriteLineAtomically(out, *got))
        Fault("the write-back failed");
    const std::optional<std::string> again = ReadLastLine(out);
    if (!again || *again != *got)
        Fault("the written line does not read back");
    return 0;
}
