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
constexpr size_t ciLangS_Size = 256;

// The first ID of this program's own texts; the rows below it are the
// caption table proper (139 IDs).
constexpr int ciLangS_Own = 900000;

// IDs of this program's own texts, 900000-900199 (other ranges of 900000 and
// up belong to other parts of the program).
enum {
    // captions and accessible names
    ciS_SerialLine = 900000, ciS_DeviceBauds, ciS_SlaveId, ciS_PortOpen, ciS_TestRead,
    ciS_FindDevice, ciS_Cancel, ciS_Status, ciS_Examples, ciS_WorkedExamples, ciS_DeviceFrame,
    ciS_LogMenu, ciS_ParityNone, ciS_ParityOdd, ciS_ParityEven, ciS_ParityMark, ciS_ParitySpace,
    ciS_ComList, ciS_FindProgress, ciS_Yes, ciS_No,
    // tooltips
    ciS_TipComList = 900030, ciS_TipSearch, ciS_TipComNumber, ciS_TipSlaveId, ciS_TipPortOpen,
    ciS_TipTestRead, ciS_TipFind, ciS_TipBR1, ciS_TipBR2, ciS_TipRead, ciS_TipWrite, ciS_TipCancel,
    ciS_TipExamples,
    // status texts: printf formats
    ciS_WriteUnknown = 900060, ciS_Lost, ciS_OpenNG, ciS_SaveNG, ciS_LastFailure, ciS_FindProbe,
    ciS_Found, ciS_NotFound, ciS_NotFoundGarbled, ciS_FindCancelled, ciS_FindNG, ciS_FindQuestion,
    ciS_FindDuration,
    // reasons of a failure
    ciS_WhyTimeout = 900080, ciS_WhyCrc, ciS_WhyLength, ciS_WhyWrite, ciS_WhyException,
    ciS_WhyAbsent, ciS_WhyNotMapped, ciS_WhyPermission, ciS_WhyBusy, ciS_WhySettings, ciS_WhyIo,
    ciS_WhyNotOpen, ciS_WhyLost, ciS_NoViewer, ciS_WhyPortLost, ciS_WhyPort,
};

// IDs of the texts of the reply checks, Find device and Write, 900200-900299.
enum {
    ciS_Verify = 900200, ciS_TipVerify,
    ciS_WhySlave = 900210, ciS_WhyFunction, ciS_WhyCount, ciS_WhyAck,
    ciS_NotFoundLate = 900220, ciS_FindNotStarted, ciS_ReadsBack, ciS_NotConfirmed,
    ciS_TipNotRead = 900230,
    ciS_NotFoundOtherId = 900240, ciS_NotFoundUnconfirmed,
};

// The port list's texts, 900300-900399 (those of the list's own module are
// numbered there).
enum { ciS_TipNoPorts = 900310 };

// Copies the text of (sid, lang) with its terminator into dest and returns 0.
// A language outside 0..2 copies nothing, silently. An ID the table lacks
// copies nothing and shows the "Lang SID not fount" box. A text that does not
// fit in size bytes copies nothing and returns -1. Whenever nothing is
// copied, dest keeps what it held.
int mf_Tovra_LangS__DataBase(int sid, int lang, char *dest, size_t size);
// The text itself, for texts used as formats or longer than a caption
// buffer; nullptr where DataBase copies nothing (with its box for an ID the
// table lacks).
const char *mf_Tovra_LangS__Text(int sid, int lang);
// The text in `lang` of the row whose English text is `english`; `english`
// itself when the table has no such row. The words of the Modbus core and
// the serial layer are English and find their translations here.
const char *mf_Tovra_LangS__Translate(const char *english, int lang);
