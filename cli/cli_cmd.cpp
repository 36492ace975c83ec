// The commands of tovra-cli. Each opens the program's port as the window
// does, runs the window's own steps (so the log gets the same lines), and
// prints the outcome as text or as one JSON object; a failure is put in
// words on stderr and mapped to its exit status.
#include "cli/cli.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "log/log.h"
#include "modbus/Modbus_API.h"
#include "modbus/Modbus_core.h"
#include "platform/files.h"
#include "platform/port_watch.h"
#include "platform/serial.h"
#include "platform/signals.h"
#include "platform/ui.h"
#include "serial/ComSearch.h"
#include "serial/UMB_find.h"
#include "serial/UMB_port.h"

namespace {

constexpr int ciTextSize = 512;
constexpr int ciPathSize = ciCli_PathSize;

// Reports a failed step; after retries, says how many attempts were made
// (`attempts`, or when 0 every one that --retries allows for such a result).
int fn_fail(const CliArgs *a, const char *step, int result, const char *text, const char *more,
            int attempts = 0)
{
    char tries[ciTextSize + 64];
    if (!attempts && mf_Tovra_MB_Result__Retry(result))
        attempts = a->retries + 1;
    if (attempts > 1) {
        std::snprintf(tries, sizeof tries, "(%d attempts)%s%s", attempts, more ? " " : "",
                      more ? more : "");
        more = tries;
    }
    return mf_Tovra_CLI__Fail(a, step, result, text, more, gdMB_Limit);
}

// BR1=38400 BR2=115200 (with --raw: BR1_raw=5 BR2_raw=7), or in JSON both.
// A register value outside the device's table has no baud rate: "unknown".
void fn_print_values(const CliArgs *a, const short values[ciBR_count], const char *jsonMore)
{
    if (a->json) {
        mf_Tovra_CLI__Json_head(a, true);
        for (int i = 0; i < ciBR_count; ++i) {
            long baud = mf_Tovra_BR__Baud(values[i]);
            std::printf(baud ? ",\"%s\":%ld" : ",\"%s\":null", caBR_name[i], baud);
        }
        for (int i = 0; i < ciBR_count; ++i)
            std::printf(",\"%s_raw\":%u", caBR_name[i], static_cast<unsigned short>(values[i]));
        std::printf("%s}\n", jsonMore);
        return;
    }
    for (int i = 0; i < ciBR_count; ++i) {
        long baud = mf_Tovra_BR__Baud(values[i]);
        std::printf(baud ? "%s%s=%ld" : "%s%s=unknown", i ? " " : "", caBR_name[i], baud);
    }
    for (int i = 0; a->raw && i < ciBR_count; ++i)
        std::printf(" %s_raw=%u", caBR_name[i], static_cast<unsigned short>(values[i]));
    std::printf("\n");
}

// ============================================================ The port

// A reply still owed to a timed-out exchange is awaited and logged before
// the port closes: it must not meet the next program on the line.
int fn_close(int status)
{
    mf_Tovra_MB_Drain(ciPORT_umb, gpLog, 1);
    char text[ciTextSize];
    mf_Tovra_UMB_Port__Close(ciPORT_umb, text, sizeof text);
    return status;
}

// Opens the port, by its COM number or its path, with the command's line
// settings, as the window's open does (a close line, then the open report in
// the log), and sets how the exchanges on it wait: each ends with its
// reply. 0 or the exit status.
int fn_open(const CliArgs *a)
{
    char text[ciTextSize + ciPathSize];
    mf_Tovra_UMB_Port__Close(ciPORT_umb, text, sizeof text);
    gvIDd = a->line.ID;
    gvMB_Access = {1, a->timeout, 0.0, a->retries, a->echo, "raise --timeout"};
    char name[ciPathSize];
    if (a->port[0])
        std::snprintf(name, sizeof name, "%s", a->port);
    else
        std::snprintf(name, sizeof name, "COM%d", a->line.COMx);
    int r = mf_Tovra_UMB_Port__Open_Device(ciPORT_umb, name, &a->line, text, sizeof text);
    if (r < 0)
        return fn_fail(a, nullptr, r, text, nullptr);
    if (a->rs485 && (r = ComSetRS485(ciPORT_umb, 1)) < 0) {
        std::snprintf(text, sizeof text,
                      "--rs485: the driver of %s has no RS-485 mode (a pseudo-terminal has none; "
                      "an adapter that switches direction by itself needs no --rs485)",
                      name);
        return fn_close(fn_fail(a, nullptr, r, text, nullptr));
    }
    return 0;
}

// ============================================================ ports

// A listed port as the search reported it, with its path at that moment
// (a port that has gone no longer has one).
struct ListedPort {
    int com;
    std::string path;
    std::string name;
    int permitted;
    bool operator==(const ListedPort &o) const { return com == o.com && name == o.name; }
};
typedef std::vector<ListedPort> PortList;

// The newcomer's hint when no port is listed; stdout stays empty for scripts.
constexpr const char *caNoPorts = "no serial ports: plug in an adapter, or start tovra-devsim";

void fn_collect_port(int com, const char *line, int permitted, void *data)
{
    char name[16];
    char path[ciPathSize];
    std::snprintf(name, sizeof name, "COM%d", com);
    if (ComDevicePath(name, path, sizeof path) != 0)
        path[0] = '\0';
    static_cast<PortList *>(data)->push_back({com, path, line, permitted});
}

// A port's fields as JSON members: "com":33,"path":...,"name":...,"permission":true
void fn_print_port_fields(const ListedPort &p)
{
    std::printf("\"com\":%d,\"path\":", p.com);
    mf_Tovra_CLI__Json_string(stdout, p.path.c_str());
    std::printf(",\"name\":");
    mf_Tovra_CLI__Json_string(stdout, p.name.c_str());
    std::printf(",\"permission\":%s", p.permitted ? "true" : "false");
}

// One port: 5<TAB>/dev/ttyUSB0<TAB>Prolific ... (COM5), or a JSON item; a
// port the user may not open says so after its name, as the window does.
void fn_print_list(const CliArgs *a, const PortList &ports)
{
    if (a->json) {
        mf_Tovra_CLI__Json_head(a, true);
        std::printf(",\"ports\":[");
    }
    for (size_t i = 0; i < ports.size(); ++i) {
        const ListedPort &p = ports[i];
        if (!a->json) {
            std::printf("%d\t%s\t%s\n", p.com, p.path.c_str(), p.name.c_str());
            continue;
        }
        std::printf("%s{", i ? "," : "");
        fn_print_port_fields(p);
        std::printf("}");
    }
    if (a->json)
        std::printf("]}\n");
    if (ports.empty())
        std::fprintf(stderr, "%s\n", caNoPorts);
}

// + COM33 Prolific ... (COM33), or a JSON line with the event.
void fn_print_change(const CliArgs *a, const ListedPort &p, bool added)
{
    if (!a->json) {
        std::printf("%c COM%d %s\n", added ? '+' : '-', p.com, p.name.c_str());
        return;
    }
    std::printf("{\"event\":\"%s\",", added ? "add" : "remove");
    fn_print_port_fields(p);
    std::printf("}\n");
}

struct Watch {
    const CliArgs *args;
    PortList listed;
};

// The search again, judging the ports without opening them; what left the
// list is printed first, then what came.
void fn_ports_changed(void *data)
{
    Watch *w = static_cast<Watch *>(data);
    PortList now;
    if (mf_Tovra_ComSearch__Files() == 0)
        mf_Tovra_ComSearch__Look(fn_collect_port, &now);
    for (const ListedPort &p : w->listed)
        if (std::find(now.begin(), now.end(), p) == now.end())
            fn_print_change(w->args, p, false);
    for (const ListedPort &p : now)
        if (std::find(w->listed.begin(), w->listed.end(), p) == w->listed.end())
            fn_print_change(w->args, p, true);
    std::fflush(stdout);
    w->listed = std::move(now);
}

void fn_stop_watching()
{
    QuitUserInterface(ciExitOK);
}

// The list, and with --watch the changes until SIGINT or SIGTERM. The
// events are followed from before the list is made, so no port that comes
// meanwhile is missed. The exit status.
int fn_list_and_watch(const CliArgs *a)
{
    Watch w = {a, {}};
    if (a->watch && WatchPorts(fn_ports_changed, &w) != 0)
        return fn_fail(a, "ports --watch", ciResultLocal, "this system gives no port events", nullptr);
    mf_Tovra_ComSearch__Probe(fn_collect_port, &w.listed);
    fn_print_list(a, w.listed);
    std::fflush(stdout);
    if (!a->watch)
        return ciExitOK;
    OnTerminationSignal(fn_stop_watching);
    int status = RunUserInterface();
    UnwatchPorts();
    return status;
}

} // namespace

