// Find device. The quick search tries every setting of the panel with two
// slave IDs; when nothing answers, it offers to try every slave ID at the
// current setting and at each setting where something garbled answered.
// A probe is a read of holding register 0 with a time limit of its own, so
// a wrong setting costs little more than the frames' time on the wire.
// An answer counts only when a second read, after the line was quiet for the
// probe's limit, gives it again: a slow device's late reply to the previous
// probe lands in the next probe's window, at a setting where it is not.
#include "serial/UMB_find.h"

#include <cmath>
#include <cstdio>

#include "modbus/Modbus_API.h"
#include "modbus/Modbus_core.h"
#include "platform/serial.h"

namespace {

// "No parity" comes before "even": a device without parity may also answer
// at even parity, never the other way round.
constexpr int32_t caFind_PARITY[] = {kParityNone, kParityEven, kParityOdd};
// The line's baud rates, most likely first: the common Modbus speeds, then
// the rest of what BR1/BR2 can store.
constexpr int32_t caFind_BAUD[] = {9600, 19200, 38400, 115200, 57600, 4800, 2400, 1200};
constexpr char caParityLetter[] = {'N', 'O', 'E', 'M', 'S'};
constexpr int ciFind_DATA = 8;
// A probe reads one register; the second read asks for two, so that no
// late reply to a probe can pass for its answer (the byte count differs).
constexpr int ciProbeQty = 1;
constexpr int ciConfirmQty = 2;
constexpr int ciReplyBytes = 5 + 2 * ciConfirmQty;
constexpr int ciText = 256;

struct FindState {
    bool running;
    bool cancel;
    bool sweep; // the pass tries every slave ID
    int port;
    int com;
    UMB_Find_IO io;
    UMB_Line lines[ciFind_LINES];
    int lineCount;
    int ids[ciFind_ID_LAST];
    int idCount;
    int line; // the next probe: lines[line] with ids[id]
    int id;
    int sent;
    int total;
    int outcome; // of the setting being tried
    int bytes;   // of its first garbled reply
    bool garbled[ciFind_LINES];
    int garbledCount;
    int late;
    bool stale;  // late bytes came in before a probe
    bool opened; // the port has opened at one setting at least
};

FindState gvFind;

bool fn_same(const UMB_Line &a, const UMB_Line &b)
{
    return a.BR == b.BR && a.PARITY == b.PARITY && a.STOP == b.STOP;
}

template <class T, int N> bool fn_has(const T (&table)[N], T value)
{
    for (T v : table)
        if (v == value)
            return true;
    return false;
}

void fn_add(UMB_Line *order, int *n, UMB_Line line)
{
    for (int i = 0; i < *n; ++i)
        if (fn_same(order[i], line))
            return;
    order[(*n)++] = line;
}

void fn_end_text(const UMB_Find_Words *w, const UMB_Find_End *end, char *text, int size);

void fn_finish(int how, int code, const UMB_Line *line, int id)
{
    CloseCom(gvFind.port);
    UMB_Find_End end = {how, gvFind.com, line ? *line : UMB_Line{}, id, code,
                        gvFind.sent, gvFind.total, gvFind.garbledCount,
                        gvFind.late + (gvFind.stale ? 1 : 0)};
    char text[ciText];
    fn_end_text(&gcFind_English, &end, text, sizeof text); // the log's line is English
    gvFind.running = false;
    gvFind.io.note(text);
    mf_Tovra_UMB_Find__End_text(&end, text, sizeof text);
    gvFind.io.end(&end, text);
}

// The summary line of the setting being tried, over the IDs tried so far.
void fn_note_line()
{
    if (gvFind.id == 0)
        return;
    char text[ciText];
    mf_Tovra_UMB_Find__Note_text(gvFind.com, &gvFind.lines[gvFind.line], gvFind.ids, gvFind.id,
                                 gvFind.outcome, gvFind.bytes, text, sizeof text);
    gvFind.io.note(text);
}

int fn_open(const UMB_Line &line)
{
    char name[16];
    std::snprintf(name, sizeof name, "COM%d", gvFind.com);
    int r = OpenComConfig(gvFind.port, name, line.BR, line.PARITY, ciFind_DATA, line.STOP, 0, 0);
    return r < 0 ? r : SetComTime(gvFind.port, mf_Tovra_UMB_Find__Limit(&line));
}

// One read of holding register 0. No trace and no settle time, unlike an
// ordinary exchange: the log gets one line per setting, and the reply is
// awaited only as long as the setting's limit. The reply is handed back so
// the caller can see which slave answered; `n` is the bytes received.
int fn_probe(int id, int quantity, unsigned char reply[ciReplyBytes], int *n)
{
    unsigned char request[8];
    mf_Tovra_MB_Request__Build(request, id, 3, 0, static_cast<short>(quantity));
    mf_Tovra_Get_CRC(request, 8);
    // Bytes waiting before the request are a reply later than an earlier
    // probe's limit: thrown away, but a sign of a slow device.
    if (GetInQLen(gvFind.port) > 0)
        gvFind.stale = true;
    int r = FlushInQ(gvFind.port);
    if (r == kComErrNotOpen) // the search opened it: it went away since
        return kComErrLost;
    if (r < 0)
        return r;
    int w = ComWrt(gvFind.port, reinterpret_cast<const char *>(request), 8);
    if (w != 8)
        return w < 0 ? w : ciMB_ERR_WRITE;
    int expected = 5 + 2 * quantity;
    *n = ComRd(gvFind.port, reinterpret_cast<char *>(reply), expected);
    short values[ciConfirmQty];
    return mf_Tovra_MB_Reply__Sort(request, expected, reply, *n, values);
}

// The second read: once the line has been quiet for the probe's limit (a
// late reply still on its way is let through and thrown away), slave `id`
// must answer again at this setting, to a read of another size, so that a
// probe's reply still on its way fails it by its byte count.
bool fn_confirm(int id)
{
    char junk[64];
    int quiet = 0;
    while (quiet < ciFind_QUIET_READS && ComRd(gvFind.port, junk, sizeof junk) > 0)
        ++quiet;
    if (quiet == ciFind_QUIET_READS)
        return false;
    unsigned char reply[ciReplyBytes] = {};
    int n = 0;
    int result = fn_probe(id, ciConfirmQty, reply, &n);
    return (result == 0 || result <= ciMB_ERR_EXCEPTION) && reply[0] == id;
}

// The sweep: every slave ID at the first setting (the current one) and at
// each setting where something garbled answered. False when not wanted.
bool fn_offer_sweep()
{
    if (!gvFind.io.offer)
        return false;
    UMB_Line lines[ciFind_LINES];
    int count = 0;
    fn_add(lines, &count, gvFind.lines[0]);
    for (int i = 0; i < gvFind.lineCount; ++i)
        if (gvFind.garbled[i])
            fn_add(lines, &count, gvFind.lines[i]);
    char question[ciText * 2];
    mf_Tovra_UMB_Find__Offer_text(gvFind.com, gvFind.ids, gvFind.idCount, lines, count, question,
                                  sizeof question);
    if (!gvFind.io.offer(question))
        return false;
    for (int i = 0; i < count; ++i)
        gvFind.lines[i] = lines[i];
    gvFind.lineCount = count;
    for (int i = 0; i < ciFind_ID_LAST; ++i)
        gvFind.ids[i] = i + 1;
    gvFind.idCount = ciFind_ID_LAST;
    gvFind.sweep = true;
    gvFind.line = 0;
    gvFind.sent = 0;
    gvFind.total = count * ciFind_ID_LAST;
    return true;
}

// The setting is done: its line, then the next setting or the end of the pass.
void fn_next_line()
{
    fn_note_line();
    if (gvFind.outcome == ciFind_GARBLED && !gvFind.sweep) {
        gvFind.garbled[gvFind.line] = true;
        ++gvFind.garbledCount;
    }
    gvFind.id = 0;
    gvFind.outcome = ciFind_SILENT;
    if (++gvFind.line < gvFind.lineCount)
        return;
    if (gvFind.sweep || !fn_offer_sweep())
        fn_finish(ciFind_NOT_FOUND, 0, nullptr, 0);
}

} // namespace

