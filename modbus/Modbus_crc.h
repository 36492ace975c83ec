// CRC-16/MODBUS, bit by bit (reflected 0xA001, start 0xFFFF, low byte first).
#pragma once

unsigned short mf_Tovra_CRC_8_bit(unsigned short crc, unsigned char byte);
// Writes the CRC of bytes 0 .. length-3 into bytes length-2 (low), length-1 (high).
// Returns 0. Frames of 3 to 257 bytes; below 2 bytes there is no room and nothing is written.
int mf_Tovra_Get_CRC(unsigned char *frame, int length);
// 0 when the stored CRC is right; -11 low byte differs (or no CRC bytes at all);
// -12 only the high byte differs.
int mf_Tovra_Verify_CRC(const unsigned char *frame, int length);
