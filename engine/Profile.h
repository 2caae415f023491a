// A module's settings as a file the engineer can carry, read and edit in any
// text editor: UTF-8, one "key = value" a line, whole-line comments after
// '#', CR LF written and any line end read. A head (the program, the date,
// the module's version line, whether the unit had parameters 4, 8 and 9),
// then the five values of the boxes. Pure: no view, no port.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

class IMainView;

// The five values, as the boxes show them.
struct TProfileValues {
    std::string ioSpeed, rsSpeed, printerSpeed; // "19200"
    int address = 1;
    bool klv707 = false;
    friend bool operator==(const TProfileValues &, const TProfileValues &) = default;
};

// Whether the unit had parameters 4, 8 and 9 (a "Тетрамакс" attached).
enum class TUnitParams : char { Unknown, Present, Absent };

struct TProfile {
    std::string program;    // "ПО "AT_Vexo" 1.03"
    std::string saved;      // "09.12.2026 03:10:00"
    std::string moduleLine; // the last answer to "ATI0"; empty when none came
    TUnitParams unit = TUnitParams::Unknown;
    TProfileValues values;
};

// Larger files are no profile of ours and are not read.
inline constexpr std::size_t MaxProfileBytes = 64 * 1024;

// What is wrong with a file: its line (1-based; 0: the file as a whole).
struct TProfileFault {
    int line = 0;
    std::string what;
    friend bool operator==(const TProfileFault &, const TProfileFault &) = default;
};

struct TProfileRead {
    std::optional<TProfile> profile; // set exactly when there is no fault
    TProfileFault fault;
};

// The file's bytes (CR LF line ends, no BOM).
std::string ProfileText(const TProfile &profile);
// Every line checked before anything is taken: the first fault wins.
TProfileRead ParseProfile(std::string_view bytes);

// Reads `path` (UTF-8) and parses it; a missing, unreadable, irregular or
// too large file is a fault of line 0. Never throws.
TProfileRead ReadProfileFile(const std::string &path);
// Writes the whole file through a temporary file renamed over `path`; false
// when it could not be put in place (the old file, if any, is untouched).
bool WriteProfileFile(const std::string &path, const TProfile &profile);

// The boxes' values, checked as a file's are; a fault names the box (line 0).
struct TBoxValues {
    std::optional<TProfileValues> values;
    std::string fault;
};
TBoxValues ReadBoxValues(const IMainView &view);
void PutBoxValues(IMainView &view, const TProfileValues &values);

// "скорость "I/O" 19200, скорость "RS232" 115200, ..., флаг "КЛВ-707" выкл"
std::string DescribeValues(const TProfileValues &values);