const UMB_Find_Words gcFind_English = {
    "Find COM%d: %s, ID %d (%d/%d)",
    "Found: %s, ID %d",
    "Not found on COM%d: no reply",
    "Not found on COM%d: something garbled answered at %d setting%s",
    "Find cancelled after %d of %d probes",
    "Find COM%d NG : %s",
    "No device answered on COM%d with slave ID %s.\n\nTry every slave ID from 1 to %d at ",
    "? This takes about %.0f s; Cancel stops it.",
    "Not found on COM%d: a reply came later than the probe's limit (%.0f ms after the frames); "
    "for a slower device raise the limit (tovra-cli find --limit MS)",
};

static const UMB_Find_Words *gpFindWords = &gcFind_English;

void mf_Tovra_UMB_Find__Words(const UMB_Find_Words *words)
{
    gpFindWords = words ? words : &gcFind_English;
}

// ================================================================ Pure parts

double gdFind_Margin = cdFind_MARGIN;

int mf_Tovra_UMB_Find__Order(const UMB_dev *current, UMB_Line order[ciFind_LINES])
{
    int n = 0;
    UMB_Line now = {current->BR, current->PARITY, current->STOP};
    if (current->DATA == ciFind_DATA && fn_has(caBR_umb, now.BR) && now.PARITY >= kParityNone &&
        now.PARITY <= kParitySpace && fn_has(caSTOP_cmb, now.STOP))
        fn_add(order, &n, now);
    fn_add(order, &n, {9600, kParityNone, 1});
    for (int32_t baud : caFind_BAUD)
        for (int32_t stop : caSTOP_cmb)
            for (int32_t parity : caFind_PARITY)
                fn_add(order, &n, {baud, parity, stop});
    return n;
}

