#include "Pictures.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QPixmap>

#ifndef VEXO_BUILD_SHARE_DIR
#define VEXO_BUILD_SHARE_DIR ""
#endif

namespace {

QString ExistingFile(const QString &dir, const QString &fileName)
{
    if (dir.isEmpty())
        return QString();
    const QFileInfo info(QDir(dir), fileName);
    return info.isFile() ? QDir::cleanPath(info.absoluteFilePath()) : QString();
}

QPixmap ReadPng(const QString &path)
{
    QImageReader reader(path, "png");
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImage(reader.read());
}

} // namespace

QString PicturePath(const QString &fileName)
{
    // a bare name only: the pictures never live in subfolders
    if (fileName.isEmpty() || fileName.contains('/') || fileName.contains('\\'))
        return QString();
    if (QCoreApplication::instance()) {
        const QString found =
            ExistingFile(QCoreApplication::applicationDirPath() + "/../share/at_vexo", fileName);
        if (!found.isEmpty())
            return found;
    }
    return ExistingFile(QString::fromUtf8(VEXO_BUILD_SHARE_DIR), fileName);
}

QIcon PngIcon(const QString &normal, const QString &disabled)
{
    QIcon icon(ReadPng(normal));
    if (!disabled.isEmpty())
        icon.addPixmap(ReadPng(disabled), QIcon::Disabled);
    return icon;
}
