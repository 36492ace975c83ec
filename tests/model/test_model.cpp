// The control wrappers on the real main panel.
#include <QComboBox>

#include <climits>

#include <gtest/gtest.h>

#include "model/model.h"
#include "panel_fixture.h"
#include "platform/ui.h"

namespace {

constexpr int kComField = 15;
constexpr int kIdField = 27;
constexpr int kBR1 = 46;

class ModelTest : public PanelTest {};

} // namespace

TEST_F(ModelTest, SlaveIdsOutsideOneTo255PaintTheFieldRedAndInsideRestoreItsBase)
{
    for (int bad : {0, 256}) {
        mf_Tovra_TIS32_X__SV(1, bad);
        EXPECT_EQ(mf_Tovra_TIS32_X__OOR(1), -1) << bad;
        EXPECT_EQ(BgColour(kIdField), ciColourRed);
    }
    for (int good : {1, 255}) {
        mf_Tovra_TIS32_X__SV(1, good);
        EXPECT_EQ(mf_Tovra_TIS32_X__OOR(1), 0) << good;
        EXPECT_EQ(BgColour(kIdField), ciColourField) << "an editable field's base is white";
    }
}

TEST_F(ModelTest, ComNumbersOneTo256AreInRange)
{
    EXPECT_EQ(mf_Tovra_TIS32_X__OOR_EX(0, 256), 0);
    EXPECT_EQ(mf_Tovra_TIS32_X__OOR_EX(0, 1), 0);
    EXPECT_EQ(mf_Tovra_TIS32_X__OOR_EX(0, 257), -1);
    EXPECT_EQ(mf_Tovra_TIS32_X__OOR_EX(0, 0), -1);
    mf_Tovra_TIS32_X__SV(0, 5);
    EXPECT_EQ(mf_Tovra_TIS32_X__OOR_EX(0, 300), -1) << "the given value counts, not the field's";
    EXPECT_EQ(BgColour(kComField), ciColourRed);
}

TEST_F(ModelTest, LimitClampsIntoTheRangeAndRestoresTheBaseColour)
{
    mf_Tovra_TIS32_X__SV(1, 300);
    mf_Tovra_TIS32_X__OOR(1);
    mf_Tovra_TIS32_X__limit(1);
    EXPECT_EQ(mf_Tovra_TIS32_X__GV(1), 255);
    EXPECT_EQ(BgColour(kIdField), ciColourField);
    mf_Tovra_TIS32_X__SV(1, -5);
    mf_Tovra_TIS32_X__limit(1);
    EXPECT_EQ(mf_Tovra_TIS32_X__GV(1), 1);

    // A value in range is left alone, colour included.
    mf_Tovra_TIS32_X__SV(1, 7);
    mf_Tovra_TIS32_X__Hi_Light(1, 1);
    mf_Tovra_TIS32_X__limit(1);
    EXPECT_EQ(mf_Tovra_TIS32_X__GV(1), 7);
    EXPECT_EQ(BgColour(kIdField), ciColourRed);
}

TEST_F(ModelTest, AReadOnlyFieldHasTheIndicatorBaseColour)
{
    mf_Tovra_TIS32_X__SA_i32(0, ATTR_CTRL_MODE, 0);
    EXPECT_EQ(mf_Tovra_TIS32_X__GA_i32(0, ATTR_CTRL_MODE), 0);
    mf_Tovra_TIS32_X__Hi_Light(0, 0);
    EXPECT_EQ(BgColour(kComField), ciColourIndicator);
}

TEST_F(ModelTest, IndicesOutsideTheTablesRaiseTheFamilysPopupAndDoNothing)
{
    recorder_.expect();
    int before = mf_Tovra_TIS32_X__GV(0);
    mf_Tovra_TIS32_X__SV(2, 99);
    mf_Tovra_STR_X__SV_str(1, "x");
    mf_Tovra_TGBT_X__SV(2, 1);
    mf_Tovra_Ring_X__SI(6, 1);
    mf_Tovra_Timer_X__toggle(2, 1);
    EXPECT_EQ(mf_Tovra_TIS32_X__GV(0), before);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"mf_Tovra_TIS32_X__init () ", "unknown"},
        {"mf_Tovra_STR_X__init", "unkonwn"},
        {"mf_Tovra_TGBT_X__init", "unkonwn"},
        {"mf_Tovra_Ring_X__init", "unknown"},
        {"mf_Tovra_Timer_X__init", "unknown"},
    };
    EXPECT_EQ(popups, expected);
    CtrlRange r = {0, 0};
    EXPECT_EQ(mf_Tovra_TIS32_X__Range(7, &r), 0);
    EXPECT_EQ(r.low, INT_MIN) << "no range means the full range";
    EXPECT_EQ(r.high, INT_MAX);
    EXPECT_EQ(mf_Tovra_TIS32_X__OOR_EX(7, INT_MIN), 0);
}

