// The interface language. The Language menu's check mark always sits on the
// item of giLang; lang.txt remembers the choice across runs; the refresh
// re-captions the main panel from the caption table and the help texts below.
#include "lang/Lang_API.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "lang/Lang_DB.h"
#include "log/log.h"
#include "model/model.h"
#include "platform/files.h"
#include "platform/ui.h"

int giLang = ciLang_EN;
const int gcaCC_Lang[3] = {3, 4, 5};

namespace {

constexpr int ciLanguageMenu = 2;
constexpr int ciLogMenu = 6;
constexpr int ciOpenLogItem = 7;
constexpr int ciStatusField = 0; // STR_X index of the status field
constexpr size_t ciFileHead = 64; // "%d" never needs more than this of the file

// The panel's character set follows the language, before any caption changes.
constexpr int caLang_Charset[ciLang_Count] = {CHARSET_DEFAULT, CHARSET_BIG5, CHARSET_GB2312};

// Where a caption of the table goes.
// ciToReadTip: the tooltip of a device baud-rate selector, which while the
// selector shows no value (before a Read or a pick) says "not read yet".
enum { ciToMenu, ciToItem, ciToTitle, ciToLabel, ciToValue, ciToName, ciToTip, ciToReadTip };

constexpr int ciComListCtrl = 21;

struct LangCaption {
    int sid;
    int target;
    int ids[2]; // menu, item or control IDs; a second ID of 0 means none
};

// The refresh, in order.
const LangCaption caLang_Captions[] = {
    {50200, ciToMenu, {ciLanguageMenu, 0}},
    {50201, ciToItem, {gcaCC_Lang[0], 0}},
    {50202, ciToItem, {gcaCC_Lang[1], 0}},
    {50203, ciToItem, {gcaCC_Lang[2], 0}},
    {308, ciToTitle, {0, 0}},
    {5022, ciToLabel, {10, 0}},     // COM port search button
    {5011, ciToLabel, {15, 0}},     // COM port number
    {2203, ciToLabel, {18, 0}},     // line baud rate
    {5014, ciToLabel, {22, 43}},    // data bits: line setting, device frame
    {5013, ciToLabel, {20, 41}},    // parity
    {5015, ciToLabel, {19, 42}},    // stop bits
    {2203, ciToValue, {34, 0}},     // the device baud-rate heading is a text control
    {331029, ciToLabel, {24, 0}},   // Read
    {331030, ciToLabel, {38, 0}},   // Write
    // This program's own captions. A control whose caption names it gets no
    // name of its own: screen readers take the caption, or the label whose
    // buddy the field is.
    {ciS_LogMenu, ciToMenu, {ciLogMenu, 0}},
    {50103, ciToItem, {ciOpenLogItem, 0}},
    {ciS_SerialLine, ciToLabel, {11, 0}},
    {ciS_DeviceBauds, ciToLabel, {13, 0}},
    {ciS_SlaveId, ciToLabel, {27, 0}},
    {ciS_PortOpen, ciToLabel, {26, 0}},
    {ciS_TestRead, ciToLabel, {30, 0}},
    {ciS_FindDevice, ciToLabel, {60, 0}},
    {ciS_Cancel, ciToLabel, {61, 0}},
    {ciS_Status, ciToLabel, {12, 0}},
    {ciS_Examples, ciToLabel, {2, 0}},
    {ciS_WorkedExamples, ciToLabel, {50, 0}},
    {ciS_DeviceFrame, ciToValue, {35, 0}},
    {ciS_ParityNone, ciToValue, {41, 0}}, // the device frame's parity
    // Controls without a caption
    {ciS_ComList, ciToName, {21, 0}},
    {ciS_FindProgress, ciToName, {62, 0}},
    // Tooltips, which screen readers read as descriptions
    {ciS_TipSearch, ciToTip, {10, 0}},
    {ciS_TipComNumber, ciToTip, {15, 0}},
    {ciS_TipSlaveId, ciToTip, {27, 0}},
    {ciS_TipPortOpen, ciToTip, {26, 0}},
    {ciS_TipTestRead, ciToTip, {30, 0}},
    {ciS_TipFind, ciToTip, {60, 0}},
    {ciS_TipBR1, ciToReadTip, {46, 0}},
    {ciS_TipBR2, ciToReadTip, {45, 0}},
    {ciS_TipRead, ciToTip, {24, 0}},
    {ciS_TipWrite, ciToTip, {38, 0}},
    {ciS_TipCancel, ciToTip, {61, 0}},
    {ciS_TipExamples, ciToTip, {2, 0}},
    {ciS_Verify, ciToLabel, {70, 0}},
    {ciS_TipVerify, ciToTip, {70, 0}},
};

// The items of the parity selector, by item index.
constexpr int ciParityRing = 20;
const int caLang_Parity[] = {ciS_ParityNone, ciS_ParityOdd, ciS_ParityEven, ciS_ParityMark,
                             ciS_ParitySpace};

// The two worked examples. Lines are joined by a single line feed.
const char caSteps1_TC[] = "01. S/W  PC :  搜尋現有串列埠\n"
                           "02. S/W  PC :  選取串列埠\n"
                           "03. S/W  PC :  設定 ( 鮑率 = 9600, ID = 1 , N82)";
const char caSteps1_SC[] = "01. S/W  PC :  搜寻现有串口\n"
                           "02. S/W  PC :  选取串口\n"
                           "03. S/W  PC :  设定 ( 鲍率 = 9600, ID = 1 , N82)";

struct LangHelp {
    int controls[2]; // a second control of 0 means none
    const char *text[ciLang_Count];
};

const LangHelp caLang_Help[] = {
    {{9, 0}, {"  [ ex.1 ] modify baud rate ", "  [ ex.1 ] 修改鮑率", "  [ ex.1 ] 修改鲍率 "}},
    {{47, 0},
     {"01. S/W  PC :  Search available COM port\n"
      "02. S/W  PC :  Select COM port\n"
      "03. S/W  PC :  Set ( BAUD = 9600, ID = 1 , N82 )",
      caSteps1_TC, caSteps1_SC}},
    {{7, 6}, {"04. H/W Selk : Set SW1 = 0 ", "04. H/W Selk : 設定 SW1 = 0 ", "04. H/W Selk : 设定 SW1 = 0 "}},
    {{4, 0},
     {"05. S/W     : Modify baud rate of COM1 to 38400\n06. S/W     : Click Write",
      "05. S/W     : 將 COM1 的鮑率改為38400\n06. S/W     : 單擊寫按鈕",
      "05. S/W     : 将 COM1 的鲍率改为 38400\n06. S/W     : 单击写按钮"}},
    {{8, 0}, {"  [ ex.2 ] comfirm baud rate  ", "  [ ex.2 ] 確認鮑率  ", "  [ ex.2 ] 确认鲍率  "}},
    {{5, 0},
     {"01. S/W  PC :  Search availabe COM port\n"
      "02. S/W  PC :  Select COM port\n"
      "03. S/W  PC :  Set ( BAUD = 9600, ID = 1 , N82)",
      caSteps1_TC, caSteps1_SC}},
    {{3, 0}, {"05. S/W     : Click Read", "05. S/W     : 單擊讀按鈕", "05. S/W     : 单击读按钮"}},
};

void SetCaption(int menuBar, int target, int id, const char *text)
{
    switch (target) {
    case ciToMenu:
        SetMenuBarAttribute(menuBar, id, ATTR_MENU_NAME, text);
        break;
    case ciToItem:
        SetMenuBarAttribute(menuBar, id, ATTR_ITEM_NAME, text);
        break;
    case ciToTitle:
        SetPanelAttribute(gvTovra_COMM, ATTR_TITLE, text);
        break;
    case ciToLabel:
        SetCtrlAttribute(gvTovra_COMM, id, ATTR_LABEL_TEXT, text);
        break;
    case ciToValue:
        SetCtrlVal(gvTovra_COMM, id, text);
        break;
    case ciToName:
        SetCtrlAttribute(gvTovra_COMM, id, ATTR_ACCESSIBLE_NAME, text);
        break;
    case ciToTip:
        SetCtrlAttribute(gvTovra_COMM, id, ATTR_TOOLTIP_TEXT, text);
        break;
    case ciToReadTip: {
        int item = 0;
        GetCtrlIndex(gvTovra_COMM, id, &item);
        char tip[ciLangS_Size];
        if (item < 0)
            std::snprintf(tip, sizeof tip, mf_Tovra_Lang__S(ciS_TipNotRead), text);
        SetCtrlAttribute(gvTovra_COMM, id, ATTR_TOOLTIP_TEXT, item < 0 ? tip : text);
        break;
    }
    }
}

void SetCaptionRow(int menuBar, const LangCaption &c)
{
    char text[ciLangS_Size] = "";
    mf_Tovra_LangS__DataBase(c.sid, giLang, text, sizeof text);
    SetCaption(menuBar, c.target, c.ids[0], text);
    if (c.ids[1])
        SetCaption(menuBar, c.target, c.ids[1], text);
}

} // namespace

