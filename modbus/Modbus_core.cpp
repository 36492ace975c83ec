#include "modbus/Modbus_core.h"

#include <chrono>
#include <cstdarg>
#include <cstring>

#include "log/log.h"
#include "platform/serial.h"
#include "platform/ui.h"

// ===================================================================== CRC

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

// ============================================================ Bounded text

namespace {

// Appends to a caller's buffer; once it is full, further pieces are dropped
// and the text stays terminated.
struct Text {
    char *p;
    int size;
    int len;
};

Text fn_text(char *p, int size)
{
    if (size > 0)
        p[0] = '\0';
    return Text{p, size, 0};
}

__attribute__((format(printf, 2, 3))) void fn_put(Text &t, const char *format, ...)
{
    if (t.len >= t.size - 1)
        return;
    va_list ap;
    va_start(ap, format);
    int n = vsnprintf(t.p + t.len, (size_t)(t.size - t.len), format, ap);
    va_end(ap);
    if (n < 0)
        t.p[t.len] = '\0';
    else
        t.len = (n < t.size - t.len) ? t.len + n : t.size - 1;
}

// ================================================================ Trace table

// One field of a trace line: printed from `width` frame bytes at `offset`.
struct TraceField {
    const char *format;
    int offset;
    int width;
};

constexpr int ciTRACE_FIELDS = 5;

struct TraceOp {
    int code;
    const char *word;
    TraceField tx[ciTRACE_FIELDS];
    TraceField rx[ciTRACE_FIELDS];
    bool registers; // the reply carries a byte count and register values
};

constexpr TraceField kAddr = {"<%04x> ", 2, 2};
constexpr TraceField kQty = {"(%04x) ", 4, 2};
constexpr TraceField kValue = {"[%04x] ", 4, 2};
constexpr TraceField kByteCount = {"(%02x)   ", 2, 1};

// Code 9 is no public Modbus function; the device family treats it like 16.
constexpr TraceOp caTraceOp[] = {
    {3, "Read", {kAddr, kQty}, {kByteCount}, true},
    {4, "Read-only", {kAddr, kQty}, {kByteCount}, true},
    {5, "Write bit", {kAddr, kValue}, {kAddr, kValue}, false},
    {6, "Write word", {kAddr, kValue}, {kAddr, kValue}, false},
    {9, "Write n Words",
     {kAddr, kQty, {"(%02x)  ", 6, 1}, {"[%04x]", 7, 2}, {"[%04x]  ", 9, 2}}, {kAddr, kQty}, false},
    {16, "Write n Words",
     {kAddr, kQty, {"(%02x)  ", 6, 1}, {"[%04x]", 7, 2}, {"[%04x]  ", 9, 2}}, {kAddr, kQty}, false},
};

const TraceOp *fn_trace_op(int code)
{
    for (const TraceOp &op : caTraceOp)
        if (op.code == code)
            return &op;
    return nullptr;
}

int fn_word(const unsigned char *b)
{
    return b[0] * 256 + b[1];
}

// Fields lie at fixed places; a field that would reach into the CRC (a frame
// shorter than its code's layout) is left out, and the CRC shown is always
// the frame's own last two bytes, so nothing past the frame is ever read.
int fn_trace(bool rx, unsigned short port, const unsigned char *frame, int length,
             char *buffer, int size)
{
    Text t = fn_text(buffer, size);
    if (length < 4)
        return -1;
    fn_put(t, "\tP%d\t", port);
    fn_put(t, rx ? "MB.Rx\t" : "MB.Tx\t");
    fn_put(t, "#%02x.", frame[0]);
    fn_put(t, "%02x ", frame[1]);
    const TraceOp *op = fn_trace_op(frame[1]);
    if (op == nullptr) {
        fn_put(t, "\n");
        return -1;
    }
    const int end = length - 2; // first CRC byte
    for (const TraceField &f : rx ? op->rx : op->tx) {
        if (f.format == nullptr)
            break;
        if (f.offset + f.width <= end)
            fn_put(t, f.format, f.width == 2 ? fn_word(frame + f.offset) : frame[f.offset]);
    }
    if (rx && op->registers) {
        // Values stand in pairs; the byte count may claim more than the frame holds.
        for (int i = 1; i <= frame[2] / 2 && 2 * i + 2 < end; ++i) {
            fn_put(t, "[%04x]", fn_word(frame + 2 * i + 1));
            if (i % 2 == 0)
                fn_put(t, "  ");
        }
    }
    fn_put(t, "{%04x}\t", fn_word(frame + end));
    if (frame[0] == 0)
        fn_put(t, "---Broadcast--- ");
    fn_put(t, "%s", op->word);
    fn_put(t, rx ? "\n\n" : "\n");
    return 0;
}

} // namespace

int mf_Tovra_Trace__Tx(unsigned short port, const unsigned char *frame, int length, char *text,
                       int size)
{
    return fn_trace(false, port, frame, length, text, size);
}

