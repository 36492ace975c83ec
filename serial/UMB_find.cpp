// Find device. The quick search tries every setting of the panel with two
// slave IDs; when nothing answers, it offers to try every slave ID at the
// current setting and at each setting where something garbled answered.
// A probe is a read of holding register 0 with a time limit of its own (the
// frames' time on the wire and the device's turnaround), so a wrong setting
// costs little more than that. Every request goes through the one exchange,
// which discards what came before it, keeps the line's silence, drops an
// adapter's echo and reads the reply by its own length. An answer counts
// only when a second read, of BR1 and BR2, after the line was quiet for the
// probe's limit, is answered normally by the same slave: its reply is two
// bytes longer than any reply to a probe, so a slow device's late reply to an
// earlier probe, which lands in a later probe's window, cannot pass for it.
#include "serial/UMB_find.h"

#include <chrono>
#include <cmath>
#include <cstdio>

#include "modbus/Modbus_API.h"
#include "modbus/Modbus_core.h"
#include "modbus/Modbus_wire.h"
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
// A probe reads holding register 0; the second read BR1 and BR2, whose
// normal reply (byte count 4) no probe's reply or exception matches.
constexpr unsigned short ciProbeAddr = 0;
constexpr int ciProbeQty = 1;
constexpr unsigned short ciConfirmAddr = 0x1101;
constexpr int ciConfirmQty = 2;
constexpr int ciRequestBytes = 8;
constexpr int ciProbeReplyBytes = 5 + 2 * ciProbeQty; // its longest valid reply
constexpr int ciText = 256;
// How late, in turnaround margins beyond its limit, the reply to a second
// read may still come and is waited for.
constexpr int ciFind_GRACE_MARGINS = 5;

// A setting's outcome is the most telling of its tries': a late reply
// explains an unconfirmed one, any reply says more than garble or silence.
constexpr int caFind_RANK[] = {
    /* SILENT */ 0, /* GARBLED */ 1, /* ANSWERED */ 0, /* PORT_NG */ 0,
    /* LATE */ 4,   /* REFUSED */ 0, /* OTHER_ID */ 3,  /* UNCONFIRMED */ 2,
};

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
    int detail;  // the bytes of its first garbled reply, or the other slave ID
    bool garbled[ciFind_LINES];
    int garbledCount;
    int late;        // replies that came after a limit
    int otherId;     // the last other slave ID not confirmed
    int unconfirmed; // settings
    int echo;        // the exchange drops the adapter's echo
    bool opened;     // the port has opened at one setting at least
    int pending;     // the slave of a second read whose reply may still come; 0 none
    std::chrono::steady_clock::time_point pendingUntil;
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
    mf_Tovra_MB_Drain__End(static_cast<unsigned short>(gvFind.port), nullptr);
    CloseCom(gvFind.port);
    UMB_Find_End end = {how,           gvFind.com,  line ? *line : UMB_Line{}, id,
                        code,          gvFind.sent, gvFind.total, gvFind.garbledCount,
                        gvFind.late,   gvFind.otherId, gvFind.unconfirmed, gvFind.echo};
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
                                 gvFind.outcome, gvFind.detail, text, sizeof text);
    gvFind.io.note(text);
}

int fn_open(const UMB_Line &line)
{
    char name[16];
    std::snprintf(name, sizeof name, "COM%d", gvFind.com);
    int r = OpenComConfig(gvFind.port, name, line.BR, line.PARITY, ciFind_DATA, line.STOP, 0, 0);
    return r < 0 ? r : SetComTime(gvFind.port, mf_Tovra_UMB_Find__Limit(&line));
}