// The search writes its files into the current folder, as the window's does;
// here that is a private temporary folder (removed afterwards) unless
// --files names one, where they stay.
int mf_Tovra_CLI__Ports(const CliArgs *a)
{
    char home[ciPathSize];
    char temp[ciPathSize] = "";
    // The port map is looked up after the change of folder.
    if (GetFullPathFromCurrentDir(".", home, sizeof home) != 0 || ComPortMapDirPin() != 0 ||
        (!a->files && FileMakeTempDir(temp, sizeof temp) != 0))
        return fn_fail(a, "ports", ciResultLocal, "cannot make a temporary folder", nullptr);
    const char *folder = a->files ? a->files : temp;
    // A folder that cannot take the files would list no port, as if there
    // were none, or the ports of an earlier search.
    bool written = FileChangeDir(folder) == 0 && mf_Tovra_ComSearch__Files() == 0;
    int status = written ? fn_list_and_watch(a) : ciExitOK;
    FileChangeDir(home);
    if (!a->files)
        FileRemoveDir(temp);
    if (written)
        return status;
    char text[ciPathSize + 64];
    std::snprintf(text, sizeof text, "cannot write the search's files into %s", folder);
    return fn_fail(a, "ports", ciResultLocal, text, nullptr);
}

// --register ADDR [--count N]: 0x1101=3, one line per register, the
// values unsigned as the device holds them.
static int fn_read_registers(const CliArgs *a)
{
    short values[ciCli_RegisterMax] = {};
    unsigned short address = static_cast<unsigned short>(a->address);
    int r = mf_Tovra_Modbus_dev_RW_16(3, address, static_cast<short>(a->count), values);
    if (r < 0) {
        char step[64];
        if (a->count > 1)
            std::snprintf(step, sizeof step, "read registers 0x%04x-0x%04x", address,
                          address + a->count - 1);
        else
            std::snprintf(step, sizeof step, "read register 0x%04x", address);
        return fn_close(fn_fail(a, step, r, nullptr, nullptr));
    }
    if (a->json) {
        mf_Tovra_CLI__Json_head(a, true);
        std::printf(",\"register\":%u,\"values\":[", address);
        for (int i = 0; i < a->count; ++i)
            std::printf("%s%u", i ? "," : "", static_cast<unsigned short>(values[i]));
        std::printf("]}\n");
    } else {
        for (int i = 0; i < a->count; ++i)
            std::printf("0x%04x=%u\n", address + i, static_cast<unsigned short>(values[i]));
    }
    return fn_close(ciExitOK);
}

