// Control wrappers over the user-interface services. Every operation looks
// its control up again on each call; nothing is cached, so the wrappers work
// for whatever panel gvTovra_COMM names at that moment.
#include "model/model.h"

#include <initializer_list>

#include "platform/ui.h"

int gvTovra_COMM = 0;

namespace {

struct CtrlFamily {
    const char *initTitle; // popup for an index outside the table
    const char *initText;
    const int *ids;
    int count;
};

const int caTIS32_X[] = {15, 27};
const int caRing_X[] = {18, 22, 20, 19, 46, 45};
const int caSTR_X[] = {12};
const int caTGBT_X[] = {26, 2};
const int caTimer_X[] = {28, 40};

const CtrlFamily cfTIS32_X = {"mf_Tovra_TIS32_X__init () ", "unknown", caTIS32_X, 2};
const CtrlFamily cfRing_X = {"mf_Tovra_Ring_X__init", "unknown", caRing_X, 6};
const CtrlFamily cfSTR_X = {"mf_Tovra_STR_X__init", "unkonwn", caSTR_X, 1};
const CtrlFamily cfTGBT_X = {"mf_Tovra_TGBT_X__init", "unkonwn", caTGBT_X, 2};
const CtrlFamily cfTimer_X = {"mf_Tovra_Timer_X__init", "unknown", caTimer_X, 2};

const CtrlRange caTIS32_range[] = {{1, 256}, {1, 255}};
const CtrlRange cFullRange = {-2147483647 - 1, 2147483647};

// The index's control, or false after the family's popup.
bool Lookup(const CtrlFamily &family, int index, CtrlRef *ref)
{
    ref->panel = gvTovra_COMM;
    if (index < 0 || index >= family.count) {
        ref->control = -1;
        MessagePopup(family.initTitle, family.initText);
        return false;
    }
    ref->control = family.ids[index];
    return true;
}

int SetAttr(const CtrlFamily &family, int index, int attribute, int value)
{
    CtrlRef r;
    if (Lookup(family, index, &r))
        SetCtrlAttribute(r.panel, r.control, attribute, value);
    return 0;
}

int GetAttr(const CtrlFamily &family, int index, int attribute)
{
    CtrlRef r;
    int value = 0;
    if (Lookup(family, index, &r))
        GetCtrlAttribute(r.panel, r.control, attribute, &value);
    return value;
}

int SetInt(const CtrlFamily &family, int index, int value)
{
    CtrlRef r;
    if (Lookup(family, index, &r))
        SetCtrlVal(r.panel, r.control, value);
    return 0;
}

int GetInt(const CtrlFamily &family, int index)
{
    CtrlRef r;
    int value = 0;
    if (Lookup(family, index, &r))
        GetCtrlVal(r.panel, r.control, &value);
    return value;
}

} // namespace

int mf_Tovra_TIS32_X__who(int, int)
{
    return -1;
}

int mf_Tovra_TIS32_X__init(int index, CtrlRef *ref)
{
    Lookup(cfTIS32_X, index, ref);
    return 0;
}

int mf_Tovra_TIS32_X__SV(int index, int value)
{
    return SetInt(cfTIS32_X, index, value);
}

int mf_Tovra_TIS32_X__GV(int index)
{
    return GetInt(cfTIS32_X, index);
}

int mf_Tovra_TIS32_X__SA_i32(int index, int attribute, int value)
{
    return SetAttr(cfTIS32_X, index, attribute, value);
}

int mf_Tovra_TIS32_X__GA_i32(int index, int attribute)
{
    return GetAttr(cfTIS32_X, index, attribute);
}

int mf_Tovra_TIS32_X__Range(int index, CtrlRange *range)
{
    *range = index >= 0 && index < cfTIS32_X.count ? caTIS32_range[index] : cFullRange;
    return 0;
}

int mf_Tovra_TIS32_X__Hi_Light(int index, int flag)
{
    CtrlRef r;
    if (!Lookup(cfTIS32_X, index, &r))
        return 0;
    int mode = 0;
    GetCtrlAttribute(r.panel, r.control, ATTR_CTRL_MODE, &mode);
    int base = mode == 0 ? ciColourIndicator : ciColourField;
    SetCtrlAttribute(r.panel, r.control, ATTR_TEXT_BGCOLOR, flag ? ciColourRed : base);
    return 0;
}

int mf_Tovra_TIS32_X__OOR_EX(int index, int value)
{
    CtrlRange range;
    mf_Tovra_TIS32_X__Range(index, &range);
    int result = value < range.low || value > range.high ? -1 : 0;
    mf_Tovra_TIS32_X__Hi_Light(index, result);
    return result;
}

int mf_Tovra_TIS32_X__OOR(int index)
{
    return mf_Tovra_TIS32_X__OOR_EX(index, mf_Tovra_TIS32_X__GV(index));
}

