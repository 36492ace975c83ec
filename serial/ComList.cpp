// COM port discovery. Every stage reads the previous stage's file and writes
// its own, so each step of a search can be checked with a text editor.
#include "serial/ComList.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "log/log.h"
#include "modbus/Modbus_API.h"
#include "platform/devices.h"
#include "platform/files.h"
#include "platform/serial.h"
#include "platform/ui.h"
#include "serial/UART_MB.h"

namespace {

constexpr int ciComList = 21;
constexpr int ciComMax = 256;
constexpr int ciComDigitsMax = 3; // more digits name no port, leading zeros or not
constexpr const char caSeek[] = "(COM";

typedef int (*LineTest)(const char *line);

// The next line of f, without its "\n". A line longer than the buffer is
// skipped whole, so neither its head nor its tail is taken for a device; a
// last line without "\n" is no line. 1 for a line, 0 at the end of the file.
int fn_read_line(FILE *f, char line[ciComLineSize])
{
    if (!f)
        return 0;
    int len = 0;
    bool tooLong = false;
    for (int c; (c = std::fgetc(f)) != EOF;) {
        if (c != '\n') {
            if (len < ciComLineSize - 1)
                line[len++] = static_cast<char>(c);
            else
                tooLong = true;
        } else if (tooLong) {
            len = 0;
            tooLong = false;
        } else {
            line[len] = '\0';
            return 1;
        }
    }
    return 0;
}

// Writes each line of `from` that passes `test` to `yes`, every other line
// to `no` (dropped when no is nullptr). A file that cannot be opened counts
// as empty; output to a file that cannot be created is dropped.
void fn_split_lines(const char *from, const char *yes, const char *no, LineTest test)
{
    FILE *in = FileOpenRegular(from, "r");
    FILE *out[2] = {FileOpenRegular(yes, "w"), no ? FileOpenRegular(no, "w") : nullptr};
    char line[ciComLineSize];
    while (fn_read_line(in, line))
        if (FILE *f = out[test(line) ? 0 : 1])
            std::fprintf(f, "%s\n", line);
    for (FILE *f : {in, out[0], out[1]})
        if (f)
            std::fclose(f);
}

// `to` = `first` followed by `second`, byte for byte.
void fn_join_files(const char *to, const char *first, const char *second)
{
    FILE *out = FileOpenRegular(to, "wb");
    for (const char *name : {first, second}) {
        FILE *in = FileOpenRegular(name, "rb");
        if (!in)
            continue;
        for (int c; (c = std::fgetc(in)) != EOF;)
            if (out)
                std::fputc(c, out);
        std::fclose(in);
    }
    if (out)
        std::fclose(out);
}

// Opens and closes every candidate port of the joined file under the
// program's logical port; those that open are listed and written to the
// presence file. Returns the number of ports probed.
int fn_probe_ports(const CtrlRef &list)
{
    FILE *in = FileOpenRegular(caDevMng_COM_Prolific_First, "r");
    FILE *exist = FileOpenRegular(caCOM_Exist, "w");
    char line[ciComLineSize];
    int probed = 0;
    while (fn_read_line(in, line)) {
        int n = fn_find_COMx_number(line);
        char name[16];
        std::snprintf(name, sizeof name, "COM%d", n);
        gr = OpenCom(ciPORT_umb, name);
        if (gr >= 0) {
            InsertListItem(list.panel, list.control, -1, line, n);
            if (exist)
                std::fprintf(exist, "%d\n", n);
        }
        CloseCom(ciPORT_umb);
        ++probed;
    }
    for (FILE *f : {in, exist})
        if (f)
            std::fclose(f);
    return probed;
}

} // namespace

int fn_Get_Windows_Device_Manager_data(const char *fileName)
{
    return DumpPresentDevices(fileName);
}

// "(", "C", "O", "M" in this order, anything between them skipped, then the
// digits up to ")", anything else skipped.
int fn_find_COMx_number(const char *text)
{
    int state = 0;
    int value = 0;
    int digits = 0;
    for (const char *c = text; *c; ++c) {
        if (state < 4) {
            if (*c == caSeek[state])
                ++state;
        } else if (*c == ')') {
            return digits <= ciComDigitsMax && value >= 1 && value <= ciComMax ? value : 0;
        } else if (*c >= '0' && *c <= '9' && ++digits <= ciComDigitsMax) {
            value = value * 10 + (*c - '0');
        }
    }
    return 0;
}

int fn_find_COMx_Prolific(const char *text)
{
    if (!std::strstr(text, "Prolific"))
        return 0;
    logs("%s\n", "Prolific");
    return 1;
}

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
    fn_Get_Windows_Device_Manager_data(caDevMng_All_DEV);
    fn_split_lines(caDevMng_All_DEV, caDevMng_All_COM, nullptr, fn_find_COMx_number);
    fn_split_lines(caDevMng_All_COM, caDevMng_COM_IS_Prolific, caDevMng_COM_NOT_Prolific,
                   fn_find_COMx_Prolific);
    fn_join_files(caDevMng_COM_Prolific_First, caDevMng_COM_IS_Prolific, caDevMng_COM_NOT_Prolific);

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
    if (fn_probe_ports(list) > 0 && mf_Tovra_TGBT_X__GV(0) == 1) {
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
