// The serial link: line settings and slave ID from the main panel, opening
// and closing the port, the status field and the one-register test read.
#pragma once

#include <cstdint>

// Line settings gathered from the panel each time the port opens.
struct UMB_dev {
    int32_t COMx;   // COM port number, opened as "COM%d"
    int32_t BR;     // baud rate in bit/s
    int32_t DATA;   // data bits
    int32_t PARITY; // 0 none, 1 odd, 2 even, 3 mark, 4 space
    int32_t STOP;   // stop bits
    int32_t ID;     // Modbus slave ID
};

// Item i of a line-setting ring stands for entry i of its table. The line
// offers every speed the device's BR1/BR2 can store, so a device moved to
// any of them stays reachable.
constexpr int32_t caBR_umb[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
constexpr int ciBR_umb_count = sizeof caBR_umb / sizeof caBR_umb[0];
constexpr int32_t caDATA_umb[] = {7, 8};
constexpr int32_t caSTOP_cmb[] = {1, 2};

// Status field colours.
constexpr int ciMsgRed = 0xFF0000;
constexpr int ciMsgGreen = 0x008000;
constexpr int ciMsgBlue = 0x0000FF;
constexpr int ciMsgBlack = 0x000000;

int mf_Tovra_UMB_dev__GV(UMB_dev *dev);
// Puts a record's settings into the controls; the port is not touched.
int mf_Tovra_UMB_dev__SV(const UMB_dev *dev);
int mf_Tovra_UMB_dev_BR__SV(int baud);
int mf_Tovra_UMB_dev_BR__GV(void);
int mf_Tovra_UMB_dev_DATA__SV(int bits);
int mf_Tovra_UMB_dev_DATA__GV(void);
int mf_Tovra_UMB_dev_STOP__SV(int bits);
int mf_Tovra_UMB_dev_STOP__GV(void);

int mf_Tovra_UMB_ComPort__Open(int port, const UMB_dev *dev, int show);
int mf_Tovra_UMB_ComPort__Close(int port);
// The close text in the status field, black, as a close shows it (no log line).
int mf_Tovra_UMB_ComPort__Show_Closed(int port);
int mf_Tovra_UMB_dev_TG_ComP__Button(void);

int mf_Tovra_msg_comm__SV(const char *text);
int mf_Tovra_msg_comm__SCV(int colour, const char *text);
// Names a failure (an exchange's result or a serial port code) in plain
// words in the status field's tooltip and accessible description, where it
// stays until the next failure; the status text itself is left as it is.
int mf_Tovra_msg_comm__Why(int result);
// The same, followed by `more` ("...; storing not confirmed: ...").
int mf_Tovra_msg_comm__Why_more(int result, const char *more);

// Handlers bound by the resource file.
int evTovra_UMB_vCOMx(int panel, int control, int event, void *data, int d1, int d2);
int evTovra_UMB_BR(int panel, int control, int event, void *data, int d1, int d2);
int evTovra_UMB_DATA(int panel, int control, int event, void *data, int d1, int d2);
int evTovra_UMB_PARITY(int panel, int control, int event, void *data, int d1, int d2);
int evTovra_UMB_STOP(int panel, int control, int event, void *data, int d1, int d2);
int evTovra_UMB_ComPort_TG(int panel, int control, int event, void *data, int d1, int d2);
int evTovra_UMB_ID(int panel, int control, int event, void *data, int d1, int d2);
int evTovra_UMB_Read(int panel, int control, int event, void *data, int d1, int d2);
int evTovra_MsgCommSet(int panel, int control, int event, void *data, int d1, int d2);
int evTovra_UART_MB(int panel, int control, int event, void *data, int d1, int d2);
int evTovra_UMB_ComPort(int panel, int control, int event, void *data, int d1, int d2);