// Clamps the field into its range. The red of a preceding out-of-range test
// stays on for 0.1 s so the operator sees that the value was corrected.
int mf_Tovra_TIS32_X__limit(int index)
{
    int v = mf_Tovra_TIS32_X__GV(index);
    CtrlRange range;
    mf_Tovra_TIS32_X__Range(index, &range);
    bool outside = v < range.low || v > range.high;
    if (v < range.low)
        v = range.low;
    if (v > range.high)
        v = range.high;
    if (outside) {
        mf_Tovra_TIS32_X__SV(index, v);
        Delay(0.1);
        mf_Tovra_TIS32_X__Hi_Light(index, 0);
    }
    return 0;
}

int mf_Tovra_Ring_X__who(int panel, int control)
{
    if (panel == gvTovra_COMM)
        for (int i : {4, 5})
            if (caRing_X[i] == control)
                return i;
    MessagePopup("mf_Tovra_Ring_X__who ()", "unknown");
    return -1;
}

int mf_Tovra_Ring_X__init(int index, CtrlRef *ref)
{
    Lookup(cfRing_X, index, ref);
    return 0;
}

// Selects an item; an item the ring does not have selects the first one and
// greys the ring until the next valid selection.
int mf_Tovra_Ring_X__SI(int index, int item)
{
    CtrlRef r;
    if (!Lookup(cfRing_X, index, &r))
        return 0;
    int n = 0;
    GetNumListItems(r.panel, r.control, &n);
    int colour = ciColourIndicator;
    if (item < 0 || item >= n) {
        item = 0;
        colour = ciColourInvalidItem;
    }
    SetCtrlIndex(r.panel, r.control, item);
    SetCtrlAttribute(r.panel, r.control, ATTR_TEXT_BGCOLOR, colour);
    return 0;
}

int mf_Tovra_Ring_X__GI(int index)
{
    CtrlRef r;
    int item = 0;
    if (Lookup(cfRing_X, index, &r))
        GetCtrlIndex(r.panel, r.control, &item);
    return item;
}

int mf_Tovra_Ring_X__valid(int index)
{
    return mf_Tovra_Ring_X__GA_i32(index, ATTR_TEXT_BGCOLOR) != ciColourInvalidItem;
}

int mf_Tovra_Ring_X__SA_i32(int index, int attribute, int value)
{
    return SetAttr(cfRing_X, index, attribute, value);
}

int mf_Tovra_Ring_X__GA_i32(int index, int attribute)
{
    return GetAttr(cfRing_X, index, attribute);
}

int mf_Tovra_STR_X__who(int, int)
{
    return -1;
}

int mf_Tovra_STR_X__init(int index, CtrlRef *ref)
{
    Lookup(cfSTR_X, index, ref);
    return 0;
}

int mf_Tovra_STR_X__SV_str(int index, const char *text)
{
    CtrlRef r;
    if (Lookup(cfSTR_X, index, &r))
        SetCtrlVal(r.panel, r.control, text);
    return 0;
}

int mf_Tovra_STR_X__GV_str(int index, char *buffer, size_t size)
{
    CtrlRef r;
    if (Lookup(cfSTR_X, index, &r))
        GetCtrlVal(r.panel, r.control, buffer, size);
    return 0;
}

int mf_Tovra_STR_X__SA_i32(int index, int attribute, int value)
{
    return SetAttr(cfSTR_X, index, attribute, value);
}

int mf_Tovra_STR_X__SA_str(int index, int attribute, const char *text)
{
    CtrlRef r;
    if (Lookup(cfSTR_X, index, &r))
        SetCtrlAttribute(r.panel, r.control, attribute, text);
    return 0;
}

int mf_Tovra_TGBT_X__who(int, int)
{
    return -1;
}

int mf_Tovra_TGBT_X__init(int index, CtrlRef *ref)
{
    Lookup(cfTGBT_X, index, ref);
    return 0;
}

int mf_Tovra_TGBT_X__SV(int index, int value)
{
    return SetInt(cfTGBT_X, index, value);
}

int mf_Tovra_TGBT_X__GV(int index)
{
    return GetInt(cfTGBT_X, index);
}

int mf_Tovra_TGBT_X__SA_i32(int index, int attribute, int value)
{
    return SetAttr(cfTGBT_X, index, attribute, value);
}

int mf_Tovra_Timer_X__init(int index, CtrlRef *ref)
{
    Lookup(cfTimer_X, index, ref);
    return 0;
}

int mf_Tovra_Timer_X__GA_i32(int index, int attribute)
{
    return GetAttr(cfTimer_X, index, attribute);
}

int mf_Tovra_Timer_X__toggle(int index, int on)
{
    return SetAttr(cfTimer_X, index, ATTR_ENABLED, on);
}

int mf_Tovra_Timer_X__set_interval(int index, double seconds)
{
    CtrlRef r;
    if (Lookup(cfTimer_X, index, &r))
        SetCtrlAttribute(r.panel, r.control, ATTR_INTERVAL, seconds);
    return 0;
}

double mf_Tovra_Timer_X__get_interval(int index)
{
    CtrlRef r;
    double seconds = 0.0;
    if (Lookup(cfTimer_X, index, &r))
        GetCtrlAttribute(r.panel, r.control, ATTR_INTERVAL, &seconds);
    return seconds;
}
