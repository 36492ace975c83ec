// The application shell and the baud-rate sequence.
//
// Read happens inside its handler; its outcome is shown at the next tick of
// the read-result timer. Write only builds a list; the write-pacing timer
// sends one entry per tick: BR1, BR2, then the EEPROM commit.
#include "app/Tovra_main.h"

#include <cstdio>

#include "lang/Lang_API.h"
#include "lang/Lang_DB.h"
#include "log/log.h"
#include "modbus/Modbus_API.h"
#include "modbus/Modbus_core.h"
#include "model/model.h"
#include "platform/files.h"
#include "serial/ComList.h"
#include "serial/UART_MB.h"
#include "serial/UMB_find_panel.h"

#ifndef TOVRA_DATA_DIR
#define TOVRA_DATA_DIR "../share/tovra-comm" // the installed data, relative to bin/
#endif

int giMsg = 0;
BRWT gaBRWT[ciBRWT_max] = {};
int gvNo_WT = 0;
int giWT = 0;
int giVerify_WT = -1;

namespace {

// What the read-result timer shows at its next tick; ciMsgShown: nothing more.
enum { ciMsgPending = 0, ciMsgFailed = 2, ciMsgReadOK = 3, ciMsgShown = 4 };

constexpr int ciPanelResource = 1;
constexpr int ciKeyLaunchLog = 0x0300; // F3, as the platform reports it
constexpr int ciKeyGrave = 96;
constexpr int ciSelectorMaxVisible = 5;

// The selectors (Ring_X index) of the device's two settings, in the order of caBR_reg.
constexpr int caBR_ring[ciBR_count] = {4, 5};
// No selector has this item: a register that a short reply left out shows grey.
constexpr short ciBR_not_read = -1;

enum { ciTimerRead = 0, ciTimerWrite = 1 };
constexpr int ciVerifyBox = 70;

const char *const caPanelPaths[] = {"../gui/Tovra_COMM.ui", TOVRA_DATA_DIR "/gui/Tovra_COMM.ui"};

// Held beside the log for the program's life: one window per working folder.
constexpr const char *caTovra_Lock = "tovra-comm.lock";
constexpr int ciSidAlreadyRuns = 900304; // "Tovra COMM already runs in:"
constexpr int ciSidUseThatWindow = 900305;

// A second program in the folder would empty the first one's log and
// interleave its lines with them: it ends before it writes anything (the
// language is read, not written). The first brings its window to the front
// when asked; one that does not answer (hung) is named in a message box.
// 0 when the folder is this program's, else ciAPP_Forwarded or -1.
int fn_first_in_folder()
{
    int lock = FileHoldLock(caTovra_Lock);
    if (lock == 0)
        UiServeRaiseRequests();
    if (lock != FILE_LOCK_TAKEN)
        return 0;
    char folder[4096] = ".";
    GetFullPathFromCurrentDir("", folder, sizeof folder);
    if (UiRequestRaise() == 0) {
        std::fprintf(stderr, "tovra-comm: Tovra COMM already runs in this folder: %s; its window is in front now\n",
                     folder);
        return ciAPP_Forwarded;
    }
    std::fprintf(stderr, "tovra-comm: Tovra COMM already runs in this folder: %s\n", folder);
    char text[2][ciLangS_Size] = {"", ""};
    int lang = mf_Tovra_Lang__fr_FILE();
    mf_Tovra_LangS__DataBase(ciSidAlreadyRuns, lang, text[0], sizeof text[0]);
    mf_Tovra_LangS__DataBase(ciSidUseThatWindow, lang, text[1], sizeof text[1]);
    char message[sizeof folder + 2 * ciLangS_Size + 4];
    std::snprintf(message, sizeof message, "%s\n%s\n%s", text[0], folder, text[1]);
    MessagePopup("Tovra COMM", message);
    return -1;
}

} // namespace

