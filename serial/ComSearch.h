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

// The first file of the current search that could not be created, or
// nullptr: set by every search, so a search never reads a file that it did
// not write itself (a stale file in a folder that is not writable).
extern const char *gvComSearch_Unwritable;

// The first stages: the files 00 to 04. Returns 0, or -1 when one of them
// could not be created (gvComSearch_Unwritable names it); the stages after
// it are not run.
int mf_Tovra_ComSearch__Files(void);

// What follows the friendly name of a port the user may not open, and the
// group to join when one would help.
#define COM_NO_PERMISSION " \u2014 no permission"
#define COM_JOIN_GROUP ": join the group "

// Called for each candidate that opened, then for each that refused with
// "permission denied": its COM number, its label (the line of file 04,
// followed for a refused port by COM_NO_PERMISSION and, where a group
// would help, COM_JOIN_GROUP and the group), and whether it opened.
typedef void (*ComFoundPtr)(int com, const char *label, int permitted, void *data);
// The last stage: opens and closes every candidate of file 04 under the
// program's logical port, in the file's order; reports those that open and
// then those the user may not open to `found`, and writes the numbers of
// those that open to COM__Exist.txt. Ports held by another program are left
// out. Nothing is probed after a failed mf_Tovra_ComSearch__Files. Returns
// the number of ports probed.
int mf_Tovra_ComSearch__Probe(ComFoundPtr found, void *data);
// The last stage without touching a port, for a search that a port event
// starts: each candidate is judged as ComCheckFree judges it (its access
// rights, another program's lock file; a port this program holds counts as
// one that opens), and reported and written as the probe does. Returns the
// number of candidates judged.
int mf_Tovra_ComSearch__Look(ComFoundPtr found, void *data);
