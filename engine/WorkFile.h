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

// Replaces `path` (or, behind a link, the file it names) with the CP1251
// bytes of `line` followed by CR LF. The bytes go to a temporary file in the
// same directory, are synced and then renamed over the file, so it is either
// the old or the new file, never a part. False, with nothing written or left
// behind, when that fails (no directory, not writable, `path` is there but
// no regular file nor a link to one, disk full...). Characters that code
// page 1251 lacks are written as '?'. Never throws.
bool WriteLineAtomically(const std::string &path, const std::string &line);

// Runs while a save has its temporary file written but not yet in place
// (fault tests kill the program there). Null: nothing.
using TSaveHook = void (*)();
void SetSaveHook(TSaveHook hook);
