// The serial port component: settings model, device operations and the event
// thread. A property X is read with X() and written with SetX(v).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>

#include "SysUtils.h"
#include "XComErr.h"
#include "commlayer.h"

// A small set of enumeration elements: element n is bit n.
template <typename E, typename Bits>
class TSet {
public:
    constexpr TSet() = default;
    constexpr TSet(std::initializer_list<E> elements)
    {
        for (E e : elements)
            FBits = static_cast<Bits>(FBits | Bit(e));
    }
    static constexpr TSet FromBits(Bits bits)
    {
        TSet s;
        s.FBits = bits;
        return s;
    }
    constexpr Bits Raw() const { return FBits; }
    constexpr bool Contains(E e) const { return (FBits & Bit(e)) != 0; }
    constexpr bool Empty() const { return FBits == 0; }
    constexpr TSet &Include(E e)
    {
        FBits = static_cast<Bits>(FBits | Bit(e));
        return *this;
    }
    constexpr TSet &Exclude(E e)
    {
        FBits = static_cast<Bits>(FBits & ~Bit(e));
        return *this;
    }
    friend constexpr TSet operator+(TSet a, TSet b) { return FromBits(static_cast<Bits>(a.FBits | b.FBits)); }
    friend constexpr TSet operator-(TSet a, TSet b) { return FromBits(static_cast<Bits>(a.FBits & ~b.FBits)); }
    friend constexpr TSet operator*(TSet a, TSet b) { return FromBits(static_cast<Bits>(a.FBits & b.FBits)); }
    friend constexpr bool operator==(TSet a, TSet b) { return a.FBits == b.FBits; }

private:
    static constexpr Bits Bit(E e) { return static_cast<Bits>(Bits(1) << static_cast<unsigned>(e)); }
    Bits FBits = 0;
};

enum TBaudRate : std::int32_t {
    br110, br300, br600, br1200, br2400, br4800, br9600, br14400, br19200,
    br38400, br56000, br57600, br115200, br128000, br256000, brCustom
};
enum TDataBits : std::int32_t { db4, db5, db6, db7, db8 };
enum TParity : std::int32_t { paNone, paOdd, paEven, paMark, paSpace };
enum TStopBits : std::int32_t { sb1, sb1p5, sb2 };
enum TFlowControl : std::int32_t { fcNone, fcRtsCts, fcDtrDsr, fcSoftware, fcCustom };

enum TRTSSetting : std::int32_t { fsCTSOut, fsRTSEnabled, fsRTSHandshake };
enum TDTRSetting : std::int32_t { fsDSROut, fsDTREnabled, fsDTRHandshake };
enum TXOnXOffSetting : std::int32_t { fsInX, fsOutX };
enum TCommOption : std::int32_t {
    coAbortOnError, coDiscardNull, coDSRSensitivity, coErrorChar, coParityCheck,
    coTXContinueOnXOff, coLeaveDTROpen
};
enum TDeviceEvent : std::int32_t {
    deChar, deFlag, deOutEmpty, deCTS, deDSR, deRLSD, deBreak, deError, deRing,
    dePrintError, deIn80Full, deProv1, deProv2
};
enum TDeviceLock : std::int32_t { dlSend, dlRead };

using TRTSSettings = TSet<TRTSSetting, std::uint8_t>;
using TDTRSettings = TSet<TDTRSetting, std::uint8_t>;
using TXOnXOffSettings = TSet<TXOnXOffSetting, std::uint8_t>;
using TCommOptions = TSet<TCommOption, std::uint8_t>;
using TDeviceEvents = TSet<TDeviceEvent, std::uint16_t>;
using TDeviceLocks = TSet<TDeviceLock, std::uint8_t>;

static_assert(sizeof(TBaudRate) == 4 && sizeof(TFlowControl) == 4 && sizeof(TCommOption) == 4);
static_assert(sizeof(TRTSSettings) == 1 && sizeof(TCommOptions) == 1 && sizeof(TDeviceEvents) == 2);

extern const std::uint32_t BaudValues[15];

class TCustomComm;

// The settings groups. Each belongs to one component; copying a group reads
// the source through its getters and applies to the receiver's open device.
class TCommGroup {
public:
    explicit TCommGroup(TCustomComm *comm) : FComm(comm) {}
    virtual ~TCommGroup() = default;
    TCommGroup(const TCommGroup &) = delete;
    TCommGroup &operator=(const TCommGroup &) = delete;
    virtual const char *ClassName() const = 0;
    // Copies `source` into this group; another class or nullptr raises
    // EConvertError "Cannot assign a <source> to a <this>".
    virtual void Assign(const TCommGroup *source) = 0;
    TCustomComm *Comm() const { return FComm; }

protected:
    [[noreturn]] void AssignError(const TCommGroup *source) const;
    TCustomComm *FComm;
};

