// The baud rate that each value of the device's BR1/BR2 registers stands
// for. The register holds the item index of its selector in the window, so
// the selectors' items and the simulator follow this one table.
#pragma once

constexpr int ciBR_dev_count = 8;
constexpr long caBR_dev[ciBR_dev_count] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
