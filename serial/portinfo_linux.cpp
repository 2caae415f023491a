// Port information on Linux, from sysfs: it is there without a udev daemon
// (containers, minimal systems). The udev database, where it is, fills in
// the maker and product a device does not report itself.
#include "PortInfo.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>

#include "commlayer.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

std::optional<std::string> ReadLine(const std::string &path)
{
    std::ifstream in(path);
    std::string line;
    if (!in || !std::getline(in, line))
        return std::nullopt;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
        line.pop_back();
    return line;
}

bool Exists(const std::string &path)
{
    struct stat st{};
    return ::lstat(path.c_str(), &st) == 0;
}

std::string RealPath(const std::string &path)
{
    char *r = ::realpath(path.c_str(), nullptr);
    std::string s = r ? r : "";
    std::free(r);
    return s;
}

std::string BaseName(const std::string &path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Parent(const std::string &path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos || slash == 0 ? std::string() : path.substr(0, slash);
}

// The digits after `prefix` in `name`, -1 unless that is all there is.
int NumberAfter(const std::string &name, const std::string &prefix)
{
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0 || name.size() > prefix.size() + 3)
        return -1;
    int n = 0;
    for (std::size_t i = prefix.size(); i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9')
            return -1;
        n = n * 10 + (name[i] - '0');
    }
    return name[prefix.size()] == '0' && name.size() > prefix.size() + 1 ? -1 : n;
}

// The COM number of a device name by the fixed table, 0 when none maps to it.
int ComNumber(const std::string &name)
{
    if (const int n = NumberAfter(name, "ttyS"); n >= 0 && n <= 3)
        return n + 1;
    if (const int n = NumberAfter(name, "ttyUSB"); n >= 0 && n <= 15)
        return n + 5;
    if (const int n = NumberAfter(name, "ttyACM"); n >= 0 && n <= 15)
        return n + 21;
    return 0;
}

std::string Lower(std::string s)
{
    for (char &c : s)
        if (c >= 'A' && c <= 'F')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// "E:KEY=value" lines of the udev database entry for char device "188:0".
std::map<std::string, std::string> UdevProperties(const std::string &udevRoot, const std::string &majorMinor)
{
    std::map<std::string, std::string> props;
    if (majorMinor.empty())
        return props;
    std::ifstream in(udevRoot + "/c" + majorMinor);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("E:", 0) != 0)
            continue;
        const auto eq = line.find('=');
        if (eq != std::string::npos)
            props[line.substr(2, eq - 2)] = line.substr(eq + 1);
    }
    return props;
}

// The USB device above `dir` (a folder with idVendor), or "" when it is on no USB bus.
std::string UsbDeviceAbove(std::string dir, const std::string &sysRoot, std::string &interfaceDir)
{
    interfaceDir.clear();
    for (; dir.size() > sysRoot.size(); dir = Parent(dir)) {
        if (interfaceDir.empty() && Exists(dir + "/bInterfaceNumber"))
            interfaceDir = dir;
        if (Exists(dir + "/idVendor") && Exists(dir + "/idProduct"))
            return dir;
    }
    return {};
}

// True when the link `device` names the kernel's port `node` itself: its
// sysfs entry is there and, where it gives a device number, the link's
// target has that number.
bool IsKernelPort(const std::string &sysRoot, const std::string &node, const std::string &device)
{
    const std::string classDir = sysRoot + "/class/tty/" + node;
    if (!Exists(classDir))
        return false;
    const auto number = ReadLine(classDir + "/dev");
    struct stat target{};
    if (!number || ::stat(device.c_str(), &target) != 0 || !S_ISCHR(target.st_mode))
        return true;
    return *number == std::to_string(major(target.st_rdev)) + ":" + std::to_string(minor(target.st_rdev));
}