// Reads like "%d" (leading blanks, a sign, digits, anything after ignored)
// but without its undefined result on overflow: a huge number is out of range.
int mf_Tovra_Lang__fr_FILE(void)
{
    char head[ciFileHead + 1];
    if (FileReadHead(caLangFile, head, sizeof head) < 0)
        return ciLang_EN;
    char *end;
    long lang = std::strtol(head, &end, 10);
    if (end == head || lang < 0 || lang >= ciLang_Count)
        return ciLang_EN;
    return static_cast<int>(lang);
}

// The operator keeps working in the chosen language when the file cannot be
// written; the status field and the log say that the choice was not saved.
int mf_Tovra_Lang__to_FILE(int lang)
{
    errno = 0;
    FILE *f = FileOpenRegular(caLangFile, "w");
    if (f) {
        bool written = std::fprintf(f, "%d", lang) > 0;
        if (std::fclose(f) == 0 && written)
            return 0;
    }
    const char *reason = std::strerror(errno);
    char text[ciLangS_Size];
    std::snprintf(text, sizeof text, "Save %s NG : %s", caLangFile, reason);
    logs(LOG_MARK " %s\n", text); // the log is English
    std::snprintf(text, sizeof text, mf_Tovra_Lang__S(ciS_SaveNG), caLangFile, reason);
    mf_Tovra_STR_X__SV_str(ciStatusField, text);
    mf_Tovra_STR_X__SA_i32(ciStatusField, ATTR_TEXT_COLOR, ciColourRed);
    return -1;
}

