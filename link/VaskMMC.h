#pragma once
// The memory-card reader: FAT16 on the instrument's card, read through Modbus requests
// on the port that the polling master lends it while its port thread is paused.
#include "VskComPort.h"

#include <cstdint>

class TMMC {
public:
    TVskComPort* Port = nullptr; // lent by the polling master; not owned
    uint8_t Address = 210;

    bool Mount();
    bool ReadDirectory();
};
