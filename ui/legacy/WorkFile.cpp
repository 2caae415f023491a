#include "WorkFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QStringDecoder>

#include <array>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

const char *const CodePage = "windows-1251";

// Bytes to characters once, from the platform's converter, and the reverse
// map from it: encoding is then the exact inverse of decoding (0x98, which
// the code page leaves undefined, goes both ways as U+0098).
struct TCp1251 {
    bool Valid = false;
    std::array<char16_t, 256> ToChar{};
    QHash<char16_t, char> ToByte;

    TCp1251()
    {
        QStringDecoder decoder(CodePage);
        if (!decoder.isValid())
            return;
        QByteArray all(256, Qt::Uninitialized);
        for (int b = 0; b < 256; ++b)
            all[b] = static_cast<char>(b);
        const QString chars = decoder(all);
        if (chars.size() != 256)
            return;
        for (int b = 0; b < 256; ++b) {
            ToChar[std::size_t(b)] = chars[b].unicode();
            ToByte.insert(chars[b].unicode(), static_cast<char>(b));
        }
        Valid = true;
    }
};

const TCp1251 &Cp1251()
{
    static const TCp1251 table;
    return table;
}

[[noreturn]] void ReadFailed(const QFile &file)
{
    throw EInOutError(QStringLiteral("Read error on \"%1\": %2")
                          .arg(QDir::toNativeSeparators(file.fileName()), file.errorString())
                          .toStdString());
}

#ifndef _WIN32
// QSaveFile syncs the data before the rename; the rename itself is durable
// only once the directory is synced as well.
void SyncDirectory(const QString &dir)
{
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    (void)::fsync(fd);
    ::close(fd);
}
#endif

} // namespace

QString WorkFilePath()
{
    return QStringLiteral("Work") + QDir::separator() + QStringLiteral("ATVexo.000");
}

QString Cp1251Decode(const QByteArray &bytes)
{
    const TCp1251 &cp = Cp1251();
    QString out(bytes.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        out[i] = cp.Valid ? QChar(cp.ToChar[b]) : QChar(char16_t(b < 0x80 ? b : u'?'));
    }
    return out;
}

QByteArray Cp1251Encode(const QString &text)
{
    const TCp1251 &cp = Cp1251();
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            out.append('?'); // one character outside the BMP, one '?'
            ++i;
            continue;
        }
        if (cp.Valid) {
            const auto it = cp.ToByte.constFind(c.unicode());
            out.append(it != cp.ToByte.cend() ? *it : '?');
        } else {
            out.append(c.unicode() < 0x80 ? static_cast<char>(c.unicode()) : '?');
        }
    }
    return out;
}

std::optional<QString> ReadLastLine(const QString &path)
{
    // Only a regular file is read: a FIFO would block the start-up and a
    // character device may never end.
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile())
        return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return std::nullopt;

    // Code page 1251 is one byte per character and CR/LF are never part of
    // another character, so lines are cut on the bytes and only the line
    // that wins is decoded.
    std::optional<QByteArray> last;
    QByteArray current;
    bool inLine = false;  // characters seen since the last line end
    bool afterCr = false; // a CR ended the last line; an LF right after belongs to it
    QByteArray chunk(64 * 1024, Qt::Uninitialized);
    for (;;) {
        const qint64 n = file.read(chunk.data(), chunk.size());
        if (n < 0)
            ReadFailed(file);
        if (n == 0)
            break;
        const char *p = chunk.constData();
        for (qint64 i = 0; i < n; ++i) {
            const char b = p[i];
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
                current.append(b);
        }
    }
    if (inLine)
        last = current;
    if (!last)
        return std::nullopt;
    if (!Cp1251().Valid)
        throw EInOutError("Code page 1251 is not available");
    return Cp1251Decode(*last);
}

bool WriteLineAtomically(const QString &path, const QString &line)
{
    if (!Cp1251().Valid)
        return false;
    // Only a settings file is replaced: the rename below would put it in
    // place of a pipe or a device node, also at the far end of a link.
    const QFileInfo existing(path);
    if ((existing.exists() && !existing.isFile()) || (existing.isSymLink() && !existing.exists()))
        return false;
    QByteArray bytes = Cp1251Encode(line);
    bytes.append("\r\n");

    // Never writes in place: without the temporary file a failed write
    // would leave a truncated settings file.
    // Unbuffered: a short write (disk full, file-size limit) must be seen
    // here; through the write buffer it passes unnoticed and the commit
    // would put a cut-off file in place.
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    for (qsizetype done = 0; done < bytes.size();) {
        const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0) {
            file.cancelWriting();
            return false; // the destructor drops the temporary file
        }
        done += n;
    }
    if (!file.commit())
        return false;
#ifndef _WIN32
    SyncDirectory(QFileInfo(path).absolutePath());
#endif
    return true;
}
