// Find device on the main panel. Each probe of the search is one step posted
// to the event loop, so between probes the window paints, the progress bar
// moves and a Cancel is taken; no thread is needed. While the search owns
// the port, everything else that would use it is greyed out.
#include "serial/UMB_find_panel.h"

#include <cstdio>

#include "log/log.h"
#include "modbus/Modbus_API.h"
#include "model/model.h"
#include "platform/serial.h"
#include "platform/ui.h"
#include "serial/UART_MB.h"
#include "serial/UMB_find.h"

namespace {

constexpr int ciFindCancel = 61;
constexpr int ciFindProgress = 62;
constexpr int ciTimerWrite = 1; // Timer_X index of the write-pacing timer
constexpr int caFindGreyed[] = {11, 13}; // the serial-line and device groups

void fn_busy(int on)
{
    for (int group : caFindGreyed)
        SetCtrlAttribute(gvTovra_COMM, group, ATTR_DIMMED, on);
    SetCtrlVal(gvTovra_COMM, ciFindProgress, 0);
    SetCtrlAttribute(gvTovra_COMM, ciFindProgress, ATTR_VISIBLE, on);
    SetCtrlAttribute(gvTovra_COMM, ciFindCancel, ATTR_VISIBLE, on);
}

void fn_step(void *)
{
    if (mf_Tovra_UMB_Find__Step())
        PostDeferredCall(fn_step, nullptr);
}

void fn_on_probe(int sent, int total, const char *text)
{
    SetCtrlVal(gvTovra_COMM, ciFindProgress, sent * 100 / total);
    mf_Tovra_msg_comm__SCV(ciMsgBlue, text);
}

void fn_on_note(const char *text)
{
    logs("%s\n", text);
}

int fn_on_offer(const char *question)
{
    return ConfirmPopup("Find device", question);
}

// Found: the panel takes the settings and opens the port the ordinary way,
// so the log holds the usual open report. Otherwise the port is brought
// back as the toggle says, and the panel is as it was.
void fn_on_end(const UMB_Find_End *end, const char *text)
{
    fn_busy(0);
    if (end->how == ciFind_FOUND) {
        UMB_dev found = {end->com, end->line.BR, 8, end->line.PARITY, end->line.STOP, end->id};
        mf_Tovra_UMB_dev__SV(&found);
        gvIDd = end->id;
        mf_Tovra_TGBT_X__SV(0, 1);
    }
    if (mf_Tovra_TGBT_X__GV(0) == 1)
        mf_Tovra_UMB_dev_TG_ComP__Button();
    if (end->how == ciFind_FOUND && mf_Tovra_TGBT_X__GV(0) != 1)
        return; // the open failed, and its status says why
    switch (end->how) {
    case ciFind_FOUND:
        mf_Tovra_msg_comm__SCV(ciMsgGreen, text);
        break;
    case ciFind_CANCELLED:
        mf_Tovra_msg_comm__SCV(ciMsgBlack, text);
        break;
    default:
        if (end->how == ciFind_FAILED && end->code == kComErrLost) {
            // The port went away under the search: say so as a lost port is
            // shown anywhere else, not as the search's own failure.
            char lost[128];
            std::snprintf(lost, sizeof lost, "COM%d lost: %s", end->com,
                          GetRS232ErrorString(kComErrLost));
            mf_Tovra_msg_comm__SCV(ciMsgRed, lost);
        } else {
            mf_Tovra_msg_comm__SCV(ciMsgRed, text);
        }
        if (end->how == ciFind_FAILED)
            mf_Tovra_msg_comm__Why(end->code);
        break;
    }
}

const UMB_Find_IO cFindIO = {fn_on_probe, fn_on_note, fn_on_offer, fn_on_end};

} // namespace

int evTovra_UMB_Find(int, int, int event, void *, int, int)
{
    if (event != EVENT_COMMIT)
        return 0;
    // A Write under way keeps the port until its EEPROM command is through.
    if (mf_Tovra_Timer_X__GA_i32(ciTimerWrite, ATTR_ENABLED) == 1) {
        mf_Tovra_msg_comm__SCV(ciMsgRed, "Find not started: a Write is under way");
        return 0;
    }
    UMB_dev dev;
    mf_Tovra_UMB_dev__GV(&dev);
    if (mf_Tovra_UMB_Find__Start(ciPORT_umb, &dev, &cFindIO) < 0)
        return 0;
    fn_busy(1);
    PostDeferredCall(fn_step, nullptr);
    return 0;
}

int evTovra_UMB_Find_Cancel(int, int, int event, void *, int, int)
{
    if (event == EVENT_COMMIT)
        mf_Tovra_UMB_Find__Cancel();
    return 0;
}
