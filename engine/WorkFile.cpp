#include "WorkFile.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "Cp1251.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <io.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

std::atomic<TSaveHook> gSaveHook{nullptr};

fs::path PathOf(const std::string &utf8)
{
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::FILE *OpenForReading(const fs::path &p)
{
#ifdef _WIN32
    return _wfopen(p.c_str(), L"rb");
#else
    return std::fopen(p.c_str(), "rbe"); // close-on-exec
#endif
}

#ifndef _WIN32
// The rename is durable only once the directory is synced as well.
void SyncDirectory(const fs::path &dir)
{
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    (void)::fsync(fd);
    ::close(fd);
}

// The replaced file keeps its permissions; a new one gets what a plain
// create would give it (mkstemp makes it private).
mode_t ModeFor(const fs::path &target)
{
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0)
        return st.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// Writes all of `bytes` to a new file beside `target` and puts it in place.
bool Replace(const fs::path &target, const std::string &bytes)
{
    std::string temp = (target.parent_path() / (target.filename().string() + ".XXXXXX")).string();
    if (target.parent_path().empty())
        temp = target.filename().string() + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return false;
    ::fchmod(fd, ModeFor(target));
    bool ok = true;
    for (std::size_t done = 0; ok && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok)
            done += std::size_t(n);
    }
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok) {
        if (const TSaveHook hook = gSaveHook.load())
            hook();
        ok = ::rename(temp.c_str(), target.c_str()) == 0;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    SyncDirectory(target.parent_path().empty() ? fs::path(".") : target.parent_path());
    return true;
}
#else
bool Replace(const fs::path &target, const std::string &bytes)
{
    const fs::path dir = target.parent_path().empty() ? fs::path(L".") : target.parent_path();
    wchar_t temp[MAX_PATH];
    if (!GetTempFileNameW(dir.c_str(), L"vx", 0, temp))
        return false;
    HANDLE h = CreateFileW(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    bool ok = h != INVALID_HANDLE_VALUE;
    for (std::size_t done = 0; ok && done < bytes.size();) {
        DWORD n = 0;
        ok = WriteFile(h, bytes.data() + done, DWORD(bytes.size() - done), &n, nullptr) && n > 0;
        done += n;
    }
    if (h != INVALID_HANDLE_VALUE) {
        ok = FlushFileBuffers(h) && ok;
        ok = CloseHandle(h) && ok;
    }
    if (ok) {
        if (const TSaveHook hook = gSaveHook.load())
            hook();
        ok = MoveFileExW(temp, target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    }
    if (!ok)
        DeleteFileW(temp);
    return ok;
}
#endif

} // namespace

std::string WorkFilePath()
{
#ifdef _WIN32
    return "Work\\ATVexo.000";
#else
    return "Work/ATVexo.000";
#endif
}

void SetSaveHook(TSaveHook hook) { gSaveHook = hook; }

std::optional<std::string> ReadLastLine(const std::string &path)
{
    // Only a regular file is read: a FIFO would block the start-up and a
    // character device may never end.
    const fs::path p = PathOf(path);
    std::error_code ec;
    if (!fs::is_regular_file(fs::status(p, ec)))
        return std::nullopt;
    std::FILE *file = OpenForReading(p);
    if (!file)
        return std::nullopt;
    struct Closer {
        std::FILE *f;
        ~Closer() { std::fclose(f); }
    } closer{file};
    std::setvbuf(file, nullptr, _IONBF, 0);

    // Code page 1251 is one byte per character and CR/LF are never part of
    // another character, so lines are cut on the bytes and only the line
    // that wins is decoded.
    std::optional<std::string> last;
    std::string current;
    bool inLine = false;  // characters seen since the last line end
    bool afterCr = false; // a CR ended the last line; an LF right after belongs to it
    static thread_local char chunk[64 * 1024];
    for (;;) {
        const std::size_t n = std::fread(chunk, 1, sizeof chunk, file);
        if (n == 0) {
            if (std::ferror(file))
                throw EInOutError("Read error on \"" + path + "\": " + std::strerror(errno));
            break;
        }
        for (std::size_t i = 0; i < n; ++i) {
            const char b = chunk[i];
            if (afterCr) {
                afterCr = false;
                if (b == '\n')
                    continue;
            }
            if (b == '\r' || b == '\n') {
                last = current;
                current.clear();
                inLine = false;
                afterCr = b == '\r';
                continue;
            }
            inLine = true;
            if (current.size() < MaxWorkLineLength)
                current.push_back(b);
        }
    }
    if (inLine)
        last = current;
    if (!last)
        return std::nullopt;
    return Cp1251Decode(*last);
}

bool WriteLineAtomically(const std::string &path, const std::string &line)
{
    try {
        // Only a settings file is replaced: the rename would put it in place
        // of a pipe or a device node, also at the far end of a link.
        fs::path target = PathOf(path);
        std::error_code ec;
        const fs::file_status link = fs::symlink_status(target, ec);
        if (fs::is_symlink(link)) {
            const fs::file_status st = fs::status(target, ec);
            if (!fs::is_regular_file(st))
                return false; // dangling, or a link to what is no settings file
            target = fs::canonical(target, ec);
            if (ec)
                return false;
        } else if (fs::exists(link) && !fs::is_regular_file(link)) {
            return false;
        }
        std::string bytes = Cp1251Encode(line);
        bytes += "\r\n";
        // Never writes in place: a failed write would leave a truncated file.
        return Replace(target, bytes);
    } catch (...) {
        return false;
    }
}
