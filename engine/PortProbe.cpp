#include "PortProbe.h"

#include "Cp1251.h"
#include "XComDrv.h"

bool RSPortPresent(const std::string &name)
{
    const auto device = Cp1251EncodeExact(name);
    return device && TCustomComm::Probe(*device);
}
