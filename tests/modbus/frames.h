// Frames as byte vectors for the Modbus tests, and an independent CRC to
// judge them by: the product's CRC is never its own judge.
#pragma once

#include <cstddef>
#include <vector>

using Bytes = std::vector<unsigned char>;

// CRC-16/MODBUS as its definition states it: start 0xFFFF, each byte XORed
// into the low end, eight shifts right, 0xA001 after a one falls out.
inline unsigned short RefCrc(const unsigned char *bytes, size_t count)
{
    unsigned crc = 0xFFFF;
    for (size_t i = 0; i < count; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return static_cast<unsigned short>(crc);
}

// True when the last two bytes of the frame are the reference CRC of the
// others, low byte first.
inline bool RefCrcRight(const unsigned char *frame, size_t length)
{
    if (length < 2)
        return false;
    unsigned short crc = RefCrc(frame, length - 2);
    return frame[length - 2] == (crc & 0xFF) && frame[length - 1] == (crc >> 8);
}

// Writes the reference CRC into the last two bytes of the frame.
inline void RefCrcFill(unsigned char *frame, size_t length)
{
    unsigned short crc = RefCrc(frame, length - 2);
    frame[length - 2] = static_cast<unsigned char>(crc & 0xFF);
    frame[length - 1] = static_cast<unsigned char>(crc >> 8);
}

// The covered bytes followed by their reference CRC, low byte first.
inline Bytes WithCrc(Bytes covered)
{
    covered.resize(covered.size() + 2);
    RefCrcFill(covered.data(), covered.size());
    return covered;
}