const UiCallback caTovra_Callbacks[] = {
    {"evTovra_COMM", nullptr, evTovra_COMM, nullptr},
    {"evTovra_Form_COMM", evTovra_Form_COMM, nullptr, nullptr},
    {"evTovra_Read_usr", evTovra_Read_usr, nullptr, nullptr},
    {"evTovra_TM_RW_msg", evTovra_TM_RW_msg, nullptr, nullptr},
    {"evBR_x", evBR_x, nullptr, nullptr},
    {"evWrite", evWrite, nullptr, nullptr},
    {"evTM_W", evTM_W, nullptr, nullptr},
    {"evTovra_Verify", evTovra_Verify, nullptr, nullptr},
    {"evTovra_UMB_vCOMx", evTovra_UMB_vCOMx, nullptr, nullptr},
    {"evTovra_UMB_BR", evTovra_UMB_BR, nullptr, nullptr},
    {"evTovra_UMB_DATA", evTovra_UMB_DATA, nullptr, nullptr},
    {"evTovra_UMB_PARITY", evTovra_UMB_PARITY, nullptr, nullptr},
    {"evTovra_UMB_STOP", evTovra_UMB_STOP, nullptr, nullptr},
    {"evTovra_UMB_ComPort_TG", evTovra_UMB_ComPort_TG, nullptr, nullptr},
    {"evTovra_UMB_ID", evTovra_UMB_ID, nullptr, nullptr},
    {"evTovra_UMB_Read", evTovra_UMB_Read, nullptr, nullptr},
    {"evTovra_UMB_Find", evTovra_UMB_Find, nullptr, nullptr},
    {"evTovra_UMB_Find_Cancel", evTovra_UMB_Find_Cancel, nullptr, nullptr},
    {"evTovra_MsgCommSet", evTovra_MsgCommSet, nullptr, nullptr},
    {"evTovra_UART_MB", evTovra_UART_MB, nullptr, nullptr},
    {"evTovra_UMB_ComPort", evTovra_UMB_ComPort, nullptr, nullptr},
    {"evTovra_CS_GetCom", evTovra_CS_GetCom, nullptr, nullptr},
    {"evTovra_CS_ComList", evTovra_CS_ComList, nullptr, nullptr},
    {"evLANG", nullptr, nullptr, evLANG},
    {"evTovra_Log_Launch", nullptr, nullptr, evTovra_Log_Launch},
};
const int ciTovra_CallbackCount = sizeof caTovra_Callbacks / sizeof caTovra_Callbacks[0];

const char *mf_Tovra_Form_COMM__path(void)
{
    static char path[4096];
    for (const char *candidate : caPanelPaths) {
        if (GetFullPathFromProject(candidate, path, sizeof path) != 0) {
            path[0] = '\0';
            continue;
        }
        if (FILE *f = std::fopen(path, "r")) {
            std::fclose(f);
            return path;
        }
    }
    return path; // the installed location, so a failed load names it
}

int mf_Tovra_Form_COMM__init(void)
{
    UiSetCallbackTable(caTovra_Callbacks, ciTovra_CallbackCount);
    gvTovra_COMM = LoadPanel(0, mf_Tovra_Form_COMM__path(), ciPanelResource);
    if (gvTovra_COMM < 0)
        return gvTovra_COMM;
    SetPanelAttribute(gvTovra_COMM, ATTR_SIZABLE, 1);
    gvIDd = 1;
    mf_Tovra_ComList__set_active();
    mf_Tovra_ComList__Search_WIN32API_Prolific();
    // Nothing is known of the device yet: both selectors show no value (the
    // resource file selects no item) and are grey until a Read or the
    // operator's pick, so a Write cannot store a value nobody chose.
    for (int ring : caBR_ring) {
        mf_Tovra_Ring_X__SA_i32(ring, ATTR_MAX_VISIBLE, ciSelectorMaxVisible);
        mf_Tovra_Ring_X__SA_i32(ring, ATTR_TEXT_BGCOLOR, ciColourInvalidItem);
    }
    char head[8] = "";
    SetCtrlVal(gvTovra_COMM, ciVerifyBox, FileReadHead(caVerifyFile, head, sizeof head) >= 0 &&
                                              head[0] == '1' ? 1 : 0);
    return 0;
}

// Start-up. A resource file that cannot be loaded, or another Tovra COMM in
// the same folder that does not answer, is reported and a negative code
// returned, so the program stops instead of looping windowless.
int mf_APP_Tovra__init(void)
{
    if (int first = fn_first_in_folder(); first != 0)
        return first;
    mf_Tovra_Log__Clear();
    mf_Tovra_Log__Append();
    int r = mf_Tovra_Form_COMM__init();
    if (r < 0) {
        char text[1024];
        std::snprintf(text, sizeof text, "Tovra_COMM.ui: %s\n%s", GetUILErrorString(r), UiLastErrorDetail());
        std::fprintf(stderr, "tovra-comm: %s\n", text);
        MessagePopup("Tovra COMM", text);
        return r;
    }
    // The panel is shown already in the remembered language.
    giLang = mf_Tovra_Lang__fr_FILE();
    mf_Tovra_Lang__SV(giLang);
    mf_Tovra_Lang__Refresh();
    DisplayPanel(gvTovra_COMM);
    mf_Tovra_ComList__Follow();
    return 0;
}