int mf_Tovra_CLI__Read(const CliArgs *a)
{
    if (int status = fn_open(a))
        return status;
    if (a->address >= 0)
        return fn_read_registers(a);
    short values[ciBR_count] = {};
    int r = mf_Tovra_BR__Read(values);
    if (r < 0)
        return fn_close(fn_fail(a, "read BR1, BR2", r, nullptr, nullptr));
    fn_print_values(a, values, "");
    return fn_close(ciExitOK);
}

// Holding register 0, shown as the window's Test read shows it.
int mf_Tovra_CLI__Test_Read(const CliArgs *a)
{
    if (int status = fn_open(a))
        return status;
    short value = 0;
    int r = mf_Tovra_Modbus_dev_RW_16(3, 0, 1, &value);
    if (r < 0)
        return fn_close(fn_fail(a, "test read of register 0", r, nullptr, nullptr));
    if (a->json) {
        mf_Tovra_CLI__Json_head(a, true);
        std::printf(",\"register\":0,\"value\":%d}\n", static_cast<int>(value));
    } else {
        std::printf("addr=0x%04X, data=%d\n", 0u, static_cast<int>(value));
    }
    return fn_close(ciExitOK);
}

// The EEPROM command is sent again only when no reply came at all: any
// answer, even a garbled one, shows that the device heard it and may have
// stored, and each store wears the EEPROM. The attempts made go into
// `attempts`.
int fn_send_commit(const CliArgs *a, const BRWT *entry, int *attempts)
{
    gvMB_Access.retries = 0;
    int r = mf_Tovra_BR__Send(entry);
    for (*attempts = 1; r == ciMB_ERR_TIMEOUT && *attempts <= a->retries; ++*attempts) {
        char text[64];
        std::snprintf(text, sizeof text, "retry %d of %d", *attempts, a->retries);
        logs("%s\n", text);
        r = mf_Tovra_BR__Send(entry);
    }
    gvMB_Access.retries = a->retries;
    return r;
}

