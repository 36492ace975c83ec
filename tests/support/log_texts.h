// Lines of the communication log that tests of several modules expect,
// each written out once.
#pragma once

#include <string>

// The request of "r BR1, BR2" (slave 1, registers 0x1101-0x1102) on the
// program's logical port 222.
inline const std::string kReadBRTx = "\tP222\tMB.Tx\t#01.03 <1101> (0002) {90f7}\tRead\n";

// A write of BR1 = item 5 (19200) and the EEPROM command, each with its
// echo, as one step of the write sequence logs them.
inline const std::string kWriteBR1_5 = "w BR1\n"
                                       "\tP222\tMB.Tx\t#01.06 <1101> [0005] {1d35}\tWrite word\n"
                                       "\tP222\tMB.Rx\t#01.06 <1101> [0005] {1d35}\tWrite word\n\n";
inline const std::string kWriteEeprom = "cmd Write EEPROM\n"
                                        "\tP222\tMB.Tx\t#01.05 <0000> [ff00] {8c3a}\tWrite bit\n"
                                        "\tP222\tMB.Rx\t#01.05 <0000> [ff00] {8c3a}\tWrite bit\n\n";

// The status and log line of a port opened on COMn; settings are parity
// code, data bits and stop bits, e.g. "0-8-1".
inline std::string OpenReport(int com, const char *settings, int baud = 9600)
{
    return "Open Com ( P222, COM" + std::to_string(com) + ", " + std::to_string(baud) + ", " + settings +
           " ), SetComTime : 0.2";
}