int mf_APP_Tovra__exit(void)
{
    // Closed (or told to end) in the middle of a Write: say how far it got.
    if (giWT < gvNo_WT && mf_Tovra_Timer_X__GA_i32(ciTimerWrite, ATTR_ENABLED) == 1)
        mf_Tovra_BR__Log_Stopped(gaBRWT, gvNo_WT, giWT);
    // A late reply still owed is heard out and logged before the log closes.
    mf_Tovra_MB_Drain(ciPORT_umb, gpLog, 1);
    DiscardPanel(gvTovra_COMM);
    mf_Tovra_Log__Close();
    QuitUserInterface(1);
    return 0;
}

// Shows the log; without a viewer to show it (no xdg-open), the status says so.
static void fn_Log_Launch()
{
    if (mf_Tovra_Log__Launch() < 0)
        mf_Tovra_msg_comm__SCV(ciMsgRed, mf_Tovra_Lang__S(ciS_NoViewer));
}

int evTovra_COMM(int, int event, void *, int d1, int)
{
    if (event == EVENT_CLOSE || (event == EVENT_KEYPRESS && d1 == ciKeyGrave))
        mf_APP_Tovra__exit();
    else if (event == EVENT_KEYPRESS && d1 == ciKeyLaunchLog)
        fn_Log_Launch();
    return 0;
}

// The Log menu's item: what F3 does, for an operator who does not know the key.
void evTovra_Log_Launch(int, int, void *, int)
{
    fn_Log_Launch();
}

int evTovra_Form_COMM(int, int, int, void *, int, int)
{
    return 0;
}

int evTovra_Read_usr(int, int, int event, void *, int, int)
{
    if (event != EVENT_COMMIT)
        return 0;
    giMsg = ciMsgPending;
    mf_Tovra_msg_comm__SV("");
    mf_Tovra_Timer_X__toggle(ciTimerRead, 1);
    short values[ciBR_count] = {ciBR_not_read, ciBR_not_read};
    gr = mf_Tovra_BR__Read(values);
    if (gr < 0) {
        giMsg = ciMsgFailed;
        mf_Tovra_msg_comm__Why(gr);
        return gr;
    }
    giMsg = ciMsgReadOK;
    for (int i = 0; i < ciBR_count; ++i)
        mf_Tovra_Ring_X__SI(caBR_ring[i], values[i]);
    mf_Tovra_Lang__Refresh_Read_Tips();
    return 0;
}

int evTovra_TM_RW_msg(int, int, int event, void *, int, int)
{
    if (event != EVENT_TIMER_TICK)
        return 0;
    if (giMsg == ciMsgFailed || giMsg == ciMsgReadOK) {
        bool ok = giMsg == ciMsgReadOK;
        mf_Tovra_msg_comm__SCV(ok ? ciMsgGreen : ciMsgRed, ok ? "OK" : "NG");
        giMsg = ciMsgShown;
    }
    // After a time-out the timer listens on for the late reply, tick by tick,
    // so the window never waits for it.
    if (giMsg == ciMsgShown && mf_Tovra_MB_Drain(ciPORT_umb, gpLog, 0) == 0)
        mf_Tovra_Timer_X__toggle(ciTimerRead, 0);
    return 0;
}

// The operator's choice is a valid value: a grey selector turns normal.
int evBR_x(int panel, int control, int event, void *, int, int)
{
    if (event != EVENT_COMMIT)
        return 0;
    mf_Tovra_msg_comm__SCV(ciMsgBlue, "");
    int ring = mf_Tovra_Ring_X__who(panel, control);
    if (ring >= 0)
        mf_Tovra_Ring_X__SI(ring, mf_Tovra_Ring_X__GI(ring));
    mf_Tovra_Lang__Refresh_Read_Tips();
    return 0;
}

