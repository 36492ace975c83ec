#include "modbus/Modbus_crc.h"

unsigned short mf_Tovra_CRC_8_bit(unsigned short crc, unsigned char byte)
{
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit)
        crc = (crc & 1) ? (unsigned short)((crc >> 1) ^ 0xA001) : (unsigned short)(crc >> 1);
    return crc;
}

static unsigned short fn_crc_of(const unsigned char *frame, int length)
{
    unsigned short crc = 0xFFFF;
    for (int i = 0; i < length - 2; ++i)
        crc = mf_Tovra_CRC_8_bit(crc, frame[i]);
    return crc;
}

int mf_Tovra_Get_CRC(unsigned char *frame, int length)
{
    if (length < 2) // no room for the CRC bytes
        return 0;
    unsigned short crc = fn_crc_of(frame, length);
    frame[length - 2] = (unsigned char)(crc & 0xFF);
    frame[length - 1] = (unsigned char)(crc >> 8);
    return 0;
}

int mf_Tovra_Verify_CRC(const unsigned char *frame, int length)
{
    if (length < 2)
        return -11;
    unsigned short crc = fn_crc_of(frame, length);
    if (frame[length - 2] != (crc & 0xFF))
        return -11;
    if (frame[length - 1] != (crc >> 8))
        return -12;
    return 0;
}
