// The commands of tovra-cli. Each opens the program's port as the window
// does, runs the window's own steps (so the log gets the same lines), and
// prints the outcome as text or as one JSON object; a failure is put in
// words on stderr and mapped to its exit status.
#include "cli/cli.h"

#include <cstring>

#include "log/log.h"
#include "modbus/Modbus_API.h"
#include "modbus/Modbus_core.h"
#include "platform/files.h"
#include "platform/serial.h"
#include "platform/ui.h"
#include "serial/ComSearch.h"
#include "serial/UMB_find.h"
#include "serial/UMB_port.h"

namespace {

constexpr int ciTextSize = 512;
constexpr int ciPathSize = 4096;

// Failures of tovra-cli itself, numbered apart from the results of the
// port and the exchange (0 or negative).
constexpr int ciResultLocal = 1;  // a folder of its own could not be used
constexpr int ciResultVerify = 2; // the read-back differs

// ============================================================ Output

// A JSON string: quotes, backslashes and control characters escaped; the
// rest (UTF-8) as it is.
void fn_json_string(FILE *out, const char *text)
{
    std::fputc('"', out);
    for (const unsigned char *c = reinterpret_cast<const unsigned char *>(text); *c; ++c) {
        if (*c == '"' || *c == '\\')
            std::fprintf(out, "\\%c", *c);
        else if (*c < 0x20)
            std::fprintf(out, "\\u%04x", *c);
        else
            std::fputc(*c, out);
    }
    std::fputc('"', out);
}

// The opening of every JSON object: {"command":"read","ok":true
void fn_json_head(const CliArgs *a, bool ok)
{
    std::printf("{\"command\":");
    fn_json_string(stdout, a->command->name);
    std::printf(",\"ok\":%s", ok ? "true" : "false");
    if (a->line.COMx)
        std::printf(",\"com\":%d", a->line.COMx);
}

// BR1=38400 BR2=115200 (with --raw: BR1_raw=5 BR2_raw=7), or in JSON both.
// A register value outside the device's table has no baud rate: "unknown".
void fn_print_values(const CliArgs *a, const short values[ciBR_count], const char *jsonMore)
{
    if (a->json) {
        fn_json_head(a, true);
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

// ============================================================ Failures

// A class of results: its exit status, its name in JSON, its words.
struct CliFailure {
    int low;
    int high;
    int exit;
    const char *kind;
};

// The words of a failed exchange or port: the window's tooltip words.
void fn_words(int result, char *text, size_t size)
{
    mf_Tovra_MB_Result__Why(result, giMB_RxCount, cdComTime, text, static_cast<int>(size));
    if (!*text)
        std::snprintf(text, size, "failed with code %d", result);
}

constexpr CliFailure caFailures[] = {
    {ciResultLocal, ciResultLocal, ciExitOther, "local"},
    {ciResultVerify, ciResultVerify, ciExitVerify, "verify"},
    {ciMB_ERR_TIMEOUT, ciMB_ERR_TIMEOUT, ciExitNoReply, "no-reply"},
    {ciMB_ERR_CRC, ciMB_ERR_CRC, ciExitBadReply, "bad-reply"},
    {ciMB_ERR_LENGTH, ciMB_ERR_LENGTH, ciExitBadReply, "bad-reply"},
    {ciMB_ERR_COUNT, ciMB_ERR_SLAVE, ciExitBadReply, "bad-reply"},
    {ciMB_ERR_EXCEPTION - 255, ciMB_ERR_EXCEPTION - 1, ciExitException, "exception"},
    {ciMB_ERR_WRITE, ciMB_ERR_WRITE, ciExitPort, "port"},
    {kComErrLost, kComErrAbsent, ciExitPort, "port"},
};
constexpr CliFailure cFailureOther = {0, 0, ciExitOther, "other"};

const CliFailure &fn_failure(int result)
{
    for (const CliFailure &f : caFailures)
        if (result >= f.low && result <= f.high)
            return f;
    return cFailureOther;
}

// Reports a failed step ("read BR1, BR2: no reply within ...", then `more`
// when given): in words on stderr, and with --json as the object on stdout.
// `text` replaces the words of the result's class (and is needed for
// tovra-cli's own failures). Returns the exit status.
int fn_fail(const CliArgs *a, const char *step, int result, const char *text, const char *more)
{
    const CliFailure &f = fn_failure(result);
    char words[ciTextSize];
    if (text)
        std::snprintf(words, sizeof words, "%s", text);
    else
        fn_words(result, words, sizeof words);
    char message[2 * ciTextSize];
    std::snprintf(message, sizeof message, "%s%s%s%s%s", step ? step : "", step ? ": " : "", words,
                  more ? " " : "", more ? more : "");
    std::fprintf(stderr, "tovra-cli: %s\n", message);
    if (a->json) {
        fn_json_head(a, false);
        std::printf(",\"error\":\"%s\",\"exit\":%d", f.kind, f.exit);
        if (result < 0)
            std::printf(",\"result\":%d", result);
        std::printf(",\"message\":");
        fn_json_string(stdout, message);
        std::printf("}\n");
    }
    return f.exit;
}

// ============================================================ The port

// Opens the port with the command's line settings, as the window's open
// does (a close line, then the open report in the log). 0 or the exit status.
int fn_open(const CliArgs *a)
{
    char text[ciTextSize];
    mf_Tovra_UMB_Port__Close(ciPORT_umb, text, sizeof text);
    gvIDd = a->line.ID;
    int r = mf_Tovra_UMB_Port__Open(ciPORT_umb, &a->line, text, sizeof text);
    return r < 0 ? fn_fail(a, nullptr, r, text, nullptr) : 0;
}

int fn_close(int status)
{
    char text[ciTextSize];
    mf_Tovra_UMB_Port__Close(ciPORT_umb, text, sizeof text);
    return status;
}

// ============================================================ ports

struct PortsOut {
    const CliArgs *args;
    int count;
};

// One port: 5<TAB>/dev/ttyUSB0<TAB>Prolific ... (COM5), or a JSON item; a
// port the user may not open says so after its name, as the window does.
void fn_print_port(int com, const char *line, int permitted, void *data)
{
    PortsOut *out = static_cast<PortsOut *>(data);
    char name[16];
    char path[ciPathSize];
    std::snprintf(name, sizeof name, "COM%d", com);
    if (ComDevicePath(name, path, sizeof path) != 0)
        path[0] = '\0';
    if (out->args->json) {
        std::printf("%s{\"com\":%d,\"path\":", out->count ? "," : "", com);
        fn_json_string(stdout, path);
        std::printf(",\"name\":");
        fn_json_string(stdout, line);
        std::printf(",\"permission\":%s}", permitted ? "true" : "false");
    } else {
        std::printf("%d\t%s\t%s\n", com, path, line);
    }
    ++out->count;
}

} // namespace

// The search writes its files into the current folder, as the window's does;
// here that is a private temporary folder (removed afterwards) unless
// --files names one, where they stay.
int mf_Tovra_CLI__Ports(const CliArgs *a)
{
    char home[ciPathSize];
    char temp[ciPathSize] = "";
    if (GetFullPathFromCurrentDir(".", home, sizeof home) != 0 ||
        (!a->files && FileMakeTempDir(temp, sizeof temp) != 0))
        return fn_fail(a, "ports", ciResultLocal, "cannot make a temporary folder", nullptr);
    const char *folder = a->files ? a->files : temp;
    // A folder that cannot take the files would list no port, as if there
    // were none, or the ports of an earlier search.
    bool written = FileChangeDir(folder) == 0 && mf_Tovra_ComSearch__Files() == 0;
    if (written) {
        if (a->json) {
            fn_json_head(a, true);
            std::printf(",\"ports\":[");
        }
        PortsOut out = {a, 0};
        mf_Tovra_ComSearch__Probe(fn_print_port, &out);
        if (a->json)
            std::printf("]}\n");
    }
    FileChangeDir(home);
    if (!a->files)
        FileRemoveDir(temp);
    if (written)
        return ciExitOK;
    char text[ciPathSize + 64];
    std::snprintf(text, sizeof text, "cannot write the search's files into %s", folder);
    return fn_fail(a, "ports", ciResultLocal, text, nullptr);
}

int mf_Tovra_CLI__Read(const CliArgs *a)
{
    if (int status = fn_open(a))
        return status;
    short values[ciBR_count] = {};
    int r = mf_Tovra_BR__Read(values);
    if (r < 0)
        return fn_close(fn_fail(a, "read BR1, BR2", r, nullptr, nullptr));
    fn_print_values(a, values, "");
    return fn_close(ciExitOK);
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

    BRWT list[ciBRWT_max];
    int n = mf_Tovra_BR__List(values, a->commit, list);
    char done[ciTextSize] = "";
    for (int i = 0; i < n; ++i) {
        bool commit = list[i].address == ciCommitCoil;
        const char *name = commit ? nullptr : caBR_name[list[i].address == caBR_reg[0] ? 0 : 1];
        int r = mf_Tovra_BR__Send(&list[i]);
        if (r < 0) {
            char step[32];
            char more[ciTextSize + 64];
            std::snprintf(step, sizeof step, commit ? "EEPROM command" : "write %s", name);
            // Without the EEPROM command's reply the device may have stored all the same.
            const char *stored = !commit ? "nothing stored"
                                 : mf_Tovra_BR__Commit_Unconfirmed(r) ? csCommitUnconfirmed
                                                                      : "not stored";
            std::snprintf(more, sizeof more, "(%s%s%s)", done, *done ? " written, " : "", stored);
            return fn_close(fn_fail(a, step, r, nullptr, more));
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

} // namespace

// The window's search, run in a plain loop: each step is one probe.
int mf_Tovra_CLI__Find(const CliArgs *a)
{
    static const UMB_Find_IO io = {fn_find_probe, fn_find_note, fn_find_offer, fn_find_end};
    gpFindArgs = a;
    gdFind_Margin = a->limit ? a->limit / 1000.0 : cdFind_MARGIN;
    char text[ciTextSize];
    mf_Tovra_UMB_Port__Close(ciPORT_umb, text, sizeof text);
    if (mf_Tovra_UMB_Find__Start(ciPORT_umb, &a->line, &io) < 0)
        return fn_fail(a, "find", ciResultLocal, "a search is already running", nullptr);
    while (mf_Tovra_UMB_Find__Step()) {
    }
    const UMB_Find_End &e = gvFindEnd;
    switch (e.how) {
    case ciFind_FOUND: {
        const char parity = "NOEMS"[e.line.PARITY];
        if (a->json) {
            fn_json_head(a, true);
            std::printf(",\"baud\":%d,\"parity\":\"%c\",\"data\":8,\"stop\":%d,\"id\":%d}\n",
                        e.line.BR, parity, e.line.STOP, e.id);
        } else {
            std::printf("COM=%d BAUD=%d PARITY=%c DATA=8 STOP=%d ID=%d\n", e.com, e.line.BR, parity,
                        e.line.STOP, e.id);
        }
        return ciExitOK;
    }
    case ciFind_NOT_FOUND:
        // The quick search tried the given slave ID and 1 only: say how to try the others.
        return fn_fail(a, "find", e.garbled ? ciMB_ERR_CRC : ciMB_ERR_TIMEOUT, gsFindText,
                       a->full ? nullptr : "(only slave ID 1 and --id were tried; --full tries 1 to 247)");
    default:
        return fn_fail(a, "find", e.code, nullptr, nullptr);
    }
}
