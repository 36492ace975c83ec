#include "modbus/Modbus_reply.h"

#include <cstring>

#include "log/log.h"
#include "modbus/Modbus_crc.h"
#include "modbus/Modbus_text.h"
#include "modbus/Modbus_words.h"

int mf_Tovra_MB_Reply__Len(const unsigned char *request)
{
    switch (request[1]) {
    case 5:
    case 6:
        return 8;
    case 3:
    case 4: {
        int quantity = mf_MB_Word(request + 4);
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
    if ((request[1] == 3 || request[1] == 4) && reply[2] != 2 * mf_MB_Word(request + 4))
        return ciMB_ERR_COUNT;
    if ((request[1] == 5 || request[1] == 6) && n >= 8 && std::memcmp(reply + 2, request + 2, 4) != 0)
        return ciMB_ERR_ACK;
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
        for (int i = 0; i < mf_MB_Word(request + 4); ++i)
            values[i] = (short)mf_MB_Word(reply + 3 + 2 * i);
    return 0;
}

void mf_Tovra_MB_Reply__Diag(unsigned short port, const unsigned char *request,
                             const unsigned char *reply, int n, int result, char *text, int size)
{
    MB_Text t = mf_MB_Text(text, size);
    if (result == 0)
        return;
    mf_MB_Put(t, "\tP%d", port);
    mf_MB_Put(t, "\tMB.Rx\t");
    if (n == 0) {
        mf_MB_Put(t, LOG_MARK " COM read Time-out\n\n");
        return;
    }
    if (n < 0) {
        mf_MB_Put(t, LOG_MARK " COM read NG, err code: %d\n", n);
        mf_MB_Put(t, "\tcheck Help of LW.CVI : ComRd \n");
        return;
    }
    for (int i = 0; i < n; ++i)
        mf_MB_Put(t, "%02x ", reply[i]);
    mf_MB_Put(t, "\n");
    const char *head = "\t" LOG_MARK " Modbus.core: ";
    switch (result) {
    case ciMB_ERR_LENGTH:
        mf_MB_Put(t, "%sException 0930 occured after COM read, n=%d\n", head, n);
        mf_MB_Put(t, "\tPossibility :: If BAUD changed\n");
        mf_MB_Put(t, "\tPossibility :: If using [Ro] to read [R] memory\n");
        mf_MB_Put(t, "\tPossibility :: If using [Wram] or [Wee] to write [Ro] memory\n");
        mf_MB_Put(t, "\tReturn value of ComRd() is num of byte it received.\n");
        mf_MB_Put(t, "\n");
        return;
    case ciMB_ERR_CRC:
        mf_MB_Put(t, "%swrong checksum (%d bytes): another baud rate or parity, or noise on the line\n\n",
               head, n);
        return;
    case ciMB_ERR_SLAVE:
        mf_MB_Put(t, "%sreply from slave %d, not %d: a late reply, or two devices at one ID\n\n", head,
               reply[0], request[0]);
        return;
    case ciMB_ERR_FUNCTION:
        mf_MB_Put(t, "%sreply with function code %d, not %d: a late reply, or another master on the line\n\n",
               head, reply[1], request[1]);
        return;
    case ciMB_ERR_COUNT:
        mf_MB_Put(t, "%sreply with %d data bytes for %d registers, not %d\n\n", head, reply[2],
               mf_MB_Word(request + 4), 2 * mf_MB_Word(request + 4));
        return;
    case ciMB_ERR_ACK:
        mf_MB_Put(t, "%sacknowledgement of %04x=%04x, not %04x=%04x: a late reply to an earlier request\n\n",
                  head, mf_MB_Word(reply + 2), mf_MB_Word(reply + 4), mf_MB_Word(request + 2),
                  mf_MB_Word(request + 4));
        return;
    case ciMB_ERR_ECHO:
        mf_MB_Put(t, "%sthe request came back: the adapter echoes what it sends (two-wire RS-485)\n\n",
               head);
        return;
    default:
        if (result <= ciMB_ERR_EXCEPTION)
            mf_MB_Put(t, "%sexception %d: %s\n\n", head, ciMB_ERR_EXCEPTION - result,
                   mf_Tovra_MB_Exception__Why(ciMB_ERR_EXCEPTION - result));
        return;
    }
}

void mf_Tovra_MB_Late__Diag(unsigned short port, const unsigned char *bytes, int n, int lateMs,
                            const char *raise, char *text, int size)
{
    MB_Text t = mf_MB_Text(text, size);
    if (n <= 0)
        return;
    mf_MB_Put(t, "\tP%d\tMB.Rx\t", port);
    for (int i = 0; i < n; ++i)
        mf_MB_Put(t, "%02x ", bytes[i]);
    mf_MB_Put(t, "\n\t" LOG_MARK " Modbus.core: ");
    if (lateMs < 0)
        mf_MB_Put(t, "%d bytes before the request, answering none: thrown away\n\n", n);
    else
        mf_MB_Put(t, "a reply came %d ms late: the device is slower than the limit%s%s\n\n", lateMs,
                  raise ? "; " : "", raise ? raise : "");
}
