// Register access: one 16-bit register or coil operation on the device of
// the current slave ID, over the program's serial port, traced into the log.
#pragma once

extern int gvIDd; // Modbus slave ID put into every request; 1 at start
extern int gr;    // last result of a serial, list or Modbus call; negative = failure

constexpr int ciPORT_umb = 222; // the logical serial port of the program

constexpr double cdMB_SETTLE = 0.05;     // wait between request and reply
constexpr double cdMB_FAIL_PAUSE = 0.1;  // pause after a failed exchange

// The 8-byte request: slave ID (low eight bits), code, address, value or
// quantity, each high byte first; bytes 6-7 are left for the CRC.
void mf_Tovra_MB_Request__Build(unsigned char frame[8], int id, unsigned char code,
                                unsigned short address, short value);

// code 3 or 4 reads `value` registers from `address` into `values`; 5 writes
// the coil (0xFF00 sets it); 6 writes one holding register (`values` none).
// 0, or the negative result of the exchange (after a 0.1 s pause).
int mf_Tovra_Modbus_dev_RW_16(unsigned char code, unsigned short address, short value,
                              short *values);
// The same with the caller's wait between request and reply (seconds).
int mf_Tovra_Modbus_dev_RW_16_delay(unsigned char code, unsigned short address, short value,
                                    short *values, double delay);
