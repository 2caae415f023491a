#pragma once

#include <QIcon>
#include <QString>

// Full path of a picture shipped beside the program (help_vexo.jpg,
// about_logo.jpg): first <program dir>/../share/at_vexo/<fileName>, as laid out
// by the installation and by the build tree's bin/, then the build tree's own
// share/at_vexo, so tests and uninstalled binaries elsewhere in the tree find
// them too. Empty when neither holds the file.
QString PicturePath(const QString &fileName);

// An icon from a PNG picture compiled into the program (":/pictures/..."),
// with its own picture for the disabled state when one is given. Read as
// PNG outright: an icon made from a file name first offers the file to every
// image-format plugin, loading each of them.
QIcon PngIcon(const QString &normal, const QString &disabled = QString());
