// The readable frame trace of the communication log: one line per frame,
// its fields in brackets by kind, then the operation in words.
#pragma once

#include <cstdio>

// ---- Pure trace formatting: one line into text (bounded by size).
// 0, or -1 for a function code outside the trace table (the text is then the
// head and a line end). Frames shorter than 4 bytes give -1 and empty text.
int mf_Tovra_Trace__Tx(unsigned short port, const unsigned char *frame, int length,
                       char *text, int size);
int mf_Tovra_Trace__Rx(unsigned short port, const unsigned char *frame, int length,
                       char *text, int size);

// ---- Log writers: the trace line straight to the stream (not counted);
// a code outside the table also shows a message box. 0 or -1.
int mf_Tovra_Log_Tx(unsigned short port, const unsigned char *frame, int length, FILE *log);
int mf_Tovra_Log_Rx(unsigned short port, const unsigned char *frame, int length, FILE *log);
