#include "EventLoopHook.h"

#include <utility>

#include "Thread.h"

int SerialLoopFd()
{
    SetMainThread();
    return MainLoopFd();
}

void SetSerialWake(std::function<void()> wake)
{
    if (wake)
        SetMainThread();
    SetWakeMainThread(std::move(wake));
}

bool ServeSerial() { return CheckSynchronize(); }
