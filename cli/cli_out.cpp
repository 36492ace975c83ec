// What tovra-cli prints: JSON strings and objects, failures in words and in
// JSON, and the live trace of the frames (-v).
#include "cli/cli.h"

#include <chrono>
#include <cstring>
#include <ctime>

#include "modbus/Modbus_API.h"
#include "modbus/Modbus_core.h"
#include "platform/serial.h"

namespace {

constexpr int ciTextSize = 512;

// The length of the valid UTF-8 sequence at s, 0 when there is none: the
// ranges of the second byte exclude overlong forms, surrogates and code
// points beyond U+10FFFF.
int fn_utf8_length(const unsigned char *s)
{
    struct Lead {
        unsigned char first, last; // lead byte range
        int length;
        unsigned char low, high;   // range of the second byte
    };
    static const Lead caLeads[] = {
        {0xC2, 0xDF, 2, 0x80, 0xBF}, {0xE0, 0xE0, 3, 0xA0, 0xBF}, {0xE1, 0xEC, 3, 0x80, 0xBF},
        {0xED, 0xED, 3, 0x80, 0x9F}, {0xEE, 0xEF, 3, 0x80, 0xBF}, {0xF0, 0xF0, 4, 0x90, 0xBF},
        {0xF1, 0xF3, 4, 0x80, 0xBF}, {0xF4, 0xF4, 4, 0x80, 0x8F},
    };
    if (*s < 0x80)
        return 1;
    for (const Lead &l : caLeads) {
        if (*s < l.first || *s > l.last)
            continue;
        if (s[1] < l.low || s[1] > l.high)
            return 0;
        for (int i = 2; i < l.length; ++i)
            if ((s[i] & 0xC0) != 0x80)
                return 0;
        return l.length;
    }
    return 0;
}

// A class of results: its exit status, its name in JSON.
struct CliFailure {
    int low;
    int high;
    int exit;
    const char *kind;
};

constexpr CliFailure caFailures[] = {
    {ciResultLocal, ciResultLocal, ciExitOther, "local"},
    {ciResultVerify, ciResultVerify, ciExitVerify, "verify"},
    {ciResultUsage, ciResultUsage, ciExitUsage, "usage"},
    {ciMB_ERR_TIMEOUT, ciMB_ERR_TIMEOUT, ciExitNoReply, "no-reply"},
    {ciMB_ERR_CRC, ciMB_ERR_CRC, ciExitBadReply, "bad-reply"},
    {ciMB_ERR_LENGTH, ciMB_ERR_LENGTH, ciExitBadReply, "bad-reply"},
    {ciMB_ERR_ACK, ciMB_ERR_SLAVE, ciExitBadReply, "bad-reply"},
    {ciMB_ERR_ECHO, ciMB_ERR_ECHO, ciExitBadReply, "echo"},
    {ciMB_ERR_EXCEPTION - 255, ciMB_ERR_EXCEPTION, ciExitException, "exception"},
    {ciMB_ERR_WRITE, ciMB_ERR_WRITE, ciExitPort, "port"},
    {kComErrNoRS485, kComErrAbsent, ciExitPort, "port"},
};
constexpr CliFailure cFailureOther = {0, 0, ciExitOther, "other"};

const CliFailure &fn_failure(int result)
{
    for (const CliFailure &f : caFailures)
        if (result >= f.low && result <= f.high)
            return f;
    return cFailureOther;
}

// What the live trace adds to a reply that failed.
struct TraceWhy {
    int result;
    const char *text;
};

constexpr TraceWhy caTraceWhy[] = {
    {ciMB_ERR_CRC, "wrong checksum"},
    {ciMB_ERR_LENGTH, "wrong length"},
    {ciMB_ERR_ECHO, "the request's own echo"},
};

constexpr const char *caTraceKind[] = {"tx", "rx", "echo", "late"};

void fn_trace_frame(int kind, const unsigned char *bytes, int n, int result)
{
    using namespace std::chrono;
    auto now = system_clock::now();
    std::time_t seconds = system_clock::to_time_t(now);
    std::tm local = *std::localtime(&seconds);
    long ms = static_cast<long>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    long msOfDay = ((local.tm_hour * 60L + local.tm_min) * 60L + local.tm_sec) * 1000L + ms;
    char text[4 * ciMB_RX_BUF];
    mf_Tovra_CLI__Trace_text(msOfDay, kind, bytes, n, result, text, sizeof text);
    std::fputs(text, stderr);
}

} // namespace

