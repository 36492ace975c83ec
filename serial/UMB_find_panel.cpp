// Find device on the main panel. Each probe of the search is one step posted
// to the event loop, so between probes the window paints, the progress bar
// moves and a Cancel is taken; no thread is needed. While the search owns
// the port, everything else that would use it is greyed out.
#include "serial/UMB_find_panel.h"

#include <cstdio>

#include "lang/Lang_API.h"
#include "lang/Lang_DB.h"
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
    // The bar repaints at once, the status field only when the loop runs
    // again, after the probe: paint it now, or it lags one probe behind.
    Delay(0.0);
}

void fn_on_note(const char *text)
{
    logs("%s\n", text);
}

int fn_on_offer(const char *question)
{
    return ConfirmPopup(mf_Tovra_Lang__S(ciS_FindDevice), question);
}

// The search speaks the operator's language of the moment it starts.
void fn_words(void)
{
    static UMB_Find_Words words;
    words = {mf_Tovra_Lang__S(ciS_FindProbe),     mf_Tovra_Lang__S(ciS_Found),
             mf_Tovra_Lang__S(ciS_NotFound),      mf_Tovra_Lang__S(ciS_NotFoundGarbled),
             mf_Tovra_Lang__S(ciS_FindCancelled), mf_Tovra_Lang__S(ciS_FindNG),
             mf_Tovra_Lang__S(ciS_FindQuestion),  mf_Tovra_Lang__S(ciS_FindDuration),
             mf_Tovra_Lang__S(ciS_NotFoundLate),  mf_Tovra_Lang__S(ciS_NotFoundOtherId),
             mf_Tovra_Lang__S(ciS_NotFoundUnconfirmed)};
    mf_Tovra_UMB_Find__Words(&words);
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
            char lost[256];
            char name[16];
            std::snprintf(name, sizeof name, "COM%d", end->com);
            std::snprintf(lost, sizeof lost, mf_Tovra_Lang__S(ciS_Lost), name,
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
        mf_Tovra_msg_comm__SCV(ciMsgRed, mf_Tovra_Lang__S(ciS_FindNotStarted));
        return 0;
    }
    UMB_dev dev;
    mf_Tovra_UMB_dev__GV(&dev);
    fn_words();
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
