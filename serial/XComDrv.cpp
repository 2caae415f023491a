// The component's settings model: the speed table, the line-settings record
// built from the stored values, and the properties that reach the device.
// TCustomComm is one class in two files by concern: its settings here, its
// device operations in XComDevice.cpp. The settings groups (XComGroups.cpp)
// are apart: this file reads their stored values only to build the records
// and applies them when a group asks (ApplyLineSettings, ApplyBuffers,
// ApplyTimeouts), nothing more.
#include "XComDrv.h"

#include <cstring>

#include "XComDrvPrivate.h"

using namespace commlayer;
using namespace xcomdrv;

const std::uint32_t BaudValues[15] = {110,   300,   600,   1200,   2400,   4800,   9600,  14400,
                                      19200, 38400, 56000, 57600, 115200, 128000, 256000};

std::uint16_t QueueSizeLimit()
{
    OSVERSIONINFOA vi{};
    vi.dwOSVersionInfoSize = sizeof vi;
#if defined(_MSC_VER)
#pragma warning(suppress : 4996)
#elif defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
    const BOOL ok = GetVersionExA(&vi);
#if defined(__GNUC__) && !defined(_MSC_VER)
#pragma GCC diagnostic pop
#endif
    if (ok && vi.dwPlatformId == VER_PLATFORM_WIN32_NT && vi.dwMajorVersion >= 4)
        return 4096;
    return 8192;
}

DCB xcomdrv::BuildLineSettings(const TLineSettings &s)
{
    DCB d;
    std::memset(&d, 0, sizeof d);
    d.DCBlength = sizeof d;
    d.BaudRate = s.BaudValue;
    DWORD f = dcb_Binary;
    if (s.Options.Contains(coParityCheck)) f |= dcb_ParityCheck;
    if (s.RTS.Contains(fsCTSOut)) f |= dcb_OutxCtsFlow;
    if (s.DTR.Contains(fsDSROut)) f |= dcb_OutxDsrFlow;
    if (s.DTR.Contains(fsDTREnabled)) f |= dcb_DtrControlEnable;
    if (s.DTR.Contains(fsDTRHandshake)) f |= dcb_DtrControlHandshake;
    if (s.Options.Contains(coLeaveDTROpen)) f |= dcb_DtrControlEnable;
    if (s.Options.Contains(coDSRSensitivity)) f |= dcb_DsrSensivity;
    if (s.Options.Contains(coTXContinueOnXOff)) f |= dcb_TXContinueOnXoff;
    if (s.XOnXOff.Contains(fsOutX)) f |= dcb_OutX;
    if (s.XOnXOff.Contains(fsInX)) f |= dcb_InX;
    if (s.Options.Contains(coErrorChar)) f |= dcb_ErrorChar;
    if (s.Options.Contains(coDiscardNull)) f |= dcb_NullStrip;
    if (s.RTS.Contains(fsRTSEnabled)) f |= dcb_RtsControlEnable;
    if (s.RTS.Contains(fsRTSHandshake)) f |= dcb_RtsControlHandshake;
    if (s.Options.Contains(coAbortOnError)) f |= dcb_AbortOnError;
    SetDcbFlags(d, f);
    d.XonLim = static_cast<WORD>(s.InputSize / 4);
    d.XoffLim = static_cast<WORD>(s.InputSize / 4);
    d.ByteSize = static_cast<BYTE>(s.DataBits + 4);
    d.Parity = static_cast<BYTE>(s.Parity);
    d.StopBits = static_cast<BYTE>(s.StopBits);
    d.XonChar = s.XonChar;
    d.XoffChar = s.XoffChar;
    d.ErrorChar = s.ErrorChar;
    d.EofChar = s.EofChar;
    d.EvtChar = s.EventChar;
    return d;
}

// ---------------------------------------------------------------- settings

bool xcomdrv::DeviceState(const TCustomComm &comm, DCB &dcb)
{
    if (!comm.Opened())
        return false;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    return GetCommState(comm.Handle(), &dcb) != 0;
}

TLineSettings TCustomComm::StoredLineSettings() const
{
    TLineSettings s;
    s.BaudValue = FBaudValue;
    s.InputSize = FBuffers->FInputSize;
    s.DataBits = FDataControl->FDataBits;
    s.Parity = FDataControl->FParity;
    s.StopBits = FDataControl->FStopBits;
    s.XonChar = FEventChars->FXonChar;
    s.XoffChar = FEventChars->FXoffChar;
    s.ErrorChar = FEventChars->FErrorChar;
    s.EofChar = FEventChars->FEofChar;
    s.EventChar = FEventChars->FEventChar;
    s.RTS = FRTSSettings;
    s.DTR = FDTRSettings;
    s.XOnXOff = FXOnXOffSettings;
    s.Options = FOptions;
    return s;
}