int mf_Tovra_Trace__Rx(unsigned short port, const unsigned char *frame, int length, char *text,
                       int size)
{
    return fn_trace(true, port, frame, length, text, size);
}

// The trace line to the stream; a code outside the table also shows its box.
static int fn_log_trace(bool rx, unsigned short port, const unsigned char *frame, int length,
                        FILE *log)
{
    char text[ciMB_TRACE_TEXT];
    int r = fn_trace(rx, port, frame, length, text, sizeof text);
    fputs(text, log);
    if (r < 0 && rx)
        MessagePopup("log Rx[] exception", "not enR, enRo, enWram, enWee");
    else if (r < 0)
        MessagePopup("log Tx[] exception", "not enR, enRo, enWram, enWee, enWmw");
    return r;
}

int mf_Tovra_Log_Tx(unsigned short port, const unsigned char *frame, int length, FILE *log)
{
    return fn_log_trace(false, port, frame, length, log);
}

int mf_Tovra_Log_Rx(unsigned short port, const unsigned char *frame, int length, FILE *log)
{
    return fn_log_trace(true, port, frame, length, log);
}

// ========================================================== Reply handling

int mf_Tovra_MB_Reply__Len(const unsigned char *request)
{
    switch (request[1]) {
    case 5:
    case 6:
        return 8;
    case 3:
    case 4: {
        int quantity = fn_word(request + 4);
        return quantity > ciMB_READ_QTY_MAX ? ciMB_ERR_RANGE : 5 + 2 * quantity;
    }
    default:
        return ciMB_ERR_OP;
    }
}

int mf_Tovra_MB_Reply__Need(const unsigned char *request, int length, const unsigned char *reply,
                            int n)
{
    int need;
    if (n <= length && std::memcmp(reply, request, (size_t)n) == 0)
        need = n < length ? n + 1 : n; // perhaps the echo: byte by byte, it may part any time
    else if (n < 2)
        need = 2;
    else if (reply[1] & 0x80)
        need = 5;
    else if (reply[1] == 3 || reply[1] == 4)
        need = n < 3 ? 3 : 5 + reply[2];
    else if (reply[1] == 5 || reply[1] == 6)
        need = 8;
    else
        need = mf_Tovra_MB_Reply__Len(request);
    if (need < n)
        need = n;
    return need < ciMB_RX_BUF ? need : ciMB_RX_BUF;
}

// A reply that came whole (its own CRC right) but answers something else:
// another slave, another function, or a byte count for other registers.
static int fn_mismatch(const unsigned char *request, const unsigned char *reply, int n)
{
    if (reply[0] != request[0])
        return ciMB_ERR_SLAVE;
    if (n == 5 && reply[1] == (request[1] | 0x80))
        return 0;
    if (reply[1] != request[1])
        return ciMB_ERR_FUNCTION;
    if ((request[1] == 3 || request[1] == 4) && reply[2] != 2 * fn_word(request + 4))
        return ciMB_ERR_COUNT;
    return 0;
}

int mf_Tovra_MB_Reply__Sort(const unsigned char *request, int expected, const unsigned char *reply,
                            int n, short *values)
{
    if (n == 0)
        return ciMB_ERR_TIMEOUT;
    if (n < 0)
        return n;
    bool whole = n >= 5 && mf_Tovra_Verify_CRC(reply, n) == 0;
    if (whole) {
        if (int r = fn_mismatch(request, reply, n))
            return r;
        if (n == 5 && reply[1] == (request[1] | 0x80))
            return ciMB_ERR_EXCEPTION - reply[2];
    }
    // Five bytes that are no whole frame fail their CRC: the check over the
    // expected length would cover bytes that never arrived.
    if (n == 5 && n != expected)
        return ciMB_ERR_CRC;
    if (n != expected)
        return ciMB_ERR_LENGTH;
    if (!whole)
        return ciMB_ERR_CRC;
    if ((request[1] == 3 || request[1] == 4) && values != nullptr)
        for (int i = 0; i < fn_word(request + 4); ++i)
            values[i] = (short)fn_word(reply + 3 + 2 * i);
    return 0;
}

namespace {

// Meanings of the Modbus exception codes, by code.
const char *const caExceptionWhy[] = {
    nullptr,
    "illegal function",
    "illegal data address",
    "illegal data value",
    "server device failure",
    "acknowledge",
    "server device busy",
    "negative acknowledge",
    "memory parity error",
    nullptr,
    "gateway path unavailable",
    "gateway target device failed to respond",
};
constexpr int ciExceptionWhyCount = sizeof caExceptionWhy / sizeof caExceptionWhy[0];

const char *fn_exception_why(int code)
{
    const char *meaning = code >= 0 && code < ciExceptionWhyCount ? caExceptionWhy[code] : nullptr;
    return meaning ? meaning : "unknown to Modbus";
}

} // namespace

