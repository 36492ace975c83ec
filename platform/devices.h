// The list of present devices: one friendly name per device, as the port
// search reads them. On Linux the serial ports of Qt SerialPort's enumeration
// and the links of the port map, named by the COM-port naming, then the
// other USB devices by product name; on Windows SetupAPI's friendly names.
#pragma once

// Writes the friendly name of every present device into fileName, one a
// line ended by "\n", in a stable order. Returns 0, or -1 when the file
// cannot be created. When the platform cannot list its devices the file is
// left as it was.
//
// With the environment variable TOVRA_PORTS_ONLY=1 the list holds the links
// of the port map only: the computer's own ports and USB devices are neither
// listed nor, so, probed by a search (tests, demos, scripts).
int DumpPresentDevices(const char *fileName);
// Whether TOVRA_PORTS_ONLY=1: the port map is the whole list.
int DevicesPortsOnly(void);

// The group whose members may open the port named `comName` ("COMn"), when
// its device grants its group reading and writing: "dialout" for a USB
// adapter. "" when no group would help. 0, or -1 when the name leads to no
// device.
int DeviceAccessGroup(const char *comName, char *groupName, int size);

// Starts gathering the computer's serial ports on a helper thread and
// returns at once; the next DumpPresentDevices takes that list instead of
// gathering again. Start-up calls it before it loads the window, so the
// gathering (libudev walks every tty of the system) overlaps the loading.
// Returns 0.
int PrefetchPresentDevices(void);

// Test seam: while names is set, DumpPresentDevices writes these `count`
// names instead of the computer's. nullptr restores the computer's list.
void SetDeviceListHook(const char *const *names, int count);

// The platform's own list, without the seam (devices.cpp on Linux,
// devices_win.cpp on Windows).
int DumpSystemDevices(const char *fileName);
