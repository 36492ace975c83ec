// The serial link. The line settings live in the panel's controls only; they
// are gathered afresh every time the port opens, and every open is preceded
// by a close, so reopening with new settings is always close-then-open.
#include "serial/UART_MB.h"

#include <cstdio>
#include <cstring>

#include "lang/Lang_API.h"
#include "lang/Lang_DB.h"
#include "log/log.h"
#include "modbus/Modbus_API.h"
#include "modbus/Modbus_core.h"
#include "model/model.h"
#include "platform/serial.h"
#include "platform/ui.h"
#include "serial/UMB_port.h"

namespace {

constexpr int ciLostComLine = 882840; // locates the loss of a port in the log
constexpr int ciTextSize = 256;

// A ring whose item index selects an entry of a value table.
struct UMB_Table {
    int ring;
    const int32_t *values;
    int count;
    const char *svTitle;
    const char *gvTitle;
};

const UMB_Table cBR = {0, caBR_umb, ciBR_umb_count, "mf_Tovra_UMB_dev_BR__SV ()", "mf_Tovra_UMB_dev_BR__GV ()"};
const UMB_Table cDATA = {1, caDATA_umb, 2, "mf_Tovra_UMB_dev_DATA__SV ()", "mf_Tovra_UMB_dev_DATA__GV ()"};
const UMB_Table cSTOP = {3, caSTOP_cmb, 2, "mf_Tovra_UMB_dev_STOP__SV ()", "mf_Tovra_UMB_dev_STOP__GV ()"};
constexpr int ciParityRing = 2;
constexpr int ciReasonLine = 63; // the reason of the last failure, under the status field

// The reasons of a failure in the operator's language: the words of the
// Modbus core and of the serial layer are English, and the caption table
// holds their translations.
const char *fn_translate(const char *english)
{
    return mf_Tovra_LangS__Translate(english, giLang);
}

// A serial port's failure: "permission denied (join group dialout)".
void fn_com_text(int code, char *text, int size)
{
    std::snprintf(text, size, "%s", fn_translate(GetRS232ErrorString(code)));
}

// The reason of a failed exchange: "no reply within 0.218 s: check the cable, ...".
void fn_why_text(int result, char *text, int size)
{
    mf_Tovra_MB_Result__Why_in(result, giMB_RxCount, gdMB_Limit, fn_translate, text, size);
}

int TableSV(const UMB_Table &t, int value)
{
    bool found = false;
    for (int i = 0; i < t.count; ++i)
        if (t.values[i] == value) {
            mf_Tovra_Ring_X__SI(t.ring, i);
            found = true;
        }
    if (!found)
        MessagePopup(t.svTitle, "error : value out of array");
    return 0;
}

int TableGV(const UMB_Table &t)
{
    int i = mf_Tovra_Ring_X__GI(t.ring);
    if (i >= 0 && i < t.count)
        return t.values[i];
    MessagePopup(t.gvTitle, "error : out of array");
    return 0;
}

// The device behind the open port went away (an adapter pulled out): the
// serial layer has closed the port; the toggle and the status say so.
void fn_ComPort_Lost(int, const char *deviceName, int code)
{
    mf_Tovra_Log__err_Lost_COM("UART_MB", ciLostComLine, deviceName, code);
    mf_Tovra_TGBT_X__SV(0, 0);
    char why[ciTextSize];
    fn_com_text(code, why, sizeof why);
    char text[2 * ciTextSize];
    std::snprintf(text, sizeof text, mf_Tovra_Lang__S(ciS_Lost), deviceName, why);
    mf_Tovra_msg_comm__SCV(ciMsgRed, text);
    mf_Tovra_msg_comm__Why(code);
}

} // namespace

int mf_Tovra_UMB_dev__GV(UMB_dev *dev)
{
    dev->COMx = mf_Tovra_TIS32_X__GV(0);
    dev->BR = mf_Tovra_UMB_dev_BR__GV();
    dev->DATA = mf_Tovra_UMB_dev_DATA__GV();
    dev->PARITY = mf_Tovra_Ring_X__GI(ciParityRing);
    dev->STOP = mf_Tovra_UMB_dev_STOP__GV();
    dev->ID = mf_Tovra_TIS32_X__GV(1);
    return 0;
}

