// The application shell: start-up, the main panel's own events, shutdown,
// and the baud-rate read and write sequence.
#pragma once

#include "app/Tovra_BR.h"
#include "platform/ui.h"

extern int giMsg;       // status state: 0 pending, 2 failed, 3 read succeeded, 4 shown
extern BRWT gaBRWT[ciBRWT_max]; // BR1, BR2, commit
extern int gvNo_WT;     // valid entries in the write list
extern int giWT;        // next entry to send
extern int giVerify_WT; // entry before which both registers are read back; -1 none

// The Verify switch (read back before the EEPROM command), kept beside lang.txt.
constexpr const char *caVerifyFile = "verify.txt";

// Every handler that the resource file may name.
extern const UiCallback caTovra_Callbacks[];
extern const int ciTovra_CallbackCount;

// 0 when the window runs; ciAPP_Forwarded when another Tovra COMM runs in
// the current folder and brought its window to the front (this program
// then ends with status 0); negative when the program cannot run.
constexpr int ciAPP_Forwarded = 1;
int mf_APP_Tovra__init(void);
int mf_Tovra_Form_COMM__init(void);
int mf_APP_Tovra__exit(void);
// The resource file, relative to the executable: ../gui (the build tree),
// else ../share/tovra-comm/gui (an installed tree, whatever its prefix).
// When neither exists, the installed location (for the error message).
const char *mf_Tovra_Form_COMM__path(void);

int evTovra_COMM(int panel, int event, void *data, int d1, int d2);
int evTovra_Form_COMM(int panel, int control, int event, void *data, int d1, int d2);
int evTovra_Read_usr(int panel, int control, int event, void *data, int d1, int d2);
int evTovra_TM_RW_msg(int panel, int control, int event, void *data, int d1, int d2);
int evBR_x(int panel, int control, int event, void *data, int d1, int d2);
int evWrite(int panel, int control, int event, void *data, int d1, int d2);
int evTM_W(int panel, int control, int event, void *data, int d1, int d2);
int evTovra_Verify(int panel, int control, int event, void *data, int d1, int d2);
void evTovra_Log_Launch(int menuBar, int menuItem, void *data, int panel);
