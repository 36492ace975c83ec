// COM port discovery on the main panel: the list of present and free serial
// ports (control 21), Prolific adapters first, then the ports the user may
// not open, filled by the port search, and picking a port from it.
#pragma once

#include "model/model.h"
#include "serial/ComSearch.h"

// How many items at the end of the list are ports the user may not open.
extern int giComList_Refused;

// {main panel, control 21}.
int mf_Tovra_ComList__init(CtrlRef *ref);
int mf_Tovra_ComList__set_active(void);
// The COM number of the selected item.
int mf_Tovra_ComList__GV(void);
// The whole search. Returns 0, or the code of a failed clearing of the list.
int mf_Tovra_ComList__Search_WIN32API_Prolific(void);
// From now on a port that comes or goes runs the search again, as the
// button does but opening no port: the candidates are judged without
// touching them, so the operator's open port and selection stay as they are.
// 0, or -1 when the platform gives no port events.
int mf_Tovra_ComList__Follow(void);

// The search button and the list itself.
int evTovra_CS_GetCom(int panel, int control, int event, void *data, int d1, int d2);
int evTovra_CS_ComList(int panel, int control, int event, void *data, int d1, int d2);
