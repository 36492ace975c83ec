// Pure parts of the serial layer: COM-port naming and the mapping of line
// settings to Qt's values. Kept apart so they can be tested without a device
// (a pseudo-terminal ignores parity and data bits).
#pragma once

#include <QSerialPort>

struct ComLineSettings {
    QSerialPort::DataBits dataBits;
    QSerialPort::Parity parity;
    QSerialPort::StopBits stopBits;
};

// Parity code 0..4 (none, odd, even, mark, space), data bits 5..8, stop bits
// 1 or 2, baud > 0. False when a value has no mapping.
bool ComMapSettings(long baudRate, int parity, int dataBits, int stopBits, ComLineSettings *out);

// "COMn" -> device path: a link COMn in mapDir wins, else the fixed ranges
// ttyS0-31 = COM1-32, ttyUSB0-63 = COM33-96, ttyACM0-31 = COM97-128.
// A name starting with '/' is a device path already. False when unmapped.
// On Windows the name is the system's own and is returned unchanged.
typedef bool (*ComLinkExistsFn)(const char *path);
bool ComResolveName(const char *name, const char *mapDir, ComLinkExistsFn linkExists, char *out,
                    int size);
// Whether a directory entry (a link, even a dangling one) exists at path.
bool ComLinkExists(const char *path);
// The COM number of "COMn" (1..256), or 0 when the name is not of that form.
int ComNumberOfName(const char *name);
