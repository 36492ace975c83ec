// One request/reply exchange on an open port: the one path of every request.
#pragma once

#include <cstdio>

// Reply bytes received by the last exchange (0 when it read none).
extern int giMB_RxCount;

// Every frame an exchange sends or receives, as it goes: the request, the
// reply as received (n 0: nothing came) with the exchange's result, an echo
// read and dropped. nullptr: none is told.
enum { ciMB_FRAME_TX, ciMB_FRAME_RX, ciMB_FRAME_ECHO };
typedef void (*MB_FramePtr)(int kind, const unsigned char *bytes, int n, int result);
extern MB_FramePtr gpMB_Frame;

// How an exchange waits for its reply: until the reply is complete, or the
// limit. Complete means as many bytes as the request's reply has (the
// window's way), or with `byFrame` as many as the reply's own first bytes
// tell (mf_Tovra_MB_Reply__Need), so an exception or a garbled byte count
// ends the wait at once too.
struct MB_Timing {
    double settle; // fixed wait after the request, before reading (s)
    double limit;  // time the whole reply may take after the settle (s); 0: the port's time limit
    int byFrame;
    int echo;      // with byFrame: the line returns the request first: read it and
                   // drop it, then give the reply the whole limit again
};

// ---- One exchange on an open port: CRC, trace, flush, write, settle, read
// the reply to its last byte, sort, trace or diagnose. With `byFrame` and
// without `echo`, bytes that repeat a read request are its echo
// (ciMB_ERR_ECHO). 0, or a negative result; `log` may be nullptr (then
// nothing is written).
int mf_Tovra_MB_Exchange(unsigned short port, unsigned char *frame, int length, short *values,
                         FILE *log, const MB_Timing *timing);
// The same after a settle of `delay` seconds, within the port's time limit.
int mf_Tovra_Send_MB_MSG_16_A(unsigned short port, unsigned char *frame, int length,
                              short *values, FILE *log, double delay);
