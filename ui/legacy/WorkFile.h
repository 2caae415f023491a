// The settings file: one CP1251 text line with the chosen COM port name.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

#include "SysUtils.h"


// "Work/ATVexo.000" ("Work\ATVexo.000" on Windows), relative to the current
// directory; the Work directory is never created by the program.
QString WorkFilePath();

// Longest line kept by ReadLastLine; the rest of a longer line is dropped.
inline constexpr qsizetype MaxWorkLineLength = 4096;

// The last line of a CP1251 text file. Lines end at CR LF, LF or a lone CR;
// text after the last line end is a line too. nullopt when no line was read:
// the file is missing, not a regular file, cannot be opened, or is empty
// (the caller leaves the port box as it is). An empty last line ("COM3",
// "", from "COM3\r\n\r\n") is a line: the optional holds "". Reads in
// chunks, so the file may be of any size. A read error after the file was
// opened throws EInOutError.
std::optional<QString> ReadLastLine(const QString &path);

// Replaces `path` with the CP1251 bytes of `line` followed by CR LF. The
// bytes go to a temporary file in the same directory, are synced and then
// renamed over `path`, so `path` is either the old or the new file, never a
// part. False, with nothing written or left behind, when that fails (no
// directory, not writable, `path` is there but no regular file nor a link
// to one, disk full...). Characters that code page 1251 lacks are written
// as '?'. Never throws.
bool WriteLineAtomically(const QString &path, const QString &line);

// Code page 1251 both ways: decoding maps every byte to one character,
// encoding writes '?' for a character without a byte (one per code point).
QString Cp1251Decode(const QByteArray &bytes);
QByteArray Cp1251Encode(const QString &text);
