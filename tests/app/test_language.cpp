// The panel in the operator's language, as a screen reader meets it: every
// text and name in the accessibility tree, the reason of a failure, the
// message of F3 without a viewer; and a value set through the accessibility
// interface, which is the user's own change.
#include <QAccessible>
#include <QAccessibleInterface>
#include <QAccessibleValueInterface>
#include <QRegularExpression>
#include <QAbstractButton>
#include <QMessageBox>
#include <QSpinBox>
#include <QTimer>
#include <QTest>

#include <iconv.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/Tovra_main.h"
#include "devsim.h"
#include "lang/Lang_API.h"
#include "lang/Lang_DB.h"
#include "log/log.h"
#include "model/model.h"
#include "panel_fixture.h"
#include "panel_ids.h"
#include "platform/ui.h"
#include "platform/ui_qt.h"
#include "serial/UMB_find.h"

namespace {

// Texts that are the same in every language on purpose: register and device
// names, port names, numbers, the framing letters, key names.
const QRegularExpression caSameInAll(
    "^(|BR[12]|COM\\d*|\\d+|[0-9 ]+%|8N[12]|Ctrl\\+F|Esc|F3|OK|NG)$");

bool HasCjk(const QString &s)
{
    for (QChar c : s)
        if (c.unicode() >= 0x3000)
            return true;
    return false;
}

// Whether every character of s has a place in the code page.
bool Encodable(const char *charset, const QString &s)
{
    QByteArray utf8 = s.toUtf8();
    iconv_t cd = iconv_open(charset, "UTF-8");
    std::string out(4 * utf8.size() + 4, '\0');
    char *src = utf8.data(), *dst = out.data();
    size_t left = utf8.size(), room = out.size();
    size_t r = iconv(cd, &src, &left, &dst, &room);
    iconv_close(cd);
    return r != static_cast<size_t>(-1);
}

// English has no Chinese character; Traditional Chinese has some and all of
// them are Big5's; Simplified Chinese has some and all are GB2312's.
bool InLanguage(const QString &text, int lang)
{
    if (caSameInAll.match(text.trimmed()).hasMatch())
        return true;
    switch (lang) {
    case ciLang_EN:
        return !HasCjk(text);
    case ciLang_TC:
        return HasCjk(text) && Encodable("BIG5", text);
    default:
        return HasCjk(text) && Encodable("GB2312", text);
    }
}

struct Heard {
    std::string where; // role and object, for the failure message
    QString text;
};

// Everything a screen reader can read of the panel: each object's name,
// description and value, and the name of the label it is labelled by.
void Walk(QAccessibleInterface *iface, std::vector<Heard> *heard, std::vector<std::string> *unnamed)
{
    if (!iface || !iface->isValid())
        return;
    QObject *o = iface->object();
    bool timer = o && o->inherits("TimerControl");
    std::string where = std::to_string(iface->role()) + " " + (o ? o->objectName().toStdString() : "");
    if (!timer) {
        for (QAccessible::Text t : {QAccessible::Name, QAccessible::Description, QAccessible::Value})
            heard->push_back({where, iface->text(t)});
        bool labelled = false;
        for (const auto &[label, relation] : iface->relations(QAccessible::Label)) {
            heard->push_back({where + " label", label->text(QAccessible::Name)});
            labelled = labelled || !label->text(QAccessible::Name).isEmpty();
        }
        // A control of the panel that takes input must be named: by itself
        // or by its label. (Qt's own parts, such as a drop-down's list, have no object name.)
        bool control = (iface->state().focusable || iface->role() == QAccessible::ProgressBar) &&
                       o && !o->objectName().isEmpty();
        bool nameIsItsValue = iface->role() == QAccessible::ComboBox; // Qt on Linux
        if (control && (iface->text(QAccessible::Name).isEmpty() || nameIsItsValue) && !labelled)
            unnamed->push_back(where);
    }
    for (int i = 0; i < iface->childCount(); ++i)
        Walk(iface->child(i), heard, unnamed);
}

class LanguageTest : public PanelTest, public ::testing::WithParamInterface<int> {};

} // namespace

