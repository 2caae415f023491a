// The platform-free part of port information.
#include "PortInfo.h"

#include <mutex>

namespace {
std::mutex &g_rootsMu = *new std::mutex;
TPortRoots &g_roots = *new TPortRoots;
} // namespace

void SetPortRoots(const TPortRoots &roots)
{
    std::lock_guard<std::mutex> lk(g_rootsMu);
    g_roots = roots;
}

TPortRoots PortRoots()
{
    std::lock_guard<std::mutex> lk(g_rootsMu);
    return g_roots;
}

const TPortInfo *FindPortInfo(const std::vector<TPortInfo> &ports, const std::string &nameOrPath)
{
    auto up = [](std::string s) {
        for (char &c : s)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
        return s;
    };
    const std::string wanted = up(nameOrPath);
    for (const TPortInfo &p : ports)
        if (up(p.name) == wanted || p.device == nameOrPath)
            return &p;
    return nullptr;
}

bool RealSerialNumber(const std::string &serial)
{
    if (serial.empty())
        return false;
    bool same = true, counting = serial.size() >= 6;
    for (std::size_t i = 0; i < serial.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(serial[i]);
        if (c < 0x21 || c > 0x7e)
            return false;
        if (c != static_cast<unsigned char>(serial[0]))
            same = false;
        if (i > 0 && c != static_cast<unsigned char>(serial[i - 1]) + 1)
            counting = false;
    }
    return !same && !counting;
}
