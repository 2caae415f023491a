// Port information on Windows: SetupAPI over the Ports class and the COM
// port interface, joined with HARDWARE\DEVICEMAP\SERIALCOMM, since each
// source misses ports the others have (a driver without an interface, a
// port of a driver that registers no device). Nothing is opened.
#include "PortInfo.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <initguid.h>
#include <devpkey.h>
#include <setupapi.h>

#include <algorithm>
#include <cstdlib>
#include <map>

namespace {

// {4D36E978-E325-11CE-BFC1-08002BE10318}, the Ports class.
const GUID PortsClass = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
// {86E0D1E0-8089-11D0-9CE4-08003E301F73}, GUID_DEVINTERFACE_COMPORT.
const GUID ComPortInterface = {0x86e0d1e0, 0x8089, 0x11d0, {0x9c, 0xe4, 0x08, 0x00, 0x3e, 0x30, 0x1f, 0x73}};

std::string Utf8(const std::wstring &w)
{
    if (w.empty())
        return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(std::size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

std::string Upper(std::string s)
{
    for (char &c : s)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return s;
}

std::string Lower(std::string s)
{
    for (char &c : s)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return s;
}

// The COM number of "COM7", 0 for anything else.
int ComNumber(const std::string &name)
{
    const std::string up = Upper(name);
    if (up.size() < 4 || up.size() > 6 || up.compare(0, 3, "COM") != 0 || up[3] == '0')
        return 0;
    int n = 0;
    for (std::size_t i = 3; i < up.size(); ++i) {
        if (up[i] < '0' || up[i] > '9')
            return 0;
        n = n * 10 + (up[i] - '0');
    }
    return n;
}

std::wstring RegistryString(HKEY key, const wchar_t *value)
{
    wchar_t buf[256];
    DWORD type = 0, size = sizeof buf - sizeof(wchar_t);
    if (RegQueryValueExW(key, value, nullptr, &type, reinterpret_cast<BYTE *>(buf), &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return {};
    buf[size / sizeof(wchar_t)] = L'\0';
    return buf;
}

std::string DeviceProperty(HDEVINFO set, SP_DEVINFO_DATA &dev, DWORD property)
{
    wchar_t buf[512] = {};
    DWORD type = 0;
    if (!SetupDiGetDeviceRegistryPropertyW(set, &dev, property, &type, reinterpret_cast<BYTE *>(buf), sizeof buf - 2, nullptr) ||
        (type != REG_SZ && type != REG_MULTI_SZ))
        return {};
    return Utf8(buf);
}

std::string BusReportedDescription(HDEVINFO set, SP_DEVINFO_DATA &dev)
{
    wchar_t buf[512] = {};
    DEVPROPTYPE type = 0;
    if (!SetupDiGetDevicePropertyW(set, &dev, &DEVPKEY_Device_BusReportedDeviceDesc, &type, reinterpret_cast<BYTE *>(buf),
                                   sizeof buf - 2, nullptr, 0) ||
        type != DEVPROP_TYPE_STRING)
        return {};
    return Utf8(buf);
}

// The four hex digits after `key` ("VID_") in an instance ID, lower case.
std::string HexAfter(const std::string &id, const char *key)
{
    const auto at = id.find(key);
    return at == std::string::npos || at + 4 + 4 > id.size() + 0 ? std::string() : Lower(id.substr(at + 4, 4));
}

TPortKind KindOf(const std::string &instance)
{
    const std::string up = Upper(instance);
    if (up.rfind("USB\\", 0) == 0 || up.rfind("FTDIBUS\\", 0) == 0 || up.rfind("USBSER", 0) == 0)
        return TPortKind::Usb;
    if (up.rfind("BTHENUM\\", 0) == 0 || up.rfind("BTHMODEM", 0) == 0)
        return TPortKind::Bluetooth;
    if (up.rfind("ACPI\\", 0) == 0 || up.find("PNP050") != std::string::npos)
        return TPortKind::BuiltIn;
    if (up.rfind("ROOT\\", 0) == 0)
        return TPortKind::Virtual;
    return TPortKind::Unknown;
}

void FromInstanceId(TPortInfo &p, const std::string &instance)
{
    p.kind = KindOf(instance);
    if (p.kind != TPortKind::Usb)
        return;
    const std::string up = Upper(instance);
    p.vid = HexAfter(up, "VID_");
    p.pid = HexAfter(up, "PID_");
    if (const auto mi = up.find("MI_"); mi != std::string::npos)
        p.iface = std::atoi(up.c_str() + mi + 3);
    std::string serial;
    if (up.rfind("FTDIBUS\\", 0) == 0) {
        // "FTDIBUS\VID_0403+PID_6001+A50285BIA\0000": the driver adds the
        // port's letter to the chip's serial number.
        const auto plus = instance.rfind('+');
        const auto slash = instance.find('\\', plus == std::string::npos ? 0 : plus);
        if (plus != std::string::npos && slash != std::string::npos && slash > plus + 2) {
            serial = instance.substr(plus + 1, slash - plus - 2);
            p.iface = instance[slash - 1] - 'A';
        }
    } else if (const auto slash = instance.rfind('\\'); slash != std::string::npos) {
        // "USB\VID_0403&PID_6001\A50285BI"; one with '&' Windows made up.
        serial = instance.substr(slash + 1);
        if (serial.find('&') != std::string::npos)
            serial.clear();
    }
    if (RealSerialNumber(serial))
        p.serial = serial;
}

void FromSetupApi(std::map<int, TPortInfo> &ports, const GUID &guid, DWORD flags)
{
    HDEVINFO set = SetupDiGetClassDevsW(&guid, nullptr, nullptr, flags | DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE)
        return;
    SP_DEVINFO_DATA dev{};
    dev.cbSize = sizeof dev;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &dev); ++i) {
        HKEY key = SetupDiOpenDevRegKey(set, &dev, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE)
            continue;
        const std::string name = Utf8(RegistryString(key, L"PortName"));
        RegCloseKey(key);
        const int n = ComNumber(name);
        if (!n || ports.count(n))
            continue;
        TPortInfo p;
        p.name = "COM" + std::to_string(n);
        p.device = "\\\\.\\" + p.name;
        wchar_t id[512] = {};
        if (SetupDiGetDeviceInstanceIdW(set, &dev, id, 511, nullptr))
            FromInstanceId(p, Utf8(id));
        p.product = BusReportedDescription(set, dev);
        if (p.product.empty()) {
            p.product = DeviceProperty(set, dev, SPDRP_FRIENDLYNAME);
            // "USB Serial Port (COM7)": the name is shown beside it anyway
            if (const auto paren = p.product.rfind(" (COM"); paren != std::string::npos)
                p.product.erase(paren);
        }
        p.maker = DeviceProperty(set, dev, SPDRP_MFG);
        if (p.kind == TPortKind::Usb && p.serial.empty())
            p.location = DeviceProperty(set, dev, SPDRP_LOCATION_INFORMATION);
        ports.emplace(n, std::move(p));
    }
    SetupDiDestroyDeviceInfoList(set);
}

void FromSerialComm(std::map<int, TPortInfo> &ports)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    for (DWORD i = 0;; ++i) {
        wchar_t value[256];
        DWORD valueLen = 255;
        wchar_t data[64] = {};
        DWORD type = 0, size = sizeof data - sizeof(wchar_t);
        const LONG r = RegEnumValueW(key, i, value, &valueLen, nullptr, &type, reinterpret_cast<BYTE *>(data), &size);
        if (r == ERROR_NO_MORE_ITEMS)
            break;
        if (r != ERROR_SUCCESS || type != REG_SZ)
            continue;
        const int n = ComNumber(Utf8(data));
        if (!n || ports.count(n))
            continue;
        // The value's name is the driver's device: "\Device\Serial0", "\Device\BthModem0", "\Device\VCP0".
        const std::string device = Upper(Utf8(std::wstring(value, valueLen)));
        TPortInfo p;
        p.name = "COM" + std::to_string(n);
        p.device = "\\\\.\\" + p.name;
        if (device.find("BTH") != std::string::npos)
            p.kind = TPortKind::Bluetooth;
        else if (device.find("VCP") != std::string::npos || device.find("USBSER") != std::string::npos ||
                 device.find("SILABSER") != std::string::npos || device.find("PROLIFIC") != std::string::npos)
            p.kind = TPortKind::Usb;
        else if (device.find("\\DEVICE\\SERIAL") == 0)
            p.kind = TPortKind::BuiltIn;
        ports.emplace(n, std::move(p));
    }
    RegCloseKey(key);
}

} // namespace

std::vector<TPortInfo> ListPortInfo(const TPortRoots &)
{
    std::map<int, TPortInfo> byNumber;
    FromSetupApi(byNumber, PortsClass, 0);
    FromSetupApi(byNumber, ComPortInterface, DIGCF_DEVICEINTERFACE);
    FromSerialComm(byNumber);
    std::vector<TPortInfo> ports;
    for (auto &[n, p] : byNumber)
        ports.push_back(std::move(p));
    return ports;
}
