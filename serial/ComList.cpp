// The port list of the main panel, filled by the port search (ComSearch).
#include "serial/ComList.h"

#include <cstdio>
#include <cstring>

#include "lang/Lang_API.h"
#include "lang/Lang_DB.h"
#include "log/log.h"
#include "modbus/Modbus_API.h"
#include "platform/devices.h"
#include "platform/port_watch.h"
#include "platform/serial.h"
#include "platform/ui.h"
#include "serial/UART_MB.h"

// The ports the user may not open close the list; this many of them.
int giComList_Refused = 0;

namespace {

constexpr int ciComList = 21;
constexpr int ciPathSize = 4096;
constexpr int ciLabelSize = ciComLineSize + 256; // a line and the note of a refused port

// The window's texts of this module (the caption table's IDs).
enum {
    ciSidNoPermission = 900300, // "No permission for this port:"
    ciSidJoinGroup = 900301,    // "Join group, then re-login:"
    ciSidAskAccess = 900302,    // "Ask the admin for access."
    ciSidNotWritable = 900303,  // "Cannot write in this folder:"
};

// The text of `sid` in the current language.
const char *fn_text(int sid, char (&text)[ciLangS_Size])
{
    text[0] = '\0';
    mf_Tovra_LangS__DataBase(sid, giLang, text, sizeof text);
    return text;
}

// The list being filled, and where the item selected before lands.
struct Filling {
    CtrlRef list;
    char selected[ciLabelSize]; // "" when none was
    int count;
    int match;                  // its index in the new list, -1 while not found
};

void fn_list_port(int com, const char *label, int permitted, void *data)
{
    Filling *f = static_cast<Filling *>(data);
    InsertListItem(f->list.panel, f->list.control, -1, label, com);
    if (f->match < 0 && f->selected[0] && std::strcmp(label, f->selected) == 0)
        f->match = f->count;
    ++f->count;
    giComList_Refused += !permitted;
}

// Once per search: the file that could not be written, with its folder, in
// the status field and the log.
void fn_report_unwritable(const char *file)
{
    char path[ciPathSize];
    if (GetFullPathFromCurrentDir(file, path, sizeof path) != 0)
        std::snprintf(path, sizeof path, "%s", file);
    logs(LOG_MARK " cannot write in this folder :: %s \n", path);
    char text[ciLangS_Size];
    char status[ciLangS_Size + ciPathSize];
    std::snprintf(status, sizeof status, "%s %s", fn_text(ciSidNotWritable, text), path);
    mf_Tovra_msg_comm__SCV(ciMsgRed, status);
}

// Why a listed port cannot be opened and what helps: the group to join
// (with the command that joins it), else the administrator.
void fn_explain_refused(int com)
{
    char name[16];
    std::snprintf(name, sizeof name, "COM%d", com);
    char path[ciPathSize] = "";
    ComDevicePath(name, path, sizeof path);
    char group[64] = "";
    DeviceAccessGroup(name, group, sizeof group);
    char text[2][ciLangS_Size];
    char message[ciPathSize + 256];
    int n = std::snprintf(message, sizeof message, "%s %s (%s)\n",
                          fn_text(ciSidNoPermission, text[0]), name, path);
    if (group[0])
        std::snprintf(message + n, sizeof message - static_cast<size_t>(n),
                      "%s %s\nsudo usermod -aG %s $USER", fn_text(ciSidJoinGroup, text[1]), group,
                      group);
    else
        std::snprintf(message + n, sizeof message - static_cast<size_t>(n), "%s",
                      fn_text(ciSidAskAccess, text[1]));
    MessagePopup("", message);
}

} // namespace

int mf_Tovra_ComList__init(CtrlRef *ref)
{
    *ref = {gvTovra_COMM, ciComList};
    return 0;
}

int mf_Tovra_ComList__set_active(void)
{
    CtrlRef list;
    mf_Tovra_ComList__init(&list);
    SetActiveCtrl(list.panel, list.control);
    return 0;
}

int mf_Tovra_ComList__GV(void)
{
    CtrlRef list;
    mf_Tovra_ComList__init(&list);
    int com = 0;
    GetCtrlVal(list.panel, list.control, &com);
    return com;
}

namespace {

// The search, with each candidate probed by opening it (the button, the
// start) or judged without touching it (a port event). The item the
// operator had selected stays selected when the search lists it again. A
// file the search cannot write leaves the list empty rather than filled
// from a file of an earlier search.
int fn_search(bool probe)
{
    mf_Tovra_ComSearch__Files();

    Filling f = {{}, "", 0, -1};
    mf_Tovra_ComList__init(&f.list);
    int index = -1;
    if (GetCtrlIndex(f.list.panel, f.list.control, &index) != 0 || index < 0 ||
        GetCtrlVal(f.list.panel, f.list.control, f.selected, sizeof f.selected) != 0)
        f.selected[0] = '\0';
    gr = ClearListCtrl(f.list.panel, f.list.control);
    if (gr < 0) {
        int code = gr;
        logi("clear COM list NG %d \n", code);
        return code;
    }
    giComList_Refused = 0;
    // Every probe closes the logical port: a toggle left on would claim an
    // open port. Show what a close shows, without logging a close.
    if (!probe)
        mf_Tovra_ComSearch__Look(fn_list_port, &f);
    else if (mf_Tovra_ComSearch__Probe(fn_list_port, &f) > 0 && mf_Tovra_TGBT_X__GV(0) == 1) {
        mf_Tovra_TGBT_X__SV(0, 0);
        mf_Tovra_UMB_ComPort__Show_Closed(ciPORT_umb);
    }
    if (f.match >= 0)
        SetCtrlIndex(f.list.panel, f.list.control, f.match);
    mf_Tovra_Lang__Tip_ComList();
    if (gvComSearch_Unwritable)
        fn_report_unwritable(gvComSearch_Unwritable);
    return 0;
}

void fn_ports_changed(void *)
{
    if (gvTovra_COMM > 0)
        fn_search(false);
}

} // namespace

int mf_Tovra_ComList__Search_WIN32API_Prolific(void)
{
    return fn_search(true);
}

int mf_Tovra_ComList__Follow(void)
{
    return WatchPorts(fn_ports_changed, nullptr);
}

int evTovra_CS_GetCom(int, int, int event, void *, int, int)
{
    if (event != EVENT_COMMIT)
        return 0;
    mf_Tovra_ComList__set_active();
    mf_Tovra_ComList__Search_WIN32API_Prolific();
    return 0;
}

// Choosing a listed port copies its number into the COM field and opens it;
// choosing one the user may not open explains why, and opens nothing.
int evTovra_CS_ComList(int panel, int control, int event, void *, int, int)
{
    if (event != EVENT_COMMIT && event != EVENT_LIST_CLICK)
        return 0;
    int n = 0;
    GetNumListItems(panel, control, &n);
    if (n == 0) {
        MessagePopup("", "no COM port available");
        return 0;
    }
    int index = 0;
    GetCtrlIndex(panel, control, &index);
    if (index >= n - giComList_Refused) {
        fn_explain_refused(mf_Tovra_ComList__GV());
        return 0;
    }
    mf_Tovra_TIS32_X__SV(0, mf_Tovra_ComList__GV());
    mf_Tovra_TIS32_X__OOR(0);
    mf_Tovra_TGBT_X__SV(0, 1);
    mf_Tovra_UMB_dev_TG_ComP__Button();
    return 0;
}
