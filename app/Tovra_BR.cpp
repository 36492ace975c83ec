#include "app/Tovra_BR.h"

#include <cstdio>

#include "log/log.h"
#include "modbus/Modbus_API.h"
#include "modbus/Modbus_core.h"
#include "platform/serial.h"

namespace {

// The request went out and no valid answer came back: the device may have
// acted. A refusal (exception) or a request never sent is no such case.
constexpr int caCommitUnconfirmed[] = {ciMB_ERR_TIMEOUT, ciMB_ERR_CRC,      ciMB_ERR_LENGTH,
                                       ciMB_ERR_SLAVE,   ciMB_ERR_FUNCTION, ciMB_ERR_COUNT,
                                       ciMB_ERR_ACK,
                                       kComErrIo,        kComErrLost};

int fn_index(const BRWT &entry)
{
    return static_cast<unsigned short>(entry.address) == caBR_reg[0] ? 0 : 1;
}

const char *fn_name(const BRWT &entry)
{
    return static_cast<unsigned short>(entry.address) == ciCommitCoil ? "the EEPROM command"
                                                                      : caBR_name[fn_index(entry)];
}

} // namespace

int mf_Tovra_BR__Read(short values[ciBR_count])
{
    logs("%s\n", "r BR1, BR2");
    return mf_Tovra_Modbus_dev_RW_16(3, caBR_reg[0], ciBR_count, values);
}

int mf_Tovra_BR__List(const int values[ciBR_count], int commit, BRWT list[ciBRWT_max])
{
    logs("%s\n", "--------------");
    int n = 0;
    for (int i = 0; i < ciBR_count; ++i)
        if (values[i] >= 0)
            list[n++] = {caBR_reg[i], values[i]};
    if (commit == 1)
        list[n++] = {ciCommitCoil, ciCommitValue};
    for (int i = 0; i < n; ++i) {
        logi("%04X ", list[i].address);
        logi("%x\n", list[i].value);
    }
    logs("%s\n", "");
    return n;
}

int mf_Tovra_BR__Send(const BRWT *entry)
{
    unsigned short address = static_cast<unsigned short>(entry->address);
    if (address == ciCommitCoil) {
        logs("%s\n", "cmd Write EEPROM");
        int r = mf_Tovra_Modbus_dev_RW_16_delay(5, ciCommitCoil, static_cast<short>(ciCommitValue),
                                                nullptr, cdCommitWait);
        if (mf_Tovra_BR__Commit_Unconfirmed(r))
            logs("\t" LOG_MARK " %s\n", csCommitUnconfirmed);
        return r;
    }
    logs("%s\n", address == caBR_reg[0] ? "w BR1" : "w BR2");
    return mf_Tovra_Modbus_dev_RW_16(6, address, static_cast<short>(entry->value), nullptr);
}

int mf_Tovra_BR__Index(long baud)
{
    for (int i = 0; i < ciBR_dev_count; ++i)
        if (caBR_dev[i] == baud)
            return i;
    return -1;
}

long mf_Tovra_BR__Baud(int value)
{
    return value >= 0 && value < ciBR_dev_count ? caBR_dev[value] : 0;
}

int mf_Tovra_BR__Commit_Unconfirmed(int result)
{
    for (int r : caCommitUnconfirmed)
        if (r == result)
            return 1;
    return 0;
}

int mf_Tovra_BR__Verify(const BRWT *list, int n, const short back[ciBR_count], short *wrote)
{
    for (int i = 0; i < n; ++i) {
        if (static_cast<unsigned short>(list[i].address) == ciCommitCoil)
            continue;
        int k = fn_index(list[i]);
        *wrote = static_cast<short>(list[i].value);
        if (back[k] != *wrote)
            return k;
    }
    return -1;
}

void mf_Tovra_BR__Log_Stopped(const BRWT *list, int n, int next)
{
    char text[256];
    int len = std::snprintf(text, sizeof text, "Write stopped: ");
    for (int i = 0; i < next && i < n; ++i)
        len += std::snprintf(text + len, sizeof text - len, "%s%s", i ? ", " : "", fn_name(list[i]));
    len += std::snprintf(text + len, sizeof text - len, "%s", next > 0 ? " written; " : "nothing written; ");
    for (int i = next; i < n; ++i)
        len += std::snprintf(text + len, sizeof text - len, "%s%s", i > next ? ", " : "", fn_name(list[i]));
    std::snprintf(text + len, sizeof text - len, " not sent");
    logs("%s\n", text);
}