// A grey selector holds no value the operator chose or the device reported
// (it shows none before the first Read, item 0 after a value outside the
// table); writing it could store 1200 baud into the EEPROM and leave the
// device unreachable. Such a Write sends nothing.
static bool fn_BR_writable()
{
    for (int i = 0; i < ciBR_count; ++i)
        if (!mf_Tovra_Ring_X__valid(caBR_ring[i])) {
            char text[ciLangS_Size];
            std::snprintf(text, sizeof text, "Write NG : %s unknown, pick a value", caBR_name[i]);
            logs("%s\n", text); // the log is English
            std::snprintf(text, sizeof text, mf_Tovra_Lang__S(ciS_WriteUnknown), caBR_name[i]);
            mf_Tovra_msg_comm__SCV(ciMsgRed, text);
            return false;
        }
    return true;
}

// The Verify step, a tick of its own before the EEPROM command: both
// registers read back must hold what was written, or nothing is stored.
static int fn_verify()
{
    giVerify_WT = -1;
    short back[ciBR_count] = {ciBR_not_read, ciBR_not_read};
    gr = mf_Tovra_BR__Read(back);
    short wrote = 0;
    int k = gr == 0 ? mf_Tovra_BR__Verify(gaBRWT, gvNo_WT, back, &wrote) : -1;
    if (gr == 0 && k < 0)
        return 0;
    giMsg = ciMsgFailed;
    giWT = gvNo_WT;
    if (gr < 0) {
        mf_Tovra_msg_comm__SCV(ciMsgRed, "NG");
        mf_Tovra_msg_comm__Why(gr);
        return gr;
    }
    char text[ciLangS_Size];
    std::snprintf(text, sizeof text, csVerifyDiffers, caBR_name[k], back[k], wrote);
    logs("%s\n", text); // the log is English
    std::snprintf(text, sizeof text, mf_Tovra_Lang__S(ciS_ReadsBack), caBR_name[k], back[k], wrote);
    mf_Tovra_msg_comm__SCV(ciMsgRed, text);
    return 0;
}

int evTovra_Verify(int, int control, int event, void *, int, int)
{
    if (event != EVENT_COMMIT)
        return 0;
    int on = 0;
    GetCtrlVal(gvTovra_COMM, control, &on);
    if (FILE *f = FileOpenRegular(caVerifyFile, "w")) {
        std::fprintf(f, "%d", on ? 1 : 0);
        std::fclose(f);
    }
    return 0;
}

int evWrite(int, int, int event, void *, int, int)
{
    if (event != EVENT_COMMIT || !fn_BR_writable())
        return 0;
    int values[ciBR_count];
    for (int i = 0; i < ciBR_count; ++i)
        values[i] = mf_Tovra_Ring_X__GI(caBR_ring[i]);
    gvNo_WT = mf_Tovra_BR__List(values, 1, gaBRWT);
    int verify = 0;
    GetCtrlVal(gvTovra_COMM, ciVerifyBox, &verify);
    giVerify_WT = verify ? gvNo_WT - 1 : -1;
    giMsg = ciMsgPending;
    mf_Tovra_msg_comm__SCV(ciMsgBlue, "");
    giWT = 0;
    mf_Tovra_Timer_X__toggle(ciTimerWrite, 1);
    return 0;
}

int evTM_W(int, int, int event, void *, int, int)
{
    if (event != EVENT_TIMER_TICK)
        return 0;
    if (giWT >= gvNo_WT) {
        if (giMsg == ciMsgPending)
            mf_Tovra_msg_comm__SCV(ciMsgGreen, "OK");
        // After a time-out: on, tick by tick, until the late reply is heard out.
        if (mf_Tovra_MB_Drain(ciPORT_umb, gpLog, 0) == 0)
            mf_Tovra_Timer_X__toggle(ciTimerWrite, 0);
        return 0;
    }
    if (giWT == giVerify_WT)
        return fn_verify();
    gr = mf_Tovra_BR__Send(&gaBRWT[giWT]);
    if (gr < 0) {
        giMsg = ciMsgFailed;
        bool commit = static_cast<unsigned short>(gaBRWT[giWT].address) == ciCommitCoil;
        mf_Tovra_msg_comm__SCV(ciMsgRed, commit ? "Write EEPROM NG" : "NG");
        mf_Tovra_msg_comm__Why_more(gr, commit && mf_Tovra_BR__Commit_Unconfirmed(gr)
                                            ? mf_Tovra_Lang__S(ciS_NotConfirmed)
                                            : nullptr);
        giWT = gvNo_WT; // nothing after a failure is sent: no commit of a half write
        return gr;
    }
    ++giWT;
    char step[16];
    std::snprintf(step, sizeof step, "%d", giWT);
    mf_Tovra_msg_comm__SCV(ciMsgGreen, step);
    return 0;
}
