// A stand-in for the Vexo module: serves a pseudo-terminal and answers the
// AT set-up commands on its master side, so the program (and its tests) can
// talk to "a Vexo" without hardware.
#pragma once

#include "ManualClock.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vexo::sim {

// Ways the stand-in can misbehave. A fault only changes what goes back on the
// line: the request itself is still carried out (a write is stored), as when a
// real unit's transmit path is broken or noisy.
enum class Fault {
    None,
    Silent,  // never answers
    Garbage, // random bytes (all >= 0x80) of the reply's length instead of it
    Split,   // the reply in several pieces with small gaps
    Late,    // the reply after Options::lateMs
    Echo,    // the request line and CR LF, then the reply
    Flood,   // Options::floodBytes of junk (all >= 0x80) instead of the reply
};

std::optional<Fault> ParseFault(std::string_view name); // "none", "silent", ...
const char *FaultName(Fault fault);

struct Options {
    bool setupWindow = true;  // false: answers at any time
    int powerOnAfterMs = 0;   // switched off until this long after start: deaf, mute
    int windowMs = 7000;      // set-up window after power-on
    int extendMs = 30000;     // "ATI0" keeps the window open this long from then
    std::string version = "03.17"; // "MM.mm"; ATI0 answers "Vexo v" + version
    bool computer = true;     // a "Тетрамакс" is attached (parameters 4, 8, 9)
    int answerDelayMs = 5;    // time from the end of a request to the reply
    Fault fault = Fault::None;
    int lateMs = 700;
    std::size_t floodBytes = 1u << 20;
    int splitPieces = 3;
    int splitGapMs = 30;
    bool requireLineSpeed = false; // ignore input unless the slave is set to 19200
    // Power-on contents of the parameters.
    int ioSpeed = 4;      // parameter 0
    int gatewaySpeed = 7; // parameter 3
    int printerSpeed = 4; // parameter 4
    int modbusAddress = 1; // parameter 8
    int klv707 = 0;       // parameter 9
    std::uint32_t seed = 0; // for garbage and flood bytes; 0 picks one
    std::shared_ptr<ManualClock> clock; // none: the steady clock
    // Called on the stand-in's own thread for every request and reply, for
    // logging; must not call back into the VexoSim.
    std::function<void(const std::string &)> trace;
};

struct Request {
    std::string line;  // from "AT" to the end, without the line end
    bool inWindow;     // received while the unit was listening
    std::chrono::steady_clock::time_point when; // by Options::clock when given
};

// "MM.mm" (digits, a dot, digits) -> MM * 1000 + mm; nullopt otherwise.
std::optional<int> ParseVersion(std::string_view version);

class VexoSim {
public:
    // Opens the pseudo-terminal and powers the unit on. Throws
    // std::invalid_argument for bad options, std::system_error when the
    // pseudo-terminal cannot be set up.
    explicit VexoSim(Options options = {});
    ~VexoSim(); // Stop()
    VexoSim(const VexoSim &) = delete;
    VexoSim &operator=(const VexoSim &) = delete;

    // The slave side, for the program under test to open (e.g. "/dev/pts/7").
    const std::string &DevicePath() const;

    // Switches the unit off and on: a new set-up window, a half-received line
    // and replies not yet sent are lost; stored parameters are kept.
    void PowerCycle();

    // Ends the service thread and closes the pseudo-terminal. Idempotent.
    void Stop();

    // Whether the unit is switched on (see Options::powerOnAfterMs).
    bool PoweredOn() const;

    // Whether a request ending now would be answered (ignores line speed).
    bool InWindow() const;

    // The speed (bit/s) the program has set on the slave; 0 when unknown.
    int LineSpeed() const;

    // Current value of a parameter; nullopt when this unit has no such one.
    std::optional<int> Stored(int param) const;

    // Every request line received so far, oldest first.
    std::vector<Request> Requests() const;
    void ClearRequests();

    // Bytes written to the line so far (replies, echoes, junk).
    std::uint64_t BytesSent() const;

    // Bytes taken in from the line so far, whatever the unit made of them.
    std::uint64_t BytesReceived() const;

    // Waits until the unit has caught up with everything before the call:
    // a power cycle, and the clock's time (replies due by now are written as
    // far as the line takes them). False when `limit` passes first.
    bool Settle(std::chrono::milliseconds limit) const;

    // Waits until at least `bytes` bytes have been taken in, then Settle()s.
    bool WaitForInput(std::uint64_t bytes, std::chrono::milliseconds limit) const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace vexo::sim
