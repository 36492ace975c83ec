// Opening and closing the program's serial port with a set of line
// settings, and the lines the log gets for it, without the panel: the window
// (UART_MB) adds the status field, tovra-cli prints the texts.
#pragma once

#include <cstddef>

#include "serial/UART_MB.h"

constexpr double cdComTime = 0.2; // time limit of every read and write on the port

// "Close COM P222 OK": what a close shows.
int mf_Tovra_UMB_Port__Close_Text(int port, char *text, size_t size);
// Closes the port and logs the close text, which goes into text.
int mf_Tovra_UMB_Port__Close(int port, char *text, size_t size);
// Opens dev's COM port with its line settings and the 0.2 s time limit; the
// port must be closed. On success text holds the open report, which is
// logged; on failure the negative code is returned, the failure is logged
// with the alarm mark, and text says why ("Open COM5 NG : ...").
int mf_Tovra_UMB_Port__Open(int port, const UMB_dev *dev, char *text, size_t size);
// The same for a device named otherwise: "COM5", or a device path.
int mf_Tovra_UMB_Port__Open_Device(int port, const char *name, const UMB_dev *dev, char *text,
                                   size_t size);
