#include "modbus/Modbus_words.h"

#include "modbus/Modbus_codes.h"
#include "modbus/Modbus_text.h"
#include "platform/serial.h"

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

enum WhyArg { ciWhyNone, ciWhyCount, ciWhyLimit };

struct ResultWhy {
    int result;
    WhyArg arg; // what the format's one number is
    const char *format;
};

const ResultWhy caResultWhy[] = {
    {ciMB_ERR_TIMEOUT, ciWhyLimit,
     "no reply within %.3g s: check the cable, the slave ID and the line settings"},
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
    {ciMB_ERR_ACK, ciWhyNone,
     "acknowledgement of another address or value: a late reply to an earlier request"},
    {ciMB_ERR_WRITE, ciWhyNone, "the port took only part of the request: check the adapter"},
    {ciMB_ERR_OP, ciWhyNone, "request not sent: function code not handled"},
    {ciMB_ERR_RANGE, ciWhyNone, "request not sent: beyond one exchange"},
    {kComErrLost, ciWhyNone, "the port was lost: the adapter was disconnected"},
    {ciMB_ERR_ECHO, ciWhyNone, "the adapter echoes what it sends (two-wire RS-485)"},
};

} // namespace

const char *mf_Tovra_MB_Exception__Why(int code)
{
    const char *meaning = code >= 0 && code < ciExceptionWhyCount ? caExceptionWhy[code] : nullptr;
    return meaning ? meaning : "unknown to Modbus";
}

static const char *fn_english(const char *english)
{
    return english;
}

void mf_Tovra_MB_Result__Why(int result, int count, double limit, char *text, int size)
{
    mf_Tovra_MB_Result__Why_in(result, count, limit, fn_english, text, size);
}

void mf_Tovra_MB_Result__Why_in(int result, int count, double limit, MB_TranslatePtr translate,
                                char *text, int size)
{
    MB_Text t = mf_MB_Text(text, size);
    for (const ResultWhy &w : caResultWhy)
        if (w.result == result) {
            if (w.arg == ciWhyLimit)
                mf_MB_Put(t, translate(w.format), limit);
            else
                mf_MB_Put(t, translate(w.format), count);
            return;
        }
    if (result <= ciMB_ERR_EXCEPTION) {
        int code = ciMB_ERR_EXCEPTION - result;
        mf_MB_Put(t, translate("the device refused: exception %d, %s"), code,
                  mf_Tovra_MB_Exception__Why(code));
    } else if (result < 0) {
        mf_MB_Put(t, translate("the serial port failed: %s"), translate(GetRS232ErrorString(result)));
    }
}
