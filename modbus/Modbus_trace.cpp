#include "modbus/Modbus_trace.h"

#include "modbus/Modbus_codes.h"
#include "modbus/Modbus_text.h"
#include "platform/ui.h"

namespace {

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

// Fields lie at fixed places; a field that would reach into the CRC (a frame
// shorter than its code's layout) is left out, and the CRC shown is always
// the frame's own last two bytes, so nothing past the frame is ever read.
int fn_trace(bool rx, unsigned short port, const unsigned char *frame, int length,
             char *buffer, int size)
{
    MB_Text t = mf_MB_Text(buffer, size);
    if (length < 4)
        return -1;
    mf_MB_Put(t, "\tP%d\t", port);
    mf_MB_Put(t, rx ? "MB.Rx\t" : "MB.Tx\t");
    mf_MB_Put(t, "#%02x.", frame[0]);
    mf_MB_Put(t, "%02x ", frame[1]);
    const TraceOp *op = fn_trace_op(frame[1]);
    if (op == nullptr) {
        mf_MB_Put(t, "\n");
        return -1;
    }
    const int end = length - 2; // first CRC byte
    for (const TraceField &f : rx ? op->rx : op->tx) {
        if (f.format == nullptr)
            break;
        if (f.offset + f.width <= end)
            mf_MB_Put(t, f.format, f.width == 2 ? mf_MB_Word(frame + f.offset) : frame[f.offset]);
    }
    if (rx && op->registers) {
        // Values stand in pairs; the byte count may claim more than the frame holds.
        for (int i = 1; i <= frame[2] / 2 && 2 * i + 2 < end; ++i) {
            mf_MB_Put(t, "[%04x]", mf_MB_Word(frame + 2 * i + 1));
            if (i % 2 == 0)
                mf_MB_Put(t, "  ");
        }
    }
    mf_MB_Put(t, "{%04x}\t", mf_MB_Word(frame + end));
    if (frame[0] == 0)
        mf_MB_Put(t, "---Broadcast--- ");
    mf_MB_Put(t, "%s", op->word);
    mf_MB_Put(t, rx ? "\n\n" : "\n");
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