// The EEPROM command stores both settings, also the one not given. One that
// holds a value outside the baud table (which the window's selectors cannot
// show either) is not stored again unseen: 0 to go on, else the exit status.
int fn_check_kept(const CliArgs *a, const int values[ciBR_count])
{
    if (!a->commit || (values[0] >= 0 && values[1] >= 0))
        return 0;
    short held[ciBR_count] = {};
    int r = mf_Tovra_BR__Read(held);
    if (r < 0)
        return fn_close(fn_fail(a, "read BR1, BR2 before writing", r, nullptr, "(nothing written)"));
    for (int i = 0; i < ciBR_count; ++i)
        if (values[i] < 0 && !mf_Tovra_BR__Baud(held[i])) {
            char text[ciTextSize];
            std::snprintf(text, sizeof text,
                          "%s holds %u, no baud rate of the device: the EEPROM command would store "
                          "it again; give %s too (nothing written)",
                          caBR_name[i], static_cast<unsigned short>(held[i]), i ? "--br2" : "--br1");
            return fn_close(fn_fail(a, "write", ciResultUsage, text, nullptr));
        }
    return 0;
}

// Each entry of the write list in turn; after a failure nothing more is
// sent, so a half write is never stored. Then the read-back, which must show
// every value written.
int mf_Tovra_CLI__Write(const CliArgs *a)
{
    int values[ciBR_count];
    for (int i = 0; i < ciBR_count; ++i)
        values[i] = a->br[i] ? mf_Tovra_BR__Index(a->br[i]) : -1;
    if (int status = fn_open(a))
        return status;
    if (int status = fn_check_kept(a, values))
        return status;

    BRWT list[ciBRWT_max];
    int n = mf_Tovra_BR__List(values, a->commit, list);
    char done[32] = ""; // "BR1 and BR2" at most
    for (int i = 0; i < n; ++i) {
        bool commit = list[i].address == ciCommitCoil;
        const char *name = commit ? nullptr : caBR_name[list[i].address == caBR_reg[0] ? 0 : 1];
        int attempts = 0;
        int r = commit ? fn_send_commit(a, &list[i], &attempts) : mf_Tovra_BR__Send(&list[i]);
        if (r < 0) {
            char step[32];
            char more[160];
            std::snprintf(step, sizeof step, commit ? "EEPROM command" : "write %s", name);
            // Without the EEPROM command's reply the device may have stored all the same.
            const char *stored = !commit ? "nothing stored"
                                 : mf_Tovra_BR__Commit_Unconfirmed(r) ? csCommitUnconfirmed
                                                                      : "not stored";
            std::snprintf(more, sizeof more, "(%s%s%s)", done, *done ? " written, " : "", stored);
            return fn_close(fn_fail(a, step, r, nullptr, more, attempts));
        }
        if (name)
            std::snprintf(done + std::strlen(done), sizeof done - std::strlen(done), "%s%s",
                          *done ? " and " : "", name);
    }

    short back[ciBR_count] = {};
    int r = mf_Tovra_BR__Read(back);
    if (r < 0) {
        char more[ciTextSize + 128];
        std::snprintf(more, sizeof more,
                      "(%s written%s; a device that takes a new BR1 at once answers at that speed now)",
                      done, a->commit ? " and stored" : "");
        return fn_close(fn_fail(a, "read-back", r, nullptr, more));
    }
    for (int i = 0; i < ciBR_count; ++i)
        if (values[i] >= 0 && back[i] != values[i]) {
            char text[ciTextSize];
            long baud = mf_Tovra_BR__Baud(back[i]);
            int n = baud ? std::snprintf(text, sizeof text, "%s reads %ld", caBR_name[i], baud)
                         : std::snprintf(text, sizeof text, "%s reads value %u, no baud rate",
                                         caBR_name[i], static_cast<unsigned short>(back[i]));
            std::snprintf(text + n, sizeof text - static_cast<size_t>(n), ", %ld was written", a->br[i]);
            return fn_close(fn_fail(a, "read-back differs", ciResultVerify, text, nullptr));
        }
    fn_print_values(a, back, a->commit ? ",\"stored\":true" : ",\"stored\":false");
    return fn_close(ciExitOK);
}

