// Serial port services: logical port numbers over real serial devices.
// Implemented over Qt SerialPort; callers see plain functions only.
#pragma once

// Failure codes; GetRS232ErrorString gives the text of each.
enum {
    kComErrAbsent = -1,     // the device does not exist
    kComErrNotMapped = -2,  // the COM name maps to no device
    kComErrPermission = -3, // the user may not open the device
    kComErrBusy = -4,       // another program holds the device
    kComErrSettings = -5,   // the device refused the line settings
    kComErrIo = -6,         // input/output error on an open port
    kComErrNotOpen = -7,    // the logical port is not open
    kComErrBadArg = -8,     // logical port number or argument out of range
    kComErrLost = -9,       // the device went away while the port was open
    kComErrNoRS485 = -10,   // the driver has no RS-485 mode (a pseudo-terminal, most adapters)
};

// Parity codes.
enum { kParityNone = 0, kParityOdd = 1, kParityEven = 2, kParityMark = 3, kParitySpace = 4 };

// Open `deviceName` ("COMn", or a device path) under the logical port with
// the given line settings; queue sizes of 0 leave them to the library.
int OpenComConfig(int port, const char *deviceName, long baudRate, int parity,
                  int dataBits, int stopBits, int inputQueueSize, int outputQueueSize);
// Open with the default settings (9600, no parity, 8 data bits, 1 stop bit).
int OpenCom(int port, const char *deviceName);
// What an open of `deviceName` would meet, judged without opening it: 0
// (free, or held by this program), kComErrPermission, kComErrBusy (another
// live program's lock file), kComErrAbsent or kComErrNotMapped. A program
// that holds a port without a lock file is not seen (Linux), nor is any
// holder on Windows: such a port counts as free.
int ComCheckFree(const char *deviceName);
// Release the port; closing a port that is not open is harmless.
int CloseCom(int port);
// Time limit of every later read and write on the port (default 10 s).
int SetComTime(int port, double seconds);
// The port's time limit in seconds, into *seconds. 0 or kComErrNotOpen.
int GetComTime(int port, double *seconds);
int FlushInQ(int port);
// Bytes received and not yet read, without waiting; a negative code on failure.
int GetInQLen(int port);
// The line settings the port was opened with. 0, or kComErrNotOpen.
int GetComLine(int port, long *baudRate, int *parity, int *dataBits, int *stopBits);
// Seconds since the last byte came in on the port, after taking in what the
// driver holds (bytes found there count as come now); a large value when
// none came since the port opened. A negative code when the port is not open.
double ComSinceLastByte(int port);
int FlushOutQ(int port);
// Returns the number of bytes written within the time limit, or a negative code.
int ComWrt(int port, const char *buffer, int count);
// Returns as soon as `count` bytes are in; fewer (0 for none) at the time
// limit; a negative code on a port failure. Surplus bytes stay queued.
int ComRd(int port, char *buffer, int count);
// ComRd with its own time limit in seconds instead of the port's.
int ComRdWithin(int port, char *buffer, int count, double seconds);
// The kernel's RS-485 mode (RTS high while sending, low to receive) on or
// off, where the driver has one. 0, kComErrNoRS485, or kComErrNotOpen.
int ComSetRS485(int port, int on);
const char *GetRS232ErrorString(int code);

// Called once, from the event loop and never inside a handler, when the
// device behind an open port goes away (an adapter pulled out, the other end
// of a pseudo-terminal closed). The port is closed by then; `deviceName` is
// the name it was opened with.
typedef void (*ComLostCallbackPtr)(int port, const char *deviceName, int code);
void SetComLostCallback(ComLostCallbackPtr fn);

// COM-port naming: resolve "COMn" to a device path, bounded by size.
// Returns 0, or kComErrNotMapped.
int ComDevicePath(const char *deviceName, char *path, int size);
// The COM number under which the device at `path` (a /dev/serial/by-id
// link, /dev/ttyUSB0) is reached: a port-map link to the same device first,
// as "COMn" resolves, else the fixed ranges. 0 when it has none.
int ComNumberOfPath(const char *path);
// The port-map folder: $TOVRA_PORTS_DIR, else ~/.config/tovra/ports.
int ComPortMapDir(char *path, int size);
// Makes a relative $TOVRA_PORTS_DIR absolute against the current folder,
// for a program that changes its folder afterwards. 0, or -1.
int ComPortMapDirPin(void);