int mf_Tovra_UMB_dev__SV(const UMB_dev *dev)
{
    mf_Tovra_TIS32_X__SV(0, dev->COMx);
    mf_Tovra_UMB_dev_BR__SV(dev->BR);
    mf_Tovra_UMB_dev_DATA__SV(dev->DATA);
    mf_Tovra_Ring_X__SI(ciParityRing, dev->PARITY);
    mf_Tovra_UMB_dev_STOP__SV(dev->STOP);
    mf_Tovra_TIS32_X__SV(1, dev->ID);
    return 0;
}

int mf_Tovra_UMB_dev_BR__SV(int baud)
{
    return TableSV(cBR, baud);
}

int mf_Tovra_UMB_dev_BR__GV(void)
{
    return TableGV(cBR);
}

int mf_Tovra_UMB_dev_DATA__SV(int bits)
{
    return TableSV(cDATA, bits);
}

int mf_Tovra_UMB_dev_DATA__GV(void)
{
    return TableGV(cDATA);
}

int mf_Tovra_UMB_dev_STOP__SV(int bits)
{
    return TableSV(cSTOP, bits);
}

int mf_Tovra_UMB_dev_STOP__GV(void)
{
    return TableGV(cSTOP);
}

// Every new status clears the reason of the last failure.
int mf_Tovra_msg_comm__SV(const char *text)
{
    SetCtrlVal(gvTovra_COMM, ciReasonLine, "");
    return mf_Tovra_STR_X__SV_str(0, text);
}

int mf_Tovra_msg_comm__SCV(int colour, const char *text)
{
    mf_Tovra_msg_comm__SV(text);
    return mf_Tovra_STR_X__SA_i32(0, ATTR_TEXT_COLOR, colour);
}

int mf_Tovra_msg_comm__Why(int result)
{
    return mf_Tovra_msg_comm__Why_more(result, nullptr);
}

int mf_Tovra_msg_comm__Why_more(int result, const char *more)
{
    char why[2 * ciTextSize];
    fn_why_text(result, why, sizeof why);
    if (more) {
        size_t n = std::strlen(why);
        std::snprintf(why + n, sizeof why - n, "; %s", more);
    }
    SetCtrlVal(gvTovra_COMM, ciReasonLine, why);
    char text[3 * ciTextSize];
    std::snprintf(text, sizeof text, mf_Tovra_Lang__S(ciS_LastFailure), why);
    return mf_Tovra_STR_X__SA_str(0, ATTR_TOOLTIP_TEXT, text);
}

int mf_Tovra_UMB_ComPort__Open(int port, const UMB_dev *dev, int show)
{
    mf_Tovra_UMB_ComPort__Close(port);
    SetComLostCallback(fn_ComPort_Lost);
    char text[ciTextSize];
    int r = mf_Tovra_UMB_Port__Open(port, dev, text, sizeof text);
    if (r < 0) { // the log has it in English; the status in the operator's language
        char name[16];
        char why[ciTextSize];
        std::snprintf(name, sizeof name, "COM%d", dev->COMx);
        fn_com_text(r, why, sizeof why);
        std::snprintf(text, sizeof text, mf_Tovra_Lang__S(ciS_OpenNG), name, why);
    }
    // On failure the close text alone would hide it: say why, in red.
    if (show == 1) {
        mf_Tovra_msg_comm__SCV(r < 0 ? ciMsgRed : ciMsgGreen, text);
        if (r < 0)
            mf_Tovra_msg_comm__Why(r);
    }
    return r;
}

int mf_Tovra_UMB_ComPort__Close(int port)
{
    char text[64];
    mf_Tovra_UMB_Port__Close(port, text, sizeof text);
    mf_Tovra_msg_comm__SCV(ciMsgBlack, text);
    return 0;
}