// ============================================================ find

namespace {

// What the search ended with, for the output after its loop.
UMB_Find_End gvFindEnd;
char gsFindText[ciTextSize];
const CliArgs *gpFindArgs;

// Progress for a person watching: one line, rewritten, when stderr is a
// terminal; nothing in a script's output.
void fn_find_probe(int, int, const char *text)
{
    if (FileIsTerminal(stderr))
        std::fprintf(stderr, "\r%s\033[K", text);
}

// The same summary line per setting as the window's log.
void fn_find_note(const char *text)
{
    logs("%s\n", text);
}

int fn_find_offer(const char *)
{
    return gpFindArgs->full;
}

void fn_find_end(const UMB_Find_End *end, const char *text)
{
    gvFindEnd = *end;
    std::snprintf(gsFindText, sizeof gsFindText, "%s", text);
    if (FileIsTerminal(stderr))
        std::fprintf(stderr, "\r\033[K");
}

// The exit status of a search that found nothing follows what its text
// names: a late reply or silence is no reply, the rest a bad one.
int fn_find_result(const UMB_Find_End &e)
{
    if (e.late)
        return ciMB_ERR_TIMEOUT;
    if (e.otherId)
        return ciMB_ERR_SLAVE;
    if (e.unconfirmed)
        return ciMB_ERR_COUNT;
    return e.garbled ? ciMB_ERR_CRC : ciMB_ERR_TIMEOUT;
}

} // namespace

// The window's search, run in a plain loop: each step is one probe.
int mf_Tovra_CLI__Find(const CliArgs *a)
{
    static const UMB_Find_IO io = {fn_find_probe, fn_find_note, fn_find_offer, fn_find_end};
    gpFindArgs = a;
    // The search goes by COM number: a device path takes the one that names
    // the same device.
    UMB_dev line = a->line;
    if (a->port[0] && (line.COMx = ComNumberOfPath(a->port)) == 0) {
        char why[ciTextSize + ciPathSize];
        std::snprintf(why, sizeof why,
                      "%s has no COM number: find searches by COM number; link the device into "
                      "the port map as COMn (see tovra-cli ports)",
                      a->port);
        return fn_fail(a, "find", kComErrNotMapped, why, nullptr);
    }
    gdFind_Margin = a->limit ? a->limit / 1000.0 : cdFind_MARGIN;
    giFind_Echo = a->echo;
    char text[ciTextSize];
    mf_Tovra_UMB_Port__Close(ciPORT_umb, text, sizeof text);
    if (mf_Tovra_UMB_Find__Start(ciPORT_umb, &line, &io) < 0)
        return fn_fail(a, "find", ciResultLocal, "a search is already running", nullptr);
    while (mf_Tovra_UMB_Find__Step()) {
    }
    const UMB_Find_End &e = gvFindEnd;
    switch (e.how) {
    case ciFind_FOUND: {
        const char parity = "NOEMS"[e.line.PARITY];
        if (a->json) {
            mf_Tovra_CLI__Json_head(a, true);
            std::printf(",\"baud\":%d,\"parity\":\"%c\",\"data\":8,\"stop\":%d,\"id\":%d,"
                        "\"echo\":%s}\n",
                        e.line.BR, parity, e.line.STOP, e.id, e.echo ? "true" : "false");
        } else {
            // An echoing adapter needs --echo in the commands that follow.
            std::printf("COM=%d BAUD=%d PARITY=%c DATA=8 STOP=%d ID=%d%s\n", e.com, e.line.BR, parity,
                        e.line.STOP, e.id, e.echo ? " ECHO=1" : "");
        }
        return ciExitOK;
    }
    case ciFind_NOT_FOUND:
        // The quick search tried the given slave ID and 1 only: say how to try the others.
        return fn_fail(a, "find", fn_find_result(e), gsFindText,
                       a->full ? nullptr : "(only slave ID 1 and --id were tried; --full tries 1 to 247)");
    default:
        return fn_fail(a, "find", e.code, nullptr, nullptr);
    }
}
