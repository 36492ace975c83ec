// The interface language: the current choice, its check mark in the
// Language menu, its file lang.txt, and the re-captioning of the main panel.
#pragma once

extern int giLang;                  // current language: 0 English, 1 Traditional, 2 Simplified Chinese
extern const int gcaCC_Lang[3];     // Language menu item of each language
constexpr const char *caLangFile = "lang.txt";

// A menu item: the menu bar it sits on and its ID.
struct LangMenuRef {
    int menuBar;
    int item;
};

// The language lang.txt holds, read as "%d" reads it; 0 when the file is
// missing, holds no number, or one outside 0..2.
int mf_Tovra_Lang__fr_FILE(void);
// Writes the index to lang.txt, the digit alone. A file that cannot be
// written is reported in the status field and the log; returns -1 then.
int mf_Tovra_Lang__to_FILE(int lang);

// The text of a string ID in the current language ("" for an ID the table
// lacks, after its box); for status texts and formats of this program's own.
const char *mf_Tovra_Lang__S(int sid);

int mf_Tovra_Lang__init(LangMenuRef *ref);
int mf_Tovra_Lang__SV(int lang);
int mf_Tovra_Lang__GV(void);
int mf_Tovra_Lang__Who_Am_I(int menuItem);
int mf_Tovra_Lang__Char_Set(void);
int mf_Tovra_Lang__Refresh(void);
// The port list's tooltip in the current language: what the list holds, or,
// when it is empty, what to do to fill it.
int mf_Tovra_Lang__Tip_ComList(void);
// The tooltips of the BR1/BR2 selectors again: "not read yet" while one
// shows no value, its usual text once a Read or a pick gave it one.
int mf_Tovra_Lang__Refresh_Read_Tips(void);

// The three items of the Language menu.
void evLANG(int menuBar, int menuItem, void *data, int panel);