// What the tty `node` (a name under the device root) is; nullopt for a node
// that is no port (a virtual console, a ttyS without hardware).
std::optional<TPortInfo> Describe(const TPortRoots &roots, const std::string &sysRoot, const std::string &node)
{
    TPortInfo p;
    p.device = roots.dev + "/" + node;
    const int com = ComNumber(node);
    p.name = com ? "COM" + std::to_string(com) : p.device;
    // A link in the device folder is the kernel's port of its own name where
    // there is one, else what it names (a pty, say).
    std::string sysName = node;
    struct stat st{};
    if (::lstat(p.device.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && !IsKernelPort(sysRoot, node, p.device)) {
        const std::string target = RealPath(p.device);
        if (target.empty())
            return std::nullopt; // dangling: nothing there
        sysName = Parent(target) == RealPath(roots.dev) ? BaseName(target) : std::string();
    }
    const std::string classDir = sysRoot + "/class/tty/" + sysName;
    if (sysName.empty() || !Exists(classDir)) {
        if (!com)
            return std::nullopt;
        p.kind = TPortKind::Virtual; // a COM name on something the kernel has no port for (a pty)
        return p;
    }
    const bool rfcomm = NumberAfter(sysName, "rfcomm") >= 0;
    const std::string deviceDir = Exists(classDir + "/device") ? RealPath(classDir + "/device") : std::string();
    const auto udev = UdevProperties(roots.udev, ReadLine(classDir + "/dev").value_or(""));
    auto prop = [&](const char *key) {
        const auto it = udev.find(key);
        return it == udev.end() ? std::string() : it->second;
    };
    if (rfcomm) {
        p.kind = TPortKind::Bluetooth;
    } else if (deviceDir.empty()) {
        if (!com)
            return std::nullopt;
        p.kind = TPortKind::Virtual;
    } else if (std::string ifDir, usb = UsbDeviceAbove(deviceDir, sysRoot, ifDir); !usb.empty()) {
        p.kind = TPortKind::Usb;
        p.vid = Lower(ReadLine(usb + "/idVendor").value_or(""));
        p.pid = Lower(ReadLine(usb + "/idProduct").value_or(""));
        p.product = ReadLine(usb + "/product").value_or("");
        p.maker = ReadLine(usb + "/manufacturer").value_or("");
        if (const std::string serial = ReadLine(usb + "/serial").value_or(""); RealSerialNumber(serial))
            p.serial = serial;
        else
            p.location = BaseName(usb);
        if (!ifDir.empty())
            p.iface = static_cast<int>(std::strtol(ReadLine(ifDir + "/bInterfaceNumber").value_or("-1").c_str(), nullptr, 16));
    } else {
        // A UART of the machine; the 8250 driver registers four whether or
        // not there is one behind them, and says so by its type 0.
        if (NumberAfter(sysName, "ttyS") >= 0 && ReadLine(classDir + "/type").value_or("0") == "0")
            return std::nullopt;
        p.kind = TPortKind::BuiltIn;
    }
    if (p.product.empty())
        p.product = prop("ID_MODEL_FROM_DATABASE");
    if (p.maker.empty())
        p.maker = prop("ID_VENDOR_FROM_DATABASE");
    return p;
}

bool LooksLikePort(const std::string &name, const std::string &sysRoot)
{
    if (ComNumber(name) || NumberAfter(name, "rfcomm") >= 0)
        return true;
    // Other UARTs the kernel has a device for (ttyAMA0, ttyXRUSB0...).
    return name.rfind("tty", 0) == 0 && Exists(sysRoot + "/class/tty/" + name + "/device");
}

} // namespace

std::vector<TPortInfo> ListPortInfo(const TPortRoots &given)
{
    TPortRoots roots = given;
    if (roots.dev.empty())
        roots.dev = commlayer::DeviceRoot();
    while (roots.dev.size() > 1 && roots.dev.back() == '/')
        roots.dev.pop_back();
    std::vector<TPortInfo> ports;
    const std::string sysRoot = RealPath(roots.sys);
    DIR *d = ::opendir(roots.dev.c_str());
    if (!d)
        return ports;
    std::vector<std::string> nodes;
    while (dirent *e = ::readdir(d))
        if (e->d_name[0] != '.' && LooksLikePort(e->d_name, roots.sys))
            nodes.emplace_back(e->d_name);
    ::closedir(d);
    for (const std::string &node : nodes)
        if (auto p = Describe(roots, sysRoot, node))
            ports.push_back(std::move(*p));
    auto order = [](const TPortInfo &p) {
        const bool com = p.name.rfind("COM", 0) == 0;
        return std::make_pair(com ? std::atoi(p.name.c_str() + 3) : 1000, p.device);
    };
    std::sort(ports.begin(), ports.end(), [&](const TPortInfo &a, const TPortInfo &b) { return order(a) < order(b); });
    return ports;
}
