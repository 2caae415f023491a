// Errors of the serial component: one class, seven fixed codes and messages.
#pragma once

#include <cstdint>
#include <string>

#include "SysUtils.h"

class EDeviceError : public Exception {
public:
    EDeviceError(const std::string &message, std::int32_t errorCode)
        : Exception(message), FErrorCode(errorCode) {}
    std::int32_t ErrorCode() const { return FErrorCode; }

private:
    std::int32_t FErrorCode;
};

// Error codes; each has exactly one message (DeviceErrorMessage).
enum : std::int32_t {
    IE_NOTOPEN = 1,
    IE_OPENED = 2,
    IE_SETUPDCB = 3,
    IE_LOCKSEND = 4,
    IE_LOCKREAD = 5,
    IE_BUFFERS = 6,
    IE_TIMEOUTS = 7,
};

// The message of a code; empty for a code outside 1..7.
const char *DeviceErrorMessage(std::int32_t code);

// The one raise routine of the component.
[[noreturn]] void DeviceError(const std::string &message, std::int32_t code);
// Loads the code's message and raises it.
[[noreturn]] void RaiseDeviceError(std::int32_t code);
