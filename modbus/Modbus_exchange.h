// One request/reply exchange on an open port: the one path of every request.
#pragma once

#include <cstdio>

#include "modbus/Modbus_codes.h"

// Reply bytes received by the last exchange (0 when it read none), and the
// bytes themselves.
extern int giMB_RxCount;
extern unsigned char gaMB_Reply[ciMB_RX_BUF];
// Bytes that came in before the last exchange's request and were thrown away
// as a late reply (0: the line was quiet).
extern int giMB_LateCount;
// The whole time the last exchange allowed its reply (s): both frames' wire
// time and the turnaround allowance. Failures name it.
extern double gdMB_Limit;

// Every frame an exchange sends or receives, as it goes: the request, the
// reply as received (n 0: nothing came) with the exchange's result, an echo
// read and dropped, bytes that came late and were thrown away. nullptr: none
// is told.
enum { ciMB_FRAME_TX, ciMB_FRAME_RX, ciMB_FRAME_ECHO, ciMB_FRAME_LATE };
typedef void (*MB_FramePtr)(int kind, const unsigned char *bytes, int n, int result);
extern MB_FramePtr gpMB_Frame;

// How an exchange waits for its reply: until the reply is complete, or the
// limit. Complete means as many bytes as the request's reply has (the
// window's way), or with `byFrame` as many as the reply's own first bytes
// tell (mf_Tovra_MB_Reply__Need), so an exception or a garbled byte count
// ends the wait at once too.
struct MB_Timing {
    double settle; // fixed wait after the request, before reading (s)
    double limit;  // the device's turnaround allowance (s), to which the exchange adds the
                   // wire time of the request and of the longest valid reply; 0: the port's
                   // time limit
    int byFrame;
    int echo;      // with byFrame: the line returns the request first: read it and
                   // drop it, then give the reply the whole limit again
    const char *raise; // how the operator gives a slow device more time ("raise --timeout"),
                       // named when its reply comes late; nullptr: nothing to name
};

// ---- One exchange on an open port: drain a late reply still owed and wait
// for the line to be quiet (3.5 characters), CRC, trace, write, settle, read
// the reply to its last byte, sort, trace or diagnose. With `byFrame` and
// without `echo`, bytes that repeat a read request are its echo
// (ciMB_ERR_ECHO). An exchange whose reply did not come whole within its
// limit owes a drain: for a grace as long as the limit, whatever comes is a
// late reply, logged and thrown away, before the next request or at
// mf_Tovra_MB_Drain. 0, or a negative result; `log` may be nullptr (then
// nothing is written).
int mf_Tovra_MB_Exchange(unsigned short port, unsigned char *frame, int length, short *values,
                         FILE *log, const MB_Timing *timing);
// The drain a timed-out exchange on `port` owes: takes in what came, and
// with `wait` listens on to the end of the grace (or until the late reply is
// whole); without, only looks (a window's timer tick). Logs a late reply with
// its bytes and a marked line. 1 while the grace lasts, 0 when none is owed.
int mf_Tovra_MB_Drain(unsigned short port, FILE *log, int wait);
// Ends a drain owed on `port` at once, with what came so far (logged as a
// late reply): the port is about to be opened at another line setting, where
// the rest of a late reply could come only as garble. The late bytes taken.
int mf_Tovra_MB_Drain__End(unsigned short port, FILE *log);

// The same after a settle of `delay` seconds, within the port's time limit.
int mf_Tovra_Send_MB_MSG_16_A(unsigned short port, unsigned char *frame, int length,
                              short *values, FILE *log, double delay);