TEST_P(LanguageTest, EveryTextAndEveryAccessibleNameOfThePanelIsInTheChosenLanguage)
{
    mf_Tovra_Lang__SV(GetParam());
    mf_Tovra_Lang__Refresh();
    // The parts that show only now and then are heard too.
    for (int control : {kCancel, kProgress, kReasonLine})
        SetCtrlAttribute(gvTovra_COMM, control, ATTR_VISIBLE, 1);
    SetCtrlVal(gvTovra_COMM, kReasonLine, mf_Tovra_Lang__S(ciS_NoViewer));

    std::vector<Heard> heard;
    std::vector<std::string> unnamed;
    Walk(QAccessible::queryAccessibleInterface(UiPanelWidget(gvTovra_COMM)), &heard, &unnamed);
    ASSERT_GT(heard.size(), 100u) << "the whole panel, its menus included";
    for (const Heard &h : heard)
        EXPECT_TRUE(InLanguage(h.text, GetParam())) << h.where << ": \"" << h.text.toStdString() << "\"";
    EXPECT_EQ(unnamed, std::vector<std::string>{}) << "controls a screen reader cannot name";
}

const char *const caLangName[] = {"English", "Traditional", "Simplified"};
INSTANTIATE_TEST_SUITE_P(Languages, LanguageTest, ::testing::Values(ciLang_EN, ciLang_TC, ciLang_SC),
                         [](const auto &info) { return std::string(caLangName[info.param]); });

// The format texts are filled with the English text's arguments: a
// translation that asks for others (or more) would print garbage or crash.
TEST(LangOwnTexts, EveryTranslationOfAFormatTakesTheEnglishArgumentsInTheirOrder)
{
    const QRegularExpression conversion("%[-+ #0]*[0-9]*(?:\\.[0-9]+)?([a-zA-Z%])");
    auto conversions = [&](const char *text) {
        std::string kinds;
        for (auto it = conversion.globalMatch(QString::fromUtf8(text)); it.hasNext();)
            kinds += it.next().captured(1).toStdString();
        return kinds;
    };
    for (int i = 0; i < ciLangS_Count; ++i) {
        const LangS &row = gcaLangS[i];
        if (row.sid < ciLangS_Own)
            continue;
        std::string english = conversions(row.text[0]);
        for (int lang : {ciLang_TC, ciLang_SC})
            EXPECT_EQ(english.rfind(conversions(row.text[lang]), 0), 0u)
                << row.sid << ": " << row.text[lang] << " against " << row.text[0];
    }
}

class StatusLanguageTest : public PanelTest {};

TEST_F(StatusLanguageTest, TheReasonOfAFailureShowsOnItsOwnLineInTheLanguageAndGoesWithTheNextStatus)
{
    struct Case {
        int lang;
        const char *reason;
    } const cases[] = {
        {ciLang_EN, "the serial port failed: serial port not open"},
        {ciLang_TC, "串列埠失敗：串列埠未開啟"},
        {ciLang_SC, "串口失败：串口未打开"},
    };
    for (const Case &c : cases) {
        mf_Tovra_Lang__SV(c.lang);
        mf_Tovra_Lang__Refresh();
        Click(kTestRead); // no port is open
        EXPECT_EQ(StatusText(), "Read NG") << "the status word stays";
        auto *line = QAccessible::queryAccessibleInterface(Ctrl(kReasonLine));
        EXPECT_EQ(line->text(QAccessible::Name).toStdString(), c.reason);
        Choose(kBR1, 3); // the next status
        EXPECT_EQ(line->text(QAccessible::Name).toStdString(), "");
    }
}

TEST_F(StatusLanguageTest, OpeningTheLogWithoutAViewerSaysSoInTheStatus)
{
    setenv("TOVRA_VIEWER", (dir_ + "/no-such-viewer").c_str(), 1);
    mf_Tovra_Lang__SV(ciLang_SC);
    mf_Tovra_Lang__Refresh();
    QTest::keyClick(Ctrl(kComField), Qt::Key_F3);
    unsetenv("TOVRA_VIEWER");
    EXPECT_EQ(StatusText(), "没有可显示日志的程序：请安装 xdg-utils 或设定 TOVRA_VIEWER");
    EXPECT_EQ(StatusColour(), 0xFF0000);
}

