// The port list of the main panel, filled by the port search (ComSearch).
#include "serial/ComList.h"

#include "log/log.h"
#include "modbus/Modbus_API.h"
#include "platform/ui.h"
#include "serial/UART_MB.h"

namespace {

constexpr int ciComList = 21;

void fn_list_port(int com, const char *line, void *data)
{
    const CtrlRef *list = static_cast<const CtrlRef *>(data);
    InsertListItem(list->panel, list->control, -1, line, com);
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

int mf_Tovra_ComList__Search_WIN32API_Prolific(void)
{
    mf_Tovra_ComSearch__Files();

    CtrlRef list;
    mf_Tovra_ComList__init(&list);
    gr = ClearListCtrl(list.panel, list.control);
    if (gr < 0) {
        int code = gr;
        logi("clear COM list NG %d \n", code);
        return code;
    }
    // Every probe closes the logical port: a toggle left on would claim an
    // open port. Show what a close shows, without logging a close.
    if (mf_Tovra_ComSearch__Probe(fn_list_port, &list) > 0 && mf_Tovra_TGBT_X__GV(0) == 1) {
        mf_Tovra_TGBT_X__SV(0, 0);
        mf_Tovra_UMB_ComPort__Show_Closed(ciPORT_umb);
    }
    return 0;
}

int evTovra_CS_GetCom(int, int, int event, void *, int, int)
{
    if (event != EVENT_COMMIT)
        return 0;
    mf_Tovra_ComList__set_active();
    mf_Tovra_ComList__Search_WIN32API_Prolific();
    return 0;
}

// Choosing a listed port copies its number into the COM field and opens it.
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
    mf_Tovra_TIS32_X__SV(0, mf_Tovra_ComList__GV());
    mf_Tovra_TIS32_X__OOR(0);
    mf_Tovra_TGBT_X__SV(0, 1);
    mf_Tovra_UMB_dev_TG_ComP__Button();
    return 0;
}
