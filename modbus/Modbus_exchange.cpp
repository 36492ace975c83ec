#include "modbus/Modbus_exchange.h"

#include <chrono>
#include <cstring>

#include "log/log.h"
#include "modbus/Modbus_codes.h"
#include "modbus/Modbus_crc.h"
#include "modbus/Modbus_reply.h"
#include "modbus/Modbus_trace.h"
#include "modbus/Modbus_wire.h"
#include "platform/serial.h"
#include "platform/ui.h"

int giMB_RxCount = 0;
unsigned char gaMB_Reply[ciMB_RX_BUF];
int giMB_LateCount = 0;
double gdMB_Limit = 0.0;
MB_FramePtr gpMB_Frame = nullptr;

namespace {

using Clock = std::chrono::steady_clock;

Clock::duration fn_span(double seconds)
{
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

double fn_seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

// What a timed-out exchange leaves behind: its request (to know its reply
// by), when its limit ran out, and how long the line is listened to after.
struct MB_Drain {
    bool owed;
    unsigned short port;
    unsigned char request[ciMB_FRAME_MAX];
    int length;
    Clock::time_point due;   // the end of the exchange's limit
    Clock::time_point until; // the end of the grace
    double limit;
    const char *raise;
    unsigned char late[ciMB_RX_BUF]; // what came meanwhile
    int n;
    Clock::time_point first; // when its first byte came
};

MB_Drain gvDrain;

void fn_log(FILE *log, const char *format, int value)
{
    if (log != nullptr)
        fprintf(log, format, value);
}

void fn_log(FILE *log, const char *text)
{
    if (log != nullptr)
        fputs(text, log);
}

// The line's format of an open port, for its character times.
MB_Line fn_line(unsigned short port)
{
    MB_Line line = {0, 8, 0, 1};
    if (GetComLine(port, &line.baud, &line.parity, &line.dataBits, &line.stopBits) < 0)
        line.baud = 0;
    return line;
}

// Takes in what the port holds, without waiting, into `into` (beyond its
// room: read and dropped). The count taken, or the port's error.
int fn_take(unsigned short port, unsigned char *into, int *n, Clock::time_point *first)
{
    int waiting = GetInQLen(port);
    if (waiting <= 0)
        return waiting;
    if (*n == 0) {
        double since = ComSinceLastByte(port);
        *first = Clock::now() - fn_span(since > 0.0 ? since : 0.0);
    }
    char scrap[ciMB_RX_BUF];
    int room = ciMB_RX_BUF - *n;
    int r = ComRdWithin(port, room > 0 ? reinterpret_cast<char *>(into) + *n : scrap,
                        room > 0 ? (waiting < room ? waiting : room) : (int)sizeof scrap, 0.0);
    if (r > 0 && room > 0)
        *n += r;
    return r;
}

// Logs the late reply the drain heard, if any, and ends the drain.
void fn_drain_end(FILE *log)
{
    MB_Drain &d = gvDrain;
    d.owed = false;
    giMB_LateCount += d.n;
    if (d.n > 0 && gpMB_Frame != nullptr)
        gpMB_Frame(ciMB_FRAME_LATE, d.late, d.n < ciMB_RX_BUF ? d.n : ciMB_RX_BUF, 0);
    if (d.n == 0 || log == nullptr)
        return;
    char text[ciMB_DIAG_TEXT];
    int ms = (int)(fn_seconds(d.first - d.due) * 1000.0 + 0.5);
    mf_Tovra_MB_Late__Diag(d.port, d.late, d.n < ciMB_RX_BUF ? d.n : ciMB_RX_BUF, ms < 0 ? 0 : ms,
                           d.raise, text, sizeof text);
    fputs(text, log);
}

// Whether the drain has heard all it waits for: the grace is over, or the
// late reply to its request is whole.
bool fn_drain_done(void)
{
    const MB_Drain &d = gvDrain;
    if (Clock::now() >= d.until)
        return true;
    return d.n > 0 && d.n >= mf_Tovra_MB_Reply__Need(d.request, d.length, d.late, d.n);
}

// Before a request: any drain owed ends, and the line must have been quiet
// for 3.5 characters. Bytes that come meanwhile are thrown away, and logged
// as a late reply (or, with no drain owed, as bytes that answer nothing).
// A line already quiet that long costs one look at the port. 0, or the
// port's error.
int fn_quiet(unsigned short port, FILE *log, double limit)
{
    if (gvDrain.owed && gvDrain.port == port)
        mf_Tovra_MB_Drain(port, log, 1);
    const MB_Line line = fn_line(port);
    const double quiet = mf_Tovra_Wire__Quiet(&line);
    unsigned char stray[ciMB_RX_BUF];
    int n = 0;
    Clock::time_point first; // not named: no exchange waited for these bytes
    // A line that never falls silent gets the request after the limit all the same.
    const Clock::time_point end = Clock::now() + fn_span(limit);
    for (;;) {
        int r = fn_take(port, stray, &n, &first);
        if (r < 0)
            return r;
        double since = ComSinceLastByte(port);
        if (since < 0.0)
            return (int)since;
        if (since >= quiet || Clock::now() >= end)
            break;
        char scrap[1];
        r = ComRdWithin(port, n < ciMB_RX_BUF ? reinterpret_cast<char *>(stray) + n : scrap, 1,
                        quiet - since);
        if (r < 0)
            return r;
        n += (r > 0 && n < ciMB_RX_BUF) ? r : 0;
    }
    giMB_LateCount += n;
    if (n > 0 && gpMB_Frame != nullptr)
        gpMB_Frame(ciMB_FRAME_LATE, stray, n, 0);
    if (n > 0 && log != nullptr) {
        char text[ciMB_DIAG_TEXT];
        mf_Tovra_MB_Late__Diag(port, stray, n, -1, nullptr, text, sizeof text);
        fputs(text, log);
    }
    return 0;
}

int fn_range_error(void)
{
    MessagePopup("mf_Tovra_Send_MB_MSG_16_A ()", "error : value out of range");
    return ciMB_ERR_RANGE;
}

// Reads the reply up to its last byte within the limit: the expected
// length, or with byFrame as mf_Tovra_MB_Reply__Need tells it. With `echo`,
// a first copy of the request is the adapter's echo: it is dropped, and the
// reply gets the whole limit again. The count of reply bytes, or the port's
// negative error; *due is when the limit ran out, or would have, and *cut
// whether the limit ended the read before the reply was whole.
int fn_read_reply(unsigned short port, const unsigned char *frame, int length, int expected,
                  unsigned char *reply, double limit, const MB_Timing *timing, Clock::time_point *due,
                  bool *cut)
{
    *cut = false;
    const Clock::duration span = fn_span(limit);
    *due = Clock::now() + span;
    int echo = timing->byFrame && timing->echo;
    int n = 0;
    for (;;) {
        int need = timing->byFrame ? mf_Tovra_MB_Reply__Need(frame, length, reply, n) : expected;
        if (n >= need) {
            if (!echo || n != length || std::memcmp(reply, frame, (size_t)length) != 0)
                return n;
            if (gpMB_Frame != nullptr)
                gpMB_Frame(ciMB_FRAME_ECHO, reply, n, 0);
            echo = 0;
            n = 0;
            std::memset(reply, 0, (size_t)length);
            *due = Clock::now() + span;
            continue;
        }
        double left = fn_seconds(*due - Clock::now());
        if (left <= 0.0) {
            *cut = true;
            return n;
        }
        int r = ComRdWithin(port, reinterpret_cast<char *>(reply) + n, need - n, left);
        if (r < 0)
            return r;
        n += r;
    }
}

// The limit of an exchange: the turnaround allowance (the timing's, or the
// port's time limit) with the request's and the longest reply's wire time.
double fn_limit(unsigned short port, int length, int expected, const MB_Timing *timing)
{
    double turnaround = timing->limit;
    if (turnaround <= 0.0 && GetComTime(port, &turnaround) < 0)
        turnaround = 0.0;
    const MB_Line line = fn_line(port);
    return mf_Tovra_Wire__Limit(&line, length, turnaround, expected);
}

} // namespace

int mf_Tovra_MB_Drain(unsigned short port, FILE *log, int wait)
{
    MB_Drain &d = gvDrain;
    if (!d.owed || d.port != port)
        return 0;
    for (;;) {
        if (fn_take(port, d.late, &d.n, &d.first) < 0 || fn_drain_done()) {
            fn_drain_end(log);
            return 0;
        }
        if (!wait)
            return 1;
        // Waits for the next byte, or the end of the grace.
        double left = fn_seconds(d.until - Clock::now());
        int room = ciMB_RX_BUF - d.n;
        if (room <= 0 || left <= 0.0) {
            fn_drain_end(log);
            return 0;
        }
        int r = ComRdWithin(port, reinterpret_cast<char *>(d.late) + d.n, 1, left);
        if (r < 0) {
            fn_drain_end(log);
            return 0;
        }
        if (r > 0 && d.n == 0)
            d.first = Clock::now();
        d.n += r;
    }
}

int mf_Tovra_MB_Drain__End(unsigned short port, FILE *log)
{
    MB_Drain &d = gvDrain;
    if (!d.owed || d.port != port)
        return 0;
    fn_take(port, d.late, &d.n, &d.first);
    int n = d.n;
    fn_drain_end(log);
    return n;
}

int mf_Tovra_MB_Exchange(unsigned short port, unsigned char *frame, int length, short *values,
                         FILE *log, const MB_Timing *timing)
{
    if (frame == nullptr || timing == nullptr || length < ciMB_FRAME_MIN || length > ciMB_FRAME_MAX)
        return fn_range_error();
    giMB_RxCount = 0;
    giMB_LateCount = 0;
    mf_Tovra_Get_CRC(frame, length);
    // A port that refuses (closed, failed) sends nothing: the log gets the
    // refusal, never a transmit line for a frame that did not go out.
    int r = FlushOutQ(port);
    if (r < 0) {
        fn_log(log, "\t" LOG_MARK " request not sent: the port refused it, err=%d\n", r);
        fn_log(log, "\tcheck Help of LW.CVI : FlushOutQ, err=%d\n", r);
        return r;
    }
    int expected = mf_Tovra_MB_Reply__Len(frame);
    gdMB_Limit = fn_limit(port, length, expected > 0 ? expected : 0, timing);
    // Whatever comes before the request (a late reply to an earlier one) is
    // logged as late and thrown away, never taken for this reply; the late
    // reply's lines come before the request's.
    if ((r = fn_quiet(port, log, gdMB_Limit)) < 0) {
        fn_log(log, "\tcheck Help of LW.CVI : FlushInQ err=%d\n", r);
        return r;
    }
    if (log != nullptr)
        mf_Tovra_Log_Tx(port, frame, length, log);
    if (expected == ciMB_ERR_OP) {
        MessagePopup("Modbus_core", "104.6963 Un-defined Modbus OP");
        return ciMB_ERR_OP;
    }
    if (expected < 0)
        return fn_range_error();
    r = FlushInQ(port);
    if (r < 0) {
        fn_log(log, "\tcheck Help of LW.CVI : FlushInQ err=%d\n", r);
        return r;
    }
    int w = ComWrt(port, reinterpret_cast<const char *>(frame), length);
    if (w != length) {
        fn_log(log, "\t" LOG_MARK " COM write NG, err code: %d\n\n", w);
        fn_log(log, "\tcheck Help of LW.CVI : ComWrt \n");
        // A partial write is a failure too, and must not read as success (0).
        return w < 0 ? w : ciMB_ERR_WRITE;
    }
    if (gpMB_Frame != nullptr)
        gpMB_Frame(ciMB_FRAME_TX, frame, length, 0);
    if (timing->settle > 0.0)
        Delay(timing->settle);

    // Cleared, so no byte of an earlier exchange can ever be taken for part of this reply.
    unsigned char *reply = gaMB_Reply;
    std::memset(reply, 0, sizeof gaMB_Reply);
    Clock::time_point due;
    bool cut = false;
    int n = fn_read_reply(port, frame, length, expected, reply, gdMB_Limit, timing, &due, &cut);
    giMB_RxCount = n > 0 ? n : 0;
    int result = mf_Tovra_MB_Reply__Sort(frame, expected, reply, n, values);
    // The request itself came back where a different reply belongs.
    if (result != 0 && timing->byFrame && n == length && std::memcmp(reply, frame, (size_t)length) == 0)
        result = ciMB_ERR_ECHO;
    // Cut short by the limit: the rest, or all of it, may still come. (A
    // whole exception frame read by the window's expected length is all.)
    if (cut && (n <= 0 || n < mf_Tovra_MB_Reply__Need(frame, length, reply, n))) {
        MB_Drain &d = gvDrain;
        d = MB_Drain{};
        d.owed = true;
        d.port = port;
        std::memcpy(d.request, frame, (size_t)length);
        d.length = length;
        d.due = due;
        d.until = due + fn_span(gdMB_Limit);
        d.limit = gdMB_Limit;
        d.raise = timing->raise;
    }
    if (gpMB_Frame != nullptr)
        gpMB_Frame(ciMB_FRAME_RX, reply, giMB_RxCount, result);
    if (log == nullptr)
        return result;
    if (result == 0) {
        mf_Tovra_Log_Rx(port, reply, expected, log);
    } else {
        char text[ciMB_DIAG_TEXT];
        mf_Tovra_MB_Reply__Diag(port, frame, reply, n, result, text, sizeof text);
        fputs(text, log);
    }
    return result;
}

int mf_Tovra_Send_MB_MSG_16_A(unsigned short port, unsigned char *frame, int length,
                              short *values, FILE *log, double delay)
{
    const MB_Timing timing = {delay, 0.0, 0, 0, nullptr};
    return mf_Tovra_MB_Exchange(port, frame, length, values, log, &timing);
}
