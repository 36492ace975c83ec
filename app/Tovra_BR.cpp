#include "app/Tovra_BR.h"

#include "log/log.h"
#include "modbus/Modbus_API.h"

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
        return mf_Tovra_Modbus_dev_RW_16_delay(5, ciCommitCoil, static_cast<short>(ciCommitValue),
                                               nullptr, cdCommitWait);
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
