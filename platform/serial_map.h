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

// What stands at a port map's COMn: nothing, a link (even a dangling one),
// or the link of a simulator that is gone.
enum ComLink { ciComLinkNone, ciComLinkLive, ciComLinkStale };
typedef ComLink (*ComLinkStateFn)(const char *path);
// "COMn" -> device path: a link COMn in mapDir wins, else the fixed ranges
// ttyS0-31 = COM1-32, ttyUSB0-63 = COM33-96, ttyACM0-31 = COM97-128. A
// stale link maps to nothing: the COMn it stood for is the simulator's, not
// the fixed device's. A name starting with '/' is a device path already.
// False when unmapped. On Windows the name is the system's own and is
// returned unchanged.
bool ComResolveName(const char *name, const char *mapDir, ComLinkStateFn linkState, char *out,
                    int size);
// What stands at path in the port map.
ComLink ComLinkState(const char *path);
// The COM number of "COMn" (1..256), or 0 when the name is not of that form.
int ComNumberOfName(const char *name);

// COM number of a device path by the fixed ranges ("/dev/ttyUSB0" -> 33),
// 0 outside them.
int ComNumberOfDevice(const char *path);

// What the device list knows of one present device.
struct DeviceFacts {
    const char *manufacturer; // "" when unknown
    const char *description;  // "" when unknown
    const char *kernelName;   // "ttyUSB0", "pts/3"; "" for a device that is no port
    int vendorId;             // USB vendor, -1 when none
    int com;                  // 1..256, 0 when the device has no COM number
};

// Longest friendly name: the search reads its lines into 256-byte buffers.
constexpr int ciFriendlyNameMax = 255;

// "<manufacturer> <description> [<kernel name>] (COMn)" with the parts the
// device has. With neither manufacturer nor description the kind of port
// stands in ("Communications Port" for a built-in UART, "Virtual serial port"
// for a pseudo-terminal). A Prolific adapter (vendor 0x067b) always carries
// "Prolific". Control characters become spaces, so a name is one line, and
// "(" and ")" in the parts become "[" and "]", so only the tail names a COM
// port; the text is cut, on a UTF-8 boundary, so the whole name fits
// ciFriendlyNameMax bytes with its "[kernel name] (COMn)" intact. Returns the length written.
int DeviceFriendlyName(const DeviceFacts *device, char *out, int size);
