// Why a port would not open, in terms a person can act on. The component's
// Open only says "no"; this looks at the device once more, right after, and
// names the cause: the platform's error class, the device's group when access
// is refused, and which program holds it when it is busy.
#pragma once

#include <string>

enum class TOpenCause {
    ocNone,         // it opens now
    ocNoPermission, // the user may not open the device (Linux: EACCES/EPERM)
    ocBusy,         // another program holds it
    ocAbsent,       // no such device (unplugged, renamed, no port at that name)
    ocOther,        // anything else
};

struct TOpenFailure {
    TOpenCause cause = TOpenCause::ocNone;
    int osError = 0;          // errno (Linux) or GetLastError() (Windows) of the look
    std::string path;         // the device looked at ("/dev/ttyUSB0"; "COM3" on Windows)
    std::string group;        // no permission (Linux): the device's group
    bool inGroup = false;     // the user is listed in that group already
    int holderPid = 0;        // busy (Linux): one other process holding it; 0 when none seen
    std::string holderName;   // its program name
};

// Looks at the port `deviceName` ("COM3", "/dev/pts/4") as the component's
// Open would open it, without keeping it. The holder is the one the Open's
// refusal saw (Linux: the same search, the pty's far end exempt).
TOpenFailure ExplainOpenFailure(const std::string &deviceName);
