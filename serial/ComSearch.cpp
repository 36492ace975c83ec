// The port search. Every stage reads the previous stage's file and writes
// its own, so each step of a search can be checked with a text editor.
#include "serial/ComSearch.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "log/log.h"
#include "modbus/Modbus_API.h"
#include "platform/devices.h"
#include "platform/files.h"
#include "platform/serial.h"

const char *gvComSearch_Unwritable = nullptr;

namespace {

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

// Creates `name` for writing; when it cannot be, it becomes the search's
// unwritable file (the first one only).
FILE *fn_create(const char *name, const char *mode)
{
    FILE *f = FileOpenRegular(name, mode);
    if (!f && !gvComSearch_Unwritable)
        gvComSearch_Unwritable = name;
    return f;
}

// Writes each line of `from` that passes `test` to `yes`, every other line
// to `no` (dropped when no is nullptr). A file that cannot be opened counts
// as empty.
void fn_split_lines(const char *from, const char *yes, const char *no, LineTest test)
{
    FILE *in = FileOpenRegular(from, "r");
    FILE *out[2] = {fn_create(yes, "w"), no ? fn_create(no, "w") : nullptr};
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
    FILE *out = fn_create(to, "wb");
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

// Each stage runs only when every file before it was written by this search.
int mf_Tovra_ComSearch__Files(void)
{
    gvComSearch_Unwritable = nullptr;
    if (fn_Get_Windows_Device_Manager_data(caDevMng_All_DEV) < 0)
        gvComSearch_Unwritable = caDevMng_All_DEV;
    if (!gvComSearch_Unwritable)
        fn_split_lines(caDevMng_All_DEV, caDevMng_All_COM, nullptr, fn_find_COMx_number);
    if (!gvComSearch_Unwritable)
        fn_split_lines(caDevMng_All_COM, caDevMng_COM_IS_Prolific, caDevMng_COM_NOT_Prolific,
                       fn_find_COMx_Prolific);
    if (!gvComSearch_Unwritable)
        fn_join_files(caDevMng_COM_Prolific_First, caDevMng_COM_IS_Prolific,
                      caDevMng_COM_NOT_Prolific);
    return gvComSearch_Unwritable ? -1 : 0;
}

namespace {

// What opening candidate `name` meets: a probe opens and closes it under
// the program's logical port; a look judges it without touching it.
typedef int (*ComTryPtr)(const char *name);

int fn_try_open(const char *name)
{
    int r = OpenCom(ciPORT_umb, name);
    CloseCom(ciPORT_umb);
    return r;
}

// The ports of file 04 in its order, each as `attempt` finds it.
int fn_candidates(ComTryPtr attempt, ComFoundPtr found, void *data)
{
    if (gvComSearch_Unwritable)
        return 0;
    FILE *in = FileOpenRegular(caDevMng_COM_Prolific_First, "r");
    FILE *exist = fn_create(caCOM_Exist, "w");
    char line[ciComLineSize];
    int tried = 0;
    std::vector<std::pair<int, std::string>> refused; // listed after the ports that open
    while (fn_read_line(in, line)) {
        int n = fn_find_COMx_number(line);
        char name[16];
        std::snprintf(name, sizeof name, "COM%d", n);
        gr = attempt(name);
        if (gr >= 0) {
            found(n, line, 1, data);
            if (exist)
                std::fprintf(exist, "%d\n", n);
        } else if (gr == kComErrPermission) {
            char group[64];
            std::string label = std::string(line) + COM_NO_PERMISSION;
            if (DeviceAccessGroup(name, group, sizeof group) == 0 && group[0])
                label += std::string(COM_JOIN_GROUP) + group;
            refused.emplace_back(n, label);
        }
        ++tried;
    }
    for (FILE *f : {in, exist})
        if (f)
            std::fclose(f);
    for (const auto &[n, label] : refused)
        found(n, label.c_str(), 0, data);
    return tried;
}

} // namespace

int mf_Tovra_ComSearch__Probe(ComFoundPtr found, void *data)
{
    return fn_candidates(fn_try_open, found, data);
}

int mf_Tovra_ComSearch__Look(ComFoundPtr found, void *data)
{
    return fn_candidates(ComCheckFree, found, data);
}
