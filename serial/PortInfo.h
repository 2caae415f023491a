// What each present serial port is, for the scanner's list and for finding
// an adapter again under another name. Enumeration reads what the system
// already knows (Linux: sysfs, and the udev database where there is one;
// Windows: SetupAPI and the SERIALCOMM map) and never opens a port.
#pragma once

#include <string>
#include <vector>

enum class TPortKind { Usb, Bluetooth, BuiltIn, Virtual, Unknown };

struct TPortInfo {
    std::string name;     // as the scanner gives it ("COM5"); the device path where no COM name maps to it
    std::string device;   // "/dev/ttyUSB0", "\\.\COM5"
    TPortKind kind = TPortKind::Unknown;
    std::string product;  // the device's own product string where there is one
    std::string maker;
    std::string vid, pid; // four lower-case hex digits each, USB only
    std::string serial;   // only a real one: none made up by the system, no interface letter
    std::string location; // the USB path ("1-1.2"), only when there is no real serial number
    int iface = -1;       // the USB interface of a multi-port chip, -1 when unknown
};

// Where enumeration looks; tests give a fake tree. Ignored on Windows.
struct TPortRoots {
    std::string sys = "/sys";
    std::string dev;                     // empty: the serial component's device root (/dev)
    std::string udev = "/run/udev/data"; // may be missing: no udev daemon
};

// The roots ListPortInfo() looks in (the real ones unless a test set others).
void SetPortRoots(const TPortRoots &roots);
TPortRoots PortRoots();

// Every present port, COM names first in their number's order, then the
// ports that have no COM name (Bluetooth rfcomm...) by device path.
std::vector<TPortInfo> ListPortInfo(const TPortRoots &roots);
inline std::vector<TPortInfo> ListPortInfo() { return ListPortInfo(PortRoots()); }

// The port among `ports` whose name or device path is `nameOrPath`; null if none.
const TPortInfo *FindPortInfo(const std::vector<TPortInfo> &ports, const std::string &nameOrPath);

// False for serial numbers that name no single device: empty, one character
// repeated ("00000000"), a run of counting digits ("0123456789"), anything
// not printable ASCII.
bool RealSerialNumber(const std::string &serial);