class TCommDataControl : public TCommGroup {
public:
    using TCommGroup::TCommGroup;
    const char *ClassName() const override { return "TCommDataControl"; }
    void Assign(const TCommGroup *source) override;

    TDataBits DataBits() const;
    void SetDataBits(TDataBits v);
    TParity Parity() const;
    void SetParity(TParity v);
    TStopBits StopBits() const;
    void SetStopBits(TStopBits v);

private:
    friend class TCustomComm;
    TDataBits FDataBits = db8;
    TParity FParity = paNone;
    TStopBits FStopBits = sb1;
};

class TCommBuffers : public TCommGroup {
public:
    using TCommGroup::TCommGroup;
    const char *ClassName() const override { return "TCommBuffers"; }
    void Assign(const TCommGroup *source) override;

    std::uint16_t InputSize() const;
    void SetInputSize(std::uint16_t v);
    std::uint16_t OutputSize() const;
    void SetOutputSize(std::uint16_t v);
    std::uint16_t InputTimeout() const { return FInputTimeout; }
    void SetInputTimeout(std::uint16_t v) { FInputTimeout = v; }
    std::uint16_t OutputTimeout() const { return FOutputTimeout; }
    void SetOutputTimeout(std::uint16_t v) { FOutputTimeout = v; }

private:
    friend class TCustomComm;
    std::uint16_t FInputSize = 2048;
    std::uint16_t FInputTimeout = 500;
    std::uint16_t FOutputSize = 2048;
    std::uint16_t FOutputTimeout = 500;
};

class TCommEventChars : public TCommGroup {
public:
    using TCommGroup::TCommGroup;
    const char *ClassName() const override { return "TCommEventChars"; }
    void Assign(const TCommGroup *source) override;

    char XonChar() const;
    void SetXonChar(char v);
    char XoffChar() const;
    void SetXoffChar(char v);
    char EofChar() const;
    void SetEofChar(char v);
    char ErrorChar() const;
    void SetErrorChar(char v);
    char EventChar() const;
    void SetEventChar(char v);

private:
    friend class TCustomComm;
    void Set(char &field, char v);
    char FXonChar = 17;
    char FXoffChar = 19;
    char FErrorChar = 0;
    char FEventChar = 10;
    char FEofChar = 0;
};

class TCommTimeoutsEx : public TCommGroup {
public:
    using TCommGroup::TCommGroup;
    const char *ClassName() const override { return "TCommTimeoutsEx"; }
    void Assign(const TCommGroup *source) override;

    std::uint32_t ReadInterval() const;
    void SetReadInterval(std::uint32_t v);
    std::uint32_t ReadMultiplier() const;
    void SetReadMultiplier(std::uint32_t v);
    std::uint32_t ReadConstant() const;
    void SetReadConstant(std::uint32_t v);
    std::uint32_t WriteMultiplier() const;
    void SetWriteMultiplier(std::uint32_t v);
    std::uint32_t WriteConstant() const;
    void SetWriteConstant(std::uint32_t v);

private:
    friend class TCustomComm;
    void Set(std::uint32_t &field, std::uint32_t v);
    std::uint32_t FReadInterval = 1;
    std::uint32_t FReadMultiplier = 0;
    std::uint32_t FReadConstant = 1;
    std::uint32_t FWriteMultiplier = 0;
    std::uint32_t FWriteConstant = 1;
};

// The stored values that make up the line-settings record.
struct TLineSettings {
    std::uint32_t BaudValue = 9600;
    std::uint16_t InputSize = 2048;
    TDataBits DataBits = db8;
    TParity Parity = paNone;
    TStopBits StopBits = sb1;
    char XonChar = 17, XoffChar = 19, ErrorChar = 0, EofChar = 0, EventChar = 10;
    TRTSSettings RTS;
    TDTRSettings DTR;
    TXOnXOffSettings XOnXOff;
    TCommOptions Options;
};

// Upper limit of the queue sizes on this system (asked each time).
std::uint16_t QueueSizeLimit();

// Milliseconds; only differences of two readings (unsigned 32-bit) mean anything.
std::uint32_t MsClock();

class TCommEventThread;

using TCommEvent = std::function<void(TCustomComm *sender, TDeviceEvents events)>;
using TDataEvent = std::function<void(TCustomComm *sender, std::uint32_t received)>;
using TNotifyEvent = std::function<void(TCustomComm *sender)>;

class TCustomComm {
public:
    explicit TCustomComm(void *owner = nullptr);
    virtual ~TCustomComm();
    TCustomComm(const TCustomComm &) = delete;
    TCustomComm &operator=(const TCustomComm &) = delete;