double mf_Tovra_UMB_Find__Limit(const UMB_Line *line)
{
    int bitsPerByte = 1 + ciFind_DATA + (line->PARITY != kParityNone ? 1 : 0) + line->STOP;
    return ciFind_FRAME_BYTES * bitsPerByte / static_cast<double>(line->BR) + gdFind_Margin;
}

int mf_Tovra_UMB_Find__Sort(int result, const unsigned char *reply, int asked)
{
    // The exchange has checked that these come from the slave asked.
    if (result == 0 || result <= ciMB_ERR_EXCEPTION)
        return ciFind_ANSWERED;
    if (result == ciMB_ERR_SLAVE) {
        bool slave = (reply[0] >= 1 && reply[0] <= ciFind_ID_LAST) || reply[0] == asked;
        return slave ? ciFind_ANSWERED : ciFind_GARBLED;
    }
    if (result == ciMB_ERR_TIMEOUT)
        return ciFind_SILENT;
    if (result == ciMB_ERR_CRC || result == ciMB_ERR_LENGTH || result == ciMB_ERR_FUNCTION ||
        result == ciMB_ERR_COUNT)
        return ciFind_GARBLED;
    return ciFind_PORT_NG;
}

void mf_Tovra_UMB_Find__Line_text(const UMB_Line *line, char *text, int size)
{
    bool known = line->PARITY >= 0 && line->PARITY < static_cast<int>(sizeof caParityLetter);
    std::snprintf(text, size, "%d %d%c%d", line->BR, ciFind_DATA,
                  known ? caParityLetter[line->PARITY] : '?', line->STOP);
}

void mf_Tovra_UMB_Find__Ids_text(const int *ids, int count, char *text, int size)
{
    int len = 0;
    text[0] = '\0';
    for (int i = 0; i < count && len < size; ++i) {
        int run = i;
        while (run + 1 < count && ids[run + 1] == ids[run] + 1)
            ++run;
        const char *comma = i ? ", " : "";
        if (run - i >= 2) {
            len += std::snprintf(text + len, size - len, "%s%d-%d", comma, ids[i], ids[run]);
            i = run;
        } else {
            len += std::snprintf(text + len, size - len, "%s%d", comma, ids[i]);
        }
    }
}

void mf_Tovra_UMB_Find__Note_text(int com, const UMB_Line *line, const int *ids, int count,
                                  int outcome, int bytes, char *text, int size)
{
    char setting[32];
    char tried[ciText];
    mf_Tovra_UMB_Find__Line_text(line, setting, sizeof setting);
    mf_Tovra_UMB_Find__Ids_text(ids, count, tried, sizeof tried);
    if (outcome == ciFind_GARBLED)
        std::snprintf(text, size,
                      "Find COM%d %s, ID %s : garbled reply (%d bytes): something is there at a "
                      "near setting",
                      com, setting, tried, bytes);
    else if (outcome == ciFind_LATE)
        std::snprintf(text, size,
                      "Find COM%d %s, ID %s : a reply that a second read did not confirm: a late "
                      "reply of a slow device",
                      com, setting, tried);
    else if (outcome == ciFind_REFUSED)
        std::snprintf(text, size, "Find COM%d %s : the adapter refused this setting", com, setting);
    else
        std::snprintf(text, size, "Find COM%d %s, ID %s : no reply", com, setting, tried);
}

namespace {

void fn_end_text(const UMB_Find_Words *w, const UMB_Find_End *end, char *text, int size)
{
    char setting[32];
    mf_Tovra_UMB_Find__Line_text(&end->line, setting, sizeof setting);
    switch (end->how) {
    case ciFind_FOUND:
        std::snprintf(text, size, w->found, setting, end->id);
        break;
    case ciFind_NOT_FOUND:
        if (end->late)
            std::snprintf(text, size, w->late, end->com, gdFind_Margin * 1000.0);
        else if (end->garbled)
            std::snprintf(text, size, w->garbled, end->com, end->garbled,
                          end->garbled == 1 ? "" : "s");
        else
            std::snprintf(text, size, w->silent, end->com);
        break;
    case ciFind_CANCELLED:
        std::snprintf(text, size, w->cancelled, end->sent, end->total);
        break;
    default: {
        char why[ciText];
        mf_Tovra_MB_Result__Why(end->code, 0, 0.0, why, sizeof why);
        std::snprintf(text, size, w->failed, end->com, why);
        break;
    }
    }
}

} // namespace

