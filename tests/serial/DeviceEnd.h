// The device side of the ports that the shared device scenarios
// (device_scenarios.cpp) open, one implementation per platform: on Linux
// the test holds pseudo-terminal masters itself; under Wine a host-side peer
// holds them and acts on request.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "XComDrv.h"

// The line settings as the device side sees them.
struct DeviceLine {
    unsigned speed = 0;
    int dataBits = 0;
    int parity = -1; // 0 none, 1 odd, 2 even
    bool twoStopBits = false, rtsCts = false, ixon = false, ixoff = false, canonical = false, echo = false;
};

class DeviceEnd {
public:
    virtual ~DeviceEnd() = default;
    // Empty when the ends are ready, else why not.
    virtual std::string Problem() = 0;
    // The name the component opens for port `i` (0 or 1).
    virtual std::string Port(int i) = 0;
    // Bytes towards the program.
    virtual bool Write(int i, const std::string &bytes) = 0;
    // A long write towards the program that runs while the test reads;
    // FinishWrite waits for it and tells whether every byte went.
    virtual void StartWrite(int i, const std::string &bytes) = 0;
    virtual bool FinishWrite() = 0;
    // What the program sent within `ms`; returns early once `n` bytes came (n > 0).
    virtual std::string Read(int i, std::size_t n, int ms) = 0;
    virtual bool Line(int i, DeviceLine &line) = 0;
    // The device side changes the line speed.
    virtual bool SetSpeed(int i, unsigned speed) = 0;
    // The device goes away.
    virtual bool Hangup(int i) = 0;
    // This platform lets a port be opened a second time (Wine does).
    virtual bool SecondOpenAllowed(int i) = 0;
    // How many bytes the burst scenario pushes in.
    virtual std::size_t BurstSize() const = 0;
};

std::unique_ptr<DeviceEnd> MakeDeviceEnd();

// CPU time of this process so far.
double ProcessCpuMs();

// The EDeviceError code that `f` raises, 0 when none.
int CodeOf(const std::function<void()> &f);

class DeviceTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::unique_ptr<DeviceEnd> end = MakeDeviceEnd();
    std::string port;
    TXComm comm;
};
