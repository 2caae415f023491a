// The four settings groups of the component. Each belongs to one component;
// a getter asks the open device, a setter stores and applies at once.
// The rule between the groups and the component (XComDrv.cpp, XComDevice.cpp):
// a group keeps its own stored values and reaches into the component only
// to apply them (ApplyLineSettings, ApplyBuffers, ApplyTimeouts); the
// component reads a group's stored values only to build its records.
#include "XComDrv.h"

#include "XComDrvPrivate.h"

using namespace commlayer;
using namespace xcomdrv;

void TCommGroup::AssignError(const TCommGroup *source) const
{
    std::string msg = "Cannot assign a ";
    msg += source ? source->ClassName() : "nil";
    msg += " to a ";
    msg += ClassName();
    throw EConvertError(msg);
}

void TCommDataControl::Assign(const TCommGroup *source)
{
    auto *src = dynamic_cast<const TCommDataControl *>(source);
    if (!src)
        AssignError(source);
    const TDataBits db = src->DataBits();
    const TParity pa = src->Parity();
    const TStopBits sb = src->StopBits();
    FDataBits = db;
    FParity = pa;
    FStopBits = sb;
    if (FComm->Opened())
        FComm->ApplyLineSettings();
}

TDataBits TCommDataControl::DataBits() const
{
    DCB d;
    if (DeviceState(*FComm, d) && d.ByteSize >= 4 && d.ByteSize <= 8)
        return static_cast<TDataBits>(d.ByteSize - 4);
    return FDataBits;
}

void TCommDataControl::SetDataBits(TDataBits v)
{
    if (v == FDataBits || !InRange(v, db8))
        return;
    FDataBits = v;
    if (FComm->Opened())
        FComm->ApplyLineSettings();
}

TParity TCommDataControl::Parity() const
{
    DCB d;
    if (DeviceState(*FComm, d) && d.Parity <= paSpace)
        return static_cast<TParity>(d.Parity);
    return FParity;
}

void TCommDataControl::SetParity(TParity v)
{
    if (v == FParity || !InRange(v, paSpace))
        return;
    FParity = v;
    if (FComm->Opened())
        FComm->ApplyLineSettings();
}

TStopBits TCommDataControl::StopBits() const
{
    DCB d;
    if (DeviceState(*FComm, d) && d.StopBits <= sb2)
        return static_cast<TStopBits>(d.StopBits);
    return FStopBits;
}

void TCommDataControl::SetStopBits(TStopBits v)
{
    if (v == FStopBits || !InRange(v, sb2))
        return;
    FStopBits = v;
    if (FComm->Opened())
        FComm->ApplyLineSettings();
}

void TCommBuffers::Assign(const TCommGroup *source)
{
    auto *src = dynamic_cast<const TCommBuffers *>(source);
    if (!src)
        AssignError(source);
    // Copied as read, without the setters' clamping.
    const std::uint16_t in = src->InputSize();
    const std::uint16_t out = src->OutputSize();
    FInputSize = in;
    FOutputSize = out;
    FInputTimeout = src->FInputTimeout;
    FOutputTimeout = src->FOutputTimeout;
    if (FComm->Opened())
        FComm->ApplyBuffers();
}

namespace {
std::uint16_t ClampQueueSize(std::uint16_t s)
{
    const std::uint16_t limit = QueueSizeLimit();
    if (s > limit)
        s = limit;
    if (s < 128)
        s = 128;
    return s;
}
} // namespace

std::uint16_t TCommBuffers::InputSize() const
{
    COMMPROP p{};
    if (FComm->Opened() && GetCommProperties(FComm->Handle(), &p)) {
        const auto v = static_cast<std::uint16_t>(p.dwCurrentRxQueue & 0xFFFF);
        if (v != 0)
            return v;
    }
    return FInputSize;
}

void TCommBuffers::SetInputSize(std::uint16_t v)
{
    v = ClampQueueSize(v);
    if (v == FInputSize)
        return;
    FInputSize = v;
    if (FComm->Opened())
        FComm->ApplyBuffers();
}

std::uint16_t TCommBuffers::OutputSize() const
{
    COMMPROP p{};
    if (FComm->Opened() && GetCommProperties(FComm->Handle(), &p)) {
        const auto v = static_cast<std::uint16_t>(p.dwCurrentTxQueue & 0xFFFF);
        if (v != 0)
            return v;
    }
    return FOutputSize;
}

void TCommBuffers::SetOutputSize(std::uint16_t v)
{
    v = ClampQueueSize(v);
    if (v == FOutputSize)
        return;
    FOutputSize = v;
    if (FComm->Opened())
        FComm->ApplyBuffers();
}

