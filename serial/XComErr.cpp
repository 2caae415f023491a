#include "XComErr.h"

namespace {
// Spelling ("allready") is part of the component's published messages.
const char *const Messages[] = {
    "Device not opened.",
    "Device is allready opened.",
    "Unable to update device control block.",
    "Device locked. Cannot perform send operations.",
    "Device locked. Cannot perform read operations.",
    "Unable to update IO buffers.",
    "Unable to update Timeouts.",
};
} // namespace

const char *DeviceErrorMessage(std::int32_t code)
{
    if (code < IE_NOTOPEN || code > IE_TIMEOUTS)
        return "";
    return Messages[code - 1];
}

void DeviceError(const std::string &message, std::int32_t code)
{
    throw EDeviceError(message, code);
}

void RaiseDeviceError(std::int32_t code)
{
    DeviceError(DeviceErrorMessage(code), code);
}