const char *mf_Tovra_Lang__S(int sid)
{
    const char *text = mf_Tovra_LangS__Text(sid, giLang);
    return text ? text : "";
}

int mf_Tovra_Lang__init(LangMenuRef *ref)
{
    ref->menuBar = GetPanelMenuBar(gvTovra_COMM);
    ref->item = gcaCC_Lang[giLang];
    return 0;
}

// giLang indexes gcaCC_Lang, so a language outside 0..2 is refused here.
int mf_Tovra_Lang__SV(int lang)
{
    if (lang < 0 || lang >= ciLang_Count) {
        MessagePopup("mf_Tovra_Lang__SV ()", "error : value out of array");
        return -1;
    }
    int menuBar = GetPanelMenuBar(gvTovra_COMM);
    for (int item : gcaCC_Lang)
        SetMenuBarAttribute(menuBar, item, ATTR_CHECKED, 0);
    giLang = lang;
    LangMenuRef ref;
    mf_Tovra_Lang__init(&ref);
    SetMenuBarAttribute(ref.menuBar, ref.item, ATTR_CHECKED, 1);
    return 0;
}

// The language whose item carries the check mark; with none checked, the last
// language (Simplified Chinese) ends current.
int mf_Tovra_Lang__GV(void)
{
    int menuBar = GetPanelMenuBar(gvTovra_COMM);
    for (int lang = 0; lang < ciLang_Count; ++lang) {
        int checked = 0;
        GetMenuBarAttribute(menuBar, gcaCC_Lang[lang], ATTR_CHECKED, &checked);
        giLang = lang;
        if (checked == 1)
            break;
    }
    return giLang;
}

int mf_Tovra_Lang__Who_Am_I(int menuItem)
{
    for (int lang = 0; lang < ciLang_Count; ++lang)
        if (gcaCC_Lang[lang] == menuItem) {
            giLang = lang;
            return lang;
        }
    MessagePopup("mf_Tovra_Lang__Who_Am_I ()", "menu item not found");
    return ciLang_EN;
}

int mf_Tovra_Lang__Char_Set(void)
{
    logi("lang = %d\n", giLang);
    SetPanelCharacterSet(gvTovra_COMM, caLang_Charset[giLang]);
    return 0;
}

int mf_Tovra_Lang__Refresh(void)
{
    mf_Tovra_Lang__Char_Set();
    int menuBar = GetPanelMenuBar(gvTovra_COMM);
    for (const LangCaption &c : caLang_Captions)
        SetCaptionRow(menuBar, c);
    for (int i = 0; i < static_cast<int>(std::size(caLang_Parity)); ++i)
        ReplaceListItem(gvTovra_COMM, ciParityRing, i, mf_Tovra_Lang__S(caLang_Parity[i]));
    SetConfirmPopupAnswers(mf_Tovra_Lang__S(ciS_Yes), mf_Tovra_Lang__S(ciS_No));
    mf_Tovra_Lang__Tip_ComList();
    for (const LangHelp &h : caLang_Help) {
        SetCtrlVal(gvTovra_COMM, h.controls[0], h.text[giLang]);
        if (h.controls[1])
            SetCtrlVal(gvTovra_COMM, h.controls[1], h.text[giLang]);
    }
    return 0;
}

// The port list's items are ports only, so its tooltip is where an empty
// list says why it is empty and what helps.
int mf_Tovra_Lang__Tip_ComList(void)
{
    int n = 0;
    GetNumListItems(gvTovra_COMM, ciComListCtrl, &n);
    return SetCtrlAttribute(gvTovra_COMM, ciComListCtrl, ATTR_TOOLTIP_TEXT,
                            mf_Tovra_Lang__S(n > 0 ? int{ciS_TipComList} : int{ciS_TipNoPorts}));
}

int mf_Tovra_Lang__Refresh_Read_Tips(void)
{
    for (const LangCaption &c : caLang_Captions)
        if (c.target == ciToReadTip)
            SetCaptionRow(0, c);
    return 0;
}

void evLANG(int, int menuItem, void *, int)
{
    int lang = mf_Tovra_Lang__Who_Am_I(menuItem);
    mf_Tovra_Lang__SV(lang);
    mf_Tovra_Lang__to_FILE(lang);
    mf_Tovra_Lang__Refresh();
}