    // Device operations.
    virtual TDeviceLocks DeviceLocks() const;
    virtual bool Open();
    virtual void Close();
    // True when the port `deviceName` ("COM3") exists: it could be opened
    // exclusively, or it exists but is held by another handle. A handle that
    // was opened is closed at once; the device is left as it was.
    static bool Probe(const std::string &deviceName);
    bool Opened() const { return FHandle != commlayer::NoPort(); }
    std::uint32_t QueueCount(int which) const;
    std::uint32_t Send(const void *buffer, std::uint32_t count, std::uint32_t timeout);
    std::uint32_t Send(const void *buffer, std::uint32_t count);
    bool SendString(const std::string &text);
    std::uint32_t Read(void *buffer, std::uint32_t count, std::uint32_t timeout);
    std::uint32_t Read(void *buffer, std::uint32_t count);
    bool ReadString(std::string &text);

    // Properties.
    TBaudRate BaudRate() const;
    void SetBaudRate(TBaudRate v);
    std::uint32_t BaudValue() const;
    void SetBaudValue(std::uint32_t v);
    TCommBuffers &Buffers() const { return *FBuffers; }
    void SetBuffers(const TCommBuffers &g);
    TRTSSettings RTSSettings() const;
    void SetRTSSettings(TRTSSettings v);
    TCommDataControl &DataControl() const { return *FDataControl; }
    void SetDataControl(const TCommDataControl &g);
    std::string DeviceName() const { return FDeviceName; }
    void SetDeviceName(const std::string &v);
    TDTRSettings DTRSettings() const;
    void SetDTRSettings(TDTRSettings v);
    TCommEventChars &EventChars() const { return *FEventChars; }
    void SetEventChars(const TCommEventChars &g);
    TDeviceEvents MonitorEvents() const { return FMonitorEvents; }
    void SetMonitorEvents(TDeviceEvents v) { FMonitorEvents = v; }
    TFlowControl FlowControl() const { return FFlowControl; }
    void SetFlowControl(TFlowControl v);
    TCommOptions Options() const;
    void SetOptions(TCommOptions v);
    bool Synchronize() const { return FSynchronize.load(std::memory_order_relaxed); }
    void SetSynchronize(bool v) { FSynchronize.store(v, std::memory_order_relaxed); }
    TCommTimeoutsEx &Timeouts() const { return *FTimeouts; }
    void SetTimeouts(const TCommTimeoutsEx &g);
    TXOnXOffSettings XOnXOffSettings() const;
    void SetXOnXOffSettings(TXOnXOffSettings v);

    TCommEvent OnCommEvent;
    TDataEvent OnData;
    TNotifyEvent OnRead;
    TNotifyEvent OnSend;

    // The stored values behind the line-settings record.
    TLineSettings StoredLineSettings() const;
    // The device handle (commlayer::NoPort() while closed).
    commlayer::PortHandle Handle() const { return FHandle; }

protected:
    virtual void DoCommEvent(TDeviceEvents events);
    virtual void DoData(std::uint32_t received);

private:
    friend class TCommDataControl;
    friend class TCommBuffers;
    friend class TCommEventChars;
    friend class TCommTimeoutsEx;
    friend class TCommEventThread;

    bool ApplyLineSettings();
    bool ApplyBuffers();
    bool ApplyTimeouts();
    void SyncFlowSettings(std::uint32_t flags) const;
    void RefreshFlowSettings() const;
    void HandleEvents(TDeviceEvents events);
    std::uint32_t WriteChunk(const void *buffer, std::uint32_t n);
    std::uint32_t ReadChunk(void *buffer, std::uint32_t n);
    void StopEventThread();
    bool InDelivery() const;

    commlayer::PortHandle FHandle = commlayer::NoPort();
    mutable TBaudRate FBaudRate = br9600;
    mutable std::uint32_t FBaudValue = 9600;
    std::unique_ptr<TCommBuffers> FBuffers;
    std::unique_ptr<TCommDataControl> FDataControl;
    std::string FDeviceName = "COM2";
    mutable TDTRSettings FDTRSettings;
    std::unique_ptr<TCommEventChars> FEventChars;
    TDeviceEvents FMonitorEvents{deChar, deFlag, deOutEmpty};
    TFlowControl FFlowControl = fcNone;
    mutable TCommOptions FOptions;
    mutable TRTSSettings FRTSSettings;
    std::atomic<bool> FSynchronize{true}; // the event thread reads it for every event
    std::unique_ptr<TCommTimeoutsEx> FTimeouts;
    mutable TXOnXOffSettings FXOnXOffSettings;
    TCommEventThread *FEventThread = nullptr;
    std::uint8_t FLocks = 0;
    bool FDestroying = false;
    int FDelivering = 0; // > 0 while an event-thread delivery runs on this thread
};

// The component applications use; publishes everything and adds nothing.
class TXComm : public TCustomComm {
public:
    using TCustomComm::TCustomComm;
};