TEST_F(ModelTest, ASelectorShowsAValidItemNormallyAndAnInvalidOneAsTheFirstItemInGrey)
{
    mf_Tovra_Ring_X__SI(4, 3);
    EXPECT_EQ(mf_Tovra_Ring_X__GI(4), 3);
    EXPECT_EQ(BgColour(kBR1), ciColourIndicator);
    for (int bad : {8, -1, -32768}) {
        mf_Tovra_Ring_X__SI(4, 5);
        mf_Tovra_Ring_X__SI(4, bad);
        EXPECT_EQ(mf_Tovra_Ring_X__GI(4), 0) << bad;
        EXPECT_EQ(BgColour(kBR1), ciColourInvalidItem);
    }
    mf_Tovra_Ring_X__SI(4, 7);
    EXPECT_EQ(BgColour(kBR1), ciColourIndicator) << "the next valid selection clears the grey";
}

TEST_F(ModelTest, OnlyTheTwoDeviceSelectorsHaveAReverseLookup)
{
    recorder_.expect();
    EXPECT_EQ(mf_Tovra_Ring_X__who(gvTovra_COMM, 46), 4);
    EXPECT_EQ(mf_Tovra_Ring_X__who(gvTovra_COMM, 45), 5);
    EXPECT_TRUE(popups.empty());
    EXPECT_EQ(mf_Tovra_Ring_X__who(gvTovra_COMM, 18), -1);
    EXPECT_EQ(mf_Tovra_Ring_X__who(gvTovra_COMM + 1, 46), -1);
    ASSERT_EQ(popups.size(), 2u);
    EXPECT_EQ(popups[0], std::make_pair(std::string("mf_Tovra_Ring_X__who ()"), std::string("unknown")));
    EXPECT_EQ(mf_Tovra_STR_X__who(gvTovra_COMM, 12), -1);
    EXPECT_EQ(mf_Tovra_TGBT_X__who(gvTovra_COMM, 26), -1);
}

TEST_F(ModelTest, TimersSwitchIdempotentlyAndKeepTheirInterval)
{
    mf_Tovra_Timer_X__toggle(0, 1);
    mf_Tovra_Timer_X__toggle(0, 1);
    EXPECT_EQ(mf_Tovra_Timer_X__GA_i32(0, ATTR_ENABLED), 1);
    mf_Tovra_Timer_X__toggle(1, 0);
    EXPECT_EQ(mf_Tovra_Timer_X__GA_i32(1, ATTR_ENABLED), 0);
    mf_Tovra_Timer_X__toggle(0, 0);
    mf_Tovra_Timer_X__set_interval(1, 0.35);
    EXPECT_DOUBLE_EQ(mf_Tovra_Timer_X__get_interval(1), 0.35);
}

TEST_F(ModelTest, TheStatusTextAndTheTogglesReadBackThroughTheirWrappers)
{
    mf_Tovra_STR_X__SV_str(0, "Close COM P222 OK");
    char text[64];
    mf_Tovra_STR_X__GV_str(0, text, sizeof text);
    EXPECT_STREQ(text, "Close COM P222 OK");
    mf_Tovra_TGBT_X__SV(0, 1);
    EXPECT_EQ(mf_Tovra_TGBT_X__GV(0), 1);
    mf_Tovra_TGBT_X__SV(1, 0);
    EXPECT_EQ(mf_Tovra_TGBT_X__GV(1), 0);
    EXPECT_FALSE(Ctrl(50)->isVisible()) << "the examples toggle hides the examples";
}
