#include "modbus/Modbus_exchange.h"

#include <chrono>
#include <cstring>

#include "log/log.h"
#include "modbus/Modbus_codes.h"
#include "modbus/Modbus_crc.h"
#include "modbus/Modbus_reply.h"
#include "modbus/Modbus_trace.h"
#include "platform/serial.h"
#include "platform/ui.h"

int giMB_RxCount = 0;

static void fn_log(FILE *log, const char *format, int value)
{
    if (log != nullptr)
        fprintf(log, format, value);
}

static void fn_log(FILE *log, const char *text)
{
    if (log != nullptr)
        fputs(text, log);
}

static int fn_range_error(void)
{
    MessagePopup("mf_Tovra_Send_MB_MSG_16_A ()", "error : value out of range");
    return ciMB_ERR_RANGE;
}

// Reads the reply up to its last byte within the timing's limit: the
// expected length, or with byFrame as mf_Tovra_MB_Reply__Need tells it. With
// `echo`, a first copy of the request is the adapter's echo: it is dropped,
// and the reply gets the whole limit again. The count of reply bytes, or the
// port's negative error.
static int fn_read_reply(unsigned short port, const unsigned char *frame, int length, int expected,
                         unsigned char *reply, double limit, const MB_Timing *timing)
{
    using Clock = std::chrono::steady_clock;
    const auto span = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(limit));
    auto deadline = Clock::now() + span;
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
            deadline = Clock::now() + span;
            continue;
        }
        double left = std::chrono::duration<double>(deadline - Clock::now()).count();
        if (left <= 0.0)
            return n;
        int r = ComRdWithin(port, reinterpret_cast<char *>(reply) + n, need - n, left);
        if (r <= 0)
            return r < 0 ? r : n;
        n += r;
    }
}

MB_FramePtr gpMB_Frame = nullptr;

int mf_Tovra_MB_Exchange(unsigned short port, unsigned char *frame, int length, short *values,
                         FILE *log, const MB_Timing *timing)
{
    if (frame == nullptr || timing == nullptr || length < ciMB_FRAME_MIN || length > ciMB_FRAME_MAX)
        return fn_range_error();
    giMB_RxCount = 0;
    mf_Tovra_Get_CRC(frame, length);
    // A port that refuses (closed, failed) sends nothing: the log gets the
    // refusal, never a transmit line for a frame that did not go out.
    int r = FlushOutQ(port);
    if (r < 0) {
        fn_log(log, "\t" LOG_MARK " request not sent: the port refused it, err=%d\n", r);
        fn_log(log, "\tcheck Help of LW.CVI : FlushOutQ, err=%d\n", r);
        return r;
    }
    if (log != nullptr)
        mf_Tovra_Log_Tx(port, frame, length, log);

    int expected = mf_Tovra_MB_Reply__Len(frame);
    if (expected == ciMB_ERR_OP) {
        MessagePopup("Modbus_core", "104.6963 Un-defined Modbus OP");
        return ciMB_ERR_OP;
    }
    if (expected < 0)
        return fn_range_error();

    // Whatever came in before the request (a late reply to the previous
    // one) is thrown away, never taken for this reply.
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

    double limit = timing->limit;
    if (limit <= 0.0 && GetComTime(port, &limit) < 0)
        limit = 0.0;
    // Cleared, so no byte of an earlier exchange can ever be taken for part of this reply.
    unsigned char reply[ciMB_RX_BUF] = {};
    int n = fn_read_reply(port, frame, length, expected, reply, limit, timing);
    giMB_RxCount = n > 0 ? n : 0;
    int result = mf_Tovra_MB_Reply__Sort(frame, expected, reply, n, values);
    // The request itself came back where a different reply belongs.
    if (result != 0 && timing->byFrame && n == length && std::memcmp(reply, frame, (size_t)length) == 0)
        result = ciMB_ERR_ECHO;
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
    const MB_Timing timing = {delay, 0.0, 0, 0};
    return mf_Tovra_MB_Exchange(port, frame, length, values, log, &timing);
}
