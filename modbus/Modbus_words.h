// Results of an exchange in plain words for the operator.
#pragma once

// The meaning of a Modbus exception code ("illegal data address"), or
// "unknown to Modbus".
const char *mf_Tovra_MB_Exception__Why(int code);

// The result of an exchange, or a serial port's failure code, in plain words
// for the operator: what went wrong and what to check. `count` is the number
// of reply bytes received, `limit` the exchange's limit in seconds.
// Bounded by size.
void mf_Tovra_MB_Result__Why(int result, int count, double limit, char *text, int size);
// The same in another language: `translate` gives each English text (and
// format) in it.
typedef const char *(*MB_TranslatePtr)(const char *english);
void mf_Tovra_MB_Result__Why_in(int result, int count, double limit, MB_TranslatePtr translate,
                                char *text, int size);
