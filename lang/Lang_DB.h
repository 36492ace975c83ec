// The three-language caption table: a string ID and a language index give a
// text. English, Traditional Chinese and Simplified Chinese, all UTF-8.
#pragma once

#include <cstddef>

enum { ciLang_EN = 0, ciLang_TC = 1, ciLang_SC = 2, ciLang_Count = 3 };

// One row of the table: the texts of one string ID, by language index.
struct LangS {
    int sid;
    const char *text[ciLang_Count];
};

// The rows in ascending ID order.
extern const LangS gcaLangS[];
extern const int ciLangS_Count;

// A buffer of this size holds every text of the table with its terminator.
constexpr size_t ciLangS_Size = 64;

// Copies the text of (sid, lang) with its terminator into dest and returns 0.
// A language outside 0..2 copies nothing, silently. An ID the table lacks
// copies nothing and shows the "Lang SID not fount" box. A text that does not
// fit in size bytes copies nothing and returns -1. Whenever nothing is
// copied, dest keeps what it held.
int mf_Tovra_LangS__DataBase(int sid, int lang, char *dest, size_t size);
