// The interface language on the real panel: start-up from lang.txt, the
// Language menu, the captions in each language, and the failure paths.
#include <QAction>
#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/Tovra_main.h"
#include "lang/Lang_API.h"
#include "lang/Lang_DB.h"
#include "log/log.h"
#include "model/model.h"
#include "panel_fixture.h"
#include "platform/ui.h"
#include "platform/ui_qt.h"

namespace {

using Popups = std::vector<std::pair<std::string, std::string>>;

// The items of the Language menu that carry the check mark.
std::vector<int> Checked()
{
    std::vector<int> items;
    for (int item : {3, 4, 5}) {
        int on = 0;
        GetMenuBarAttribute(GetPanelMenuBar(gvTovra_COMM), item, ATTR_CHECKED, &on);
        if (on)
            items.push_back(item);
    }
    return items;
}

// The operator picks a Language menu item.
void ChooseLanguage(int item)
{
    for (QAction *a : UiPanelWidget(gvTovra_COMM)->findChildren<QAction *>())
        if (a->property("menuId").toInt() == item)
            a->trigger();
}

// The font the caption of the COM-port field is drawn with, and whether it
// has the characters of the language.
bool CaptionFontWrites(int lang)
{
    QLabel *caption = nullptr;
    for (QLabel *l : UiPanelWidget(gvTovra_COMM)->findChildren<QLabel *>())
        if (l->buddy() == UiCtrlWidget(gvTovra_COMM, 15))
            caption = l;
    if (!caption)
        return false;
    const QString family = QFontInfo(caption->font()).family();
    if (lang == ciLang_EN)
        return family == QFontInfo(QApplication::font()).family();
    const auto script = lang == ciLang_TC ? QFontDatabase::TraditionalChinese : QFontDatabase::SimplifiedChinese;
    return QFontDatabase::writingSystems(family).contains(script);
}

std::string Title()
{
    char text[256];
    GetPanelAttribute(gvTovra_COMM, ATTR_TITLE, text, sizeof text);
    return text;
}

class LangTest : public PanelTest {};

} // namespace

TEST_F(LangTest, StartUpTakesTheLanguageFromLangTxtAndChecksOnlyItsItem)
{
    struct Case {
        const char *file; // nullptr: no lang.txt
        int lang;
    } const cases[] = {{nullptr, 0}, {"2", 2}, {" 1\n", 1}, {"1abc", 1}, {"3", 0},
                       {"-1", 0},    {"", 0},  {"x", 0},    {"99999999999", 0}};
    DiscardPanel(gvTovra_COMM);
    for (const Case &c : cases) {
        std::filesystem::remove(caLangFile);
        if (c.file)
            WriteFileBytes(caLangFile, c.file);
        WriteFileBytes(caLogSwitchFile, "1");
        ASSERT_EQ(mf_APP_Tovra__init(), 0);
        const char *where = c.file ? c.file : "(no lang.txt)";
        EXPECT_EQ(giLang, c.lang) << where;
        EXPECT_EQ(Checked(), std::vector<int>{gcaCC_Lang[c.lang]}) << where;
        EXPECT_TRUE(CaptionFontWrites(c.lang)) << where;
        EXPECT_NE(Log().find("lang = " + std::to_string(c.lang) + "\n"), std::string::npos) << where;
        EXPECT_EQ(ReadFileBytes(caLangFile), c.file ? c.file : kNoFile) << "start-up never writes lang.txt";
        mf_Tovra_Log__Close();
        DiscardPanel(gvTovra_COMM);
    }
    ASSERT_EQ(mf_Tovra_Form_COMM__init(), 0);
}

TEST_F(LangTest, AMenuChoiceWritesTheDigitAloneAndMovesTheCheckMark)
{
    struct Case {
        int from, item;
        const char *file;
    } const cases[] = {{0, 4, "1"}, {1, 5, "2"}, {2, 3, "0"}, {0, 3, "0"}};
    for (const Case &c : cases) {
        mf_Tovra_Lang__SV(c.from);
        WriteFileBytes(caLangFile, "stale");
        SetPanelAttribute(gvTovra_COMM, ATTR_TITLE, "stale");
        ChooseLanguage(c.item);
        EXPECT_EQ(ReadFileBytes(caLangFile), c.file) << "item " << c.item;
        EXPECT_EQ(Checked(), std::vector<int>{c.item});
        EXPECT_EQ(gcaCC_Lang[giLang], c.item);
        EXPECT_NE(Title(), "stale") << "re-captioned, also when the language was already current";
    }
}

