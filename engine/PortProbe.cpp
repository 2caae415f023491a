#include "PortProbe.h"

#include "Cp1251.h"
#include "XComDrv.h"
#ifndef _WIN32
#include "commlayer.h"
#endif

bool RSPortPresent(const std::string &name)
{
    const auto device = Cp1251EncodeExact(name);
    return device && TCustomComm::Probe(*device);
}

bool RSPortMayAppear(const std::string &name)
{
    const auto device = Cp1251EncodeExact(name);
    if (!device)
        return false;
#ifdef _WIN32
    std::string up = *device;
    for (char &c : up)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    if (up.rfind("\\\\.\\", 0) == 0)
        return true;
    return up.size() > 3 && up.size() <= 6 && up.rfind("COM", 0) == 0 && up[3] >= '1' && up[3] <= '9' &&
           up.find_first_not_of("0123456789", 3) == std::string::npos;
#else
    return !commlayer::MapDevicePath(*device).empty();
#endif
}
