#include "PortMonitor.h"

#include <algorithm>
#include <cstring>

std::int64_t TDebounce::Notice(std::int64_t now)
{
    if (FFirst < 0)
        FFirst = now;
    FLast = now;
    return DueAt();
}

std::int64_t TDebounce::DueAt() const
{
    if (FFirst < 0)
        return -1;
    return std::min(FLast + FQuiet, FFirst + FLongest);
}

bool TDebounce::Fire(std::int64_t now)
{
    if (FFirst < 0 || now < DueAt())
        return false;
    FFirst = FLast = -1;
    return true;
}

bool IsPortUevent(const char *data, std::size_t size)
{
    // "add@/devices/...\0ACTION=add\0SUBSYSTEM=tty\0..."; a udev daemon's
    // own datagrams start "libudev" and are not the kernel's.
    bool action = false, subsystem = false;
    for (std::size_t at = 0; at < size;) {
        const char *field = data + at;
        const std::size_t len = strnlen(field, size - at);
        const std::string_view f(field, len);
        if (f == "ACTION=add" || f == "ACTION=remove" || f == "ACTION=change" || f == "ACTION=bind" || f == "ACTION=unbind")
            action = true;
        if (f == "SUBSYSTEM=tty" || f == "SUBSYSTEM=usb-serial")
            subsystem = true;
        at += len + 1;
    }
    return action && subsystem;
}

bool IsPortNodeName(std::string_view name)
{
    return name.starts_with("tty") || name.starts_with("rfcomm");
}