TEST_F(LangTest, EachLanguageCaptionsTheTitleMenuLabelsAndHelpTexts)
{
    enum { Menu, Item, Panel, Label, Value };
    const char *const steps1[3] = {
        "01. S/W  PC :  Search available COM port\n02. S/W  PC :  Select COM port\n"
        "03. S/W  PC :  Set ( BAUD = 9600, ID = 1 , N82 )",
        "01. S/W  PC :  搜尋現有串列埠\n02. S/W  PC :  選取串列埠\n03. S/W  PC :  設定 ( 鮑率 = 9600, ID = 1 , N82)",
        "01. S/W  PC :  搜寻现有串口\n02. S/W  PC :  选取串口\n03. S/W  PC :  设定 ( 鲍率 = 9600, ID = 1 , N82)"};
    struct Caption {
        int kind, ids[2];
        const char *text[3];
    } const captions[] = {
        {Menu, {2}, {"__Language", "語言(__L)", "语言(__L)"}},
        {Item, {3}, {"__English", "英文(__E)", "英文(__E)"}},
        {Item, {4}, {"__Traditional Chinese", "繁體中文(__T)", "繁体中文(__T)"}},
        {Item, {5}, {"__Simplified Chinese", "簡體中文(__S)", "简体中文(__S)"}},
        {Panel, {0}, {"Baud Rate Setting", "鮑率設定", "鲍率设定"}},
        {Label, {10}, {"Search Available COM Port", "搜尋現有串列埠", "搜寻现有串口"}},
        {Label, {15}, {"COM Port", "串列埠", "串口"}},
        {Label, {18}, {"Baud Rate", "鮑率", "鲍率"}},
        {Value, {34}, {"Baud Rate", "鮑率", "鲍率"}},
        {Label, {22, 43}, {"Data Bit", "資料位元", "资料位元"}},
        {Label, {20, 41}, {"Parity Bit", "同位元", "同位元"}},
        {Label, {19, 42}, {"Stop Bit", "停止位元", "停止位元"}},
        {Label, {24}, {"Read", "讀", "读"}},
        {Label, {38}, {"Write", "寫", "写"}},
        {Value, {9}, {"  [ ex.1 ] modify baud rate ", "  [ ex.1 ] 修改鮑率", "  [ ex.1 ] 修改鲍率 "}},
        {Value, {47}, {steps1[0], steps1[1], steps1[2]}},
        {Value, {7, 6}, {"04. H/W Selk : Set SW1 = 0 ", "04. H/W Selk : 設定 SW1 = 0 ", "04. H/W Selk : 设定 SW1 = 0 "}},
        {Value, {4}, {"05. S/W     : Modify baud rate of COM1 to 38400\n06. S/W     : Click Write",
                      "05. S/W     : 將 COM1 的鮑率改為38400\n06. S/W     : 單擊寫按鈕",
                      "05. S/W     : 将 COM1 的鲍率改为 38400\n06. S/W     : 单击写按钮"}},
        {Value, {8}, {"  [ ex.2 ] comfirm baud rate  ", "  [ ex.2 ] 確認鮑率  ", "  [ ex.2 ] 确认鲍率  "}},
        {Value, {5}, {"01. S/W  PC :  Search availabe COM port\n02. S/W  PC :  Select COM port\n"
                      "03. S/W  PC :  Set ( BAUD = 9600, ID = 1 , N82)", steps1[1], steps1[2]}},
        {Value, {3}, {"05. S/W     : Click Read", "05. S/W     : 單擊讀按鈕", "05. S/W     : 单击读按钮"}},
    };
    for (int lang : {1, 2, 0}) {
        ChooseLanguage(gcaCC_Lang[lang]);
        int bar = GetPanelMenuBar(gvTovra_COMM);
        for (const Caption &c : captions)
            for (int i = 0, id = c.ids[0]; i == 0 || (i < 2 && (id = c.ids[i])); ++i) {
                char text[256] = "";
                switch (c.kind) {
                case Menu: GetMenuBarAttribute(bar, id, ATTR_MENU_NAME, text, sizeof text); break;
                case Item: GetMenuBarAttribute(bar, id, ATTR_ITEM_NAME, text, sizeof text); break;
                case Panel: GetPanelAttribute(gvTovra_COMM, ATTR_TITLE, text, sizeof text); break;
                case Label: GetCtrlAttribute(gvTovra_COMM, id, ATTR_LABEL_TEXT, text, sizeof text); break;
                case Value: GetCtrlVal(gvTovra_COMM, id, text, sizeof text); break;
                }
                EXPECT_STREQ(text, c.text[lang]) << "language " << lang << ", id " << id;
            }
    }
}

TEST_F(LangTest, AWrongMenuItemOrLanguageRaisesItsBoxAndOneItemStaysChecked)
{
    recorder_.expect();
    struct Case {
        std::function<void()> act;
        Popups popups;
        int lang;
    } const cases[] = {
        {[] { evLANG(gvTovra_COMM, 99, nullptr, gvTovra_COMM); },
         {{"mf_Tovra_Lang__Who_Am_I ()", "menu item not found"}}, 0},
        {[] { mf_Tovra_Lang__SV(3); }, {{"mf_Tovra_Lang__SV ()", "error : value out of array"}}, 2},
    };
    for (const Case &c : cases) {
        mf_Tovra_Lang__SV(2);
        size_t before = popups.size();
        c.act();
        EXPECT_EQ(Popups(popups.begin() + before, popups.end()), c.popups);
        EXPECT_EQ(giLang, c.lang);
        EXPECT_EQ(Checked(), std::vector<int>{gcaCC_Lang[c.lang]});
    }
    EXPECT_EQ(ReadFileBytes(caLangFile), "0") << "the wrong item ends in English, saved";
}

TEST_F(LangTest, ALangTxtThatCannotBeWrittenIsReportedAndThePanelStillRecaptions)
{
    EnableLog();
    std::filesystem::create_directory(caLangFile);
    ChooseLanguage(4);
    EXPECT_EQ(Title(), "鮑率設定");
    EXPECT_EQ(StatusText(), "儲存 lang.txt 失敗 : Is a directory") << "in the language chosen";
    EXPECT_EQ(StatusColour(), 0xFF0000);
    EXPECT_NE(Log().find(LOG_MARK " Save lang.txt NG : Is a directory\n"), std::string::npos) << Log();
}
