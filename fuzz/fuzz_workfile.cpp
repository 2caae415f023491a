// The settings-file loader on any bytes of any length. The line it returns is
// checked against a plain reading of the line rules, and writing that line
// back must read back unchanged.
#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include "WorkFile.h"

namespace {

std::string gDir;

[[noreturn]] void Fault(const char *what)
{
    std::fprintf(stderr, "fuzz_workfile: %s\n", what);
    std::abort();
}

void WriteAll(const std::string &path, const QByteArray &bytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        Fault("cannot write the input file");
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n <= 0)
            Fault("short write of the input file");
        done += n;
    }
    ::close(fd);
}

// The rules, read the slow way: a line ends at CR LF, LF or a lone CR; text
// after the last end is a line too; the last line wins, cut to its first
// MaxWorkLineLength bytes.
// Not instrumented: the fuzzer's guidance should come from the reader.
__attribute__((no_sanitize("coverage"))) std::optional<QByteArray> ExpectedLastLine(const QByteArray &b)
{
    const char *p = b.constData();
    qsizetype lastFrom = -1, lastTo = -1;
    qsizetype start = 0;
    qsizetype i = 0;
    while (i < b.size()) {
        if (p[i] == '\r' || p[i] == '\n') {
            lastFrom = start;
            lastTo = i;
            i += (p[i] == '\r' && i + 1 < b.size() && p[i + 1] == '\n') ? 2 : 1;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < b.size()) {
        lastFrom = start;
        lastTo = b.size();
    }
    if (lastFrom < 0)
        return std::nullopt;
    return b.mid(lastFrom, std::min(lastTo - lastFrom, MaxWorkLineLength));
}

// The raw input, grown on request so that files pass the reader's 64 KB
// chunks and a line end falls on or across a chunk boundary at any offset,
// without the fuzzer having to find megabyte inputs itself. Most inputs stay
// as they are: big files cost far more per run.
QByteArray FileBytes(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return {};
    const int mode = data[0] < 0xFD ? 0 : data[0] - 0xFC; // 1 in 85 is a big one
    const QByteArray body(reinterpret_cast<const char *>(data + 1), static_cast<qsizetype>(size - 1));
    QByteArray out;
    switch (mode) {
    case 0:
        return body;
    case 1: { // filler up to just before the first chunk boundary, then the body
        const qsizetype shift = size > 1 ? data[1] % 8 : 0;
        out.fill('x', 64 * 1024 - shift);
        return out + body;
    }
    case 2: // the body over and over, past a chunk boundary
        if (body.isEmpty())
            return body;
        while (out.size() < 64 * 1024 + 17)
            out += body;
        return out;
    default: // one long line, then the body
        out.fill('L', MaxWorkLineLength * 3 + (size % 7));
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
    const QByteArray bytes = FileBytes(data, size);
    const std::string in = gDir + "/in";
    WriteAll(in, bytes);

    const std::optional<QString> got = ReadLastLine(QString::fromStdString(in));
    const std::optional<QByteArray> want = ExpectedLastLine(bytes);
    if (got.has_value() != want.has_value())
        Fault("a line was found where there is none, or missed");
    if (!got)
        return 0;
    if (*got != Cp1251Decode(*want))
        Fault("the last line differs from the rules");
    if (got->contains(u'\r') || got->contains(u'\n') || got->size() > MaxWorkLineLength)
        Fault("a line end or an overlong line came through");

    // What the program saves at close is what it loads at the next start.
    const QString out = QString::fromStdString(gDir + "/out");
    if (!WriteLineAtomically(out, *got))
        Fault("the write-back failed");
    const std::optional<QString> again = ReadLastLine(out);
    if (!again || *again != *got)
        Fault("the written line does not read back");
    return 0;
}
