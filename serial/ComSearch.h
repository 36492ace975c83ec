// The port search without the panel: every present device, those naming a
// COM port, split into Prolific and other ports, joined Prolific first, and
// finally the ports that opened when probed. The window fills its port list
// from it (ComList), tovra-cli prints it.
//
// The search is a pipeline of text files in the current folder, all left in
// place: each stage reads the previous stage's file and writes its own, so
// each step can be checked with a text editor.
#pragma once

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

// The first stages: the files 00 to 04. Returns 0.
int mf_Tovra_ComSearch__Files(void);

// Called for each candidate that opened: its COM number and its line of
// file 04 (the friendly name).
typedef void (*ComFoundPtr)(int com, const char *line, void *data);
// The last stage: opens and closes every candidate of file 04 under the
// program's logical port, in the file's order; reports those that open to
// `found` and writes their numbers to COM__Exist.txt. Returns the number of
// ports probed.
int mf_Tovra_ComSearch__Probe(ComFoundPtr found, void *data);