int mf_Tovra_UMB_ComPort__Show_Closed(int port)
{
    char text[64];
    mf_Tovra_UMB_Port__Close_Text(port, text, sizeof text);
    return mf_Tovra_msg_comm__SCV(ciMsgBlack, text);
}

int mf_Tovra_UMB_dev_TG_ComP__Button(void)
{
    switch (mf_Tovra_TGBT_X__GV(0)) {
    case 0:
        mf_Tovra_UMB_ComPort__Close(ciPORT_umb);
        break;
    case 1: {
        UMB_dev dev;
        mf_Tovra_UMB_dev__GV(&dev);
        gr = mf_Tovra_UMB_ComPort__Open(ciPORT_umb, &dev, 1);
        if (gr < 0)
            mf_Tovra_TGBT_X__SV(0, 0);
        break;
    }
    default:
        break;
    }
    return 0;
}

// Switch the port toggle on and bring the port in line with it.
static int OpenFromToggle()
{
    mf_Tovra_TGBT_X__SV(0, 1);
    return mf_Tovra_UMB_dev_TG_ComP__Button();
}

int evTovra_UMB_vCOMx(int, int, int event, void *, int, int)
{
    if (event != EVENT_COMMIT)
        return 0;
    mf_Tovra_TIS32_X__OOR(0);
    OpenFromToggle();
    return 0;
}

int evTovra_UMB_BR(int, int, int event, void *, int, int)
{
    if (event == EVENT_COMMIT)
        mf_Tovra_UMB_dev_TG_ComP__Button();
    return 0;
}

// New data bits take effect at once on an open port, as a new baud rate
// does; with the port closed they wait for the next open.
int evTovra_UMB_DATA(int, int, int event, void *, int, int)
{
    if (event == EVENT_COMMIT && mf_Tovra_TGBT_X__GV(0) == 1)
        mf_Tovra_UMB_dev_TG_ComP__Button();
    return 0;
}

int evTovra_UMB_PARITY(int, int, int event, void *, int, int)
{
    if (event == EVENT_COMMIT)
        OpenFromToggle();
    return 0;
}

int evTovra_UMB_STOP(int, int, int event, void *, int, int)
{
    if (event == EVENT_COMMIT)
        OpenFromToggle();
    return 0;
}

int evTovra_UMB_ComPort_TG(int, int, int event, void *, int, int)
{
    if (event == EVENT_COMMIT)
        mf_Tovra_UMB_dev_TG_ComP__Button();
    return 0;
}

int evTovra_UMB_ID(int, int, int event, void *, int, int)
{
    if (event != EVENT_COMMIT)
        return 0;
    mf_Tovra_TIS32_X__OOR(1);
    mf_Tovra_TIS32_X__limit(1);
    gvIDd = mf_Tovra_TIS32_X__GV(1);
    return 0;
}

int evTovra_UMB_Read(int, int, int event, void *, int, int)
{
    if (event != EVENT_COMMIT)
        return 0;
    gvIDd = mf_Tovra_TIS32_X__GV(1);
    mf_Tovra_msg_comm__SCV(ciMsgBlue, "---");
    Delay(0.1);
    short value = 0;
    gr = mf_Tovra_Modbus_dev_RW_16(3, 0, 1, &value);
    if (gr < 0) {
        mf_Tovra_msg_comm__SCV(ciMsgRed, "Read NG");
        mf_Tovra_msg_comm__Why(gr);
        return gr;
    }
    char text[64];
    std::snprintf(text, sizeof text, "addr=0x%04X, data=%d", 0u, static_cast<int>(value));
    mf_Tovra_msg_comm__SCV(ciMsgGreen, text);
    return 0;
}

int evTovra_MsgCommSet(int, int, int, void *, int, int)
{
    return 0;
}

int evTovra_UART_MB(int, int, int, void *, int, int)
{
    return 0;
}

int evTovra_UMB_ComPort(int, int, int, void *, int, int)
{
    return 0;
}
