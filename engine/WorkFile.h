// The settings file: one code page 1251 text line with the chosen COM port
// name. Paths and texts here are UTF-8.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "SysUtils.h"

// "Work/ATVexo.000" ("Work\ATVexo.000" on Windows), relative to the current
// directory; the Work directory is never created by the program.
std::string WorkFilePath();

// Longest line kept by ReadLastLine; the rest of a longer line is dropped.
inline constexpr std::size_t MaxWorkLineLength = 4096;

// The last line of a CP1251 text file, decoded. Lines end at CR LF, LF or a
// lone CR; text after the last line end is a line too. nullopt when no line
// was read: the file is missing, not a regular file, cannot be opened, or is
// empty (the caller leaves the port box as it is). An empty last line
// ("COM3", "", from "COM3\r\n\r\n") is a line: the optional holds "". Reads
// in chunks, so the file may be of any size. A read error after the file was
// opened throws EInOutError.
std::optional<std::string> ReadLastLine(const std::string &path);

// Creates or overwrites `path` (or, behind a link, the file it names) with
// the CP1251 bytes of `line` followed by CR LF. Where the folder lets it, the
// bytes go to "<name>.tmp" beside the file, are synced and then renamed over
// it, so the file is either the old or the new one, never a part; that
// temporary name is always the same, so a save killed half-way leaves one
// stray file at most, which the next save reuses. In a folder that takes no
// new files, an existing writable file is overwritten in place instead. False
// when nothing could be written (no directory, `path` is there but no
// regular file nor a link to one, disk full...); a failed write leaves no
// temporary file behind. Characters that code page 1251 lacks are written as
// '?'. Never throws.
bool WriteSettingsLine(const std::string &path, const std::string &line);

// `bytes` as the whole of `path`, through the same temporary file and rename
// as WriteSettingsLine, but never in place: the file is the old or the new
// one. False when that cannot be done. Never throws.
bool ReplaceWholeFile(const std::string &path, const std::string &bytes);

// Runs while a save has its temporary file written but not yet in place
// (fault tests kill the program there). Null: nothing.
using TSaveHook = void (*)();
void SetSaveHook(TSaveHook hook);
