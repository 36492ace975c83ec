// The device's two baud-rate settings BR1 and BR2: their registers, the
// EEPROM command, and the steps that read and write them, each logged as the
// communication log shows it. No panel: the window paces the steps by its
// write timer, tovra-cli runs them in a row.
#pragma once

#include "app/device_baud.h"

// One entry of a write list: a register write, or with address 0 the
// EEPROM commit carrying 0xFF00.
struct BRWT {
    int address;
    int value;
};

constexpr int ciBR_count = 2;
constexpr unsigned short caBR_reg[ciBR_count] = {0x1101, 0x1102};
constexpr const char *caBR_name[ciBR_count] = {"BR1", "BR2"};
constexpr unsigned short ciCommitCoil = 0;
constexpr int ciCommitValue = 0xFF00;
constexpr double cdCommitWait = 0.5; // the device stores before it replies
constexpr int ciBRWT_max = ciBR_count + 1;

// Logs "r BR1, BR2" and reads both registers into values.
// 0, or the negative result of the exchange.
int mf_Tovra_BR__Read(short values[ciBR_count]);
// The write list: register i with values[i] for each values[i] >= 0, then
// the EEPROM command when commit is 1. Logs the list (a line of hyphens,
// one line per entry, an empty line). Returns the number of entries.
int mf_Tovra_BR__List(const int values[ciBR_count], int commit, BRWT list[ciBRWT_max]);
// Sends one entry of a write list, after logging "w BR1", "w BR2" or
// "cmd Write EEPROM". 0, or the negative result of the exchange.
int mf_Tovra_BR__Send(const BRWT *entry);

// A failed EEPROM command whose reply is missing, late or garbled: the
// device may have stored all the same. 1 for such a result, else 0.
int mf_Tovra_BR__Commit_Unconfirmed(int result);
constexpr const char *csCommitUnconfirmed =
    "storing not confirmed: the device may have stored the values; read them back";

// Compares the read-back `back` with the register entries of a write list:
// -1 when all match, else the register index (0 BR1, 1 BR2) of the first
// difference, with the value written in `wrote`.
int mf_Tovra_BR__Verify(const BRWT *list, int n, const short back[ciBR_count], short *wrote);
// The words of a difference, printf format: register name, read back, written.
constexpr const char *csVerifyDiffers = "Write NG : %s reads back %d, not %d";
// A Write ended before its list (the program closing): logs what was
// written and what was not sent, from entry `next` on.
void mf_Tovra_BR__Log_Stopped(const BRWT *list, int n, int next);

// The register value that stands for a baud rate, -1 when the device's
// table has none; and the baud rate of a register value, 0 for none.
int mf_Tovra_BR__Index(long baud);
long mf_Tovra_BR__Baud(int value);
