// A fake sysfs tree, device folder and udev database in a temporary folder,
// laid out as the kernel lays out the real ones, for the port enumeration.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "PortInfo.h"

class FakeSysfs {
public:
    FakeSysfs()
    {
        char dir[] = "/tmp/vexo-sysfs-XXXXXX";
        if (::mkdtemp(dir))
            root_ = dir;
        for (const char *d : {"sys/class/tty", "sys/devices/pci0000:00/0000:00:14.0", "dev", "udev"})
            std::filesystem::create_directories(root_ / d);
    }
    ~FakeSysfs()
    {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    FakeSysfs(const FakeSysfs &) = delete;
    FakeSysfs &operator=(const FakeSysfs &) = delete;

    TPortRoots Roots() const { return {(root_ / "sys").string(), (root_ / "dev").string(), (root_ / "udev").string()}; }
    std::filesystem::path Dev() const { return root_ / "dev"; }

    struct Usb {
        std::string usbPath = "1-1";  // the device's folder name, its place on the bus
        std::string vid = "0403", pid = "6001";
        std::string product{}, maker{}, serial{}; // empty: the file is missing
        int iface = 0;
        bool acm = false; // the tty is the interface's (cdc_acm), not a usb-serial port's
    };
    // A USB serial port `tty` ("ttyUSB0"), its node, its sysfs entries.
    void AddUsb(const std::string &tty, const Usb &u, const std::string &majorMinor = "")
    {
        const auto usb = root_ / "sys/devices/pci0000:00/0000:00:14.0/usb1" / u.usbPath;
        Write(usb / "idVendor", u.vid);
        Write(usb / "idProduct", u.pid);
        if (!u.product.empty())
            Write(usb / "product", u.product);
        if (!u.maker.empty())
            Write(usb / "manufacturer", u.maker);
        if (!u.serial.empty())
            Write(usb / "serial", u.serial);
        const auto ifDir = usb / (u.usbPath + ":1." + std::to_string(u.iface));
        Write(ifDir / "bInterfaceNumber", "0" + std::to_string(u.iface));
        const auto device = u.acm ? ifDir : ifDir / tty;
        std::filesystem::create_directories(device);
        AddClass(tty, device, majorMinor);
        Node(tty);
    }
    // A UART of the machine; `type` 0 is the 8250 driver's "no hardware".
    void AddBuiltIn(const std::string &tty, int type)
    {
        const auto device = root_ / ("sys/devices/pnp0/00:0" + tty.substr(tty.size() - 1));
        std::filesystem::create_directories(device);
        const auto cls = AddClass(tty, device, "");
        Write(cls / "type", std::to_string(type));
        Node(tty);
    }
    // A Bluetooth rfcomm link: a virtual tty, no device.
    void AddRfcomm(const std::string &tty)
    {
        const auto v = root_ / "sys/devices/virtual/tty" / tty;
        std::filesystem::create_directories(v);
        std::filesystem::create_directory_symlink(v, root_ / "sys/class/tty" / tty);
        Node(tty);
    }
    // The node `name` made a link to `target` (a pty the test plays the device on).
    void LinkNode(const std::string &name, const std::string &target)
    {
        std::filesystem::remove(root_ / "dev" / name);
        std::filesystem::create_symlink(target, root_ / "dev" / name);
    }
    // A node in the device folder with nothing in sysfs behind it.
    void Node(const std::string &name) { Write(root_ / "dev" / name, ""); }
    void Remove(const std::string &tty)
    {
        std::filesystem::remove(root_ / "dev" / tty);
        std::filesystem::remove(root_ / "sys/class/tty" / tty);
    }
    // The udev database entry of char device `majorMinor`.
    void Udev(const std::string &majorMinor, const std::string &lines) { Write(root_ / "udev" / ("c" + majorMinor), lines); }

private:
    std::filesystem::path AddClass(const std::string &tty, const std::filesystem::path &device, const std::string &mm)
    {
        const auto cls = root_ / "sys/devices/virtual-class" / tty;
        std::filesystem::create_directories(cls);
        std::filesystem::create_directory_symlink(device, cls / "device");
        if (!mm.empty())
            Write(cls / "dev", mm);
        std::filesystem::create_directory_symlink(cls, root_ / "sys/class/tty" / tty);
        return cls;
    }
    static void Write(const std::filesystem::path &file, const std::string &text)
    {
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file) << text << '\n';
    }
    std::filesystem::path root_;
};