// One read through the exchange, without trace (the log gets one line per
// setting): the exchange discards what came before, keeps the line's silence,
// drops the echo and waits for the request's wire time, the device's
// turnaround and the wire time of the reply. Late bytes it meets, before the
// request or after its limit, are a sign of a slow device.
int fn_read(int id, unsigned short address, int quantity)
{
    unsigned char request[ciRequestBytes];
    mf_Tovra_MB_Request__Build(request, id, 3, address, static_cast<short>(quantity));
    const MB_Timing timing = {0.0, gdFind_Margin, 1, gvFind.echo, nullptr};
    short values[ciConfirmQty];
    int r = mf_Tovra_MB_Exchange(static_cast<unsigned short>(gvFind.port), request, ciRequestBytes,
                                 values, nullptr, &timing);
    if (giMB_LateCount > 0)
        ++gvFind.late;
    return r == kComErrNotOpen ? kComErrLost : r; // the search opened it: it went away since
}

// The probe. An adapter that echoes is found at the first probe, as the
// exchange finds it: from then on the echo is dropped and the probe repeated.
int fn_probe(int id)
{
    int r = fn_read(id, ciProbeAddr, ciProbeQty);
    if (r != ciMB_ERR_ECHO || gvFind.echo)
        return r;
    gvFind.echo = 1;
    char text[ciText];
    std::snprintf(text, sizeof text,
                  "Find COM%d : the adapter echoes each request: searching on without the echo",
                  gvFind.com);
    gvFind.io.note(text);
    return fn_read(id, ciProbeAddr, ciProbeQty);
}

// Lets late replies still on their way through, and throws them away: true
// once the line has been quiet for the probe's limit and no earlier second
// read may still be answered.
bool fn_quiet(const UMB_Line &line)
{
    using Clock = std::chrono::steady_clock;
    char junk[64];
    double limit = mf_Tovra_UMB_Find__Limit(&line);
    for (int i = 0; i < ciFind_QUIET_READS; ++i) {
        double left = 0.0;
        if (gvFind.pending)
            left = std::chrono::duration<double>(gvFind.pendingUntil - Clock::now()).count();
        if (ComRdWithin(gvFind.port, junk, sizeof junk, left > limit ? left : limit) <= 0) {
            gvFind.pending = 0;
            return true;
        }
        if (i == 0)
            ++gvFind.late;
    }
    return false;
}

// The second read: once the line is quiet, slave `id` must give a normal
// reply to a read of BR1 and BR2 at this setting. An exception, a reply of a
// probe's size, or one of another slave is no confirmation. Without a reply
// of its own, its reply may come late, with the very shape that confirms:
// the next second read waits for it. Its result, 0 when confirmed.
int fn_confirm(const UMB_Line &line, int id)
{
    if (!fn_quiet(line))
        return ciMB_ERR_TIMEOUT;
    int r = fn_read(id, ciConfirmAddr, ciConfirmQty);
    if (r != 0 && r > ciMB_ERR_EXCEPTION) {
        double grace = mf_Tovra_UMB_Find__Limit(&line) + ciFind_GRACE_MARGINS * gdFind_Margin;
        gvFind.pending = id;
        gvFind.pendingUntil = std::chrono::steady_clock::now() +
                              std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                  std::chrono::duration<double>(grace));
    }
    return r;
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
    if (gvFind.outcome == ciFind_UNCONFIRMED)
        ++gvFind.unconfirmed;
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
    "Not found on COM%d: a reply came from another slave ID (%d), which did not answer a read of "
    "its own",
    "Not found on COM%d: a device answered at %d setting%s, but not a second read (BR1, BR2)",
};

static const UMB_Find_Words *gpFindWords = &gcFind_English;

void mf_Tovra_UMB_Find__Words(const UMB_Find_Words *words)
{
    gpFindWords = words ? words : &gcFind_English;
}

// ================================================================ Pure parts

double gdFind_Margin = cdFind_MARGIN;
int giFind_Echo = 0;

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
    const MB_Line wire = {line->BR, ciFind_DATA, line->PARITY != kParityNone ? 1 : 0, line->STOP};
    return mf_Tovra_Wire__Limit(&wire, ciRequestBytes, gdFind_Margin, ciProbeReplyBytes);
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
    if (result == ciMB_ERR_COUNT)
        return ciFind_LATE;
    if (result == ciMB_ERR_CRC || result == ciMB_ERR_LENGTH || result == ciMB_ERR_FUNCTION)
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

