// Modbus RTU master core: the CRC, one request/reply exchange, and the
// readable frame trace of the communication log.
//
// Frame building, reply sorting and trace formatting are pure functions over
// bytes; the transaction and the two log writers are thin wrappers that add
// the serial port, the popups and the log stream.
#pragma once

#include <cstdio>

// Results of an exchange (besides 0 and the negative codes of the serial port).
constexpr int ciMB_ERR_OP = -2001;      // function code not handled; nothing sent
constexpr int ciMB_ERR_TIMEOUT = -2002; // not one reply byte arrived
constexpr int ciMB_ERR_LENGTH = -2003;  // some bytes, neither the expected number nor a whole frame
constexpr int ciMB_ERR_CRC = -2004;     // reply CRC wrong
constexpr int ciMB_ERR_RANGE = -2005;   // frame length or read quantity beyond one exchange; nothing sent
constexpr int ciMB_ERR_WRITE = -2006;   // the port took only part of the request
// A whole reply (right CRC over the bytes that came) that does not answer
// this request: it is never taken for the device's answer.
constexpr int ciMB_ERR_SLAVE = -2007;    // from another slave ID
constexpr int ciMB_ERR_FUNCTION = -2008; // with another function code
constexpr int ciMB_ERR_COUNT = -2009;    // a read reply whose byte count is not 2 x the quantity
constexpr int ciMB_ERR_ECHO = -2020;    // the bytes back begin with the request itself: the adapter echoes
// An exception reply yields this minus its exception code: -3001 .. -3003 for
// the codes the device uses, and just as negative for any other code (4 -> -3004).
constexpr int ciMB_ERR_EXCEPTION = -3000;

constexpr int ciMB_FRAME_MIN = 8;       // the request layout of the handled codes
constexpr int ciMB_FRAME_MAX = 257;     // the CRC covers at most 255 bytes
constexpr int ciMB_READ_QTY_MAX = 125;  // keeps a read reply within 255 bytes
constexpr int ciMB_RX_BUF = 512;
constexpr int ciMB_TRACE_TEXT = 1024;   // holds the longest trace line of a 257-byte frame
constexpr int ciMB_DIAG_TEXT = 2048;    // holds the diagnosis of a 255-byte wrong-length reply

// ---- CRC-16/MODBUS, bit by bit (reflected 0xA001, start 0xFFFF, low byte first)
unsigned short mf_Tovra_CRC_8_bit(unsigned short crc, unsigned char byte);
// Writes the CRC of bytes 0 .. length-3 into bytes length-2 (low), length-1 (high).
// Returns 0. Frames of 3 to 257 bytes; below 2 bytes there is no room and nothing is written.
int mf_Tovra_Get_CRC(unsigned char *frame, int length);
// 0 when the stored CRC is right; -11 low byte differs (or no CRC bytes at all);
// -12 only the high byte differs.
int mf_Tovra_Verify_CRC(const unsigned char *frame, int length);

// ---- Pure reply handling
// Expected reply length of a request: 8 for codes 5 and 6, 5 + 2 x quantity
// for codes 3 and 4; ciMB_ERR_OP for other codes, ciMB_ERR_RANGE for a read
// of more than ciMB_READ_QTY_MAX registers.
int mf_Tovra_MB_Reply__Len(const unsigned char *request);
// How many bytes the reply holds in all, as far as its first n bytes tell:
// while they repeat the request (`length` bytes), one more, since they may be
// its echo; else the frame's own length: 5 for an exception, 5 + the byte
// count for a read, 8 for a write, the request's expected length for
// anything else. Never more than ciMB_RX_BUF; n itself once the frame is in.
int mf_Tovra_MB_Reply__Need(const unsigned char *request, int length, const unsigned char *reply,
                            int n);
// Sorts the n bytes read (n < 0: the port's error) in answer to `request`,
// whose reply should be `expected` bytes long. A reply counts only when it
// matches the request: same slave ID, same function code (or the code + 0x80
// of an exception, whose CRC is checked too), and for a read a byte count of
// 2 x the quantity. On 0 the register values of a read have been copied to
// `values`; on failure `values` is untouched. `reply` must hold `expected` bytes.
int mf_Tovra_MB_Reply__Sort(const unsigned char *request, int expected,
                            const unsigned char *reply, int n, short *values);
// The log text for a failed reply (result of mf_Tovra_MB_Reply__Sort to
// `request`): the bytes received and a marked line with their meaning;
// empty for 0. Bounded by size.
void mf_Tovra_MB_Reply__Diag(unsigned short port, const unsigned char *request,
                             const unsigned char *reply, int n, int result, char *text, int size);

// The result of an exchange, or a serial port's failure code, in plain words
// for the operator: what went wrong and what to check. `count` is the number
// of reply bytes received, `limit` the port's time limit in seconds.
// Bounded by size.
void mf_Tovra_MB_Result__Why(int result, int count, double limit, char *text, int size);

// ---- Pure trace formatting: one line into text (bounded by size).
// 0, or -1 for a function code outside the trace table (the text is then the
// head and a line end). Frames shorter than 4 bytes give -1 and empty text.
int mf_Tovra_Trace__Tx(unsigned short port, const unsigned char *frame, int length,
                       char *text, int size);
int mf_Tovra_Trace__Rx(unsigned short port, const unsigned char *frame, int length,
                       char *text, int size);

// ---- Log writers: the trace line straight to the stream (not counted);
// a code outside the table also shows a message box. 0 or -1.
int mf_Tovra_Log_Tx(unsigned short port, const unsigned char *frame, int length, FILE *log);
int mf_Tovra_Log_Rx(unsigned short port, const unsigned char *frame, int length, FILE *log);

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