// A screen reader's or switch access's Value interface sets the number as the
// user chose it: the port opens at once, and once only, also when focus leaves.
TEST_F(StatusLanguageTest, AComNumberSetThroughTheAccessibilityInterfaceOpensThePortOnce)
{
    DevSim sim;
    ASSERT_TRUE(sim.ready()) << sim.output();
    EnableLog();
    auto *field = qobject_cast<QSpinBox *>(Ctrl(kComField));
    field->setFocus();
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(field);
    ASSERT_NE(iface->valueInterface(), nullptr);
    iface->valueInterface()->setCurrentValue(sim.com());
    int toggle = 0;
    GetCtrlVal(gvTovra_COMM, kToggle, &toggle);
    EXPECT_EQ(toggle, 1) << StatusText();
    Ctrl(kToggle)->setFocus(); // focus leaves the field
    QApplication::processEvents();
    std::string log = Log();
    std::string open = "Open Com ( P222, " + sim.comName() + ",";
    size_t first = log.find(open);
    ASSERT_NE(first, std::string::npos) << log;
    EXPECT_EQ(log.find(open, first + 1), std::string::npos) << "opened twice:\n" << log;
}

class PanelLayoutTest : public PanelTest {};

TEST_F(PanelLayoutTest, HidingTheWorkedExamplesGivesTheirHeightBackAndShowingThemTakesItAgain)
{
    QWidget *win = UiPanelWidget(gvTovra_COMM);
    QWidget *examples = Ctrl(50);
    QTest::qWait(50);
    int before = win->height();
    int groupHeight = examples->height();
    Click(2);
    EXPECT_TRUE(QTest::qWaitFor([&] { return win->height() <= before - groupHeight; }, 2000))
        << win->height() << " of " << before;
    Click(2);
    EXPECT_TRUE(QTest::qWaitFor([&] { return win->height() >= before - 2; }, 2000)) << win->height();
}

// Find device asks and answers in the operator's language; its log line stays English.
TEST_F(StatusLanguageTest, FindDeviceAsksAndReportsInTheLanguageAndLogsInEnglish)
{
    DevSim sim({"--line", "600"}); // a speed the quick search does not try
    ASSERT_TRUE(sim.ready()) << sim.output();
    EnableLog();
    mf_Tovra_Lang__SV(ciLang_SC);
    mf_Tovra_Lang__Refresh();
    SetCtrlVal(gvTovra_COMM, kComField, sim.com());
    recorder_.expect(); // the offer of the slave-ID sweep
    size_t asked = popups.size();
    Click(60);
    ASSERT_TRUE(QTest::qWaitFor([] { return !mf_Tovra_UMB_Find__Running(); }, 20000));
    std::string com = "COM" + std::to_string(sim.com());
    ASSERT_EQ(popups.size(), asked + 1);
    EXPECT_EQ(popups.back().first, "寻找设备");
    EXPECT_EQ(popups.back().second.rfind(com + " 上没有设备以站号 1 回应。", 0), 0u) << popups.back().second;
    EXPECT_EQ(StatusText(), com + " 上找不到设备 : 无回应");
    EXPECT_NE(Log().find("Not found on " + com + ": no reply\n"), std::string::npos) << Log();
}

TEST_F(StatusLanguageTest, TheQuestionsAnswersAreInTheLanguage)
{
    mf_Tovra_Lang__SV(ciLang_TC);
    mf_Tovra_Lang__Refresh();
    SetConfirmPopupHook(nullptr); // the real box
    QStringList answers;
    QTimer::singleShot(0, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        for (QAbstractButton *b : box->buttons())
            answers << b->text();
        box->button(QMessageBox::No)->click();
    });
    EXPECT_EQ(ConfirmPopup("尋找裝置", "?"), 0);
    answers.sort();
    EXPECT_EQ(answers, QStringList({"否", "是"}));
}