namespace {

// What a probe's outcome says in its log note; %d stands for the outcome's
// detail. Any other outcome is "no reply".
struct NoteWhat {
    int outcome;
    const char *what;
};
const NoteWhat caNoteWhat[] = {
    {ciFind_GARBLED, "garbled reply (%d bytes): something is there at a near setting"},
    {ciFind_LATE, "a reply came after the limit: a slow device"},
    {ciFind_OTHER_ID, "a reply from slave ID %d, which did not answer a read of its own"},
    {ciFind_UNCONFIRMED, "a reply that a second read (BR1, BR2) did not confirm"},
    {ciFind_REFUSED, "the adapter refused this setting"},
};

} // namespace

void mf_Tovra_UMB_Find__Note_text(int com, const UMB_Line *line, const int *ids, int count,
                                  int outcome, int detail, char *text, int size)
{
    char setting[32];
    char tried[ciText];
    mf_Tovra_UMB_Find__Line_text(line, setting, sizeof setting);
    mf_Tovra_UMB_Find__Ids_text(ids, count, tried, sizeof tried);
    const char *what = "no reply";
    for (const NoteWhat &n : caNoteWhat)
        if (n.outcome == outcome)
            what = n.what;
    // A setting the adapter refused was never sent, so no ID was tried.
    int len = outcome == ciFind_REFUSED
                  ? std::snprintf(text, size, "Find COM%d %s : ", com, setting)
                  : std::snprintf(text, size, "Find COM%d %s, ID %s : ", com, setting, tried);
    if (len >= 0 && len < size)
        std::snprintf(text + len, size - len, what, detail);
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
        else if (end->otherId)
            std::snprintf(text, size, w->otherId, end->com, end->otherId);
        else if (end->unconfirmed)
            std::snprintf(text, size, w->unconfirmed, end->com, end->unconfirmed,
                          end->unconfirmed == 1 ? "" : "s");
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
    gvFind.echo = giFind_Echo;
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

    int late = gvFind.late;
    int result = fn_probe(id);
    if (result == ciMB_ERR_COUNT) {
        ++gvFind.late; // a reply to an earlier read, by its shape
        if (gaMB_Reply[0] == gvFind.pending && gaMB_Reply[2] == 2 * ciConfirmQty)
            gvFind.pending = 0; // the late reply to the second read, seen
    }
    int outcome = mf_Tovra_UMB_Find__Sort(result, gaMB_Reply, gvFind.ids[0]);
    int detail = giMB_RxCount;
    if (outcome == ciFind_PORT_NG) {
        fn_finish(ciFind_FAILED, result, nullptr, 0);
        return 0;
    }
    if (outcome == ciFind_ANSWERED) {
        // A reply of another slave names that slave: it may be there too.
        int who = gaMB_Reply[0];
        int confirmed = fn_confirm(line, who);
        if (confirmed == 0) {
            fn_finish(ciFind_FOUND, 0, &line, who);
            return 0;
        }
        // Nothing again, once the line was quiet: what answered was a late
        // reply to an earlier request. Otherwise the slave is there and
        // answered the second read wrongly.
        if (confirmed == ciMB_ERR_TIMEOUT)
            ++gvFind.late;
        outcome = who != id ? ciFind_OTHER_ID : ciFind_UNCONFIRMED;
        detail = who;
    }
    if (gvFind.late != late)
        outcome = ciFind_LATE; // whatever else came, it may all be a slow device's
    else if (outcome == ciFind_OTHER_ID)
        gvFind.otherId = detail;
    if (caFind_RANK[outcome] > caFind_RANK[gvFind.outcome]) {
        gvFind.outcome = outcome;
        gvFind.detail = detail;
    }
    if (++gvFind.id < gvFind.idCount)
        return 1;
    // The next setting needs no grace for a late reply at this one: what is
    // in by now is named here, the rest could only come as garble there.
    if (mf_Tovra_MB_Drain__End(static_cast<unsigned short>(gvFind.port), nullptr) > 0) {
        ++gvFind.late;
        gvFind.outcome = ciFind_LATE;
    }
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