void TCommEventChars::Assign(const TCommGroup *source)
{
    auto *src = dynamic_cast<const TCommEventChars *>(source);
    if (!src)
        AssignError(source);
    const char xon = src->XonChar(), xoff = src->XoffChar(), eof = src->EofChar(),
               err = src->ErrorChar(), evt = src->EventChar();
    FXonChar = xon;
    FXoffChar = xoff;
    FEofChar = eof;
    FErrorChar = err;
    FEventChar = evt;
    if (FComm->Opened())
        FComm->ApplyLineSettings();
}

void TCommEventChars::Set(char &field, char v)
{
    if (v == field)
        return;
    field = v;
    if (FComm->Opened())
        FComm->ApplyLineSettings();
}

char TCommEventChars::XonChar() const
{
    DCB d;
    return DeviceState(*FComm, d) ? d.XonChar : FXonChar;
}
char TCommEventChars::XoffChar() const
{
    DCB d;
    return DeviceState(*FComm, d) ? d.XoffChar : FXoffChar;
}
char TCommEventChars::EofChar() const
{
    DCB d;
    return DeviceState(*FComm, d) ? d.EofChar : FEofChar;
}
char TCommEventChars::ErrorChar() const
{
    DCB d;
    return DeviceState(*FComm, d) ? d.ErrorChar : FErrorChar;
}
char TCommEventChars::EventChar() const
{
    DCB d;
    return DeviceState(*FComm, d) ? d.EvtChar : FEventChar;
}
void TCommEventChars::SetXonChar(char v) { Set(FXonChar, v); }
void TCommEventChars::SetXoffChar(char v) { Set(FXoffChar, v); }
void TCommEventChars::SetEofChar(char v) { Set(FEofChar, v); }
void TCommEventChars::SetErrorChar(char v) { Set(FErrorChar, v); }
void TCommEventChars::SetEventChar(char v) { Set(FEventChar, v); }

void TCommTimeoutsEx::Assign(const TCommGroup *source)
{
    auto *src = dynamic_cast<const TCommTimeoutsEx *>(source);
    if (!src)
        AssignError(source);
    const std::uint32_t ri = src->ReadInterval(), rm = src->ReadMultiplier(), rc = src->ReadConstant(),
                        wm = src->WriteMultiplier(), wc = src->WriteConstant();
    FReadInterval = ri;
    FReadMultiplier = rm;
    FReadConstant = rc;
    FWriteMultiplier = wm;
    FWriteConstant = wc;
    if (FComm->Opened())
        FComm->ApplyTimeouts();
}

namespace {
bool Device(const TCustomComm *comm, COMMTIMEOUTS &t)
{
    return comm->Opened() && GetCommTimeouts(comm->Handle(), &t);
}
} // namespace

void TCommTimeoutsEx::Set(std::uint32_t &field, std::uint32_t v)
{
    if (v == field)
        return;
    field = v;
    if (FComm->Opened())
        FComm->ApplyTimeouts();
}

std::uint32_t TCommTimeoutsEx::ReadInterval() const
{
    COMMTIMEOUTS t;
    return Device(FComm, t) ? t.ReadIntervalTimeout : FReadInterval;
}
std::uint32_t TCommTimeoutsEx::ReadMultiplier() const
{
    COMMTIMEOUTS t;
    return Device(FComm, t) ? t.ReadTotalTimeoutMultiplier : FReadMultiplier;
}
std::uint32_t TCommTimeoutsEx::ReadConstant() const
{
    COMMTIMEOUTS t;
    return Device(FComm, t) ? t.ReadTotalTimeoutConstant : FReadConstant;
}
std::uint32_t TCommTimeoutsEx::WriteMultiplier() const
{
    COMMTIMEOUTS t;
    return Device(FComm, t) ? t.WriteTotalTimeoutMultiplier : FWriteMultiplier;
}
std::uint32_t TCommTimeoutsEx::WriteConstant() const
{
    COMMTIMEOUTS t;
    return Device(FComm, t) ? t.WriteTotalTimeoutConstant : FWriteConstant;
}
void TCommTimeoutsEx::SetReadInterval(std::uint32_t v) { Set(FReadInterval, v); }
void TCommTimeoutsEx::SetReadMultiplier(std::uint32_t v) { Set(FReadMultiplier, v); }
void TCommTimeoutsEx::SetReadConstant(std::uint32_t v) { Set(FReadConstant, v); }
void TCommTimeoutsEx::SetWriteMultiplier(std::uint32_t v) { Set(FWriteMultiplier, v); }
void TCommTimeoutsEx::SetWriteConstant(std::uint32_t v) { Set(FWriteConstant, v); }
