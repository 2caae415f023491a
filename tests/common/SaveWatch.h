// Watches the settings file's saves: how many ran, and whether the port was
// open while one was under way (the close path must close it first).
#pragma once

#include "WorkFile.h"
#include "XComDrv.h"

class TSaveWatch {
public:
    explicit TSaveWatch(const TCustomComm &port)
    {
        FPort = &port;
        FSaves = 0;
        FOpenAtSave = false;
        SetSaveHook(&Record);
    }
    ~TSaveWatch()
    {
        SetSaveHook(nullptr);
        FPort = nullptr;
    }
    TSaveWatch(const TSaveWatch &) = delete;
    TSaveWatch &operator=(const TSaveWatch &) = delete;

    int Saves() const { return FSaves; }
    bool PortOpenAtSave() const { return FOpenAtSave; }

private:
    static void Record()
    {
        ++FSaves;
        FOpenAtSave = FPort && FPort->Opened();
    }
    static inline const TCustomComm *FPort = nullptr;
    static inline int FSaves = 0;
    static inline bool FOpenAtSave = false;
};