void mf_Tovra_UMB_Find__End_text(const UMB_Find_End *end, char *text, int size)
{
    fn_end_text(gpFindWords, end, text, size);
}

void mf_Tovra_UMB_Find__Offer_text(int com, const int *ids, int idCount, const UMB_Line *lines,
                                   int count, char *text, int size)
{
    char tried[64];
    mf_Tovra_UMB_Find__Ids_text(ids, idCount, tried, sizeof tried);
    int len = std::snprintf(text, size, gpFindWords->question, com, tried, ciFind_ID_LAST);
    double seconds = 0.0;
    for (int i = 0; i < count && len < size; ++i) {
        char setting[32];
        mf_Tovra_UMB_Find__Line_text(&lines[i], setting, sizeof setting);
        len += std::snprintf(text + len, size - len, "%s%s", i ? ", " : "", setting);
        seconds += ciFind_ID_LAST * mf_Tovra_UMB_Find__Limit(&lines[i]);
    }
    if (len < size)
        std::snprintf(text + len, size - len, gpFindWords->duration, std::ceil(seconds));
}

// ================================================================ The search

int mf_Tovra_UMB_Find__Start(int port, const UMB_dev *dev, const UMB_Find_IO *io)
{
    if (gvFind.running)
        return -1;
    gvFind = FindState{};
    gvFind.port = port;
    gvFind.com = dev->COMx;
    gvFind.io = *io;
    gvFind.lineCount = mf_Tovra_UMB_Find__Order(dev, gvFind.lines);
    if (dev->ID >= 1 && dev->ID <= 255 && dev->ID != 1)
        gvFind.ids[gvFind.idCount++] = dev->ID;
    gvFind.ids[gvFind.idCount++] = 1;
    gvFind.total = gvFind.lineCount * gvFind.idCount;
    gvFind.running = true;
    return 0;
}

int mf_Tovra_UMB_Find__Step(void)
{
    if (!gvFind.running)
        return 0;
    if (gvFind.cancel) {
        fn_note_line();
        fn_finish(ciFind_CANCELLED, 0, nullptr, 0);
        return 0;
    }
    const UMB_Line &line = gvFind.lines[gvFind.line];
    if (gvFind.id == 0) {
        int r = fn_open(line);
        if (r == kComErrSettings) { // this adapter cannot do it; the others may still be there
            gvFind.outcome = ciFind_REFUSED;
            gvFind.id = 1; // for its summary line
            fn_next_line();
            return gvFind.running ? 1 : 0;
        }
        // A device that opened before and is gone now was lost under the search.
        if (gvFind.opened && (r == kComErrAbsent || r == kComErrNotMapped))
            r = kComErrLost;
        if (r < 0) {
            fn_finish(ciFind_FAILED, r, nullptr, 0);
            return 0;
        }
        gvFind.opened = true;
    }
    int id = gvFind.ids[gvFind.id];
    char setting[32];
    char text[ciText];
    mf_Tovra_UMB_Find__Line_text(&line, setting, sizeof setting);
    std::snprintf(text, sizeof text, gpFindWords->probe, gvFind.com, setting, id, ++gvFind.sent,
                  gvFind.total);
    gvFind.io.probe(gvFind.sent, gvFind.total, text);

    unsigned char reply[ciReplyBytes] = {};
    int n = 0;
    int result = fn_probe(id, ciProbeQty, reply, &n);
    switch (mf_Tovra_UMB_Find__Sort(result, reply, gvFind.ids[0])) {
    case ciFind_ANSWERED:
        // A reply of another slave names that slave: it may be there too.
        if (fn_confirm(reply[0])) {
            fn_finish(ciFind_FOUND, 0, &line, reply[0]);
            return 0;
        }
        if (gvFind.outcome != ciFind_LATE)
            ++gvFind.late;
        gvFind.outcome = ciFind_LATE;
        break;
    case ciFind_PORT_NG:
        fn_finish(ciFind_FAILED, result, nullptr, 0);
        return 0;
    case ciFind_GARBLED:
        if (gvFind.outcome == ciFind_SILENT) {
            gvFind.outcome = ciFind_GARBLED;
            gvFind.bytes = n;
        }
        break;
    default:
        break;
    }
    if (++gvFind.id == gvFind.idCount)
        fn_next_line();
    return gvFind.running ? 1 : 0;
}

void mf_Tovra_UMB_Find__Cancel(void)
{
    if (gvFind.running)
        gvFind.cancel = true;
}

int mf_Tovra_UMB_Find__Running(void)
{
    return gvFind.running ? 1 : 0;
}
