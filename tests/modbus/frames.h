// Frames as byte vectors for the Modbus tests.
#pragma once

#include <vector>

#include "modbus/Modbus_core.h"

using Bytes = std::vector<unsigned char>;

// The covered bytes followed by their CRC, low byte first.
inline Bytes WithCrc(Bytes covered)
{
    covered.resize(covered.size() + 2);
    mf_Tovra_Get_CRC(covered.data(), static_cast<int>(covered.size()));
    return covered;
}
