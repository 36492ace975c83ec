// COM port discovery: the list of present and free serial ports (control
// 21), Prolific adapters first, and picking a port from it.
//
// The search is a pipeline of text files in the working directory, all left
// in place: every present device, those naming a COM port, split into
// Prolific and other ports, joined Prolific first, and finally the ports
// that opened when probed.
#pragma once

#include "model/model.h"

constexpr const char *caDevMng_All_DEV = "Dev_Mng_00_All_DEV.txt";
constexpr const char *caDevMng_All_COM = "Dev_Mng_01_All_COM.txt";
constexpr const char *caDevMng_COM_IS_Prolific = "Dev_Mng_02_COM_IS_Prolific.txt";
constexpr const char *caDevMng_COM_NOT_Prolific = "Dev_Mng_03_COM_NOT_Prolific.txt";
constexpr const char *caDevMng_COM_Prolific_First = "Dev_Mng_04_COM_Prolific_First.txt";
constexpr const char *caCOM_Exist = "COM__Exist.txt";

// Lines of the dump files are read into buffers of this size: a line longer
// than 255 characters is skipped whole.
constexpr int ciComLineSize = 256;

// Writes the friendly names of all present devices into fileName. Returns 0.
int fn_Get_Windows_Device_Manager_data(const char *fileName);
// The COM port number a friendly name ends in, 1..256, else 0.
int fn_find_COMx_number(const char *text);
// 1 if the text contains "Prolific" (case-sensitive), logging the word; else 0.
int fn_find_COMx_Prolific(const char *text);

// {main panel, control 21}.
int mf_Tovra_ComList__init(CtrlRef *ref);
int mf_Tovra_ComList__set_active(void);
// The COM number of the selected item.
int mf_Tovra_ComList__GV(void);
// The whole search. Returns 0, or the code of a failed clearing of the list.
int mf_Tovra_ComList__Search_WIN32API_Prolific(void);

// The search button and the list itself.
int evTovra_CS_GetCom(int panel, int control, int event, void *data, int d1, int d2);
int evTovra_CS_ComList(int panel, int control, int event, void *data, int d1, int d2);
