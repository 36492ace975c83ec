// Find device: the line settings and slave ID at which a device on a COM
// port answers. The search is a chain of short steps, one probe each, so a
// window can paint and take a Cancel between them and a console tool can run
// it in a plain loop. It reaches its user only through UMB_Find_IO; it never
// touches a panel.
#pragma once

#include <cstdint>

#include "serial/UART_MB.h"

// A line setting of the search; the data bits are always 8.
struct UMB_Line {
    int32_t BR;     // baud rate in bit/s
    int32_t PARITY; // the serial layer's code: 0 none, 1 odd, 2 even
    int32_t STOP;   // stop bits
};

// Every baud rate the line offers x parity none, even, odd x stop bits 1, 2,
// and room for a current setting outside that grid (mark or space parity).
constexpr int ciFind_GRID = 48;
constexpr int ciFind_LINES = ciFind_GRID + 1;
constexpr int ciFind_ID_LAST = 247;    // the highest slave ID a device may have
constexpr double cdFind_MARGIN = 0.08; // the device's turnaround, beyond the frames' wire time
constexpr int ciFind_QUIET_READS = 8;  // a line never quiet this long is no confirmation

// The device's turnaround that a probe waits for beyond the frames' time, in
// seconds; cdFind_MARGIN unless the user raised it for a slow device.
extern double gdFind_Margin;
// 1: the adapter is known to echo what it sends, so the search starts with
// the echo removed; 0: the search finds out itself at its first probe.
extern int giFind_Echo;

// What a probe came to, and so what a setting came to. GARBLED: bytes that
// make no frame of a slave. LATE: bytes that came after an exchange's limit,
// or a reply whose shape answers an earlier request. OTHER_ID: a whole reply
// of another slave ID, which did not answer a read of its own. UNCONFIRMED:
// the slave asked answered the probe but not the second read. REFUSED: the
// adapter cannot open the setting.
enum {
    ciFind_SILENT, ciFind_GARBLED, ciFind_ANSWERED, ciFind_PORT_NG, ciFind_LATE, ciFind_REFUSED,
    ciFind_OTHER_ID, ciFind_UNCONFIRMED
};
// How a search ended.
enum { ciFind_FOUND, ciFind_NOT_FOUND, ciFind_CANCELLED, ciFind_FAILED };

struct UMB_Find_End {
    int how;       // ciFind_FOUND ...
    int com;       // the COM port searched
    UMB_Line line; // found: where the device answered
    int id;        // found: its slave ID
    int code;      // failed: the serial port's code
    int sent;      // probes sent in the last pass
    int total;     // probes the last pass had planned
    int garbled;     // settings at which something garbled answered
    int late;        // replies that came after an exchange's limit
    int otherId;     // the last other slave ID that answered and was not confirmed; 0 none
    int unconfirmed; // settings at which the slave asked answered but not the second read
    int echo;        // the adapter echoes what it sends
};

// Everything the search tells its user. `offer` may be null: no sweep.
struct UMB_Find_IO {
    // Before each probe: the probes sent so far, this one included, of the
    // pass's total, and what is tried now ("Find COM5: 9600 8E1, ID 7 (3/48)").
    void (*probe)(int sent, int total, const char *text);
    // One summary line per setting tried, and the result.
    void (*note)(const char *text);
    // Nothing answered the quick search: 1 runs the slave-ID sweep it asks about.
    int (*offer)(const char *question);
    // The search is over (the port is closed); `text` is its result.
    void (*end)(const UMB_Find_End *end, const char *text);
};

// The texts the search shows its user (not its log lines), as printf
// formats. A translation takes the English format's arguments in the same
// order and may leave out trailing ones.
struct UMB_Find_Words {
    const char *probe;     // "Find COM%d: %s, ID %d (%d/%d)"
    const char *found;     // "Found: %s, ID %d"
    const char *silent;    // "Not found on COM%d: no reply"
    const char *garbled;   // "Not found on COM%d: something garbled answered at %d setting%s"
    const char *cancelled; // "Find cancelled after %d of %d probes"
    const char *failed;    // "Find COM%d NG : %s"
    const char *question;  // "No device answered on COM%d with slave ID %s. ... from 1 to %d at "
    const char *duration;  // "? This takes about %.0f s; Cancel stops it."
    const char *late;      // "Not found on COM%d: a reply came later than ... (%.0f ms ...) ..."
    const char *otherId;   // "Not found on COM%d: a reply came from another slave ID (%d), ..."
    const char *unconfirmed; // "Not found on COM%d: ... at %d setting%s, but not a second read ..."
};
extern const UMB_Find_Words gcFind_English;
// The words of the texts from now on; nullptr: English, the default.
void mf_Tovra_UMB_Find__Words(const UMB_Find_Words *words);

// ---- Pure parts
// The settings of the quick search, most likely first: the current ones
// (with 8 data bits at a baud rate of the line), 9600 8N1, then the rest by
// baud rate (9600, 19200, 38400, 115200, 57600, 4800, 2400, 1200), stop bits
// 1 before 2, parity none before even before odd. Returns their number:
// ciFind_GRID, one more for a current parity of mark or space.
int mf_Tovra_UMB_Find__Order(const UMB_dev *current, UMB_Line order[ciFind_LINES]);
// The time limit of one probe at a setting, in seconds: its request's time
// on the wire, the margin, and the time of its longest valid reply.
double mf_Tovra_UMB_Find__Limit(const UMB_Line *line);
// What a probe came to, from the exchange's result (or a negative serial
// code) and the reply bytes. A whole reply from another slave counts as an
// answer of that slave when its ID is one a device may have (1-247) or the
// one asked for (`asked`); the caller confirms it. A read reply of another
// size from the slave asked answers an earlier read: late.
int mf_Tovra_UMB_Find__Sort(int result, const unsigned char *reply, int asked);
// "38400 8E1".
void mf_Tovra_UMB_Find__Line_text(const UMB_Line *line, char *text, int size);
// "7, 1", "1-23": slave IDs in the order tried, runs of three or more joined.
void mf_Tovra_UMB_Find__Ids_text(const int *ids, int count, char *text, int size);
// The log line of one setting: "Find COM5 9600 8N1, ID 7, 1 : no reply".
// `detail`: the bytes of a garbled reply, the slave ID of an OTHER_ID one.
void mf_Tovra_UMB_Find__Note_text(int com, const UMB_Line *line, const int *ids, int count,
                                  int outcome, int detail, char *text, int size);
// The result as the status field shows it: "Found: 38400 8E1, ID 7".
void mf_Tovra_UMB_Find__End_text(const UMB_Find_End *end, char *text, int size);
// The question that offers the slave-ID sweep at `count` settings.
void mf_Tovra_UMB_Find__Offer_text(int com, const int *ids, int idCount, const UMB_Line *lines,
                                   int count, char *text, int size);

// ---- The search on a logical serial port
// Starts a search on COM `dev->COMx` with the slave ID `dev->ID` and ID 1,
// the current settings `dev` first. 0, or -1 while a search runs.
int mf_Tovra_UMB_Find__Start(int port, const UMB_dev *dev, const UMB_Find_IO *io);
// Sends one probe. 1 while there is more to do, 0 once the search is over.
int mf_Tovra_UMB_Find__Step(void);
// The next step ends the search.
void mf_Tovra_UMB_Find__Cancel(void);
int mf_Tovra_UMB_Find__Running(void);