bool TCustomComm::ApplyLineSettings()
{
    DCB d = BuildLineSettings(StoredLineSettings());
    if (!SetCommState(FHandle, &d))
        RaiseDeviceError(IE_SETUPDCB);
    return true;
}

bool TCustomComm::ApplyBuffers()
{
    PurgeComm(FHandle, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    if (!SetupComm(FHandle, FBuffers->FInputSize, FBuffers->FOutputSize))
        RaiseDeviceError(IE_BUFFERS);
    return true;
}

bool TCustomComm::ApplyTimeouts()
{
    COMMTIMEOUTS t;
    t.ReadIntervalTimeout = FTimeouts->FReadInterval;
    t.ReadTotalTimeoutMultiplier = FTimeouts->FReadMultiplier;
    t.ReadTotalTimeoutConstant = FTimeouts->FReadConstant;
    t.WriteTotalTimeoutMultiplier = FTimeouts->FWriteMultiplier;
    t.WriteTotalTimeoutConstant = FTimeouts->FWriteConstant;
    if (!SetCommTimeouts(FHandle, &t))
        RaiseDeviceError(IE_TIMEOUTS);
    return true;
}

TBaudRate TCustomComm::BaudRate() const
{
    if (Opened() && FBaudRate != brCustom) {
        FBaudRate = brCustom;
        const std::uint32_t v = BaudValue();
        for (int i = 0; i < 15; ++i) {
            if (BaudValues[i] == v) {
                FBaudRate = static_cast<TBaudRate>(i);
                break;
            }
        }
    }
    return FBaudRate;
}

void TCustomComm::SetBaudRate(TBaudRate v)
{
    if (v == FBaudRate || !InRange(v, brCustom))
        return;
    FBaudRate = v;
    if (v == brCustom)
        return;
    FBaudValue = BaudValues[v];
    if (Opened())
        ApplyLineSettings();
}

std::uint32_t TCustomComm::BaudValue() const
{
    DCB d;
    if (DeviceState(*this, d))
        FBaudValue = d.BaudRate;
    return FBaudValue;
}

void TCustomComm::SetBaudValue(std::uint32_t v)
{
    if (FBaudRate != brCustom || v == FBaudValue)
        return;
    FBaudValue = v;
    if (Opened())
        ApplyLineSettings();
}

void TCustomComm::SetBuffers(const TCommBuffers &g)
{
    if (&g != FBuffers.get())
        FBuffers->Assign(&g);
}
void TCustomComm::SetDataControl(const TCommDataControl &g)
{
    if (&g != FDataControl.get())
        FDataControl->Assign(&g);
}
void TCustomComm::SetEventChars(const TCommEventChars &g)
{
    if (&g != FEventChars.get())
        FEventChars->Assign(&g);
}
void TCustomComm::SetTimeouts(const TCommTimeoutsEx &g)
{
    if (&g != FTimeouts.get())
        FTimeouts->Assign(&g);
}

void TCustomComm::SetDeviceName(const std::string &v)
{
    if (Opened() || v == FDeviceName)
        return;
    FDeviceName = v;
}

void TCustomComm::SyncFlowSettings(std::uint32_t flags) const
{
    if (flags == 0 || (!Opened() && FFlowControl != fcCustom)) {
        FRTSSettings = {};
        FDTRSettings = {};
        FXOnXOffSettings = {};
        switch (FFlowControl) {
        case fcRtsCts:
            FRTSSettings = {fsCTSOut, fsRTSHandshake};
            break;
        case fcDtrDsr:
            FDTRSettings = {fsDSROut};
            FRTSSettings = {fsRTSEnabled};
            break;
        case fcSoftware:
            FXOnXOffSettings = {fsInX, fsOutX};
            break;
        default:
            break;
        }
        if (FFlowControl != fcNone)
            FDTRSettings.Include(fsDTREnabled);
        if (FOptions.Contains(coLeaveDTROpen)) {
            FDTRSettings.Include(fsDTREnabled);
            FDTRSettings.Exclude(fsDTRHandshake);
        }
    } else if (Opened()) {
        TDTRSettings dtr;
        if (flags & dcb_DtrControlHandshake) dtr.Include(fsDTRHandshake);
        if (flags & dcb_DtrControlEnable) dtr.Include(fsDTREnabled);
        if (flags & dcb_OutxDsrFlow) dtr.Include(fsDSROut);
        TRTSSettings rts;
        if (flags & dcb_RtsControlHandshake) rts.Include(fsRTSHandshake);
        if (flags & dcb_RtsControlEnable) rts.Include(fsRTSEnabled);
        if (flags & dcb_OutxCtsFlow) rts.Include(fsCTSOut);
        TXOnXOffSettings x;
        if (flags & dcb_OutX) x.Include(fsOutX);
        if (flags & dcb_InX) x.Include(fsInX);
        TCommOptions o;
        if (FOptions.Contains(coLeaveDTROpen)) o.Include(coLeaveDTROpen);
        if (flags & dcb_ParityCheck) o.Include(coParityCheck);
        if (flags & dcb_DsrSensivity) o.Include(coDSRSensitivity);
        if (flags & dcb_ErrorChar) o.Include(coErrorChar);
        if (flags & dcb_NullStrip) o.Include(coDiscardNull);
        if (flags & dcb_AbortOnError) o.Include(coAbortOnError);
        if (flags & dcb_TXContinueOnXoff) o.Include(coTXContinueOnXOff);
        FDTRSettings = dtr;
        FRTSSettings = rts;
        FXOnXOffSettings = x;
        FOptions = o;
    }
}

void TCustomComm::RefreshFlowSettings() const
{
    DCB d;
    if (DeviceState(*this, d))
        SyncFlowSettings(DcbFlags(d));
}

TRTSSettings TCustomComm::RTSSettings() const
{
    RefreshFlowSettings();
    return FRTSSettings;
}

TDTRSettings TCustomComm::DTRSettings() const
{
    RefreshFlowSettings();
    return FDTRSettings;
}

TXOnXOffSettings TCustomComm::XOnXOffSettings() const
{
    RefreshFlowSettings();
    return FXOnXOffSettings;
}

TCommOptions TCustomComm::Options() const
{
    RefreshFlowSettings();
    return FOptions;
}

void TCustomComm::SetFlowControl(TFlowControl v)
{
    if (v == FFlowControl || !InRange(v, fcCustom))
        return;
    FFlowControl = v;
    if (v == fcCustom)
        return;
    SyncFlowSettings(0);
    if (Opened())
        ApplyLineSettings();
}

void TCustomComm::SetRTSSettings(TRTSSettings v)
{
    if (FFlowControl != fcCustom || v == RTSSettings())
        return;
    FRTSSettings = v;
    if (Opened())
        ApplyLineSettings();
}

void TCustomComm::SetXOnXOffSettings(TXOnXOffSettings v)
{
    if (FFlowControl != fcCustom || v == XOnXOffSettings())
        return;
    FXOnXOffSettings = v;
    if (Opened())
        ApplyLineSettings();
}

void TCustomComm::SetDTRSettings(TDTRSettings v)
{
    if (Options().Contains(coLeaveDTROpen)) {
        v.Exclude(fsDTRHandshake);
        v.Include(fsDTREnabled);
    }
    if (v.Contains(fsDTRHandshake) && v.Contains(fsDTREnabled)) {
        if (FDTRSettings.Contains(fsDTRHandshake))
            v.Exclude(fsDTRHandshake);
        else
            v.Exclude(fsDTREnabled);
    }
    if (FFlowControl != fcCustom || v == DTRSettings())
        return;
    FDTRSettings = v;
    if (Opened())
        ApplyLineSettings();
}

void TCustomComm::SetOptions(TCommOptions v)
{
    const TCommOptions current = Options();
    if (Opened()) {
        if (current.Contains(coLeaveDTROpen))
            v.Include(coLeaveDTROpen);
        else
            v.Exclude(coLeaveDTROpen);
    }
    if (v == current)
        return;
    FOptions = v;
    if (Opened()) {
        ApplyLineSettings();
    } else if (FFlowControl != fcCustom) {
        SyncFlowSettings(0);
    } else if (FOptions.Contains(coLeaveDTROpen)) {
        // Our choice for a closed custom-flow component: keep the operator's
        // custom sets, but let "leave DTR open" hold DTR enabled as it does
        // everywhere else.
        FDTRSettings.Include(fsDTREnabled);
        FDTRSettings.Exclude(fsDTRHandshake);
    }
}