void mf_Tovra_CLI__Json_string(FILE *out, const char *text)
{
    std::fputc('"', out);
    for (const unsigned char *c = reinterpret_cast<const unsigned char *>(text); *c;) {
        int n = fn_utf8_length(c);
        if (n == 0)
            std::fprintf(out, "\\udc%02x", *c);
        else if (*c == '"' || *c == '\\')
            std::fprintf(out, "\\%c", *c);
        else if (*c < 0x20)
            std::fprintf(out, "\\u%04x", *c);
        else
            std::fwrite(c, 1, static_cast<size_t>(n), out);
        c += n ? n : 1;
    }
    std::fputc('"', out);
}

void mf_Tovra_CLI__Json_head(const CliArgs *a, bool ok)
{
    std::printf("{\"command\":");
    if (a->command)
        mf_Tovra_CLI__Json_string(stdout, a->command->name);
    else
        std::printf("null");
    std::printf(",\"ok\":%s", ok ? "true" : "false");
    if (a->port[0]) {
        std::printf(",\"port\":");
        mf_Tovra_CLI__Json_string(stdout, a->port);
    } else if (a->line.COMx) {
        std::printf(",\"com\":%d", a->line.COMx);
    }
}

int mf_Tovra_CLI__Fail(const CliArgs *a, const char *step, int result, const char *text,
                       const char *more, double limit)
{
    const CliFailure &f = fn_failure(result);
    char words[ciTextSize];
    if (text)
        std::snprintf(words, sizeof words, "%s", text);
    else
        mf_Tovra_MB_Result__Why(result, giMB_RxCount, limit, words, sizeof words);
    if (!*words)
        std::snprintf(words, sizeof words, "failed with code %d", result);
    else if (result == ciMB_ERR_ECHO && !text)
        std::strncat(words, ": use --echo", sizeof words - std::strlen(words) - 1);
    char message[2 * ciTextSize + ciCli_PathSize];
    std::snprintf(message, sizeof message, "%s%s%s%s%s", step ? step : "", step ? ": " : "", words,
                  more ? " " : "", more ? more : "");
    std::fprintf(stderr, "tovra-cli: %s\n", message);
    if (result == ciResultUsage) {
        mf_Tovra_CLI__Synopsis(a->command, stderr);
        std::fprintf(stderr, "Try 'tovra-cli %s%s--help'.\n", a->command ? a->command->name : "",
                     a->command ? " " : "");
    }
    if (a->json) {
        mf_Tovra_CLI__Json_head(a, false);
        std::printf(",\"error\":\"%s\",\"exit\":%d", f.kind, f.exit);
        if (result < 0)
            std::printf(",\"result\":%d", result);
        std::printf(",\"message\":");
        mf_Tovra_CLI__Json_string(stdout, message);
        std::printf("}\n");
    }
    return f.exit;
}

void mf_Tovra_CLI__Trace_text(long msOfDay, int kind, const unsigned char *bytes, int n,
                              int result, char *text, size_t size)
{
    size_t len = static_cast<size_t>(std::snprintf(
        text, size, "%02ld:%02ld:%02ld.%03ld %s", msOfDay / 3600000 % 24, msOfDay / 60000 % 60,
        msOfDay / 1000 % 60, msOfDay % 1000, caTraceKind[kind]));
    for (int i = 0; i < n && len < size; ++i)
        len += static_cast<size_t>(std::snprintf(text + len, size - len, " %02x", bytes[i]));
    const char *why = nullptr;
    char exception[32];
    for (const TraceWhy &w : caTraceWhy)
        if (w.result == result)
            why = w.text;
    if (result <= ciMB_ERR_EXCEPTION) {
        std::snprintf(exception, sizeof exception, "exception %d", ciMB_ERR_EXCEPTION - result);
        why = exception;
    }
    char other[32];
    if (!why && result < 0) {
        std::snprintf(other, sizeof other, "result %d", result);
        why = other;
    }
    if (kind == ciMB_FRAME_RX && n == 0)
        why = "nothing";
    else if (kind == ciMB_FRAME_ECHO || kind == ciMB_FRAME_LATE)
        why = "dropped";
    if (len < size)
        std::snprintf(text + len, size - len, "%s%s%s\n", why ? "  (" : "", why ? why : "",
                      why ? ")" : "");
}

void mf_Tovra_CLI__Trace_on(void)
{
    gpMB_Frame = fn_trace_frame;
}
