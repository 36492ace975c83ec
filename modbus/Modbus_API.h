// Register access: one 16-bit register or coil operation on the device of
// the current slave ID, over the program's serial port, traced into the log.
#pragma once

extern int gvIDd; // Modbus slave ID put into every request; 1 at start
extern int gr;    // last result of a serial, list or Modbus call; negative = failure

constexpr int ciPORT_umb = 222; // the logical serial port of the program

constexpr double cdMB_SETTLE = 0.05;     // wait between request and reply
constexpr double cdMB_FAIL_PAUSE = 0.1;  // pause after a failed exchange

// How register access times its exchanges. The window's way by default:
// the caller's settle time before reading, the reply read by its expected
// length within the port's time limit, the pause after a failure. With
// `byReply` (tovra-cli) no fixed wait at all: the reply's own last byte ends
// the exchange, and the device is given `timeout` to turn round, plus the
// caller's delay when it asks for one (the EEPROM command's 0.5 s). Either
// way the exchange adds both frames' time on the wire.
struct MB_Access {
    int byReply;
    double timeout;   // with byReply: the device's turnaround allowance (s)
    double failPause; // after a failed exchange (s)
    int retries;      // further attempts after a reply that did not come or came garbled
    int echo;         // with byReply: the adapter echoes each request, dropped before the reply
    const char *raise; // how the operator gives a slow device more time, or nullptr
};
extern MB_Access gvMB_Access;

// The 8-byte request: slave ID (low eight bits), code, address, value or
// quantity, each high byte first; bytes 6-7 are left for the CRC.
void mf_Tovra_MB_Request__Build(unsigned char frame[8], int id, unsigned char code,
                                unsigned short address, short value);

// Whether a failed exchange is worth another attempt: the reply was lost or
// garbled on the way. Not a refusal, nor a request that was never sent.
bool mf_Tovra_MB_Result__Retry(int result);

// code 3 or 4 reads `value` registers from `address` into `values`; 5 writes
// the coil (0xFF00 sets it); 6 writes one holding register (`values` none).
// 0, or the negative result of the exchange (after the pause).
int mf_Tovra_Modbus_dev_RW_16(unsigned char code, unsigned short address, short value,
                              short *values);
// The same with the caller's wait between request and reply (seconds).
int mf_Tovra_Modbus_dev_RW_16_delay(unsigned char code, unsigned short address, short value,
                                    short *values, double delay);
