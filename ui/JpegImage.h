#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// JPEG decoding with libjpeg for the pictures of the help and about windows.
//
// Success: a QImage in Format_RGB888 of the picture's own size, *error cleared.
// Failure: a null QImage and a one-line reason in *error; nothing is ever
// shown half-decoded, and no input can crash or end the program.
//
// Accepted: baseline (and also extended and progressive) JPEG with YCbCr, RGB
// or grayscale data, and CMYK/YCCK data (Adobe's inverted convention when the
// Adobe marker is present), all converted to RGB.
//
// Refused:
//  - data that is not JPEG, or that libjpeg cannot decode;
//  - damaged data: every libjpeg warning about the data (a truncated file's
//    "Premature end of JPEG file", "Corrupt JPEG data: ...") refuses the whole
//    picture, where libjpeg alone would fill the rest with grey. Only warnings
//    about harmless header oddities (unknown JFIF revision, unknown Adobe
//    transform, bad ICC marker) are let through;
//  - pictures wider or higher than kJpegMaxSide or with more than
//    kJpegMaxPixels pixels, judged from the header before any pixel memory
//    is taken;
//  - files bigger than kJpegMaxFileBytes, judged from the file's size before
//    reading it (and data bigger than that given to DecodeJpeg).

inline constexpr int kJpegMaxSide = 8192;
inline constexpr qint64 kJpegMaxPixels = 16 * 1024 * 1024;
inline constexpr qint64 kJpegMaxFileBytes = 32 * 1024 * 1024;

QImage LoadJpegFile(const QString &path, QString *error = nullptr);
QImage DecodeJpeg(const QByteArray &data, QString *error = nullptr);
