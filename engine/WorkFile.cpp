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
#include <sys/file.h>
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

// How a save through a temporary file went; without one, the file may
// still be written in place.
enum class TSave { Done, Failed, NoTemporary };

#ifndef _WIN32
bool WriteAll(int fd, const std::string &bytes)
{
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += std::size_t(n);
    }
    return true;
}

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
// create would give it.
// The replacement keeps the mode of the file it replaces; a new file gets
// the mode the temporary file was created with (0666 less the umask).
void TakeModeOf(const fs::path &target, int fd)
{
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0)
        (void)::fchmod(fd, st.st_mode & 07777);
}

bool SameFile(const struct stat &a, const struct stat &b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// The temporary file, always under the same name so that a save killed
// half-way leaves one stray file at most, which the next save reuses. The
// lock keeps two savers from writing into the same one; a file that another
// saver put in place while we waited for the lock is let go and the name
// opened afresh. -1 when the name cannot be had: NoTemporary when it cannot
// be created at all (the folder takes no new files...).
int OpenTemporary(const fs::path &temp, TSave &why)
{
    why = TSave::Failed;
    for (int attempt = 0; attempt < 8; ++attempt) {
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
        if (fd < 0) {
            why = TSave::NoTemporary;
            return -1;
        }
        // Without lock support (some network file systems) only the check
        // below guards against another saver.
        while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
        }
        struct stat held {}, named {};
        if (::fstat(fd, &held) != 0 || !S_ISREG(held.st_mode)) {
            ::close(fd);
            return -1;
        }
        if (::lstat(temp.c_str(), &named) == 0 && SameFile(held, named)) {
            if (held.st_nlink == 1) {
                if (::ftruncate(fd, 0) == 0)
                    return fd;
                ::close(fd);
                return -1;
            }
            // A name that is one of several links to a file: cutting it
            // would cut that file too. Only the name goes.
            ::unlink(temp.c_str());
        }
        ::close(fd);
    }
    return -1;
}

// Writes all of `bytes` to the temporary file beside `target` and puts it in
// place, so the file is either the old or the new one, never a part.
TSave Replace(const fs::path &target, const std::string &bytes)
{
    const fs::path temp = target.parent_path() / (target.filename().string() + ".tmp");
    TSave why = TSave::Failed;
    const int fd = OpenTemporary(temp, why);
    if (fd < 0)
        return why;
    TakeModeOf(target, fd);
    bool ok = WriteAll(fd, bytes) && ::fsync(fd) == 0;
    if (ok) {
        if (const TSaveHook hook = gSaveHook.load())
            hook();
        ok = ::rename(temp.c_str(), target.c_str()) == 0;
    }
    if (!ok)
        ::unlink(temp.c_str());
    ::close(fd); // the lock goes with it, after the rename
    if (!ok)
        return TSave::Failed;
    SyncDirectory(target.parent_path().empty() ? fs::path(".") : target.parent_path());
    return TSave::Done;
}

// A folder we may not create files in can still hold a settings file we may
// write: overwrite that one where it is.
bool WriteInPlace(const fs::path &target, const std::string &bytes)
{
    const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ok = ok && ::ftruncate(fd, 0) == 0 && WriteAll(fd, bytes) && ::fsync(fd) == 0;
    return ::close(fd) == 0 && ok;
}
#else
bool WriteAll(HANDLE h, const std::string &bytes)
{
    for (std::size_t done = 0; done < bytes.size();) {
        DWORD n = 0;
        if (!WriteFile(h, bytes.data() + done, DWORD(bytes.size() - done), &n, nullptr) || n == 0)
            return false;
        done += n;
    }
    return true;
}

// The temporary file has a fixed name, so that a save killed half-way leaves
// one stray file at most; it is opened exclusively, so no other saver writes
// into it meanwhile (that one's save then fails, as it would at a rename onto
// a file that is held open).
TSave Replace(const fs::path &target, const std::string &bytes)
{
    const fs::path temp = target.parent_path() / (target.filename().wstring() + L".tmp");
    HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_SHARING_VIOLATION ? TSave::Failed : TSave::NoTemporary;
    bool ok = WriteAll(h, bytes) && FlushFileBuffers(h);
    ok = CloseHandle(h) && ok;
    if (ok) {
        if (const TSaveHook hook = gSaveHook.load())
            hook();
        ok = MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    }
    if (!ok)
        DeleteFileW(temp.c_str());
    return ok ? TSave::Done : TSave::Failed;
}

bool WriteInPlace(const fs::path &target, const std::string &bytes)
{
    HANDLE h = CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    bool ok = GetFileType(h) == FILE_TYPE_DISK && SetEndOfFile(h) && WriteAll(h, bytes) && FlushFileBuffers(h);
    return CloseHandle(h) && ok;
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

namespace {

// Only a regular file is replaced: the rename would put it in place of a
// pipe or a device node, also at the far end of a link. `inPlace`: where no
// temporary file can be made, an existing writable file is overwritten.
bool SaveBytes(const std::string &path, const std::string &bytes, bool inPlace)
{
    try {
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
        switch (Replace(target, bytes)) {
        case TSave::Done:
            return true;
        case TSave::Failed:
            return false;
        case TSave::NoTemporary:
            break;
        }
        return inPlace && WriteInPlace(target, bytes);
    } catch (...) {
        return false;
    }
}

} // namespace

bool WriteSettingsLine(const std::string &path, const std::string &line)
{
    std::string bytes;
    try {
        bytes = Cp1251Encode(line) + "\r\n";
    } catch (...) {
        return false;
    }
    return SaveBytes(path, bytes, true);
}

bool ReplaceWholeFile(const std::string &path, const std::string &bytes) { return SaveBytes(path, bytes, false); }
