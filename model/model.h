// Control wrappers: each family knows its controls of the main panel by a
// small index and adds ranges, highlighting, item checks and timer switching.
#pragma once

#include <cstddef>

extern int gvTovra_COMM; // handle of the main panel

struct CtrlRef {
    int panel;
    int control; // -1 when the index was not in the family's table
};

struct CtrlRange {
    int low;
    int high;
};

// Colours written to the colour behind a control's text (attribute 690).
constexpr int ciColourRed = 0xFF0000;
constexpr int ciColourIndicator = 0xECE9D8; // base of indicators and valid selections
constexpr int ciColourField = 0xFFFFFF;     // base of editable fields
constexpr int ciColourInvalidItem = 0xA0A0A0;

// Numeric fields: 0 COM port number (1..256), 1 Modbus slave ID (1..255).
int mf_Tovra_TIS32_X__who(int panel, int control);
int mf_Tovra_TIS32_X__init(int index, CtrlRef *ref);
int mf_Tovra_TIS32_X__SV(int index, int value);
int mf_Tovra_TIS32_X__GV(int index);
int mf_Tovra_TIS32_X__SA_i32(int index, int attribute, int value);
int mf_Tovra_TIS32_X__GA_i32(int index, int attribute);
int mf_Tovra_TIS32_X__Range(int index, CtrlRange *range);
int mf_Tovra_TIS32_X__Hi_Light(int index, int flag);
int mf_Tovra_TIS32_X__OOR_EX(int index, int value);
int mf_Tovra_TIS32_X__OOR(int index);
int mf_Tovra_TIS32_X__limit(int index);

// Rings: 0 baud, 1 data bits, 2 parity, 3 stop bits, 4 BR1, 5 BR2.
int mf_Tovra_Ring_X__who(int panel, int control);
int mf_Tovra_Ring_X__init(int index, CtrlRef *ref);
int mf_Tovra_Ring_X__SI(int index, int item);
int mf_Tovra_Ring_X__GI(int index);
// 0 while the ring is grey (it shows no valid value: one outside its items,
// or none read), else 1.
int mf_Tovra_Ring_X__valid(int index);
int mf_Tovra_Ring_X__SA_i32(int index, int attribute, int value);
int mf_Tovra_Ring_X__GA_i32(int index, int attribute);

// Text fields: 0 the status field.
int mf_Tovra_STR_X__who(int panel, int control);
int mf_Tovra_STR_X__init(int index, CtrlRef *ref);
int mf_Tovra_STR_X__SV_str(int index, const char *text);
int mf_Tovra_STR_X__GV_str(int index, char *buffer, size_t size);
int mf_Tovra_STR_X__SA_i32(int index, int attribute, int value);
int mf_Tovra_STR_X__SA_str(int index, int attribute, const char *text);

// Toggle buttons: 0 the port toggle, 1 the examples toggle.
int mf_Tovra_TGBT_X__who(int panel, int control);
int mf_Tovra_TGBT_X__init(int index, CtrlRef *ref);
int mf_Tovra_TGBT_X__SV(int index, int value);
int mf_Tovra_TGBT_X__GV(int index);
int mf_Tovra_TGBT_X__SA_i32(int index, int attribute, int value);

// Timers: 0 the read-result timer, 1 the write-pacing timer.
int mf_Tovra_Timer_X__init(int index, CtrlRef *ref);
int mf_Tovra_Timer_X__GA_i32(int index, int attribute);
int mf_Tovra_Timer_X__toggle(int index, int on);
int mf_Tovra_Timer_X__set_interval(int index, double seconds);
double mf_Tovra_Timer_X__get_interval(int index);