void mf_Tovra_MB_Reply__Diag(unsigned short port, const unsigned char *request,
                             const unsigned char *reply, int n, int result, char *text, int size)
{
    Text t = fn_text(text, size);
    if (result == 0)
        return;
    fn_put(t, "\tP%d", port);
    fn_put(t, "\tMB.Rx\t");
    if (n == 0) {
        fn_put(t, LOG_MARK " COM read Time-out\n\n");
        return;
    }
    if (n < 0) {
        fn_put(t, LOG_MARK " COM read NG, err code: %d\n", n);
        fn_put(t, "\tcheck Help of LW.CVI : ComRd \n");
        return;
    }
    for (int i = 0; i < n; ++i)
        fn_put(t, "%02x ", reply[i]);
    fn_put(t, "\n");
    const char *head = "\t" LOG_MARK " Modbus.core: ";
    switch (result) {
    case ciMB_ERR_LENGTH:
        fn_put(t, "%sException 0930 occured after COM read, n=%d\n", head, n);
        fn_put(t, "\tPossibility :: If BAUD changed\n");
        fn_put(t, "\tPossibility :: If using [Ro] to read [R] memory\n");
        fn_put(t, "\tPossibility :: If using [Wram] or [Wee] to write [Ro] memory\n");
        fn_put(t, "\tReturn value of ComRd() is num of byte it received.\n");
        fn_put(t, "\n");
        return;
    case ciMB_ERR_CRC:
        fn_put(t, "%swrong checksum (%d bytes): another baud rate or parity, or noise on the line\n\n",
               head, n);
        return;
    case ciMB_ERR_SLAVE:
        fn_put(t, "%sreply from slave %d, not %d: a late reply, or two devices at one ID\n\n", head,
               reply[0], request[0]);
        return;
    case ciMB_ERR_FUNCTION:
        fn_put(t, "%sreply with function code %d, not %d: a late reply, or another master on the line\n\n",
               head, reply[1], request[1]);
        return;
    case ciMB_ERR_COUNT:
        fn_put(t, "%sreply with %d data bytes for %d registers, not %d\n\n", head, reply[2],
               fn_word(request + 4), 2 * fn_word(request + 4));
        return;
    case ciMB_ERR_ECHO:
        fn_put(t, "%sthe request came back: the adapter echoes what it sends (two-wire RS-485)\n\n",
               head);
        return;
    default:
        if (result <= ciMB_ERR_EXCEPTION)
            fn_put(t, "%sexception %d: %s\n\n", head, ciMB_ERR_EXCEPTION - result,
                   fn_exception_why(ciMB_ERR_EXCEPTION - result));
        return;
    }
}

// ========================================================= Results in words

namespace {

enum WhyArg { ciWhyNone, ciWhyCount, ciWhyLimit };

struct ResultWhy {
    int result;
    WhyArg arg; // what the format's one number is
    const char *format;
};

const ResultWhy caResultWhy[] = {
    {ciMB_ERR_TIMEOUT, ciWhyLimit,
     "no reply within %.1f s: check the cable, the slave ID and the line settings"},
    {ciMB_ERR_CRC, ciWhyCount,
     "reply with a wrong checksum (%d bytes): check parity and baud rate, termination"},
    {ciMB_ERR_LENGTH, ciWhyCount,
     "reply of the wrong length (%d bytes): check the baud rate and parity"},
    {ciMB_ERR_SLAVE, ciWhyNone,
     "reply from another slave ID: a late reply, or two devices at one ID"},
    {ciMB_ERR_FUNCTION, ciWhyNone,
     "reply with another function code: a late reply, or another master on the line"},
    {ciMB_ERR_COUNT, ciWhyNone,
     "reply with the wrong byte count: not the registers asked for"},
    {ciMB_ERR_WRITE, ciWhyNone, "the port took only part of the request: check the adapter"},
    {ciMB_ERR_OP, ciWhyNone, "request not sent: function code not handled"},
    {ciMB_ERR_RANGE, ciWhyNone, "request not sent: beyond one exchange"},
    {kComErrLost, ciWhyNone, "the port was lost: the adapter was disconnected"},
    {ciMB_ERR_ECHO, ciWhyNone, "the adapter echoes what it sends (two-wire RS-485)"},
};


} // namespace

void mf_Tovra_MB_Result__Why(int result, int count, double limit, char *text, int size)
{
    Text t = fn_text(text, size);
    for (const ResultWhy &w : caResultWhy)
        if (w.result == result) {
            if (w.arg == ciWhyLimit)
                fn_put(t, w.format, limit);
            else
                fn_put(t, w.format, count);
            return;
        }
    if (result <= ciMB_ERR_EXCEPTION) {
        int code = ciMB_ERR_EXCEPTION - result;
        fn_put(t, "the device refused: exception %d, %s", code, fn_exception_why(code));
    } else if (result < 0) {
        fn_put(t, "the serial port failed: %s", GetRS232ErrorString(result));
    }
}

// ============================================================= Transaction

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
