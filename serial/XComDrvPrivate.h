// Shared by the component's own source files only.
#pragma once

#include <cstdint>

#include "XComDrv.h"
#include "commapi.h"

namespace xcomdrv {

using commlayer::DWORD;

// The record handed to SetCommState, built from scratch from stored values.
commlayer::DCB BuildLineSettings(const TLineSettings &s);

// The line settings the open device holds; false while closed or when the
// device does not answer.
bool DeviceState(const TCustomComm &comm, commlayer::DCB &dcb);

// Line-settings flag word bits (the platform's DCB layout).
constexpr DWORD dcb_Binary = 0x0001;
constexpr DWORD dcb_ParityCheck = 0x0002;
constexpr DWORD dcb_OutxCtsFlow = 0x0004;
constexpr DWORD dcb_OutxDsrFlow = 0x0008;
constexpr DWORD dcb_DtrControlEnable = 0x0010;
constexpr DWORD dcb_DtrControlHandshake = 0x0020;
constexpr DWORD dcb_DsrSensivity = 0x0040;
constexpr DWORD dcb_TXContinueOnXoff = 0x0080;
constexpr DWORD dcb_OutX = 0x0100;
constexpr DWORD dcb_InX = 0x0200;
constexpr DWORD dcb_ErrorChar = 0x0400;
constexpr DWORD dcb_NullStrip = 0x0800;
constexpr DWORD dcb_RtsControlEnable = 0x1000;
constexpr DWORD dcb_RtsControlHandshake = 0x2000;
constexpr DWORD dcb_AbortOnError = 0x4000;

template <typename E>
bool InRange(E v, E last)
{
    return static_cast<std::int32_t>(v) >= 0 && static_cast<std::int32_t>(v) <= static_cast<std::int32_t>(last);
}

} // namespace xcomdrv
